#include "launcher/runtime_rules.h"

#include "common/held_file.h"
#include "common/resource_data.h"
#include "common/system_folders.h"
#include "common/unique_resource.h"
#include "launcher/file_operations.h"
#include "launcher/launcher_dialog.h"
#include "launcher/media_check.h"
#include "launcher/process_start.h"
#include "launcher/protected_folders.h"
#include "launcher/resources/resource.h"
#include "launcher/zip/win32/zip_extract.h"

#include <shlwapi.h>

#include <cwchar>
#include <vector>

namespace launcher {

const wchar_t kJavaRuntimeKey[] = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kDeleteBundledJvmValue[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeleteBundledJVM";

namespace {

const wchar_t kMinimumVersion[] = L"1.8";
constexpr DWORD kSubkeyNameCapacity = 200;
constexpr DWORD kCurrentVersionBytes = 100;
constexpr DWORD kJavaHomeBytes = 2080;
constexpr int kRemovalAttempts = 10;

// Held from its unpacking until the Java installer has started.
const wchar_t kPrivateRuntimeProgram[] = L"bin\\javaw.exe";

// SHGetValueW into a buffer of a fixed size; nothing when the value is
// missing or does not fit.
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

std::wstring DescribeUnpacking(const zip::ExtractionSummary& summary, DWORD elapsedMs)
{
    if (!summary.opened) {
        return L"the archive could not be opened";
    }
    return std::to_wstring(summary.filesWritten) + L" files written, " + std::to_wstring(summary.filesFailed) +
           L" failed, " + std::to_wstring(summary.entriesSkipped) + L" entries skipped, walk ended with " +
           std::to_wstring(summary.stopResult) + L", " + std::to_wstring(elapsedMs) + L" ms";
}

// The folder's last error as the trace gives it.
std::wstring ErrorSuffix(DWORD error)
{
    return L" (error " + std::to_wstring(error) + L")";
}

}  // namespace

bool IsVersionNameAtLeast18(const std::wstring& subkeyName)
{
    return wcsncmp(subkeyName.c_str(), kMinimumVersion, 3) >= 0;
}

bool IsCurrentVersionTooOld(const std::wstring& version)
{
    return wcscmp(kMinimumVersion, version.c_str()) > 0;
}

std::wstring RegisteredRuntimeVersions()
{
    common::UniqueUSKey key;
    if (::SHRegOpenUSKeyW(kJavaRuntimeKey, KEY_READ, nullptr, key.put(), TRUE) != ERROR_SUCCESS) {
        return L"none";
    }
    std::wstring versions;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kSubkeyNameCapacity] = {};
        DWORD length = kSubkeyNameCapacity;
        if (::SHRegEnumUSKeyW(key.get(), index, name, &length, SHREGENUM_HKLM) != ERROR_SUCCESS) {
            return versions.empty() ? L"none" : versions;
        }
        versions += (versions.empty() ? L"" : L", ") + std::wstring(name) +
                    (IsVersionNameAtLeast18(name) ? L" (1.8 or later)" : L" (older)");
    }
}

bool IsRuntime18OrLaterRegistered()
{
    common::UniqueUSKey key;
    if (::SHRegOpenUSKeyW(kJavaRuntimeKey, KEY_READ, nullptr, key.put(), TRUE) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kSubkeyNameCapacity] = {};
        DWORD length = kSubkeyNameCapacity;
        if (::SHRegEnumUSKeyW(key.get(), index, name, &length, SHREGENUM_HKLM) != ERROR_SUCCESS) {
            return false;
        }
        if (IsVersionNameAtLeast18(name)) {
            return true;
        }
    }
}

std::wstring DeferredRemovalCommand(const std::wstring& runFolder)
{
    return common::SystemProgramPath(L"cmd.exe") + L" /C  RD /S /Q \"" + runFolder + L"\"";
}

std::optional<std::wstring> FolderOfUninstallString(const std::wstring& uninstallString)
{
    const size_t slash = uninstallString.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return std::nullopt;
    }
    return uninstallString.substr(0, slash);
}

bool IsJava7DisplayName(const std::wstring& displayName)
{
    return wcsncmp(displayName.c_str(), L"Java 7", 10) == 0;
}

std::wstring Java7RemovalArguments(const std::wstring& uninstallKeyName)
{
    return L"/quiet /X" + uninstallKeyName;
}

