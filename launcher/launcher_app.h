#pragma once
// The launcher's start-up and exit: GDI+ for the splash image, the command
// line, and the main dialog that does all the work while it is created.

#include "launcher/decision_trace.h"
#include "launcher/exit_codes.h"

#include <windows.h>

namespace launcher {

class LauncherApp {
public:
    explicit LauncherApp(HINSTANCE instance) : m_hInstance(instance) {}

    // Always false: once the dialog has been created and has run, the
    // program ends without a message loop.
    bool InitInstance();
    // The process's exit code: the Java installer's, or kExitNothingStarted.
    int ExitInstance();

private:
    HINSTANCE m_hInstance;
    ULONG_PTR m_gdiplusToken = 0;
    bool m_gdiplusStarted = false;
    DecisionTrace m_trace;
    DWORD m_exitCode = kExitNothingStarted;
};

}  // namespace launcher
