#pragma once
// The splash window: a borderless layered window the size of the module's
// "ARCHIVE" GIF, centred on the screen, whose pure black pixels let the
// desktop through, animated by a thread of the image's own.

#include "launcher/splash/splash.h"

#include <windows.h>

#include <string>

namespace launcher {

class AnimatedImage;

class SplashWindow : public Splash {
public:
    explicit SplashWindow(HINSTANCE instance) : m_hInstance(instance) {}

    // Makes `window` the splash window and shows the image in it, animated;
    // the window stays hidden when GDI+ did not start (imagingReady false)
    // or the module has no image. Returns what it showed, for the trace.
    std::wstring Start(HWND window, bool imagingReady);

    // Without an image Show leaves the window hidden: the bare dialog would
    // flash up as an empty square.
    void Show() override;
    // Hidden and paused, not merely hidden: the image is never freed, and a
    // thread still drawing would use GDI+ after its shut-down.
    void Hide() override;

private:
    void Centre();

    HINSTANCE m_hInstance;
    HWND m_hWnd = nullptr;
    // Never freed: its paused thread may stay blocked until the process
    // ends, which reclaims both.
    AnimatedImage* m_pImage = nullptr;
};

}  // namespace launcher
