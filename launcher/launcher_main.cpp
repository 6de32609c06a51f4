#include "common/system_libraries.h"
#include "launcher/launcher_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    common::UseSystemFolderForLibraries();
    launcher::LauncherApp app(instance);
    app.InitInstance();
    return app.ExitInstance();
}
