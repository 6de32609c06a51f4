#include "setup/media_check.h"

#include "common/paths.h"
#include "setup/installer_search.h"
#include "setup/messages.h"
#include "setup/resources/resource.h"
#include "setup/setup_log.h"
#include "setup/setup_settings.h"

namespace setup {

namespace {

const wchar_t kPlatformInstallers[2][20] = {L"Windows64\\Setup.exe", L"Windows32\\Setup.exe"};

// The path below the folder, or empty when it does not lie there.
std::wstring RelativeTo(const std::wstring& folder, const std::wstring& path)
{
    const std::wstring prefix = folder + L"\\";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size())
                                                                                      : std::wstring();
}

}  // namespace

const std::optional<common::MediaList>& SetupMediaList()
{
    static const std::optional<common::MediaList> list = common::LoadMediaList(::GetModuleHandleW(nullptr));
    return list;
}

std::wstring ListedJavaInstaller(const common::MediaList& list, const std::wstring& folder)
{
    const common::MediaFile* installer = common::FirstMediaFileIn(list, L"JVM");
    return installer ? folder + L"\\" + installer->path : std::wstring();
}

std::wstring ListedPlatformInstaller(const common::MediaList& list, const std::wstring& folder, bool on64BitWindows)
{
    const wchar_t* first = kPlatformInstallers[on64BitWindows ? 0 : 1];
    const wchar_t* second = kPlatformInstallers[on64BitWindows ? 1 : 0];
    const bool firstListed = common::FindMediaFile(list, first) != nullptr;
    const bool secondListed = common::FindMediaFile(list, second) != nullptr;
    if (firstListed && (!secondListed || ::GetFileAttributesW((folder + L"\\" + first).c_str()) !=
                                             INVALID_FILE_ATTRIBUTES)) {
        return folder + L"\\" + first;
    }
    return secondListed ? folder + L"\\" + second : std::wstring();
}

common::MediaFileCheck CheckListedFile(const wchar_t* caller, const common::MediaList& list,
                                       const std::wstring& folder, const std::wstring& path, bool launcherFolder,
                                       const std::wstring& copyPath)
{
    const std::wstring relative = RelativeTo(folder, path);
    common::MediaFileCheck check;
    if (relative.empty()) {
        check.problem = L"not in the media folder";
    } else {
        check = copyPath.empty() ? common::CheckMediaFile(list, folder, relative)
                                 : common::CopyCheckedMediaFile(list, folder, relative, copyPath);
    }
    if (check && launcherFolder) {
        const std::wstring marker = path.substr(0, path.rfind(L'\\')) + L"\\uninstall.dat";
        if (::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
            check = common::MediaFileCheck();
            check.problem = L"its folder holds " + marker;
        }
    }
    if (!check) {
        WriteLog(std::wstring(caller) + L": " + path + L" differs from the media: " + check.problem);
    }
    return check;
}

bool HoldSetupConfiguration(common::MediaFileCheck& held)
{
    const auto& list = SetupMediaList();
    if (!list) {
        return true;
    }
    const std::wstring programPath = common::ProgramPath(kProgramPathUnits);
    std::wstring folder = programPath.substr(0, programPath.rfind(L'\\'));
    held = CheckListedFile(L"HoldSetupConfiguration", *list, folder, ConfigurationPath(programPath));
    if (!held) {
        ShowErrorMessage(IDS_JAVAINSTALLERNOTFOUND);
        return false;
    }
    return true;
}

}  // namespace setup
