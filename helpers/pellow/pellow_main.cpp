// Pellow: starts a program outside the program-removal applet's job.
//   Pellow [-wait] <application path> [<arguments> ...]

#include "common/system_libraries.h"
#include "helpers/pellow/launch_outside_job.h"

int wmain(int argc, wchar_t** argv)
{
    common::UseSystemFolderForLibraries();
    const auto request = pellow::ParseArguments(argc, argv);
    if (!request) {
        pellow::WriteOutput(pellow::kUsageText);
        return 1;
    }
    return pellow::LaunchOutsideJob(*request);
}
