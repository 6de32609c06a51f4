#include "launcher/runtime_registry.h"

#include "common/registry.h"
#include "common/unique_resource.h"
#include "launcher/runtime_rules.h"

#include <shlwapi.h>

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

std::optional<std::wstring> ReadMachineString(const std::wstring& keyPath, const wchar_t* valueName, DWORD maxBytes)
{
    return common::ReadRegistryString(HKEY_LOCAL_MACHINE, keyPath, valueName, KEY_QUERY_VALUE,
                                      {common::RegistryValueTypes::Strings, maxBytes, common::ReadExpanded});
}

std::optional<std::wstring> FindJava7UninstallEntry()
{
    std::optional<std::wstring> found;
    AnyMachineSubkey(kUninstallKey, [&found](const std::wstring& name) {
        const auto displayName =
            ReadMachineString(std::wstring(kUninstallKey) + L"\\" + name, L"DisplayName", kDisplayNameBytes);
        if (displayName && IsJava7DisplayName(*displayName)) {
            found = name;
        }
        return found.has_value();
    });
    return found;
}

std::optional<std::wstring> ReadProductUninstallString(const std::wstring& productId)
{
    return common::ReadRegistryString(HKEY_LOCAL_MACHINE, std::wstring(kUninstallKey) + L"\\" + productId,
                                      L"UninstallString", KEY_READ | KEY_WOW64_32KEY,
                                      {common::RegistryValueTypes::Strings, common::kAnyValueBytes,
                                       common::ReadAsStored});
}

}  // namespace launcher
