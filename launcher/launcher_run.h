#pragma once
// One run of the launcher: its own folder, the choice of a Java runtime,
// the Java installer's start and the clean-up behind it, and as
// uninstaller the removal of its folder. Each step lives in a file of its
// own and returns what it did; this wires them in order and traces them.

#include "common/media_list.h"
#include "common/protected_folders.h"
#include "launcher/run_context.h"

#include <optional>

namespace launcher {

class LauncherRun {
public:
    // owner: the window the run's message boxes belong to.
    LauncherRun(HINSTANCE instance, HWND owner, LauncherState& options, DecisionTrace& trace, Splash& splash);

    // Returns when every child it waits for has ended, with the process's
    // exit code: the Java installer's, or kExitNothingStarted.
    DWORD Run();

private:
    DWORD RunSequence();

    RunContext m_run;
    // The media's list, outside uninstall mode; nothing for a build without one.
    std::optional<common::MediaList> m_mediaList;
    // The private runtime and the children's TEMP live here.
    common::RunFolder m_runFolder;
};

}  // namespace launcher
