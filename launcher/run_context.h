#pragma once
// What every step of a launcher run works on: the options it was started
// with, the media's list, the run's own folders, the trace and the splash.

#include "common/media_list.h"
#include "launcher/launcher_state.h"
#include "launcher/decision_trace.h"
#include "launcher/splash/splash.h"

#include <windows.h>

#include <string>

namespace launcher {

struct RunContext {
    HINSTANCE instance;
    HWND owner;                      // the owner of the run's message boxes
    LauncherState& options;
    DecisionTrace& trace;
    Splash& splash;
    const common::MediaList* mediaList = nullptr;  // none in uninstall mode or without a list
    std::wstring runFolder;          // the run's own folder; empty when it could not be made
    std::wstring childTemp;          // the children's TEMP; empty: the system's
    DWORD runFolderError = ERROR_SUCCESS;  // why there is no run folder
};

}  // namespace launcher
