#include "setup/installer_search.h"

#include "common/held_file.h"

#include "common/command_line_words.h"
#include "common/paths.h"
#include "common/system_libraries.h"
#include "common/unique_resource.h"
#include "proclaunch/child_environment.h"
#include "proclaunch/launch_process.h"
#include "setup/exit_codes.h"
#include "setup/media_check.h"
#include "setup/messages.h"
#include "setup/resources/resource.h"
#include "setup/setup_log.h"
#include "setup/setup_settings.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

namespace setup {

std::wstring g_szJavaInstallerPath;

namespace {

static_assert(sizeof(STARTUPINFOW) == (sizeof(void*) == 4 ? 68 : 104), "the start-up record");

// A directory search that refuses a pattern longer than the fixed buffer.
common::UniqueFind FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& entry)
{
    if (pattern.size() + 1 > kPatternUnits) {
        return common::UniqueFind();
    }
    return common::UniqueFind(::FindFirstFileW(pattern.c_str(), &entry));
}

bool IsFolder(const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The program's folder with its trailing backslash; empty without one.
std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The program's folder without its trailing backslash.
std::wstring MediaFolder()
{
    std::wstring folder = FolderOf(common::ProgramPath(kProgramPathUnits));
    if (!folder.empty()) {
        folder.pop_back();
    }
    return folder;
}

bool Fits(const std::wstring& text)
{
    return text.size() + 1 <= kLaunchUnits;
}

STARTUPINFOW EmptyStartupInfo()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return startup;
}

// The argument buffer LaunchProcess writes the full command line back into.
std::vector<wchar_t> ArgumentBuffer(const std::wstring& arguments)
{
    std::vector<wchar_t> buffer(kLaunchUnits, L'\0');
    std::wmemcpy(buffer.data(), arguments.c_str(), arguments.size() + 1);
    return buffer;
}

const wchar_t* NullIfEmpty(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

// The started program was not the checked file: someone pointed its name
// elsewhere after the check. It was ended before it ran.
void LogImageNotChecked(const wchar_t* caller, const std::wstring& path)
{
    WriteLog(std::wstring(caller) + L": " + path +
             L" differs from the media: the started program is not the checked file");
}

DWORD ReportImageNotChecked(const std::wstring& path)
{
    LogImageNotChecked(L"LaunchInstaller", path);
    ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
    return kExitInstallerNotStarted;
}

DWORD StartDirectly(const std::wstring& path, const std::wstring& arguments, const ChildFolders& folders,
                    HANDLE checked)
{
    WriteLog(L"LaunchInstaller: normalprocess: CreateProcess");
    std::wstring command = path + L" " + arguments;
    WriteLog(L"LaunchInstaller: normalprocess: Command: " + command);
    if (!Fits(command)) {
        WriteLog(L"LaunchInstaller: normalprocess: Command does not fit");
        ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
        return kExitInstallerNotStarted;
    }
    // The same clean environment as the interactive road.
    std::wstring environment;
    if (!proclaunch::ChildEnvironmentBlock(folders.temp.empty() ? common::SystemTempFolder() : folders.temp,
                                           &environment)) {
        WriteLog(L"LaunchInstaller: normalprocess: no environment for the installer");
        return kExitInstallerNotStarted;
    }
    STARTUPINFOW startup = EmptyStartupInfo();
    PROCESS_INFORMATION created = {};
    const BOOL started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE,
                                          CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, &environment[0],
                                          NullIfEmpty(folders.runFolder), &startup, &created);
    common::UniqueHandle process(started ? created.hProcess : nullptr);
    common::UniqueHandle thread(started ? created.hThread : nullptr);
    if (process && !common::ResumeIfImageIsHeld(process.get(), thread.get(), checked)) {
        return ::GetLastError() == common::kImageNotTheHeldFile ? ReportImageNotChecked(path)
                                                                 : kExitInstallerNotStarted;
    }
    WriteLog(L"LaunchInstaller: normalprocess: before Wait");
    DWORD exitCode = kExitInstallerNotStarted;
    if (process) {
        ::WaitForSingleObject(process.get(), INFINITE);
        if (!::GetExitCodeProcess(process.get(), &exitCode)) {
            exitCode = kExitInstallerNotStarted;
        }
    }
    WriteLog(L"LaunchInstaller: normalprocess: after Wait");
    return exitCode;
}

DWORD StartInInteractiveSession(const std::wstring& path, const std::wstring& arguments, const ChildFolders& folders,
                                HANDLE checked)
{
    WriteLog(L"LaunchInstaller: not normalprocess: LaunchProcess");
    std::vector<wchar_t> tcInstallerArgs = ArgumentBuffer(arguments);
    STARTUPINFOW startup = EmptyStartupInfo();
    DWORD exitCode = kExitInstallerNotStarted;
    if (!LaunchProcess(path.c_str(), tcInstallerArgs.data(), &startup, TRUE, &exitCode, NullIfEmpty(folders.temp),
                       NullIfEmpty(folders.runFolder), checked)) {
        if (::GetLastError() == common::kImageNotTheHeldFile) {
            return ReportImageNotChecked(path);
        }
        WriteLog(L"LaunchInstaller: LaunchProcess: failed");
        ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
        exitCode = kExitInstallerNotStarted;
    }
    WriteLog(L"LaunchInstaller: after LaunchProcess");
    return exitCode;
}

}  // namespace

