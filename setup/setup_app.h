#pragma once
// The setup program's start-up: the log, the administrator test, and the
// status dialog whose worker thread does all the work.

#include <windows.h>

#include <string>

namespace setup {

// CheckTokenMembership's signature: the test of group membership.
using MembershipTest = BOOL(WINAPI*)(HANDLE token, PSID group, PBOOL isMember);

// The program path as the command line gives it: inside the leading double
// quotes (empty without a closing one), else up to the first blank, else up
// to the first tab, else all of it. Neither completed nor case-folded.
std::wstring ProgramPathFromCommandLine(const std::wstring& commandLine);

// True when the membership test was made; *isMember then says whether the
// calling thread's effective token holds the Administrators group (enabled).
// False without a test for a null pointer or a failed test (*isMember
// unchanged).
bool IsAdministrator(BOOL* isMember, MembershipTest test = &::CheckTokenMembership);

class SetupApp {
public:
    explicit SetupApp(HINSTANCE instance, MembershipTest membershipTest = &::CheckTokenMembership)
        : m_hInstance(instance), m_membershipTest(membershipTest)
    {
    }

    // Always false: the program ends when it returns.
    bool InitInstance();

    // Why the program ended, for its exit code (see exit_codes.h).
    DWORD ExitCode() const { return m_exitCode; }

private:
    HINSTANCE m_hInstance;
    MembershipTest m_membershipTest;
    DWORD m_exitCode = 0;
};

}  // namespace setup
