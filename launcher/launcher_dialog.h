#pragma once
// The launcher's main dialog: everything the launcher does runs inside its
// initialisation.

#include "common/dialog.h"
#include "common/media_files.h"
#include "common/resource_data.h"
#include "common/unique_resource.h"
#include "launcher/command_line.h"
#include "launcher/decision_trace.h"
#include "launcher/protected_folders.h"

#include <optional>
#include <string>

namespace launcher {

class AnimatedImage;

class LauncherDialog : public common::Dialog, public LauncherState {
public:
    // imagingReady: GDI+ has started, so the splash image may be shown.
    LauncherDialog(HINSTANCE instance, bool imagingReady, DecisionTrace& trace);

    HWND Create();

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void RunSequence();
    void ReportJavaError();
    void ShowJavaErrorDialog();
    void WriteUpdateLog();
    void ShowMissingFileMessage(const std::wstring& path);
    void ReportArchiveNotTaken(const std::wstring& path);
    void StartJavaInstaller(const std::wstring& program, const std::wstring& arguments);

    // Java runtime choice and its clean-up.
    bool PreparePrivateRuntime(std::wstring& runtimeHome);
    bool FindLocalRuntime(std::wstring& runtimeHome);
    bool RunRuntimeInstallers();
    bool RunCarriedRuntimeInstaller(const common::ResourceBytes& installer);
    bool CheckInstalledRuntime(std::wstring& runtimeHome);
    std::wstring PrivateRuntimeFolder() const;
    void RegisterPrivateRuntimeRemoval();
    void PlaceRuntimeInstallerForUninstaller();
    void RemovePrivateRuntime();
    void RemoveJava7();

    // Uninstall mode: the helper programs that remove the launcher's folder.
    void PrepareFolderRemoval();

    // The splash window.
    void StartSplash();
    void CentreWindow();
    void HideSplash();
    void ShowSplash();

    HINSTANCE m_hInstance;
    HICON m_hIcon;
    bool m_bImagingReady;
    // Never freed: its paused thread may stay blocked until the process
    // ends, which reclaims both.
    AnimatedImage* m_pSplash = nullptr;
    DecisionTrace& m_trace;
    // The unpacked private runtime's javaw.exe, open against writers until
    // the Java installer has started.
    common::UniqueFile m_heldRuntimeProgram;
    // The media's list, outside uninstall mode; nothing for a build without one.
    std::optional<common::MediaList> m_mediaList;
    // The run's own folder: the private runtime and the children's TEMP
    // (m_childTemp, empty when it could not be made: the system's then).
    RunFolder m_runFolder;
    std::wstring m_childTemp;
};

}  // namespace launcher
