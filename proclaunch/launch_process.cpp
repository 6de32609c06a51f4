#include "proclaunch/launch_process.h"

#include "common/held_file.h"

#include "common/unique_resource.h"
#include "proclaunch/launch_request.h"
#include "proclaunch/logon_sid.h"
#include "proclaunch/object_access.h"
#include "proclaunch/step_log.h"

#include "common/application_name.h"
#include "common/paths.h"
#include "proclaunch/child_environment.h"
#include "proclaunch/launch_heap.h"

#include <cwchar>

namespace proclaunch {

wchar_t InteractiveDesktopName[] = L"winsta0\\default";

namespace {

constexpr DWORD kTokenAllAccess = 0x000F01FF;
constexpr ACCESS_MASK kWindowStationAccess = READ_CONTROL | WRITE_DAC;
constexpr ACCESS_MASK kDesktopAccess = READ_CONTROL | WRITE_DAC | DESKTOP_WRITEOBJECTS | DESKTOP_READOBJECTS;
static_assert(kWindowStationAccess == 0x00060000 && kDesktopAccess == 0x00060081, "the documented access");

// What the interactive road holds, each member released before the ones
// above it: impersonation ended, the caller's window station set again as
// the process's own, the logon SID, the interactive window station, its
// desktop, the token. Both ends release the window station and the logon SID
// between their lines (freeing the SID writes a line of its own).
struct InteractiveLaunch {
    explicit InteractiveLaunch(const SecurityApi& api)
        : desktop({&api}), windowStation({&api}), callerWindowStation({&api}), impersonation({&api})
    {
    }

    BOOL Failed(DWORD code)
    {
        // Never leave the thread impersonating behind a failure.
        impersonation.reset();
        LogStep(L"LaunchProcess: in catch (error)");
        RestoreStationAndFreeSid();
        LogStep(L"LaunchProcess: return false");
        ::SetLastError(code);
        return FALSE;
    }

    BOOL Succeeded()
    {
        RestoreStationAndFreeSid();
        LogStep(L"LaunchProcess: return true");
        return TRUE;
    }

    common::UniqueHandle token;
    UniqueDesktop desktop;
    UniqueWindowStation windowStation;
    UniqueLogonSid logonSid;
    WindowStationRestore callerWindowStation;  // the process's own: set again, never closed
    Impersonation impersonation;

private:
    void RestoreStationAndFreeSid()
    {
        LogStep(L"LaunchProcess: Clean up:");
        callerWindowStation.reset();
        logonSid.reset();
    }
};

// The end of both roads once a child exists: wait if asked, then close both
// handles.
void FinishWithChild(common::UniqueHandle& process, common::UniqueHandle& thread, BOOL wait, DWORD* childExitCode)
{
    if (process.get() != INVALID_HANDLE_VALUE) {
        LogStep(L"LaunchProcess: pi.hProcess != INVALID_HANDLE_VALUE");
        if (wait) {
            ::WaitForSingleObject(process.get(), INFINITE);
            if (childExitCode != nullptr) {
                ::GetExitCodeProcess(process.get(), childExitCode);
            }
        }
        LogStep(L"LaunchProcess: CloseHandle after wait");
        process.reset();
    }
    if (thread.get() != INVALID_HANDLE_VALUE) {
        LogStep(L"LaunchProcess: pi.hThread != INVALID_HANDLE_VALUE");
        thread.reset();
    }
}

// Writes the full command line back into the caller's buffer.
void ReturnCommandLine(const LaunchRequest& request, const std::wstring& combined)
{
    if (request.commandLine != nullptr) {
        std::wmemcpy(request.commandLine, combined.c_str(), combined.size() + 1);
    }
}

// The child's environment and working folder for one creation; what it
// changed is put back when it goes.
class ChildSurroundings {
public:
    ~ChildSurroundings() { restore(); }

