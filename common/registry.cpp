#include "common/registry.h"

#include "common/unique_resource.h"

#include <algorithm>
#include <vector>

namespace common {

LSTATUS ReadAsStored(HKEY key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size)
{
    return ::RegQueryValueExW(key, valueName, nullptr, type, static_cast<BYTE*>(data), size);
}

std::optional<std::wstring> ReadRegistryString(HKEY key, const wchar_t* valueName, const RegistryStringRule& rule)
{
    DWORD type = 0;
    DWORD size = rule.maxBytes;
    if (rule.maxBytes == kAnyValueBytes &&
        rule.reading(key, valueName, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // One unit more than the value may hold, so that the text always ends.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (rule.reading(key, valueName, &type, buffer.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (rule.types == RegistryValueTypes::Strings && type != REG_SZ && type != REG_EXPAND_SZ) {
        return std::nullopt;
    }
    const wchar_t* const text = buffer.data();
    return std::wstring(text, std::find(text, text + size / sizeof(wchar_t), L'\0'));
}

std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& keyPath, const wchar_t* valueName,
                                               REGSAM access, const RegistryStringRule& rule)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, access, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return ReadRegistryString(key.get(), valueName, rule);
}

}  // namespace common