std::wstring GetApplicationDirectory()
{
    WriteLog(L"GetApplicationDirectory:");
    WriteLog(L"GetApplicationDirectory: GetModuleFileNameW");
    std::wstring path = common::ProgramPath(kProgramPathUnits);
    if (!path.empty()) {
        WriteLog(L"GetApplicationDirectory: Set szApplicationDirectory");
    }
    WriteLog(L"GetApplicationDirectory: szApplicationDirectory: " + path);
    const std::wstring folder = FolderOf(path);
    WriteLog(L"GetApplicationDirectory: return: " + folder);
    return folder;
}

bool IsFileInFolder(const std::wstring& szFolderPath, std::wstring& szFoundFilePath)
{
    WriteLog(L"IsFileInFolder: szFolderPath: " + szFolderPath);
    const DWORD attributes = ::GetFileAttributesW(szFolderPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        WriteLog(L"IsFileInFolder: file attributes read error");
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }

    WIN32_FIND_DATAW entry = {};
    std::wstring pattern = szFolderPath + L"\\Setup.exe";
    common::UniqueFind search = FindFirst(pattern, entry);
    WriteLog(L"IsFileInFolder: FindString: " + pattern);
    if (search) {
        szFoundFilePath = szFolderPath + L"\\" + entry.cFileName;
        search.reset();
        WriteLog(L"IsFileInFolder: found: szFoundFilePath: " + szFoundFilePath);
        return true;
    }

    pattern = szFolderPath + L"\\*.*";
    WriteLog(L"IsFileInFolder: FindString: " + pattern);
    search = FindFirst(pattern, entry);
    if (!search) {
        WriteLog(L"IsFileInFolder: not found");
        return false;
    }
    do {
        if (!IsFolder(entry)) {
            szFoundFilePath = szFolderPath + L"\\" + entry.cFileName;
            search.reset();
            WriteLog(L"IsFileInFolder: found: szFoundFilePath: " + szFoundFilePath);
            return true;
        }
    } while (::FindNextFileW(search.get(), &entry));
    search.reset();
    WriteLog(L"IsFileInFolder: not found");
    return false;
}

bool IsFolderExist(const std::wstring& path)
{
    WriteLog(L"IsFolderExist: " + path);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        WriteLog(L"IsFolderExist: file attributes read error");
        return false;
    }
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    WriteLog(std::wstring(L"IsFolderExist: ") + (folder ? L"exists" : L"does not exist"));
    return folder;
}

bool JVMInstallerFound()
{
    WriteLog(L"JVMInstallerFound");
    GetSetupSettings();
    const std::wstring folder = MediaFolder();
    const std::wstring jvmFolder = folder + L"\\JVM";
    if (const auto& list = SetupMediaList()) {
        g_szJavaInstallerPath = ListedJavaInstaller(*list, folder);
        WriteLog(L"JVMInstallerFound: listed: " + g_szJavaInstallerPath);
        return !g_szJavaInstallerPath.empty();
    }
    WriteLog(L"JVMInstallerFound: isFolderExist: " + jvmFolder);
    if (IsFolderExist(jvmFolder)) {
        WriteLog(L"JVMInstallerFound: exists: " + jvmFolder);
        return IsFileInFolder(jvmFolder, g_szJavaInstallerPath);
    }
    WriteLog(L"JVMInstallerFound: Does not exist: " + jvmFolder);
    return false;
}

