// The launcher's main dialog as the splash window: a borderless layered
// window the size of the image, centred on the screen, whose pure black
// pixels let the desktop through.

#include "launcher/launcher_dialog.h"

#include "launcher/splash/animated_image.h"

namespace launcher {

namespace {

const wchar_t kImageType[] = L"GIF";
const wchar_t kImageName[] = L"ARCHIVE";

}  // namespace

void LauncherDialog::CentreWindow()
{
    RECT window = {};
    ::GetWindowRect(hwnd(), &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    ::MoveWindow(hwnd(), (::GetSystemMetrics(SM_CXSCREEN) - width) / 2, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2,
                 width, height, TRUE);
}

void LauncherDialog::StartSplash()
{
    CentreWindow();
    ::SetWindowLongW(hwnd(), GWL_EXSTYLE, ::GetWindowLongW(hwnd(), GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(hwnd(), RGB(0, 0, 0), 0, LWA_COLORKEY);

    if (!m_bImagingReady || !::FindResourceW(m_hInstance, kImageName, kImageType)) {
        ::ShowWindow(hwnd(), SW_HIDE);
        if (m_trace.IsOn()) {
            m_trace.Line(m_bImagingReady ? L"splash: no image resource, the window stays hidden"
                                         : L"splash: GDI+ did not start, the window stays hidden");
        }
        return;
    }
    m_pSplash = new AnimatedImage(*GetGdiplusApi(), kImageType, kImageName, m_hInstance);
    const UINT width = m_pSplash->GetWidth();
    const UINT height = m_pSplash->GetHeight();
    ::MoveWindow(hwnd(), 0, 0, static_cast<int>(width), static_cast<int>(height), TRUE);
    CentreWindow();
    m_pSplash->StartAnimation(hwnd(), 0, 0);
    ::ShowWindow(hwnd(), SW_SHOW);
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (m_trace.IsOn()) {
        m_trace.Line(L"splash: " + std::to_wstring(width) + L" x " + std::to_wstring(height) + L", " +
                     std::to_wstring(m_pSplash->FrameCount()) + L" frames, " +
                     (m_pSplash->IsAnimating() ? L"animated" : L"not animated"));
    }
}

void LauncherDialog::HideSplash()
{
    ::ShowWindow(hwnd(), SW_HIDE);
    if (m_pSplash) {
        m_pSplash->SetPaused(true);
    }
}

void LauncherDialog::ShowSplash()
{
    // Without an image there is nothing to show: the bare dialog would flash
    // up as an empty square while Java 7 is looked for.
    if (!m_pSplash) {
        return;
    }
    m_pSplash->SetPaused(false);
    ::ShowWindow(hwnd(), SW_SHOW);
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
