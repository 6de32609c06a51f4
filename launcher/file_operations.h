#pragma once
// The launcher's file, folder and registry operations. Paths use "\" and
// carry no trailing "\"; registry values are named by one path, key path +
// "\" + value name.

#include "common/folder_tree.h"
#include "common/paths.h"
#include "common/registry.h"

#include <windows.h>

#include <string>

namespace launcher {

// The launcher reads its working folder from a buffer of this many UTF-16
// units, terminator included: a longer one reads as empty.
constexpr DWORD kCurrentFolderUnits = 1040;

// True for an existing file or folder.
bool PathExists(const std::wstring& path);

// True when the folder can be made the current folder (the current folder
// is restored).
bool FolderExists(const std::wstring& path);

// Removing the run's own trees, and writing the registry: one home for both
// programs, in common.
using common::DeleteFolderContents;
using common::RemoveFolderTree;
using common::RemoveOwnEntry;
using common::EnsureRegistryKey;
using common::SetRegistryString;
using common::DeleteRegistryValue;

// Writes the bytes to a new file (no sharing) in one write; an old file, a
// link or a second name at the name is deleted by that name first, never
// written through. False when a folder is there, the old entry cannot be
// deleted, the file cannot be created or the write falls short.
bool WriteNewFile(const std::wstring& path, const void* data, DWORD size);

using common::SplitAtLastBackslash;

}  // namespace launcher
