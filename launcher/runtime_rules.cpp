#include "launcher/runtime_rules.h"

#include "common/paths.h"

#include <cwchar>

namespace launcher {

const wchar_t kJavaRuntimeKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

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
