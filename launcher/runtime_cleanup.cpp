#include "launcher/runtime_cleanup.h"

#include "common/resource_data.h"
#include "common/paths.h"
#include "launcher/file_operations.h"
#include "launcher/child_processes.h"
#include "launcher/resources/resource.h"
#include "launcher/runtime_choice.h"
#include "launcher/runtime_registry.h"
#include "launcher/runtime_rules.h"

namespace launcher {

namespace {

constexpr int kRemovalAttempts = 10;

}  // namespace

void RemovePrivateRuntime(const std::wstring& runFolder)
{
    const std::wstring folder = PrivateRuntimeFolder(runFolder);
    for (int attempt = 0; attempt < kRemovalAttempts; ++attempt) {
        if (RemoveFolderTree(folder)) {
            break;
        }
    }
}

void PlaceRuntimeInstallerForUninstaller(HINSTANCE instance)
{
    const auto uninstallString = ReadProductUninstallString(common::LoadStringResource(instance, IDS_PRODUCT_ID));
    if (!uninstallString) {
        return;
    }
    const auto folder = FolderOfUninstallString(*uninstallString);
    if (!folder) {
        return;
    }
    if (const auto installer =
            common::FindResourceBytes(instance, MAKEINTRESOURCEW(IDR_RUNTIME_INSTALLER), RT_RCDATA)) {
        WriteNewFile(*folder + L"\\JRE.exe", installer.data, installer.size);
    }
}

void RemoveJava7()
{
    if (const auto entry = FindJava7UninstallEntry()) {
        // Not waited for, so it may outlive the run's own folder: the
        // system's temporary folder, as msiexec's working folder.
        StartInSession(common::SystemProgramPath(L"msiexec.exe"), Java7RemovalArguments(*entry), std::wstring(),
                       false, true);
    }
}

}  // namespace launcher
