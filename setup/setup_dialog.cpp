#include "setup/setup_dialog.h"

#include "common/paths.h"
#include "common/protected_folders.h"

#include "common/resource_data.h"
#include "setup/compatibility_assistant.h"
#include "setup/exit_codes.h"
#include "setup/installer_search.h"
#include "setup/media_check.h"
#include "setup/resources/resource.h"
#include "setup/setup_log.h"

#include <objbase.h>

#include <cwchar>
#include <wchar.h>

namespace setup {

SetupDialog::SetupDialog(HWND parent)
    : m_parent(parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_exitCode(kExitInstallerNotStarted)
{
}

void SetupDialog::Run(HINSTANCE instance)
{
    DoModal(instance, IDD_SETUP_DIALOG, m_parent);
    // The worker's last line is written after it has ended the dialog.
    if (m_worker) {
        ::WaitForSingleObject(m_worker.get(), INFINITE);
    }
}

BOOL SetupDialog::OnInitDialog()
{
    WriteLog(L"OnInitDialog()");
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // Names the task-bar button; the box has no caption bar.
    ::SetWindowTextW(hwnd(), common::LoadStringResource(::GetModuleHandleW(nullptr), IDS_SETUPCAPTION).c_str());

    WriteLog(L"Before begin thread");
    m_workerRunning = true;
    m_worker.reset(::CreateThread(nullptr, 0, &SetupDialog::WorkerThread, this, 0, nullptr));
    if (!m_worker) {
        m_workerRunning = false;
        WriteLog(L"Cannot begin thread");
        EndDialog(IDOK);
        return TRUE;
    }
    WriteLog(L"After begin thread");
    return TRUE;
}

bool SetupDialog::OnCommand(WORD id, WORD notifyCode)
{
    // Enter, Escape and Alt+F4 must not end the dialog under the worker.
    if (m_workerRunning && (id == IDOK || id == IDCANCEL)) {
        return true;
    }
    return common::Dialog::OnCommand(id, notifyCode);
}

INT_PTR SetupDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, bool& handled)
{
    handled = false;
    switch (message) {
    case WM_WINDOWPOSCHANGING:
        if (!m_bVisible) {
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
        }
        return 0;
    case WM_COPYDATA:
        OnCopyData(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 0;
    case WM_PAINT:
        handled = PaintIconic();
        return 0;
    case WM_QUERYDRAGICON:
        handled = true;
        return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
        return 0;
    }
}

void SetupDialog::OnCopyData(const COPYDATASTRUCT& cds)
{
    // Never read past what was sent, terminator or not.
    const auto* text = static_cast<const wchar_t*>(cds.lpData);
    const size_t units = text ? ::wcsnlen(text, cds.cbData / sizeof(wchar_t)) : 0;
    const std::wstring status(text ? text : L"", units);
    ::SetDlgItemTextW(hwnd(), IDC_STATUS_TEXT, status.c_str());
    HWND control = ::GetDlgItem(hwnd(), IDC_STATUS_TEXT);
    ::InvalidateRect(control, nullptr, FALSE);
    ::UpdateWindow(control);
}

bool SetupDialog::PaintIconic()
{
    if (!::IsIconic(hwnd())) {
        return false;
    }
    common::PaintMinimisedIcon(hwnd(), m_hIcon);
    return true;
}

void SetupDialog::DisplayWindow()
{
    m_bVisible = true;
    ::ShowWindow(hwnd(), SW_SHOWNORMAL);
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void SetupDialog::HideWindow()
{
    m_bVisible = false;
    ::ShowWindow(hwnd(), SW_HIDE);
}

void SetupDialog::ShowStatus(UINT id)
{
    // A missing string leaves the previous text.
    const std::wstring text = common::LoadStringResource(::GetModuleHandleW(nullptr), id);
    if (!text.empty()) {
        m_szMessage = text;
    }
    COPYDATASTRUCT cds = {};
    cds.dwData = 0;
    cds.cbData = static_cast<DWORD>((m_szMessage.size() + 1) * sizeof(wchar_t));
    cds.lpData = const_cast<wchar_t*>(m_szMessage.c_str());
    ::SendMessageW(hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

DWORD WINAPI SetupDialog::WorkerThread(void* pDialog)
{
    static_cast<SetupDialog*>(pDialog)->RunWorker();
    return 0;
}

void SetupDialog::RunWorker()
{
    WriteLog(L"WorkerThread: ::CoInitialize (NULL)");
    ::CoInitialize(nullptr);

    WriteLog(L"WorkerThread: szMessage.LoadString (IDS_CHECKINGINSTALLEDJAVAVMS)");
    WriteLog(L"WorkerThread: ::SendMessage (pDialog->m_hWnd, WM_COPYDATA, (WPARAM) NULL, (LPARAM) &cds)");
    ShowStatus(IDS_CHECKINGINSTALLEDJAVAVMS);

    WriteLog(L"WorkerThread: Is Windows Vista?");
    if (WindowsVista()) {
        WriteLog(L"WorkerThread: Windows Vista -> call SetPCA");
        SetPCA(m_szExePath);
    }

    // A folder of the run's own for what its children run from and keep as
    // temporary files: the media's folder and the caller's TEMP are anyone's.
    common::RunFolder runFolder;
    ChildFolders folders;
    if (runFolder.Create(common::SystemTempFolder())) {
        folders.runFolder = runFolder.path();
        folders.temp = runFolder.CreateChildTemp();
    } else {
        WriteLog(L"WorkerThread: no run folder in " + common::SystemTempFolder() + L" (error " +
                 std::to_wstring(::GetLastError()) + L")");
    }
    const DWORD exitCode = InstallSteps(folders);
    runFolder.Remove();
    FinishWorker(exitCode);
}

DWORD SetupDialog::InstallSteps(const ChildFolders& folders)
{
    WriteLog(L"WorkerThread: Before CheckInstalledJavaVms");
    // With a list, each listed file that fails its check ends the run: nothing
    // else on the media is trusted either.
    common::MediaFileCheck configuration;
    if (!HoldSetupConfiguration(configuration)) {
        return kExitInstallerNotStarted;
    }
    const bool javaFound = CheckInstalledJavaVms(this);
    configuration.held.reset();
    if (!javaFound) {
        WriteLog(L"WorkerThread: nstalled Java not found");
        WriteLog(L"WorkerThread: Before DisplayWindow");
        DisplayWindow();
        WriteLog(L"WorkerThread: After DisplayWindow");
        ShowStatus(IDS_INSTALLINGJAVAVM);
        WriteLog(L"WorkerThread: Before LaunchJavaInstaller");
        const bool javaInstallerRan = LaunchJavaInstaller(folders);
        WriteLog(L"WorkerThread: After LaunchJavaInstaller");
        if (!javaInstallerRan && SetupMediaList()) {
            HideWindow();
            return kExitInstallerNotStarted;
        }
        WriteLog(L"WorkerThread: Before Hide Window");
        HideWindow();
        WriteLog(L"WorkerThread: After Hide Window");
    }

    ShowStatus(IDS_STARTINGINSTALLER);
    WriteLog(L"WorkerThread: Before LaunchInstaller");
    const DWORD exitCode = LaunchInstaller(folders);
    WriteLog(L"WorkerThread: After LaunchInstaller");
    return exitCode;
}

void SetupDialog::FinishWorker(DWORD exitCode)
{
    m_exitCode = exitCode;
    m_workerRunning = false;
    EndDialog(IDOK);
    WriteLog(L"WorkerThread: After EndDialog");
}

}  // namespace setup
