#include "launcher/splash/animated_image.h"

#include "common/resource_data.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace launcher {

namespace {

constexpr DWORD kHoldMs = 60;
// GDI+'s FrameDimensionTime, which lives in its import library.
const GUID kFrameDimensionTime = {0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};

}  // namespace

AnimatedImage::AnimatedImage(const GdiplusApi& gdiplus, LPCWSTR resourceType, LPCWSTR resourceName,
                             HMODULE resourceModule)
    : m_gdiplus(gdiplus),
      m_nativeImage({&gdiplus}),
      m_pauseEvent(::CreateEventW(nullptr, TRUE, TRUE, nullptr)),
      m_exitEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_resourceModule(resourceModule)
{
    m_loaded = LoadResourceStream(resourceType, resourceName);
    if (m_loaded) {
        m_gdiplus.GdipLoadImageFromStreamICM(m_stream.get(), m_nativeImage.put());
        ExamineFrames();
    }
}

AnimatedImage::~AnimatedImage()
{
    if (m_thread) {
        SetPaused(false);
        ::SetEvent(m_exitEvent.get());
        ::WaitForSingleObject(m_thread.get(), INFINITE);
    }
    m_thread.reset();
    m_pauseEvent.reset();
    m_exitEvent.reset();
    m_frameDelays.reset();
    if (m_memoryDc && m_replacedBitmap) {
        ::SelectObject(m_memoryDc.get(), m_replacedBitmap);
    }
    m_memoryDc.reset();
    m_background.reset();
    m_stream.reset();
    m_nativeImage.reset();
}

UINT AnimatedImage::GetWidth()
{
    UINT width = 0;
    m_gdiplus.GdipGetImageWidth(m_nativeImage.get(), &width);
    return width;
}

UINT AnimatedImage::GetHeight()
{
    UINT height = 0;
    m_gdiplus.GdipGetImageHeight(m_nativeImage.get(), &height);
    return height;
}

bool AnimatedImage::LoadResourceStream(LPCWSTR resourceType, LPCWSTR resourceName)
{
    const common::ResourceBytes resource = common::FindResourceBytes(m_resourceModule, resourceName, resourceType);
    if (!resource || resource.size == 0) {
        return false;
    }
    // The stream owns a movable block of its own: resource memory is
    // read-only and GDI+ may keep reading the stream for later frames.
    common::UniqueGlobalMemory block(::GlobalAlloc(GMEM_MOVEABLE, resource.size));
    if (!block) {
        return false;
    }
    void* bytes = ::GlobalLock(block.get());
    if (!bytes) {
        return false;
    }
    std::memcpy(bytes, resource.data, resource.size);
    ::GlobalUnlock(block.get());
    if (FAILED(::CreateStreamOnHGlobal(block.get(), TRUE, m_stream.put()))) {
        return false;
    }
    block.release();  // the stream frees it when it goes
    return true;
}

void AnimatedImage::ExamineFrames()
{
    UINT dimensionCount = 0;
    m_gdiplus.GdipImageGetFrameDimensionsCount(m_nativeImage.get(), &dimensionCount);
    if (dimensionCount == 0) {
        return;
    }
    std::vector<GUID> dimensions(dimensionCount);
    if (m_gdiplus.GdipImageGetFrameDimensionsList(m_nativeImage.get(), dimensions.data(), dimensionCount) !=
        Gdiplus::Ok) {
        return;
    }
    m_gdiplus.GdipImageGetFrameCount(m_nativeImage.get(), &dimensions[0], &m_frameCount);

    UINT delaysSize = 0;
    if (m_gdiplus.GdipGetPropertyItemSize(m_nativeImage.get(), PropertyTagFrameDelay, &delaysSize) != Gdiplus::Ok ||
        delaysSize == 0) {
        return;
    }
    m_frameDelays.reset(static_cast<Gdiplus::PropertyItem*>(std::malloc(delaysSize)));
    if (m_frameDelays &&
        m_gdiplus.GdipGetPropertyItem(m_nativeImage.get(), PropertyTagFrameDelay, delaysSize, m_frameDelays.get()) !=
            Gdiplus::Ok) {
        m_frameDelays.reset();
    }
}

