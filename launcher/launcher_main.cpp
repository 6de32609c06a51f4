#include "launcher/launcher_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    launcher::LauncherApp app(instance);
    app.InitInstance();
    return app.ExitInstance();
}
