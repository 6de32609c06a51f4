#pragma once
// The launcher's file, folder and registry operations. Paths use "\" and
// carry no trailing "\"; registry values are named by one path, key path +
// "\" + value name.

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

// Deletes every file and subfolder below the folder, not the folder itself
// (links below it are removed, not followed); 0, or -1 at the first entry
// that cannot be removed. Each entry is opened as itself and held while it
// is emptied and deleted, so a folder of the tree cannot be swapped for a
// link half-way. Only for trees this run made: what others can write to
// they could fill faster than it empties.
int DeleteFolderContents(const std::wstring& folder);

// Removes the file or folder with everything below it; a link is removed
// itself, never followed. True when nothing is left at the path. Only for
// trees this run made: see DeleteFolderContents.
bool RemoveFolderTree(const std::wstring& path);

// Deletes one file, link or (emptied first) folder as above; 0, or -1.
// listedAsLink: a folder listing showed a reparse point there.
int RemoveOwnEntry(const std::wstring& path, bool listedAsLink);

// Opens the key for writing, creating it and its missing parents.
void EnsureRegistryKey(HKEY root, const std::wstring& keyPath);

// Stores a REG_SZ value, creating its key first; false when it is not stored.
bool SetRegistryString(HKEY root, const std::wstring& valuePath, const std::wstring& text);
// Opens the key and deletes the value; false when the value may still be there.
bool DeleteRegistryValue(HKEY root, const std::wstring& valuePath);

// Writes the bytes to a new file (no sharing) in one write; an old file or
// link at the name is removed as itself first, never written through.
// False when a folder is there, the old entry cannot be removed, the file
// cannot be created or the write falls short.
bool WriteNewFile(const std::wstring& path, const void* data, DWORD size);

// "a\b\c" → {"a\b", "c"}; no "\" → {"", whole}.
std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path);

}  // namespace launcher
