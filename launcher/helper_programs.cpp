#include "launcher/helper_programs.h"

#include "common/resource_data.h"
#include "common/unique_resource.h"
#include "launcher/file_operations.h"
#include "launcher/launcher_dialog.h"
#include "launcher/process_start.h"
#include "launcher/resources/resource.h"

#include <cstring>
#include <vector>

namespace launcher {

const wchar_t kPlatformProbeKey[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kDeletePellowValue[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeletePellow";
const wchar_t kDeletePurlowValue[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\DeletePurlow";

namespace {

const wchar_t kHelperType[] = L"RT_EXE";

// A helper file in place: either written now, or an earlier run's identical
// copy that is still in use. The reused one stays open without write or
// delete sharing until Pellow has started, so it cannot change underneath.
struct PlacedHelper {
    bool placed = false;
    bool reused = false;
    common::UniqueFile held;
};

bool HoldsExactly(HANDLE file, const common::ResourceBytes& bytes)
{
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart != static_cast<LONGLONG>(bytes.size)) {
        return false;
    }
    std::vector<char> content(bytes.size);
    DWORD read = 0;
    if (bytes.size > 0 && (!::ReadFile(file, content.data(), bytes.size, &read, nullptr) || read != bytes.size)) {
        return false;
    }
    return std::memcmp(content.data(), bytes.data, bytes.size) == 0;
}

PlacedHelper PlaceHelper(const std::wstring& path, const common::ResourceBytes& bytes, DecisionTrace& trace)
{
    PlacedHelper helper;
    ::DeleteFileW(path.c_str());
    if (!PathExists(path)) {
        helper.placed = WriteNewFile(path, bytes.data, bytes.size);
        if (trace.IsOn()) {
            trace.Line(L"uninstall: " + path + (helper.placed ? L" written" : L" cannot be written"));
        }
        return helper;
    }
    // Anyone may create files in the system temporary folder and we run
    // elevated: a file we cannot replace runs only if it is ours.
    helper.held.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    helper.placed = helper.held && HoldsExactly(helper.held.get(), bytes);
    helper.reused = helper.placed;
    if (trace.IsOn()) {
        trace.Line(L"uninstall: " + path +
                   (helper.placed ? L" cannot be deleted and holds the same bytes: reused"
                                  : L" cannot be deleted and is not the launcher's copy: not used"));
    }
    return helper;
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
    return L"cmd.exe /C  del \"" + path + L"\"";
}

bool PlaceHelpersAndStartPellow(HMODULE module, WORD purlowResource, const std::wstring& tempFolder,
                                const std::wstring& launcherFolder, DecisionTrace& trace)
{
    if (!module) {
        return false;
    }
    const auto purlow = common::FindResourceBytes(module, MAKEINTRESOURCEW(purlowResource), kHelperType);
    if (!purlow) {
        trace.Line(L"uninstall: no helper resource " + std::to_wstring(purlowResource) + L", the folder stays");
        return false;
    }
    const std::wstring purlowPath = tempFolder + L"\\Purlow.exe";
    const PlacedHelper placedPurlow = PlaceHelper(purlowPath, purlow, trace);
    if (!placedPurlow.placed) {
        return false;
    }
    const auto pellow = common::FindResourceBytes(module, MAKEINTRESOURCEW(IDR_PELLOW), kHelperType);
    if (!pellow) {
        trace.Line(L"uninstall: no helper resource " + std::to_wstring(IDR_PELLOW) + L", the folder stays");
        return false;
    }
    const std::wstring pellowPath = tempFolder + L"\\Pellow.exe";
    const PlacedHelper placedPellow = PlaceHelper(pellowPath, pellow, trace);
    if (!placedPellow.placed) {
        return false;
    }
    if (!PathExists(purlowPath) || !PathExists(pellowPath)) {
        return false;
    }

    const std::wstring arguments = purlowPath + L" " + launcherFolder;
    SetRegistryString(HKEY_LOCAL_MACHINE, kDeletePellowValue, HelperDeletionCommand(pellowPath));
    SetRegistryString(HKEY_LOCAL_MACHINE, kDeletePurlowValue, HelperDeletionCommand(purlowPath));
    const bool started = StartInSession(pellowPath, arguments, false, true);
    if (trace.IsOn()) {
        trace.Line(L"uninstall: Pellow " + std::wstring(started ? L"started" : L"could not be started") +
                   L" in the interactive session, not waited for: " + DirectCommandLine(pellowPath, arguments));
    }
    return true;
}

void LauncherDialog::PrepareFolderRemoval()
{
    const bool is64BitWindows = IsPlatformProbeKeyPresent();
    const WORD purlowResource = PurlowResourceFor(is64BitWindows);
    if (m_trace.IsOn()) {
        m_trace.Line(std::wstring(L"uninstall: ") + (is64BitWindows ? L"64-bit" : L"32-bit") +
                     L" Windows, Purlow from resource " + std::to_wstring(purlowResource));
    }
    PlaceHelpersAndStartPellow(m_hInstance, purlowResource, GetSystemTempFolder(), m_strFolder, m_trace);
}

}  // namespace launcher
