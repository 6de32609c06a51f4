// Purlow: removes the folder named on its command line once it is empty,
// trying once a second for up to two minutes. No window, exit code 0 always.

#include "common/system_libraries.h"
#include "helpers/purlow/folder_removal.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    common::UseSystemFolderForLibraries();
    purlow::Win32RemovalSystem system;
    purlow::RemoveFolderWhenEmpty(purlow::TargetFolderFromCommandLine(::GetCommandLineW()), system);
    return 0;
}
