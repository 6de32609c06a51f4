#include "launcher/splash/splash_window.h"

#include "launcher/splash/animated_image.h"
#include "launcher/splash/gdiplus_api.h"

namespace launcher {

namespace {

const wchar_t kImageType[] = L"GIF";
const wchar_t kImageName[] = L"ARCHIVE";

}  // namespace

void SplashWindow::Centre()
{
    RECT window = {};
    ::GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    ::MoveWindow(m_hWnd, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2,
                 width, height, TRUE);
}

std::wstring SplashWindow::Start(HWND window, bool imagingReady)
{
    m_hWnd = window;
    Centre();
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, RGB(0, 0, 0), 0, LWA_COLORKEY);

    if (!imagingReady || !::FindResourceW(m_hInstance, kImageName, kImageType)) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        return imagingReady ? L"splash: no image resource, the window stays hidden"
                            : L"splash: GDI+ did not start, the window stays hidden";
    }
    m_pImage = new AnimatedImage(*GetGdiplusApi(), kImageType, kImageName, m_hInstance);
    const UINT width = m_pImage->GetWidth();
    const UINT height = m_pImage->GetHeight();
    ::MoveWindow(m_hWnd, 0, 0, static_cast<int>(width), static_cast<int>(height), TRUE);
    Centre();
    m_pImage->StartAnimation(m_hWnd, 0, 0);
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return L"splash: " + std::to_wstring(width) + L" x " + std::to_wstring(height) + L", " +
           std::to_wstring(m_pImage->FrameCount()) + L" frames, " +
           (m_pImage->IsAnimating() ? L"animated" : L"not animated");
}

void SplashWindow::Hide()
{
    if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
    if (m_pImage) {
        m_pImage->SetPaused(true);
    }
}

void SplashWindow::Show()
{
    if (!m_pImage) {
        return;
    }
    m_pImage->SetPaused(false);
    ::ShowWindow(m_hWnd, SW_SHOW);
}

}  // namespace launcher
