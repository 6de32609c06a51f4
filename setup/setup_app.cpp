#include "setup/setup_app.h"

#include "common/system_libraries.h"
#include "common/unique_resource.h"
#include "proclaunch/launch_log.h"
#include "setup/exit_codes.h"
#include "setup/messages.h"
#include "setup/resources/resource.h"
#include "setup/setup_dialog.h"
#include "setup/setup_log.h"

#include <objbase.h>

namespace setup {

std::wstring ProgramPathFromCommandLine(const std::wstring& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t closing = commandLine.find(L'"', 1);
        return closing == std::wstring::npos ? std::wstring() : commandLine.substr(1, closing - 1);
    }
    size_t cut = commandLine.find(L' ');
    if (cut == std::wstring::npos) {
        cut = commandLine.find(L'\t');
    }
    return commandLine.substr(0, cut);
}

bool IsAdministrator(BOOL* isMember, MembershipTest test)
{
    if (isMember == nullptr) {
        return false;
    }
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    common::UniqueSid administrators;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                    0, 0, 0, administrators.put())) {
        return false;
    }
    BOOL member = FALSE;
    if (!test(nullptr, administrators.get(), &member)) {
        return false;
    }
    *isMember = member;
    return true;
}

namespace {

// comctl32.dll is not one of the system's known libraries: an import would
// be looked for beside Setup.exe first. Without it the dialog's plain
// controls still work.
void InitCommonControlsFromSystemFolder()
{
    using InitCommonControlsFunction = void(WINAPI*)();
    const auto initialise = common::FindFunction<InitCommonControlsFunction>(
        common::LoadSystemLibrary(L"comctl32.dll"), "InitCommonControls");
    if (initialise) {
        initialise();
    }
}

void LaunchLogLine(const std::wstring& line)
{
    WriteLog(line);
}

}  // namespace

bool SetupApp::InitInstance()
{
    g_szLogPath = BuildLogPath();
    proclaunch::ConnectLaunchLog(&LaunchLogLine);

    WriteLog(L"InitCommonControls()");
    InitCommonControlsFromSystemFolder();
    WriteLog(L"CWinApp::InitInstance()");
    WriteLog(L"AfxEnableControlContainer()");
    WriteLog(L"::CoInitialize (NULL)");
    ::CoInitialize(nullptr);

    const std::wstring exePath = ProgramPathFromCommandLine(::GetCommandLineW());
    WriteLog(L"::ExePath: " + exePath);

    BOOL isMember = FALSE;
    if (IsAdministrator(&isMember, m_membershipTest) && isMember) {
        WriteLog(L"::Administator -> DoModal()");
        SetupDialog dialog(nullptr);
        dialog.m_szExePath = exePath;
        dialog.Run(m_hInstance);
        m_exitCode = dialog.ExitCode();
    } else {
        WriteLog(L"::Not Administator -> ErrorMessage");
        ShowErrorMessage(IDS_NOTADMINISTRATOR);
        m_exitCode = kExitNotAdministrator;
    }
    return false;
}

}  // namespace setup
