#pragma once
// One owner per Windows resource: each handle kind gets its own traits with
// the right invalid value and release call.

#include <windows.h>
#include <shlwapi.h>
#include <wincrypt.h>

#include <utility>

namespace common {

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept : m_value(Traits::Invalid()) {}
    explicit UniqueResource(Type value) noexcept : m_value(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Type get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Releases what is held, then hands out the slot for an out-parameter.
    Type* put() noexcept
    {
        reset();
        return &m_value;
    }

    Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

    // Releasing never disturbs the caller's last-error code, so a failure
    // path may set it before its locals go out of scope.
    void reset(Type value = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            const DWORD lastError = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(lastError);
        }
    }

private:
    Type m_value;
};

struct HandleTraits {  // process, thread, token, job, event: NULL when absent
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE when absent
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct LocalMemTraits {  // FormatMessageW and CommandLineToArgvW buffers
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::LocalFree(h); }
};

struct ProcessHeapTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct USKeyTraits {  // SHRegOpenUSKeyW
    using Type = HUSKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::SHRegCloseUSKey(h); }
};

struct EnvironmentStringsTraits {  // GetEnvironmentStringsW
    using Type = wchar_t*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::FreeEnvironmentStringsW(p); }
};

struct MappedViewTraits {  // MapViewOfFile
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::UnmapViewOfFile(p); }
};

struct CryptProviderTraits {  // CryptAcquireContextW
    using Type = HCRYPTPROV;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ::CryptReleaseContext(h, 0); }
};

struct CryptHashTraits {  // CryptCreateHash
    using Type = HCRYPTHASH;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ::CryptDestroyHash(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueMappedView = UniqueResource<MappedViewTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;
using UniqueLocalMem = UniqueResource<LocalMemTraits>;
using UniqueHeapBlock = UniqueResource<ProcessHeapTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueUSKey = UniqueResource<USKeyTraits>;
using UniqueEnvironmentStrings = UniqueResource<EnvironmentStringsTraits>;
using UniqueCryptProvider = UniqueResource<CryptProviderTraits>;
using UniqueCryptHash = UniqueResource<CryptHashTraits>;

}  // namespace common