bool LaunchJavaInstaller(const ChildFolders& folders)
{
    WriteLog(L"LaunchJavaInstaller");
    // A runtime installer loads libraries from its own folder: the media's
    // folder (a downloads folder, say) is no place to run it from.
    std::wstring program = g_szJavaInstallerPath;
    common::MediaFileCheck held;
    const auto& list = SetupMediaList();
    if (list && !folders.runFolder.empty()) {
        program = folders.runFolder + L"\\" + common::SplitAtLastBackslash(g_szJavaInstallerPath).second;
        held = CheckListedFile(L"LaunchJavaInstaller", *list, MediaFolder(), g_szJavaInstallerPath, false, program);
    } else if (list) {
        WriteLog(L"LaunchJavaInstaller: no folder of its own to run " + g_szJavaInstallerPath + L" from");
    }
    const std::wstring tcInstallerPath = common::QuotedProgramPath(program);
    const std::wstring arguments = L"/s";
    WriteLog(L"LaunchJavaInstaller: LaunchProcess: tcInstallerPath: " + tcInstallerPath);
    WriteLog(L"LaunchJavaInstaller: LaunchProcess: tcInstallerArgs: " + arguments);
    bool started = false;
    if ((held || !list) && Fits(tcInstallerPath)) {
        std::vector<wchar_t> tcInstallerArgs = ArgumentBuffer(arguments);
        STARTUPINFOW startup = EmptyStartupInfo();
        started = LaunchProcess(tcInstallerPath.c_str(), tcInstallerArgs.data(), &startup, TRUE, nullptr,
                                NullIfEmpty(folders.temp), NullIfEmpty(folders.runFolder),
                                held ? held.held.get() : nullptr) != FALSE;
        if (!started && ::GetLastError() == common::kImageNotTheHeldFile) {
            LogImageNotChecked(L"LaunchJavaInstaller", program);
        }
    }
    held.held.reset();
    if (!program.empty() && program != g_szJavaInstallerPath) {
        ::DeleteFileW(program.c_str());
    }
    if (!started) {
        ShowErrorMessage(IDS_JAVAINSTALLERNOTFOUND);
    }
    return started;
}

bool IsWow64()
{
    WriteLog(L"IsWow64");
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    BOOL wow64 = FALSE;
    const auto isWow64Process =
        common::FindFunction<IsWow64ProcessFunction>(::GetModuleHandleW(L"kernel32"), "IsWow64Process");
    if (isWow64Process != nullptr) {
        isWow64Process(::GetCurrentProcess(), &wow64);
    }
    WriteLog(wow64 ? L"IsWow64: return: true" : L"IsWow64: return: false");
    return wow64 != FALSE;
}

std::wstring SearchPlatformIndependentInstaller()
{
    WriteLog(L"SearchPlatformIndependentInstaller");
    const std::wstring folder = GetApplicationDirectory();
    const std::wstring pattern = folder + L"*.exe";
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind search = FindFirst(pattern, entry);
    WriteLog(L"SearchPlatformIndependentInstaller: FindString: " + pattern);
    if (search) {
        do {
            if (!IsFolder(entry) && _wcsicmp(entry.cFileName, L"Setup.exe") != 0) {
                const std::wstring path = folder + entry.cFileName;
                search.reset();
                WriteLog(L"SearchPlatformIndependentInstaller: FoundFilePath: " + path);
                return path;
            }
        } while (::FindNextFileW(search.get(), &entry));
        search.reset();
    }
    WriteLog(L"SearchPlatformIndependentInstaller: return empty");
    return std::wstring();
}

std::wstring SearchPlatformInstaller(const std::wstring& marker)
{
    WriteLog(L"SearchPlatformInstaller");
    const std::wstring folder = GetApplicationDirectory();
    const std::wstring pattern = folder + L"*.*";
    WIN32_FIND_DATAW entry = {};
    common::UniqueFind search = FindFirst(pattern, entry);
    WriteLog(L"SearchPlatformInstaller: FindString" + pattern);
    if (search) {
        do {
            std::wstring found;
            if (IsFolder(entry) && std::wcsstr(entry.cFileName, marker.c_str()) != nullptr &&
                IsFileInFolder(folder + entry.cFileName, found)) {
                search.reset();
                WriteLog(L"SearchPlatformInstaller: FoundFilePath: " + found);
                return found;
            }
        } while (::FindNextFileW(search.get(), &entry));
        search.reset();
    }
    WriteLog(L"SearchPlatformInstaller: return empty");
    return std::wstring();
}

