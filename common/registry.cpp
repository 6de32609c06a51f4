#include "common/registry.h"

#include "common/paths.h"
#include "common/unique_resource.h"

#include <algorithm>
#include <utility>
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

void EnsureRegistryKey(HKEY root, const std::wstring& keyPath)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
        return;
    }
    const auto [parentPath, name] = SplitAtLastBackslash(keyPath);
    if (parentPath.empty()) {
        // A key right below the root.
        ::RegCreateKeyW(root, name.c_str(), key.put());
        return;
    }
    UniqueRegKey parent;
    if (::RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_WRITE, parent.put()) != ERROR_SUCCESS) {
        EnsureRegistryKey(root, parentPath);
        if (::RegOpenKeyExW(root, parentPath.c_str(), 0, KEY_WRITE, parent.put()) != ERROR_SUCCESS) {
            return;
        }
    }
    ::RegCreateKeyW(parent.get(), name.c_str(), key.put());
}

bool SetRegistryString(HKEY root, const std::wstring& valuePath, const std::wstring& text)
{
    const auto [keyPath, valueName] = SplitAtLastBackslash(valuePath);
    EnsureRegistryKey(root, keyPath);
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    // The terminating null is stored too: readers that take the raw bytes
    // would otherwise run past the text.
    return ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool DeleteRegistryValue(HKEY root, const std::wstring& valuePath)
{
    const auto [keyPath, valueName] = SplitAtLastBackslash(valuePath);
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = ::RegDeleteValueW(key.get(), valueName.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace common
