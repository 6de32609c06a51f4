#include "launcher/splash/gdiplus_api.h"

#include "common/system_libraries.h"
#include "common/unique_resource.h"

namespace launcher {

namespace {

template <typename Function>
bool Resolve(HMODULE library, const char* name, Function* function)
{
    *function = common::FindFunction<Function>(library, name);
    return *function != nullptr;
}

bool LoadTable(GdiplusApi* api)
{
    common::UniqueLibrary library(common::LoadSystemLibrary(L"gdiplus.dll"));
    if (!library) {
        return false;
    }
#define WENDREL_RESOLVE(name) Resolve(library.get(), #name, &api->name)
    const bool complete =
        WENDREL_RESOLVE(GdiplusStartup) && WENDREL_RESOLVE(GdiplusShutdown) &&
        WENDREL_RESOLVE(GdipLoadImageFromStreamICM) && WENDREL_RESOLVE(GdipDisposeImage) &&
        WENDREL_RESOLVE(GdipGetImageWidth) && WENDREL_RESOLVE(GdipGetImageHeight) &&
        WENDREL_RESOLVE(GdipImageGetFrameDimensionsCount) && WENDREL_RESOLVE(GdipImageGetFrameDimensionsList) &&
        WENDREL_RESOLVE(GdipImageGetFrameCount) && WENDREL_RESOLVE(GdipGetPropertyItemSize) &&
        WENDREL_RESOLVE(GdipGetPropertyItem) && WENDREL_RESOLVE(GdipImageSelectActiveFrame) &&
        WENDREL_RESOLVE(GdipCreateFromHDC) && WENDREL_RESOLVE(GdipDrawImageRectI) &&
        WENDREL_RESOLVE(GdipDeleteGraphics);
#undef WENDREL_RESOLVE
    if (complete) {
        library.release();  // the table's functions live as long as the process
    }
    return complete;
}

}  // namespace

const GdiplusApi* GetGdiplusApi()
{
    static GdiplusApi api = {};
    static const bool loaded = LoadTable(&api);
    return loaded ? &api : nullptr;
}

}  // namespace launcher
