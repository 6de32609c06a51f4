#pragma once
// The run folders that RunOnce "DeleteBundledJVM" removes at the next logon,
// should their runs be cut short. A run names its folder there before the
// folder exists and takes the name off only once the folder is gone, so at
// no moment is there a run folder that no command removes. Overlapping
// runs change the command one at a time and keep each other's folders.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace common {

// The RunOnce command that removes the run folders, each with everything
// below it: "<system folder>\cmd.exe /C  RD /S /Q "<folder>" & RD /S /Q "<folder>"".
std::wstring DeferredRemovalCommand(const std::vector<std::wstring>& runFolders);

// The folders such a command names, in order.
std::vector<std::wstring> FoldersOfRemovalCommand(const std::wstring& command);

// Windows runs a RunOnce command of at most this many characters.
constexpr size_t kLongestRunOnceCommand = 260;

// Names `folder` in the command, then makes it with `create`. False, and no
// folder named, when the command has no room left, the registry cannot be
// written or `create` fails.
bool CreateRegisteredFolder(const std::wstring& folder, const std::function<bool()>& create);

// Takes the folder off the command when nothing is left at its path;
// false when it stays named.
bool ForgetRemovedFolder(const std::wstring& folder);

}  // namespace common
