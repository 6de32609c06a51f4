#pragma once
// The launcher's main dialog: the splash window, inside whose
// initialisation the whole run takes place.

#include "common/dialog.h"
#include "launcher/launcher_state.h"
#include "launcher/decision_trace.h"
#include "launcher/exit_codes.h"
#include "launcher/splash/splash_window.h"

namespace launcher {

class LauncherDialog : public common::Dialog {
public:
    // imagingReady: GDI+ has started, so the splash image may be shown.
    LauncherDialog(HINSTANCE instance, bool imagingReady, LauncherState& options, DecisionTrace& trace);

    HWND Create();
    // The run's exit code, once Create has returned.
    DWORD ExitCode() const { return m_exitCode; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    HINSTANCE m_hInstance;
    HICON m_hIcon;
    bool m_bImagingReady;
    LauncherState& m_options;
    DecisionTrace& m_trace;
    SplashWindow m_splash;
    DWORD m_exitCode = kExitNothingStarted;
};

}  // namespace launcher
