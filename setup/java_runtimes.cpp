#include "setup/java_runtimes.h"

#include "common/registry.h"
#include "common/unique_resource.h"
#include "setup/installer_search.h"
#include "setup/setup_log.h"
#include "setup/setup_settings.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace setup {

namespace {

const wchar_t kRuntimesKey[] = L"Software\\JavaSoft\\Java Runtime Environment";

// A runtime's values are read as text whatever their type, from at most
// 1024 bytes: a longer one reads as missing.
constexpr common::RegistryStringRule kRuntimeValue = {common::RegistryValueTypes::Any, 1024, common::ReadAsStored};

}  // namespace

bool IsVersionLessOrEqual(const std::wstring& a, const std::wstring& b)
{
    const wchar_t* restA = a.c_str();
    const wchar_t* restB = b.c_str();
    for (;;) {
        // As "%d" reads: blanks, a sign, digits; no number reads as 0.
        const long numberA = std::wcstol(restA, nullptr, 10);
        const long numberB = std::wcstol(restB, nullptr, 10);
        if (numberA != numberB) {
            return numberA < numberB;
        }
        const wchar_t* stopA = std::wcschr(restA, L'.');
        if (*restA == L'\0' || stopA == nullptr) {
            return true;
        }
        const wchar_t* stopB = std::wcschr(restB, L'.');
        if (*restB == L'\0' || stopB == nullptr) {
            return false;
        }
        restA = stopA + 1;
        restB = stopB + 1;
    }
}

void SortVersions(std::vector<std::wstring>& versions)
{
    // The sort needs a strict order: a comes first when b is not <= a.
    std::stable_sort(versions.begin(), versions.end(),
                     [](const std::wstring& a, const std::wstring& b) { return !IsVersionLessOrEqual(b, a); });
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace jvm {

size_t GetInstalledJavaVms(std::vector<std::wstring>& versions)
{
    common::UniqueRegKey runtimes;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRuntimesKey, 0, KEY_READ, runtimes.put()) != ERROR_SUCCESS) {
        return 0;
    }
    const size_t firstOwn = versions.size();
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD nameLength = ARRAYSIZE(name);
        const LONG status = ::RegEnumKeyExW(runtimes.get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                                            nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            versions.resize(firstOwn);
            return 0;
        }
        common::UniqueRegKey runtime;
        if (::RegOpenKeyExW(runtimes.get(), name, 0, KEY_READ, runtime.put()) != ERROR_SUCCESS) {
            continue;
        }
        const std::wstring javaHome =
            common::ReadRegistryString(runtime.get(), L"JavaHome", kRuntimeValue).value_or(std::wstring());
        const std::wstring runtimeLib =
            common::ReadRegistryString(runtime.get(), L"RuntimeLib", kRuntimeValue).value_or(std::wstring());
        if (javaHome.empty() || runtimeLib.empty()) {
            continue;
        }
        std::wstring java = javaHome;
        if (java.back() != L'\\') {
            java += L'\\';
        }
        java += L"bin\\java.exe";
        if (FileExists(runtimeLib) && FileExists(java)) {
            versions.emplace_back(name, nameLength);
        }
    }
    return versions.size() - firstOwn;
}

}  // namespace jvm

bool CheckInstalledJavaVms(StatusDisplay* pDialog)
{
    WriteLog(L"CheckInstalledJavaVms");
    const SetupSettings& settings = GetSetupSettings();
    const auto configured = settings.find(kRequiredVersionKey);
    std::wstring szRequiredVmVersion = configured != settings.end() ? configured->second : L"0.0.0";
    WriteLog(L"CheckInstalledJavaVms: szRequiredVmVersion: " + szRequiredVmVersion);

    g_szJavaInstallerPath.clear();
    if (JVMInstallerFound()) {
        szRequiredVmVersion = L"1.8.0";
    }
    WriteLog(L"CheckInstalledJavaVms: szRequiredVmVersion after JVMInstallerFound: " + szRequiredVmVersion);
    if (szRequiredVmVersion == L"0.0.0") {
        return true;
    }

    WriteLog(L"CheckInstalledJavaVms: DisplayWindow");
    if (pDialog) {
        pDialog->DisplayWindow();
    }
    WriteLog(L"CheckInstalledJavaVms: jvm::GetInstalledJavaVms");
    std::vector<std::wstring> installed;
    if (jvm::GetInstalledJavaVms(installed) != 0) {
        WriteLog(L"CheckInstalledJavaVms: sort installed Javas");
        SortVersions(installed);
        WriteLog(L"CheckInstalledJavaVms: search required jvm");
        for (const std::wstring& version : installed) {
            WriteLog(L"CheckInstalledJavaVms: compare: " + szRequiredVmVersion + L" " + version);
            if (IsVersionLessOrEqual(szRequiredVmVersion, version)) {
                WriteLog(L"CheckInstalledJavaVms: compare success");
                if (pDialog) {
                    pDialog->HideWindow();
                }
                return true;
            }
        }
    }
    if (pDialog) {
        pDialog->HideWindow();
    }
    WriteLog(L"CheckInstalledJavaVms: return false");
    return false;
}

}  // namespace setup
