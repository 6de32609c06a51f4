#pragma once
// The status box and the worker thread behind it. The box stays hidden
// (although its template is visible) until the worker has something to wait
// for; the worker sends it status texts, shows and hides it, and ends it
// once the platform installer has run.

#include "common/dialog.h"
#include "setup/installer_search.h"
#include "setup/java_runtimes.h"

#include "common/unique_resource.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace setup {

class SetupDialog : public common::Dialog, public StatusDisplay {
public:
    explicit SetupDialog(HWND parent = nullptr);

    // Runs the dialog modally and returns once the worker thread has ended
    // too.
    void Run(HINSTANCE instance);

    // The program's exit code as the worker left it.
    DWORD ExitCode() const { return m_exitCode; }

    void DisplayWindow() override;
    void HideWindow() override;

    std::wstring m_szExePath;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD notifyCode) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    static DWORD WINAPI WorkerThread(void* pDialog);
    void RunWorker();
    void FinishWorker(DWORD exitCode);
    // The steps from the Java check to the installer's end; the exit code.
    DWORD InstallSteps(const ChildFolders& folders);
    void ShowStatus(UINT id);
    void OnCopyData(const COPYDATASTRUCT& cds);
    bool PaintIconic();

    HWND m_parent;
    HICON m_hIcon;
    std::atomic<bool> m_bVisible{false};
    std::atomic<bool> m_workerRunning{false};
    common::UniqueHandle m_worker;
    DWORD m_exitCode;
    std::wstring m_szMessage;
};

}  // namespace setup