bool LauncherDialog::PreparePrivateRuntime(std::wstring& runtimeHome)
{
    const auto archive = common::FindResourceBytes(m_hInstance, MAKEINTRESOURCEW(IDR_PRIVATE_RUNTIME), RT_RCDATA);
    if (!archive) {
        m_trace.Line(L"private runtime: none carried (no resource 2000): passed over");
        return false;
    }
    if (m_runFolder.path().empty()) {
        m_trace.Line(L"private runtime: no folder of the launcher's own for it: passed over");
        return false;
    }
    // Inside the run's own folder, which nobody else can change: a
    // "BundledJVM" elsewhere, an earlier run's or anyone's, is left alone.
    const std::wstring folder = PrivateRuntimeFolder();
    if (!CreateProtectedFolder(folder)) {
        m_trace.Line(L"private runtime: " + folder + L" cannot be created as the launcher's own" +
                     ErrorSuffix(::GetLastError()) + L": passed over");
        return false;
    }
    // Straight from the resource: no archive file that could be swapped
    // between its write and its reading.
    const DWORD start = ::GetTickCount();
    zip::ExtractionSummary summary =
        zip::ExtractZipArchiveFromMemory(archive.data, archive.size, folder, {kPrivateRuntimeProgram});
    const std::wstring unpacked =
        L"private runtime: unpacked into " + folder + L" (" + DescribeUnpacking(summary, ::GetTickCount() - start) + L")";
    if (!summary.complete() || !summary.heldFiles[0]) {
        summary.heldFiles.clear();
        RemoveFolderTree(folder);
        m_trace.Line(unpacked + (summary.complete() ? L", no bin\\javaw.exe" : L", not completely") +
                     L": passed over");
        return false;
    }
    m_heldRuntimeProgram = std::move(summary.heldFiles[0]);
    runtimeHome = folder;
    m_trace.Line(unpacked + L": taken");
    return true;
}

bool LauncherDialog::FindLocalRuntime(std::wstring& runtimeHome)
{
    if (!FolderExists(m_strFolder + L"\\JVM\\bin")) {
        m_trace.Line(L"JVM folder: " + m_strFolder + L"\\JVM\\bin is not a folder: passed over");
        return false;
    }
    if (m_mediaList) {
        // Only a runtime the media vouch for, its javaw.exe held until it has started.
        common::MediaFileCheck javaw =
            CheckBesideLauncher(*m_mediaList, m_strFolder, L"JVM\\bin\\javaw.exe", L"JVM folder", m_trace);
        if (!javaw) {
            m_trace.Line(L"JVM folder: passed over");
            return false;
        }
        m_heldRuntimeProgram = std::move(javaw.held);
    }
    runtimeHome = m_strFolder + L"\\JVM";
    m_trace.Line(L"JVM folder: " + m_strFolder + L"\\JVM\\bin is a folder: taken");
    return true;
}

bool LauncherDialog::RunRuntimeInstallers()
{
    bool installerRan = false;
    if (m_trace.IsOn()) {
        m_trace.Line(L"registered runtimes: " + RegisteredRuntimeVersions());
    }
    if (!IsRuntime18OrLaterRegistered()) {
        if (const auto installer =
                common::FindResourceBytes(m_hInstance, MAKEINTRESOURCEW(IDR_RUNTIME_INSTALLER), RT_RCDATA)) {
            installerRan = RunCarriedRuntimeInstaller(installer);
        }
    }
    const std::wstring besideLauncher = m_strFolder + L"\\JRE.exe";
    common::MediaFileCheck held;
    if (m_mediaList && PathExists(besideLauncher) && !IsRuntime18OrLaterRegistered() &&
        !(held = CheckBesideLauncher(*m_mediaList, m_strFolder, L"JRE.exe", L"runtime installer", m_trace))) {
        m_trace.Line(L"runtime installer: " + besideLauncher + L" passed over");
        return installerRan;
    }
    if (PathExists(besideLauncher) && !IsRuntime18OrLaterRegistered()) {
        DWORD exitCode = 0;
        const bool started = StartInSession(besideLauncher, L"/s", m_childTemp, true, false, &exitCode);
        if (started) {
            installerRan = true;
        }
        if (m_trace.IsOn()) {
            m_trace.Line(L"runtime installer: " + besideLauncher + L" " +
                         (started ? L"started and waited for, exit code " + std::to_wstring(exitCode)
                                  : std::wstring(L"could not be started")) +
                         L": " + DirectCommandLine(besideLauncher, L"/s"));
        }
    } else if (m_trace.IsOn()) {
        m_trace.Line(L"runtime installer: " + besideLauncher +
                     (PathExists(besideLauncher) ? L" not run, a runtime 1.8 or later is registered"
                                                 : L" not there"));
    }
    return installerRan;
}

