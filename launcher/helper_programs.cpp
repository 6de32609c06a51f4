#include "launcher/helper_programs.h"

#include "common/held_file.h"
#include "common/resource_data.h"
#include "common/paths.h"
#include "common/unique_resource.h"
#include "launcher/file_operations.h"
#include "launcher/child_processes.h"
#include "common/protected_folders.h"
#include "launcher/resources/resource.h"


namespace launcher {

const wchar_t kPlatformProbeKey[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kDeletePellowValue[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeletePellow";
const wchar_t kDeletePurlowValue[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeletePurlow";

namespace {

const wchar_t kHelperType[] = L"RT_EXE";

// The helper file in place, written now or an earlier run's identical copy
// that is still in use, held open without write or delete sharing until
// Pellow has ended, so it cannot change underneath; empty when neither.
common::UniqueFile PlaceHelper(const std::wstring& path, const common::ResourceBytes& bytes, DecisionTrace& trace)
{
    ::DeleteFileW(path.c_str());
    if (!PathExists(path)) {
        common::UniqueFile held = common::WriteHeldFile(path, bytes.data, bytes.size);
        trace.Line(L"uninstall: " + QuotedPath(path) + (held ? L" written" : L" cannot be written"));
        return held;
    }
    // We run elevated: a file we cannot replace runs only if it is ours.
    common::UniqueFile held = common::HoldIfIdentical(path, bytes.data, bytes.size);
    trace.Line(L"uninstall: " + QuotedPath(path) +
               (held ? L" cannot be deleted and holds the same bytes: reused"
                     : L" cannot be deleted and is not the launcher's copy: not used"));
    return held;
}

}  // namespace

bool IsPlatformProbeKeyPresent()
{
    common::UniqueRegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlatformProbeKey, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

WORD PurlowResourceFor(bool is64BitWindows)
{
    return is64BitWindows ? IDR_PURLOW_X64 : IDR_PURLOW_X86;
}

std::wstring HelperDeletionCommand(const std::wstring& path)
{
    // Named with its folder: RunOnce commands start in a folder we do not choose.
    return common::SystemProgramPath(L"cmd.exe") + L" /C  del \"" + path + L"\"";
}

bool PlaceHelpersAndStartPellow(HMODULE module, WORD purlowResource, const std::wstring& helperFolder,
                                const std::wstring& launcherFolder, DecisionTrace& trace,
                                const std::wstring& tempFolder)
{
    if (!module) {
        return false;
    }
    const auto purlow = common::FindResourceBytes(module, MAKEINTRESOURCEW(purlowResource), kHelperType);
    if (!purlow) {
        trace.Line(L"uninstall: no helper resource " + std::to_wstring(purlowResource) + L", the folder stays");
        return false;
    }
    const std::wstring purlowPath = helperFolder + L"\\Purlow.exe";
    const common::UniqueFile heldPurlow = PlaceHelper(purlowPath, purlow, trace);
    if (!heldPurlow) {
        return false;
    }
    const auto pellow = common::FindResourceBytes(module, MAKEINTRESOURCEW(IDR_PELLOW), kHelperType);
    if (!pellow) {
        trace.Line(L"uninstall: no helper resource " + std::to_wstring(IDR_PELLOW) + L", the folder stays");
        return false;
    }
    const std::wstring pellowPath = helperFolder + L"\\Pellow.exe";
    const common::UniqueFile heldPellow = PlaceHelper(pellowPath, pellow, trace);
    if (!heldPellow) {
        return false;
    }

    const std::wstring arguments = purlowPath + L" " + launcherFolder;
    SetRegistryString(HKEY_LOCAL_MACHINE, kDeletePellowValue, HelperDeletionCommand(pellowPath));
    SetRegistryString(HKEY_LOCAL_MACHINE, kDeletePurlowValue, HelperDeletionCommand(purlowPath));
    // Pellow ends as soon as it has started Purlow, and only then may the
    // files go.
    DWORD exitCode = 0;
    const bool started = StartInSession(pellowPath, arguments, tempFolder, true, true, &exitCode, heldPellow.get());
    trace.Line(L"uninstall: Pellow " +
               (started ? L"started in the interactive session and ended with exit code " + std::to_wstring(exitCode)
                        : std::wstring(L"could not be started in the interactive session")) +
               L": " + DirectCommandLine(pellowPath, arguments));
    return true;
}

void PrepareFolderRemoval(const RunContext& run)
{
    const bool is64BitWindows = IsPlatformProbeKeyPresent();
    const WORD purlowResource = PurlowResourceFor(is64BitWindows);
    run.trace.Line(std::wstring(L"uninstall: ") + (is64BitWindows ? L"64-bit" : L"32-bit") +
                   L" Windows, Purlow from resource " + std::to_wstring(purlowResource));
    const std::wstring helperFolder = common::CreateUniqueProtectedFolder(common::SystemTempFolder());
    if (helperFolder.empty()) {
        run.trace.Line(L"uninstall: no folder of the launcher's own for the helpers (error " +
                       std::to_wstring(::GetLastError()) + L"), the folder stays");
        return;
    }
    if (!PlaceHelpersAndStartPellow(run.instance, purlowResource, helperFolder, run.options.m_strFolder, run.trace,
                                    run.childTemp)) {
        RemoveFolderTree(helperFolder);
    }
}

}  // namespace launcher
