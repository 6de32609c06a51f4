#include "launcher/runtime_rules.h"

#include "common/paths.h"

#include <cwchar>

namespace launcher {

const wchar_t kJavaRuntimeKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kDeleteBundledJvmValue[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeleteBundledJVM";

namespace {

const wchar_t kMinimumVersion[] = L"1.8";

}  // namespace

bool IsVersionNameAtLeast18(const std::wstring& subkeyName)
{
    return wcsncmp(subkeyName.c_str(), kMinimumVersion, 3) >= 0;
}

bool IsCurrentVersionTooOld(const std::wstring& version)
{
    return wcscmp(kMinimumVersion, version.c_str()) > 0;
}

namespace {

const wchar_t kRemoveFolder[] = L"RD /S /Q \"";
const wchar_t kNextCommand[] = L" & ";

}  // namespace

std::wstring DeferredRemovalCommand(const std::vector<std::wstring>& runFolders)
{
    std::wstring command = common::SystemProgramPath(L"cmd.exe") + L" /C  ";
    for (size_t i = 0; i < runFolders.size(); ++i) {
        command += (i ? kNextCommand : L"") + std::wstring(kRemoveFolder) + runFolders[i] + L"\"";
    }
    return command;
}

std::vector<std::wstring> FoldersOfRemovalCommand(const std::wstring& command)
{
    std::vector<std::wstring> folders;
    const size_t length = wcslen(kRemoveFolder);
    for (size_t at = command.find(kRemoveFolder); at != std::wstring::npos; at = command.find(kRemoveFolder, at)) {
        const size_t start = at + length;
        const size_t end = command.find(L'"', start);
        if (end == std::wstring::npos) {
            break;
        }
        folders.push_back(command.substr(start, end - start));
        at = end + 1;
    }
    return folders;
}

std::optional<std::wstring> FolderOfUninstallString(const std::wstring& uninstallString)
{
    const size_t slash = uninstallString.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return std::nullopt;
    }
    return uninstallString.substr(0, slash);
}

bool IsJava7DisplayName(const std::wstring& displayName)
{
    return wcsncmp(displayName.c_str(), L"Java 7", 10) == 0;
}

std::wstring Java7RemovalArguments(const std::wstring& uninstallKeyName)
{
    return L"/quiet /X" + uninstallKeyName;
}

}  // namespace launcher