void AnimatedImage::StartAnimation(HWND window, int x, int y)
{
    // The background is captured anew for the new place.
    m_background.reset();
    m_memoryDc.reset();
    m_replacedBitmap = nullptr;
    m_window = window;
    m_x = x;
    m_y = y;
    if (!m_loaded || m_frameCount <= 1 || m_thread) {
        return;
    }
    m_thread.reset(::CreateThread(nullptr, 0, &AnimatedImage::AnimationThread, this, CREATE_SUSPENDED, nullptr));
    if (m_thread) {
        ::ResumeThread(m_thread.get());
    }
}

void AnimatedImage::SetPaused(bool paused)
{
    if (m_frameCount <= 1) {
        return;
    }
    m_frameLock.Enter();
    if (paused && !m_paused) {
        ::ResetEvent(m_pauseEvent.get());
    } else if (!paused && m_paused) {
        ::SetEvent(m_pauseEvent.get());
    }
    m_paused = paused;
    m_frameLock.Leave();
}

DWORD WINAPI AnimatedImage::AnimationThread(void* image)
{
    static_cast<AnimatedImage*>(image)->Animate();
    return 0;
}

void AnimatedImage::Animate()
{
    m_framePosition = 0;
    while (DrawFrameStep()) {
    }
}

DWORD AnimatedImage::DelayAfterMs(UINT position) const
{
    if (!m_frameDelays || position >= m_frameDelays.get()->length / sizeof(UINT)) {
        return 0;
    }
    return 10 * static_cast<const UINT*>(m_frameDelays.get()->value)[position];
}

bool AnimatedImage::DrawFrameStep()
{
    ::WaitForSingleObject(m_pauseEvent.get(), INFINITE);
    m_frameLock.Enter();
    if (!m_paused) {
        UINT width = 0;
        UINT height = 0;
        m_gdiplus.GdipGetImageWidth(m_nativeImage.get(), &width);
        m_gdiplus.GdipGetImageHeight(m_nativeImage.get(), &height);
        DrawActiveFrame(width, height);
        // A sleep, not a busy wait: the splash may show for minutes. Waiting
        // as a window thread waits lets systems that compose windows
        // themselves (Wine) show what was drawn; with no handles and no
        // wake mask nothing can end it early.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kHoldMs, 0);
        m_gdiplus.GdipImageSelectActiveFrame(m_nativeImage.get(), &kFrameDimensionTime, m_framePosition);
        m_framePosition = (m_framePosition + 1) % m_frameCount;
    }
    m_frameLock.Leave();
    return ::WaitForSingleObject(m_exitEvent.get(), DelayAfterMs(m_framePosition)) != WAIT_OBJECT_0;
}

void AnimatedImage::DrawActiveFrame(UINT width, UINT height)
{
    HDC windowDc = ::GetDC(m_window);
    if (!m_memoryDc && !m_background) {
        m_memoryDc.reset(::CreateCompatibleDC(windowDc));
        m_background.reset(::CreateCompatibleBitmap(windowDc, static_cast<int>(width), static_cast<int>(height)));
        m_replacedBitmap = ::SelectObject(m_memoryDc.get(), m_background.get());
        ::BitBlt(m_memoryDc.get(), 0, 0, static_cast<int>(width), static_cast<int>(height), windowDc, m_x, m_y,
                 SRCCOPY);
    }
    if (!windowDc) {
        return;
    }
    UniqueGdiplusGraphics graphics({&m_gdiplus});
    m_gdiplus.GdipCreateFromHDC(windowDc, graphics.put());
    // The captured background wipes the previous frame first.
    ::BitBlt(windowDc, m_x, m_y, static_cast<int>(width), static_cast<int>(height), m_memoryDc.get(), 0, 0, SRCCOPY);
    m_gdiplus.GdipDrawImageRectI(graphics.get(), m_nativeImage.get(), m_x, m_y, static_cast<INT>(width),
                                   static_cast<INT>(height));
    graphics.reset();
    ::ReleaseDC(m_window, windowDc);
}

}  // namespace launcher
