#include "common/system_libraries.h"
#include "setup/setup_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    common::UseSystemFolderForLibraries();
    setup::SetupApp app(instance);
    app.InitInstance();
    return static_cast<int>(app.ExitCode());
}