    // 0, or the failure code. Shows the memory message when a variable
    // cannot be staged.
    DWORD prepare(BOOL startInSystemTemp, const wchar_t* childTempFolder)
    {
        const std::wstring windowsFolder = common::WindowsFolder();
        if (windowsFolder.empty()) {
            return LaunchSystemRootMissing;
        }
        const std::wstring systemTemp = common::SystemTempFolder();
        PreparedVariables prepared;
        if (!PrepareVariables(childTempFolder != nullptr ? childTempFolder : systemTemp, &prepared)) {
            return LaunchSystemRootTooLong;
        }

        m_parentStrings.reset(::GetEnvironmentStringsW());
        if (!m_parentStrings) {
            return LaunchEnvironmentNoMemory;
        }
        // Sized from what is written: replaced values may be longer than
        // the parent's own.
        const size_t units = ChildEnvironmentUnits(m_parentStrings.get(), prepared);
        m_block = AllocateLaunchBlock(units * sizeof(wchar_t));
        if (!m_block) {
            return LaunchEnvironmentNoMemory;
        }
        if (!WriteChildEnvironment(m_parentStrings.get(), prepared, static_cast<wchar_t*>(m_block.get()))) {
            ::MessageBoxW(nullptr, L"Memory allocation error.", common::ApplicationName().c_str(), MB_OK);
            return LaunchEnvironmentNoMemory;
        }

        m_savedFolder = common::CurrentFolder();
        if (m_savedFolder.empty()) {
            return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_PATH_NOT_FOUND;
        }
        if (startInSystemTemp) {
            if (!::SetCurrentDirectoryW(systemTemp.c_str())) {
                return ::GetLastError();
            }
            m_folderChanged = true;
        }
        return ERROR_SUCCESS;
    }

    void* block() const { return m_block.get(); }

