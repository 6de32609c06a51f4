#include "common/resource_data.h"

namespace common {

ResourceBytes FindResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    ResourceBytes bytes;
    HRSRC found = ::FindResourceW(module, name, type);
    if (!found) {
        return bytes;
    }
    HGLOBAL loaded = ::LoadResource(module, found);
    if (!loaded) {
        return bytes;
    }
    bytes.data = ::LockResource(loaded);
    bytes.size = bytes.data ? ::SizeofResource(module, found) : 0;
    return bytes;
}

std::wstring LoadStringResource(HINSTANCE instance, UINT id)
{
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself, so no length limit applies.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) {
        return std::wstring();
    }
    return std::wstring(text, static_cast<size_t>(length));
}

}  // namespace common
