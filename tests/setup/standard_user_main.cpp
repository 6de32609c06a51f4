// The setup program as a user outside the Administrators group meets it:
// Wine always answers the membership test with yes, so this build, used only
// by the tests, answers no.
#include "common/system_libraries.h"
#include "setup/setup_app.h"

namespace {

BOOL WINAPI NotAMember(HANDLE, PSID, PBOOL isMember)
{
    *isMember = FALSE;
    return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    common::UseSystemFolderForLibraries();
    setup::SetupApp app(instance, &NotAMember);
    app.InitInstance();
    return static_cast<int>(app.ExitCode());
}
