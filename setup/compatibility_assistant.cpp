#include "setup/compatibility_assistant.h"

#include "common/registry.h"
#include "common/unique_resource.h"
#include "setup/setup_log.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>

namespace setup {

namespace {

const wchar_t kVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kVersionValue[] = L"CurrentVersion";

// A multi-string of entries, each with its null, then the closing null.
std::wstring JoinMultiString(std::vector<std::wstring>::const_iterator from,
                             std::vector<std::wstring>::const_iterator to)
{
    std::wstring value;
    for (auto entry = from; entry != to; ++entry) {
        value += *entry;
        value += L'\0';
    }
    value += L'\0';
    return value;
}

void WriteList(HKEY key, const std::wstring& value)
{
    ::RegSetValueExW(key, kExclusionListValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value.data()),
                     static_cast<DWORD>(value.size() * sizeof(wchar_t)));
}

}  // namespace

bool IsVistaVersionText(const std::wstring& version)
{
    return std::wcscmp(version.c_str(), L"6.0") >= 0;
}

std::vector<std::wstring> MultiStringEntries(const wchar_t* data, size_t units)
{
    std::vector<std::wstring> entries;
    size_t at = 0;
    while (at < units && data[at] != L'\0') {
        const wchar_t* start = data + at;
        const wchar_t* end = std::find(start, data + units, L'\0');
        entries.emplace_back(start, end);
        at = static_cast<size_t>(end - data) + 1;
    }
    return entries;
}

ExclusionListUpdate PlanExclusionListUpdate(const wchar_t* data, size_t units, const std::wstring& path)
{
    ExclusionListUpdate update;
    std::vector<std::wstring> entries = MultiStringEntries(data, units);
    update.firstEntry = entries.empty() ? std::wstring() : entries.front();
    for (const std::wstring& entry : entries) {
        if (_wcsicmp(entry.c_str(), path.c_str()) == 0) {
            update.found = true;
            return update;
        }
    }
    update.pathsNum = entries.size();
    entries.push_back(path);
    // The whole list, the new path included, must fit the buffer.
    size_t needed = 1;
    for (const std::wstring& entry : entries) {
        needed += entry.size() + 1;
    }
    if (needed > kExclusionListUnits) {
        update.fits = false;
        return update;
    }
    auto first = entries.cbegin();
    if (update.pathsNum > 24) {
        ++first;
        update.secondEntry = *first;
    }
    update.value = JoinMultiString(first, entries.cend());
    return update;
}

bool WindowsVista()
{
    WriteLog(L"WindowsVista");
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        WriteLog(L"WindowsVista: return false");
        return false;
    }
    WriteLog(std::wstring(L"WindowsVista: RegOpenKeyEx success: KeyPath: ") + kVersionKey);
    const std::optional<std::wstring> read = common::ReadRegistryString(
        key.get(), kVersionValue, {common::RegistryValueTypes::Any, common::kAnyValueBytes, common::ReadAsStored});
    if (!read) {
        WriteLog(std::wstring(L"WindowsVista: RegQueryValueEx failed: ValueName: ") + kVersionValue);
        key.reset();
        WriteLog(L"WindowsVista: return false - RegQueryValueEx failed");
        return false;
    }
    WriteLog(std::wstring(L"WindowsVista: RegQueryValueEx success: ValueName: ") + kVersionValue);
    const std::wstring& version = *read;
    key.reset();
    WriteLog(L"WindowsVista: RegQueryValueEx Result: " + version);
    if (IsVistaVersionText(version)) {
        WriteLog(L"WindowsVista: return true");
        return true;
    }
    WriteLog(L"WindowsVista: return false - not Vista");
    return false;
}

void CreateSubSubKey(const std::wstring& path)
{
    WriteLog(L"CreateSubSubKey");
    common::UniqueRegKey existing;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_WRITE, existing.put()) == ERROR_SUCCESS) {
        WriteLog(L"CreateSubSubKey: path exists: " + path);
        return;
    }
    const size_t slash = path.rfind(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);

    common::UniqueRegKey parent;
    common::UniqueRegKey created;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_WRITE, parent.put()) == ERROR_SUCCESS) {
        WriteLog(L"CreateSubSubKey: path open: " + parentPath);
        if (::RegCreateKeyW(parent.get(), name.c_str(), created.put()) == ERROR_SUCCESS) {
            WriteLog(L"CreateSubSubKey: key created: " + name);
        }
        return;
    }
    WriteLog(L"CreateSubSubKey: path cannot open: " + parentPath);
    CreateSubSubKey(parentPath);
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_WRITE, parent.put()) != ERROR_SUCCESS) {
        return;
    }
    WriteLog(L"CreateSubSubKey: path open after creating parent: " + parentPath);
    if (::RegCreateKeyW(parent.get(), name.c_str(), created.put()) == ERROR_SUCCESS) {
        WriteLog(L"CreateSubSubKey: key created after creating parent: " + name);
    }
}

void SetPCA(const std::wstring& path)
{
    WriteLog(L"SetPCA");
    const std::wstring keyPath = kCompatibilityAssistantKey;
    WriteLog(L"SetPCA: CreateSubSubKey: KeyPath: " + keyPath);
    CreateSubSubKey(keyPath);
    common::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_WRITE | KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    WriteLog(L"SetPCA: RegOpenKeyEx: KeyPath: " + keyPath);

    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), kExclusionListValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        WriteLog(L"SetPCA: RegQueryValueEx: ExecutablesToExclude does not exist");
        const ExclusionListUpdate update = PlanExclusionListUpdate(nullptr, 0, path);
        if (!update.fits) {
            WriteLog(L"SetPCA: RegSetValueEx: skipped: the list would not fit");
            return;
        }
        WriteLog(L"SetPCA: RegSetValueEx: szValue: " + path);
        WriteList(key.get(), update.value);
        return;
    }
    WriteLog(L"SetPCA: RegQueryValueEx: ExecutablesToExclude length");
    if (size >= kExclusionListUnits) {
        return;
    }
    WriteLog(L"SetPCA: RegQueryValueEx: ExecutablesToExclude length < 8192");
    std::vector<wchar_t> stored(kExclusionListUnits, L'\0');
    DWORD read = size;
    if (::RegQueryValueExW(key.get(), kExclusionListValue, nullptr, &type, reinterpret_cast<BYTE*>(stored.data()),
                           &read) != ERROR_SUCCESS) {
        return;
    }
    const ExclusionListUpdate update = PlanExclusionListUpdate(stored.data(), read / sizeof(wchar_t), path);
    WriteLog(L"SetPCA: RegQueryValueEx: ExecutablesToExclude szValue: " + update.firstEntry);
    if (update.found) {
        WriteLog(L"SetPCA: Path found: Path: " + path);
        return;
    }
    if (!update.fits) {
        WriteLog(L"SetPCA: RegSetValueEx: skipped: the list would not fit");
        return;
    }
    if (update.pathsNum <= 24) {
        WriteLog(L"SetPCA: RegSetValueEx: pathsNum <= 24: szValue: " + (update.pathsNum == 0 ? path : update.firstEntry));
    } else {
        WriteLog(L"SetPCA: RegSetValueEx: pathsNum > 24: psecond: " + update.secondEntry);
    }
    WriteList(key.get(), update.value);
}

}  // namespace setup
