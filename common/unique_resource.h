#pragma once
// One owner per Windows resource: every handle, heap and automation kind is a
// one-line alias of UniqueResource over its traits, which say what the empty
// value is and how the value is given back.

#include <windows.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <wincrypt.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace common {

// Traits: Type, static Invalid() (the empty value), IsEmpty(value) and
// Close(value), static or, for a closer that carries state (the function
// table a handle was opened through), a member.
template <typename Traits>
class UniqueResource : private Traits {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept : m_value(Traits::Invalid()) {}
    explicit UniqueResource(Type value) noexcept : m_value(value) {}
    // With a closer that carries state; empty unless a value is given.
    explicit UniqueResource(const Traits& closer, Type value = Traits::Invalid()) noexcept
        : Traits(closer), m_value(value)
    {
    }
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : Traits(other.closer()), m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
            static_cast<Traits&>(*this) = other.closer();
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Type get() const noexcept { return m_value; }
    bool valid() const noexcept { return !Traits::IsEmpty(m_value); }
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
        if (!Traits::IsEmpty(old)) {
            const DWORD lastError = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(lastError);
        }
    }

private:
    const Traits& closer() const noexcept { return *this; }

    Type m_value;
};

// The usual kind: empty at `EmptyValue` (null or zero unless said), given
// back by one call of `Release` with the value.
template <typename T, auto Release, std::intptr_t EmptyValue = 0>
struct ReleasedBy {
    using Type = T;
    static Type Invalid() noexcept { return (Type)EmptyValue; }
    static bool IsEmpty(Type value) noexcept { return value == Invalid(); }
    static void Close(Type value) noexcept { Release(value); }
};

// A value given back through the function table it came from (a library
// reached by name): an owner is made with the table, `Owner owner({&table})`.
template <typename Table, typename T, void (*Release)(const Table&, T)>
struct ReleasedThroughTable {
    using Type = T;
    const Table* table = nullptr;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsEmpty(Type value) noexcept { return value == nullptr; }
    void Close(Type value) const noexcept { Release(*table, value); }
};

// CreateFileW and FindFirstFileW say "nothing" with INVALID_HANDLE_VALUE.
constexpr std::intptr_t kInvalidHandleValue = -1;

// The calls whose release takes more than the value.
inline void ReleaseCryptContext(HCRYPTPROV provider) noexcept { ::CryptReleaseContext(provider, 0); }
inline void FreeProcessHeapBlock(void* block) noexcept { ::HeapFree(::GetProcessHeap(), 0, block); }
template <typename Interface>
void ReleaseInterface(Interface* object) noexcept { object->Release(); }

// A VARIANT is held by value and empty while VT_EMPTY.
struct VariantTraits {
    using Type = VARIANT;
    static Type Invalid() noexcept { return VARIANT{}; }
    static bool IsEmpty(const Type& value) noexcept { return value.vt == VT_EMPTY; }
    static void Close(Type value) noexcept { ::VariantClear(&value); }
};

using UniqueHandle = UniqueResource<ReleasedBy<HANDLE, &::CloseHandle>>;  // process, thread, token, job, event
using UniqueFile = UniqueResource<ReleasedBy<HANDLE, &::CloseHandle, kInvalidHandleValue>>;  // CreateFileW
using UniqueFind = UniqueResource<ReleasedBy<HANDLE, &::FindClose, kInvalidHandleValue>>;
using UniqueMappedView = UniqueResource<ReleasedBy<void*, &::UnmapViewOfFile>>;
using UniqueRegKey = UniqueResource<ReleasedBy<HKEY, &::RegCloseKey>>;
using UniqueUSKey = UniqueResource<ReleasedBy<HUSKEY, &::SHRegCloseUSKey>>;  // SHRegOpenUSKeyW
using UniqueLibrary = UniqueResource<ReleasedBy<HMODULE, &::FreeLibrary>>;
using UniqueLocalMem = UniqueResource<ReleasedBy<HLOCAL, &::LocalFree>>;  // FormatMessageW, CommandLineToArgvW
using UniqueGlobalMemory = UniqueResource<ReleasedBy<HGLOBAL, &::GlobalFree>>;
using UniqueHeapBlock = UniqueResource<ReleasedBy<void*, &FreeProcessHeapBlock>>;
template <typename T>
using UniqueMallocBlock = UniqueResource<ReleasedBy<T*, &std::free>>;
using UniqueEnvironmentStrings = UniqueResource<ReleasedBy<wchar_t*, &::FreeEnvironmentStringsW>>;
using UniqueSid = UniqueResource<ReleasedBy<PSID, &::FreeSid>>;  // AllocateAndInitializeSid
using UniqueGdiObject = UniqueResource<ReleasedBy<HGDIOBJ, &::DeleteObject>>;
using UniqueMemoryDc = UniqueResource<ReleasedBy<HDC, &::DeleteDC>>;  // CreateCompatibleDC
using UniqueCryptProvider = UniqueResource<ReleasedBy<HCRYPTPROV, &ReleaseCryptContext>>;
using UniqueCryptHash = UniqueResource<ReleasedBy<HCRYPTHASH, &::CryptDestroyHash>>;
using UniqueStream = UniqueResource<ReleasedBy<IStream*, &ReleaseInterface<IStream>>>;
using UniqueBstr = UniqueResource<ReleasedBy<BSTR, &::SysFreeString>>;
using UniqueVariant = UniqueResource<VariantTraits>;

}  // namespace common
