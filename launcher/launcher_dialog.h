#pragma once
// The launcher's main dialog: everything the launcher does runs inside its
// initialisation.

#include "common/dialog.h"
#include "launcher/command_line.h"

#include <string>

namespace launcher {

class LauncherDialog : public common::Dialog, public LauncherState {
public:
    explicit LauncherDialog(HINSTANCE instance);

    HWND Create();

protected:
    BOOL OnInitDialog() override;

private:
    void RunSequence();
    void ReportJavaError();
    void ShowJavaErrorDialog();
    void WriteUpdateLog();
    void ShowMissingFileMessage(const std::wstring& path);

    // Java runtime choice and its clean-up.
    bool PreparePrivateRuntime(std::wstring& runtimeHome);
    bool FindLocalRuntime(std::wstring& runtimeHome);
    bool RunRuntimeInstallers();
    bool CheckInstalledRuntime(std::wstring& runtimeHome);
    void RegisterPrivateRuntimeRemoval();
    void PlaceRuntimeInstallerForUninstaller();
    void RemovePrivateRuntime();
    void RemoveJava7();

    void StartSplash();
    void HideSplash();
    void ShowSplash();

    HINSTANCE m_hInstance;
    HICON m_hIcon;
    bool m_bSplashShown = false;  // an image was loaded, so the window may show
};

}  // namespace launcher
