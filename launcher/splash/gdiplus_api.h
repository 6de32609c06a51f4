#pragma once
// The GDI+ functions the splash uses, reached by name in the system
// folder's gdiplus.dll. It is not one of the system's known libraries, so an
// import would be looked for beside the program first, where anyone may put
// a library of that name.

#include "common/unique_resource.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace launcher {

struct GdiplusApi {
    decltype(&Gdiplus::GdiplusStartup) GdiplusStartup;
    decltype(&Gdiplus::GdiplusShutdown) GdiplusShutdown;
    decltype(&Gdiplus::DllExports::GdipLoadImageFromStreamICM) GdipLoadImageFromStreamICM;
    decltype(&Gdiplus::DllExports::GdipDisposeImage) GdipDisposeImage;
    decltype(&Gdiplus::DllExports::GdipGetImageWidth) GdipGetImageWidth;
    decltype(&Gdiplus::DllExports::GdipGetImageHeight) GdipGetImageHeight;
    decltype(&Gdiplus::DllExports::GdipImageGetFrameDimensionsCount) GdipImageGetFrameDimensionsCount;
    decltype(&Gdiplus::DllExports::GdipImageGetFrameDimensionsList) GdipImageGetFrameDimensionsList;
    decltype(&Gdiplus::DllExports::GdipImageGetFrameCount) GdipImageGetFrameCount;
    decltype(&Gdiplus::DllExports::GdipGetPropertyItemSize) GdipGetPropertyItemSize;
    decltype(&Gdiplus::DllExports::GdipGetPropertyItem) GdipGetPropertyItem;
    decltype(&Gdiplus::DllExports::GdipImageSelectActiveFrame) GdipImageSelectActiveFrame;
    decltype(&Gdiplus::DllExports::GdipCreateFromHDC) GdipCreateFromHDC;
    decltype(&Gdiplus::DllExports::GdipDrawImageRectI) GdipDrawImageRectI;
    decltype(&Gdiplus::DllExports::GdipDeleteGraphics) GdipDeleteGraphics;
};

// The process's table, filled on the first call; null when gdiplus.dll is
// not in the system folder or lacks one of the functions. The library stays
// loaded until the process ends.
const GdiplusApi* GetGdiplusApi();

inline void DisposeImageThroughTable(const GdiplusApi& api, Gdiplus::GpImage* image)
{
    api.GdipDisposeImage(image);
}

inline void DeleteGraphicsThroughTable(const GdiplusApi& api, Gdiplus::GpGraphics* graphics)
{
    api.GdipDeleteGraphics(graphics);
}

// GDI+ objects, given back through the table they were made with.
using UniqueGdiplusImage =
    common::UniqueResource<common::ReleasedThroughTable<GdiplusApi, Gdiplus::GpImage*, &DisposeImageThroughTable>>;
using UniqueGdiplusGraphics = common::UniqueResource<
    common::ReleasedThroughTable<GdiplusApi, Gdiplus::GpGraphics*, &DeleteGraphicsThroughTable>>;

}  // namespace launcher
