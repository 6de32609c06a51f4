#pragma once
// With a list of its media's files, the setup program takes exactly the
// listed files, each checked and held before it is started or read: the
// listed runtime installer, the launcher in "Windows64\" or "Windows32\",
// and Setup.config. Without a list it searches the media as it always did.

#include "common/media_files.h"

#include <optional>
#include <string>

namespace setup {

// The program's list, loaded once; nothing for a build without one.
const std::optional<common::MediaList>& SetupMediaList();

// The runtime installer the list names in "JVM\"; empty when it names none.
std::wstring ListedJavaInstaller(const common::MediaList& list, const std::wstring& folder);

// The listed launcher for this Windows: "Windows64\Setup.exe" first on
// 64-bit Windows, "Windows32\Setup.exe" first elsewhere; the other when the
// first is not there. Empty when the list names neither.
std::wstring ListedPlatformInstaller(const common::MediaList& list, const std::wstring& folder, bool on64BitWindows);

// Checks a file that lies in the media folder against the list and holds it;
// a refusal is logged as "<caller>: <path> differs from the media: <why>".
// A launcher's folder must not hold "uninstall.dat", which would turn it into
// the uninstaller that trusts the files beside it.
// With copyPath, the file is copied there in the same read (see
// CopyCheckedMediaFile) and the copy is what the check holds.
common::MediaFileCheck CheckListedFile(const wchar_t* caller, const common::MediaList& list,
                                       const std::wstring& folder, const std::wstring& path,
                                       bool launcherFolder = false, const std::wstring& copyPath = std::wstring());

// With a list, Setup.config must be the listed one: true and the file held
// (until it has been read), or false with message 105 shown. True without a
// list.
bool HoldSetupConfiguration(common::MediaFileCheck& held);

}  // namespace setup
