#pragma once
// An image from the program's resources whose frames a thread of its own
// draws straight onto a window, so the animation keeps going while the
// window's thread is busy and pumps no messages.

#include "common/unique_resource.h"
#include "launcher/splash/gdiplus_api.h"

namespace launcher {

class AnimatedImage {
public:
    // Loads the resource from the module; a missing resource or bytes that
    // GDI+ cannot decode leave an empty image (width and height 0).
    AnimatedImage(const GdiplusApi& gdiplus, LPCWSTR resourceType, LPCWSTR resourceName, HMODULE resourceModule);
    // Stops the thread, then frees everything.
    virtual ~AnimatedImage();
    AnimatedImage(const AnimatedImage&) = delete;
    AnimatedImage& operator=(const AnimatedImage&) = delete;

    // Starts drawing into the window with the image's top left corner at
    // (x, y); only an image with more than one frame gets a thread.
    void StartAnimation(HWND window, int x, int y);
    // Returns once no frame is being drawn, so a paused image may outlive
    // GDI+ and its window.
    void SetPaused(bool paused);

    UINT GetWidth();
    UINT GetHeight();
    UINT FrameCount() const { return m_frameCount; }
    bool IsAnimating() const { return m_thread.valid(); }

private:
    // Held by the animation thread for a whole frame step; a pause takes it
    // once, so it returns only when the step under way is over.
    class FrameLock {
    public:
        FrameLock() { ::InitializeCriticalSection(&m_section); }
        ~FrameLock() { ::DeleteCriticalSection(&m_section); }
        FrameLock(const FrameLock&) = delete;
        FrameLock& operator=(const FrameLock&) = delete;
        void Enter() { ::EnterCriticalSection(&m_section); }
        void Leave() { ::LeaveCriticalSection(&m_section); }

    private:
        CRITICAL_SECTION m_section;
    };

    bool LoadResourceStream(LPCWSTR resourceType, LPCWSTR resourceName);
    void ExamineFrames();
    static DWORD WINAPI AnimationThread(void* image);
    void Animate();
    bool DrawFrameStep();
    void DrawActiveFrame(UINT width, UINT height);
    DWORD DelayAfterMs(UINT position) const;

    const GdiplusApi& m_gdiplus;
    UniqueGdiplusImage m_nativeImage;

    common::UniqueStream m_stream;
    common::UniqueHandle m_thread;
    common::UniqueHandle m_pauseEvent;  // signalled while running
    common::UniqueHandle m_exitEvent;
    HMODULE m_resourceModule;
    HWND m_window = nullptr;
    UINT m_frameCount = 0;
    UINT m_framePosition = 0;
    bool m_loaded = false;
    bool m_paused = false;
    common::UniqueMallocBlock<Gdiplus::PropertyItem> m_frameDelays;
    int m_x = 0;
    int m_y = 0;
    common::UniqueGdiObject m_background;
    HGDIOBJ m_replacedBitmap = nullptr;
    common::UniqueMemoryDc m_memoryDc;
    FrameLock m_frameLock;
};

}  // namespace launcher
