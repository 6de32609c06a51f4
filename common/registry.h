#pragma once
// Reading registry values as text.

#include <windows.h>
#include <shlwapi.h>

#include <optional>
#include <string>

namespace common {

// Which types of value a read takes.
enum class RegistryValueTypes {
    Strings,  // REG_SZ and REG_EXPAND_SZ
    Any,      // any type, its bytes read as UTF-16
};

// How the value's bytes are read: ReadAsStored or ReadExpanded.
using RegistryReading = LSTATUS (*)(HKEY key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size);

// RegQueryValueExW.
LSTATUS ReadAsStored(HKEY key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size);

// The shell's reading (SHQueryValueExW, the one of SHGetValueW): a
// REG_EXPAND_SZ value with its variables expanded. Inline, so that only the
// programs that read so import the shell's library.
inline LSTATUS ReadExpanded(HKEY key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size)
{
    return ::SHQueryValueExW(key, valueName, nullptr, type, data, size);
}

// No limit on a value's size.
constexpr DWORD kAnyValueBytes = 0;

struct RegistryStringRule {
    RegistryValueTypes types;
    DWORD maxBytes;  // a longer value reads as missing; kAnyValueBytes: any size
    RegistryReading reading;
};

// The value's text: its whole UTF-16 units up to the first null. Nothing
// when the value is missing, of a type the rule does not take, longer than
// its limit or cannot be read.
std::optional<std::wstring> ReadRegistryString(HKEY key, const wchar_t* valueName, const RegistryStringRule& rule);

// The same from root\keyPath, opened with `access` (KEY_QUERY_VALUE, or with
// a view such as KEY_WOW64_32KEY); nothing when the key cannot be opened.
std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& keyPath, const wchar_t* valueName,
                                               REGSAM access, const RegistryStringRule& rule);

// Writing. Values are named by one path, key path + "\\" + value name.

// Opens the key for writing, creating it and its missing parents.
void EnsureRegistryKey(HKEY root, const std::wstring& keyPath);

// Stores a REG_SZ value, creating its key first; false when it is not stored.
bool SetRegistryString(HKEY root, const std::wstring& valuePath, const std::wstring& text);

// Opens the key and deletes the value; false when the value may still be there.
bool DeleteRegistryValue(HKEY root, const std::wstring& valuePath);

}  // namespace common
