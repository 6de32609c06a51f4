#pragma once
// The run folders that RunOnce "DeleteBundledJVM" removes at the next logon,
// should their runs be cut short. A run names its folder there before the
// folder exists and takes the name off only once the folder is gone, so at
// no moment is there a run folder that no command removes. Overlapping
// runs change the command one at a time and keep each other's folders.

#include <functional>
#include <string>

namespace launcher {

// Names `folder` in the command, then makes it with `create`. False, and no
// folder named, when the command has no room left, the registry cannot be
// written or `create` fails.
bool CreateRegisteredFolder(const std::wstring& folder, const std::function<bool()>& create);

// Takes the folder off the command when nothing is left at its path;
// false when it stays named.
bool ForgetRemovedFolder(const std::wstring& folder);

}  // namespace launcher