std::wstring InstallerArguments(const wchar_t* commandLine)
{
    std::wstring arguments;
    int count = 0;
    common::UniqueLocalMem words(::CommandLineToArgvW(commandLine, &count));
    const auto* argv = static_cast<const wchar_t* const*>(words.get());
    for (int i = 1; argv != nullptr && i < count; ++i) {
        // Quoted only where needed, so that the installer reads each word
        // back as given ("C:\Program Files\..." stays one word).
        arguments += common::QuotedWordIfNeeded(argv[i]);
        arguments += L' ';
    }
    return arguments;
}

DWORD LaunchInstaller(const ChildFolders& folders)
{
    WriteLog(L"LaunchInstaller");
    // A 64-bit build of this program runs on 64-bit Windows, like a 32-bit
    // one under WoW64.
    const bool on64BitWindows = IsWow64() || sizeof(void*) == 8;
    const wchar_t* branch = on64BitWindows ? L"LaunchInstaller: wow64: " : L"LaunchInstaller: wow32: ";
    const wchar_t* first = on64BitWindows ? L"64" : L"32";
    const wchar_t* second = on64BitWindows ? L"32" : L"64";
    const auto& list = SetupMediaList();
    std::wstring szInstallerPath;
    const std::wstring folder = MediaFolder();
    if (list) {
        // Exactly the listed launcher: no folder-name match, no other program.
        szInstallerPath = ListedPlatformInstaller(*list, folder, on64BitWindows);
        WriteLog(L"LaunchInstaller: listed: " + szInstallerPath);
    } else {
        WriteLog(branch + std::wstring(first));
        szInstallerPath = SearchPlatformInstaller(first);
        if (szInstallerPath.empty()) {
            WriteLog(branch + std::wstring(second));
            szInstallerPath = SearchPlatformInstaller(second);
        }
        if (szInstallerPath.empty()) {
            WriteLog(L"LaunchInstaller: SearchPlatformIndependentInstaller");
            szInstallerPath = SearchPlatformIndependentInstaller();
        }
    }
    WriteLog(L"LaunchInstaller: szInstallerPath: " + szInstallerPath);
    if (szInstallerPath.empty()) {
        ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
        return list ? kExitInstallerNotStarted : kExitInstallerNotFound;
    }
    // Held until the installer has ended, so it is started as checked.
    common::MediaFileCheck held;
    if (list && !(held = CheckListedFile(L"LaunchInstaller", *list, folder, szInstallerPath, true))) {
        ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
        return kExitInstallerNotStarted;
    }
    if (held) {
        // Started where the checked file is now, not by the name it was
        // found under: a folder renamed or a link changed since then leads
        // elsewhere.
        const std::wstring finalPath = common::FinalPathOf(held.held.get());
        if (finalPath.empty()) {
            WriteLog(L"LaunchInstaller: the path of the checked " + szInstallerPath + L" cannot be read");
            ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
            return kExitInstallerNotStarted;
        }
        if (finalPath != szInstallerPath) {
            WriteLog(L"LaunchInstaller: the checked file is now " + finalPath);
        }
        szInstallerPath = finalPath;
    }

    const HANDLE checked = held ? held.held.get() : nullptr;
    const std::wstring szInstallerArgs = InstallerArguments(::GetCommandLineW());
    WriteLog(L"LaunchInstaller: szInstallerArgs: " + szInstallerArgs);
    const std::wstring tcInstallerPath = common::QuotedProgramPath(szInstallerPath);
    if (!Fits(tcInstallerPath) || !Fits(szInstallerArgs)) {
        WriteLog(L"LaunchInstaller: szInstallerPath or szInstallerArgs does not fit");
        ShowErrorMessage(IDS_INSTALLATIONCANNOTSTART);
        return kExitInstallerNotStarted;
    }
    WriteLog(L"LaunchInstaller: Before launch: tcInstallerPath: " + tcInstallerPath);
    WriteLog(L"LaunchInstaller: Before launch: tcInstallerArgs: " + szInstallerArgs);
    if (szInstallerArgs.find(L"/normalprocess") != std::wstring::npos) {
        return StartDirectly(tcInstallerPath, szInstallerArgs, folders, checked);
    }
    return StartInInteractiveSession(tcInstallerPath, szInstallerArgs, folders, checked);
}

}  // namespace setup