    void restore()
    {
        if (m_folderChanged) {
            ::SetCurrentDirectoryW(m_savedFolder.c_str());
            m_folderChanged = false;
        }
        m_block.reset();
        m_parentStrings.reset();
    }

private:
    common::UniqueEnvironmentStrings m_parentStrings;
    LaunchHeapBlock m_block;
    std::wstring m_savedFolder;
    bool m_folderChanged = false;
};

}  // namespace

bool UseInteractiveSessionPath(DWORD platformId, DWORD majorVersion, DWORD minorVersion)
{
    return (platformId == VER_PLATFORM_WIN32_NT && majorVersion > 5) || (majorVersion == 5 && minorVersion >= 1);
}

bool CombineCommandLine(LPCWSTR applicationPath, LPCWSTR arguments, size_t units, std::wstring* combined)
{
    std::wstring line = applicationPath != nullptr ? applicationPath : L"";
    line += L' ';
    line += arguments != nullptr ? arguments : L"";
    if (line.size() + 1 > units) {
        return false;
    }
    *combined = std::move(line);
    return true;
}

BOOL LaunchInInteractiveSession(const SecurityApi& api, const LaunchRequest& request)
{
    LogStep(L"LaunchProcess: Windows XP or higher:");
    InteractiveLaunch held(api);

    LogStep(L"LaunchProcess: Get the process token of the current processs:");
    if (!api.OpenProcessToken(::GetCurrentProcess(), kTokenAllAccess, held.token.put())) {
        return held.Failed(::GetLastError());
    }

    LogStep(L"LaunchProcess: Save a handle to the caller's current window station:");
    held.callerWindowStation.reset(api.GetProcessWindowStation());
    if (!held.callerWindowStation) {
        return held.Failed(::GetLastError());
    }

    LogStep(L"LaunchProcess: Get a handle to the interactive window station:");
    held.windowStation.reset(api.OpenWindowStationW(L"winsta0", FALSE, kWindowStationAccess));
    if (!held.windowStation) {
        return held.Failed(::GetLastError());
    }

    LogStep(L"LaunchProcess: To get the correct default desktop, set the caller's window station to the "
          L"interactive window station:");
    if (!api.SetProcessWindowStation(held.windowStation.get())) {
        return held.Failed(::GetLastError());
    }

    LogStep(L"LaunchProcess: Get a handle to the interactive desktop:");
    held.desktop.reset(api.OpenDesktopW(L"default", 0, FALSE, kDesktopAccess));
    if (!held.desktop) {
        return held.Failed(::GetLastError());
    }

    LogStep(L"LaunchProcess: Restore the caller's window station:");
    if (!api.SetProcessWindowStation(held.callerWindowStation.get())) {
        return held.Failed(::GetLastError());
    }

    LogStep(L"LaunchProcess: Get the SID for the client's logon session:");
    if (!GetLogonSID(api, held.token.get(), held.logonSid.put())) {
        return held.Failed(::GetLastError());
    }

    if (held.logonSid) {
        LogStep(L"LaunchProcess: Allow logon SID full access to interactive window station:");
        if (!AddAceToWindowStation(api, held.windowStation.get(), held.logonSid.get())) {
            return held.Failed(::GetLastError());
        }
        LogStep(L"LaunchProcess: Allow logon SID full access to interactive desktop:");
        if (!AddAceToDesktop(api, held.desktop.get(), held.logonSid.get())) {
            return held.Failed(::GetLastError());
        }
    }

    LogStep(L"LaunchProcess: Impersonate client to ensure access to executable file:");
    if (!api.ImpersonateLoggedOnUser(held.token.get())) {
        return held.Failed(::GetLastError());
    }
    held.impersonation.reset(held.token.get());

    LogStep(L"LaunchProcess: Set the window stattion and desktop of the process to launch:");
    request.startupInfo->lpDesktop = InteractiveDesktopName;

    LogStep(L"LaunchProcess: Launch the process:");
    std::wstring combined;
    if (!CombineCommandLine(request.applicationPath, request.commandLine, LaunchCommandLineUnits, &combined)) {
        return held.Failed(LaunchCommandLineTooLong);
    }
    ReturnCommandLine(request, combined);
    LogStep(L"LaunchProcess: CreateProcess: lpszCommandLine:", combined.c_str());

    // Both programs run elevated: their children get a clean environment.
    ChildSurroundings surroundings;
    const DWORD prepareFailure = surroundings.prepare(request.startInSystemTemp, request.childTempFolder);
    if (prepareFailure != ERROR_SUCCESS) {
        surroundings.restore();
        return held.Failed(prepareFailure);
    }

    PROCESS_INFORMATION created = {};
    const BOOL started =
        ::CreateProcessW(nullptr, &combined[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                         surroundings.block(), request.workingFolder, request.startupInfo, &created);
    const DWORD createError = ::GetLastError();
    common::UniqueHandle process(started ? created.hProcess : nullptr);
    common::UniqueHandle thread(started ? created.hThread : nullptr);
    surroundings.restore();
    if (!started) {
        return held.Failed(createError);
    }

    LogStep(L"LaunchProcess: End impersonation of client:");
    held.impersonation.release();
    if (!api.RevertToSelf()) {
        const DWORD revertError = ::GetLastError();
        ::TerminateProcess(process.get(), revertError);
        return held.Failed(revertError);
    }
    if (!common::ResumeIfImageIsHeld(process.get(), thread.get(), request.expectedImage)) {
        return held.Failed(::GetLastError());
    }

    FinishWithChild(process, thread, request.wait, request.childExitCode);

    return held.Succeeded();
}

BOOL LaunchPlainly(const LaunchRequest& request)
{
    LogStep(L"LaunchProcess: Windows 9x, ME, NT4 and Windows2000:");
    std::wstring combined;
    if (!CombineCommandLine(request.applicationPath, request.commandLine, LaunchCommandLineUnits, &combined)) {
        ::SetLastError(LaunchCommandLineTooLong);
        return FALSE;
    }
    ReturnCommandLine(request, combined);
    LogStep(L"LaunchProcess: CreateProcess: lpszCommandLine: ", combined.c_str());

    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, &combined[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                          request.startupInfo, &created)) {
        return FALSE;
    }
    common::UniqueHandle process(created.hProcess);
    common::UniqueHandle thread(created.hThread);
    if (!common::ResumeIfImageIsHeld(process.get(), thread.get(), request.expectedImage)) {
        return FALSE;
    }
    FinishWithChild(process, thread, request.wait, request.childExitCode);
    return TRUE;
}

namespace {

BOOL Launch(const LaunchRequest& request)
{
    LogStep(L"LaunchProcess");
    if (request.startupInfo == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the version record");
    if (!::GetVersionExW(&version)) {
        return FALSE;
    }
    if (UseInteractiveSessionPath(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion)) {
        return LaunchInInteractiveSession(ProcessSecurityApi(), request);
    }
    return LaunchPlainly(request);
}

}  // namespace

}  // namespace proclaunch

#ifdef PROCLAUNCH_LAUNCHER_FORM
BOOL LaunchProcess(LPCWSTR applicationPath, LPWSTR commandLine, STARTUPINFOW* startupInfo, BOOL wait,
                   BOOL startInSystemTemp, DWORD* childExitCode, LPCWSTR childTempFolder, HANDLE expectedImage)
{
    return proclaunch::Launch({applicationPath, commandLine, startupInfo, wait, startInSystemTemp, childExitCode,
                               childTempFolder, nullptr, expectedImage});
}
#else
BOOL LaunchProcess(LPCWSTR applicationPath, LPWSTR commandLine, STARTUPINFOW* startupInfo, BOOL wait,
                   DWORD* childExitCode, LPCWSTR childTempFolder, LPCWSTR workingFolder, HANDLE expectedImage)
{
    return proclaunch::Launch({applicationPath, commandLine, startupInfo, wait, FALSE, childExitCode, childTempFolder,
                               workingFolder, expectedImage});
}
#endif
