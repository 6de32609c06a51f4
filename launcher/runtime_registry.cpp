#include "launcher/runtime_registry.h"

#include "common/unique_resource.h"
#include "launcher/runtime_rules.h"

#include <shlwapi.h>

#include <vector>

namespace launcher {

namespace {

constexpr DWORD kSubkeyNameCapacity = 200;
constexpr DWORD kDisplayNameBytes = 2 * 1040;

// Calls visit with each subkey name of a machine key until it returns true;
// true when one did.
template <typename Visit>
bool AnyMachineSubkey(const wchar_t* keyPath, Visit visit)
{
    common::UniqueUSKey key;
    if (::SHRegOpenUSKeyW(keyPath, KEY_READ, nullptr, key.put(), TRUE) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kSubkeyNameCapacity] = {};
        DWORD length = kSubkeyNameCapacity;
        if (::SHRegEnumUSKeyW(key.get(), index, name, &length, SHREGENUM_HKLM) != ERROR_SUCCESS) {
            return false;
        }
        if (visit(std::wstring(name))) {
            return true;
        }
    }
}

}  // namespace

bool IsRuntime18OrLaterRegistered()
{
    return AnyMachineSubkey(kJavaRuntimeKey, [](const std::wstring& name) { return IsVersionNameAtLeast18(name); });
}

std::wstring RegisteredRuntimeVersions()
{
    std::wstring versions;
    AnyMachineSubkey(kJavaRuntimeKey, [&versions](const std::wstring& name) {
        versions += (versions.empty() ? L"" : L", ") + name +
                    (IsVersionNameAtLeast18(name) ? L" (1.8 or later)" : L" (older)");
        return false;
    });
    return versions.empty() ? L"none" : versions;
}

bool ReadMachineString(const std::wstring& keyPath, const wchar_t* valueName, DWORD bufferBytes, std::wstring& text)
{
    std::vector<wchar_t> buffer(bufferBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = bufferBytes;
    DWORD type = 0;
    if (::SHGetValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), valueName, &type, buffer.data(), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return false;
    }
    text = buffer.data();
    return true;
}

std::optional<std::wstring> FindJava7UninstallEntry()
{
    std::optional<std::wstring> found;
    AnyMachineSubkey(kUninstallKey, [&found](const std::wstring& name) {
        std::wstring displayName;
        if (ReadMachineString(std::wstring(kUninstallKey) + L"\\" + name, L"DisplayName", kDisplayNameBytes,
                              displayName) &&
            IsJava7DisplayName(displayName)) {
            found = name;
        }
        return found.has_value();
    });
    return found;
}

std::optional<std::wstring> ReadProductUninstallString(const std::wstring& productId)
{
    const std::wstring keyPath = std::wstring(kUninstallKey) + L"\\" + productId;
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                           &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text.data());
}

}  // namespace launcher