bool LauncherDialog::CheckInstalledRuntime(std::wstring& runtimeHome)
{
    std::wstring version;
    if (!ReadMachineString(kJavaRuntimeKey, L"CurrentVersion", kCurrentVersionBytes, version)) {
        m_trace.Line(L"registered runtime: no CurrentVersion: Java error");
        // No runtime registered at all: the dialog, never the log.
        if (!m_bNoJavaError) {
            ShowJavaErrorDialog();
        }
        return false;
    }
    if (IsCurrentVersionTooOld(version)) {
        m_trace.Line(L"registered runtime: CurrentVersion " + version + L" is older than 1.8: Java error");
        ReportJavaError();
        return false;
    }
    if (!ReadMachineString(std::wstring(kJavaRuntimeKey) + L"\\" + version, L"JavaHome", kJavaHomeBytes,
                           runtimeHome)) {
        m_trace.Line(L"registered runtime: CurrentVersion " + version + L" has no JavaHome: Java error");
        ReportJavaError();
        return false;
    }
    if (!PathExists(runtimeHome + L"\\bin\\javaw.exe")) {
        m_trace.Line(L"registered runtime: " + version + L" at " + runtimeHome + L" has no bin\\javaw.exe: Java error");
        ReportJavaError();
        return false;
    }
    m_trace.Line(L"registered runtime: " + version + L" at " + runtimeHome + L": taken");
    return true;
}

std::wstring LauncherDialog::PrivateRuntimeFolder() const
{
    return m_runFolder.path() + L"\\BundledJVM";
}

void LauncherDialog::RegisterPrivateRuntimeRemoval()
{
    // The whole run's folder: the runtime and the children's temporary files.
    SetRegistryString(HKEY_LOCAL_MACHINE, kDeleteBundledJvmValue, DeferredRemovalCommand(m_runFolder.path()));
}

void LauncherDialog::PlaceRuntimeInstallerForUninstaller()
{
    const std::wstring keyPath =
        std::wstring(kUninstallKey) + L"\\" + common::LoadStringResource(m_hInstance, IDS_PRODUCT_ID);
    std::wstring uninstallString;
    {
        common::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) !=
            ERROR_SUCCESS) {
            return;
        }
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return;
        }
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        if (::RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                               &size) != ERROR_SUCCESS) {
            return;
        }
        uninstallString = text.data();
    }
    const auto folder = FolderOfUninstallString(uninstallString);
    if (!folder) {
        return;
    }
    if (const auto installer =
            common::FindResourceBytes(m_hInstance, MAKEINTRESOURCEW(IDR_RUNTIME_INSTALLER), RT_RCDATA)) {
        WriteNewFile(*folder + L"\\JRE.exe", installer.data, installer.size);
    }
}

bool LauncherDialog::RunCarriedRuntimeInstaller(const common::ResourceBytes& installer)
{
    const std::wstring folder = CreateUniqueProtectedFolder(common::SystemTempFolder());
    if (folder.empty()) {
        m_trace.Line(L"runtime installer: carried one (resource 3000) not run, no folder of the launcher's own" +
                     ErrorSuffix(::GetLastError()));
        return false;
    }
    const std::wstring path = folder + L"\\JRE.exe";
    bool started = false;
    if (common::UniqueFile held = common::WriteHeldFile(path, installer.data, installer.size)) {
        DWORD exitCode = 0;
        started = StartInSession(path, L"/s", m_childTemp, true, false, &exitCode);
        if (m_trace.IsOn()) {
            m_trace.Line(L"runtime installer: carried one (resource 3000) " +
                         std::wstring(started ? L"started and waited for, exit code " + std::to_wstring(exitCode)
                                              : L"could not be started") +
                         L": " + DirectCommandLine(path, L"/s"));
        }
    } else {
        m_trace.Line(L"runtime installer: carried one (resource 3000) cannot be written to " + path);
    }
    // A short write leaves no half installer to run later.
    RemoveFolderTree(folder);
    return started;
}

void LauncherDialog::RemovePrivateRuntime()
{
    m_heldRuntimeProgram.reset();
    const std::wstring folder = PrivateRuntimeFolder();
    for (int attempt = 0; attempt < kRemovalAttempts; ++attempt) {
        if (RemoveFolderTree(folder)) {
            break;
        }
    }
    DeleteRegistryValue(HKEY_LOCAL_MACHINE, kDeleteBundledJvmValue);
}

void LauncherDialog::RemoveJava7()
{
    common::UniqueUSKey key;
    if (::SHRegOpenUSKeyW(kUninstallKey, KEY_READ, nullptr, key.put(), TRUE) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kSubkeyNameCapacity] = {};
        DWORD length = kSubkeyNameCapacity;
        if (::SHRegEnumUSKeyW(key.get(), index, name, &length, SHREGENUM_HKLM) != ERROR_SUCCESS) {
            return;
        }
        std::wstring displayName;
        if (!ReadMachineString(std::wstring(kUninstallKey) + L"\\" + name, L"DisplayName", 2 * 1040, displayName)) {
            continue;
        }
        if (IsJava7DisplayName(displayName)) {
            // Not waited for, so it may outlive the run's own folder: the
            // system's temporary folder, as msiexec's working folder.
            StartInSession(common::SystemProgramPath(L"msiexec.exe"), Java7RemovalArguments(name), std::wstring(),
                           false, true);
            return;
        }
    }
}

}  // namespace launcher
