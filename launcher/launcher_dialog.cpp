#include "launcher/launcher_dialog.h"

#include "launcher/launcher_run.h"
#include "launcher/resources/resource.h"

namespace launcher {

LauncherDialog::LauncherDialog(HINSTANCE instance, bool imagingReady, LauncherState& options, DecisionTrace& trace)
    : m_hInstance(instance),
      m_hIcon(::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_bImagingReady(imagingReady),
      m_options(options),
      m_trace(trace),
      m_splash(instance)
{
}

HWND LauncherDialog::Create()
{
    return CreateModeless(m_hInstance, IDD_LAUNCHER, nullptr);
}

BOOL LauncherDialog::OnInitDialog()
{
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_trace.Line(m_splash.Start(hwnd(), m_bImagingReady));
    m_exitCode = LauncherRun(m_hInstance, hwnd(), m_options, m_trace, m_splash).Run();
    m_splash.Hide();
    return TRUE;
}

INT_PTR LauncherDialog::OnMessage(UINT message, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    switch (message) {
    case WM_ERASEBKGND:
        // The animation thread owns what the window shows.
        handled = true;
        ::SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_PAINT:
        if (::IsIconic(hwnd())) {
            handled = true;
            common::PaintMinimisedIcon(hwnd(), m_hIcon);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYDRAGICON:
        // Returned as it is: a dialog procedure's answer to this message is
        // the message's result.
        handled = true;
        return reinterpret_cast<INT_PTR>(m_hIcon);
    default:
        return FALSE;
    }
}

}  // namespace launcher
