#pragma once
// Removing a tree this run made: each entry is opened as itself and held
// while it is emptied and deleted, so a folder of the tree cannot be
// swapped for a link half-way, and a link is removed, never followed. Only
// for trees the run made: what others can write to they could fill faster
// than it empties.

#include <string>

namespace common {

// Deletes every file and subfolder below the folder, not the folder itself;
// 0, or -1 at the first entry that cannot be removed.
int DeleteFolderContents(const std::wstring& folder);

// Removes the file or folder with everything below it; a link is removed
// itself, never followed. True when nothing is left at the path.
bool RemoveFolderTree(const std::wstring& path);

// Deletes one file, link or (emptied first) folder as above; 0, or -1.
// listedAsLink: a folder listing showed a reparse point there.
int RemoveOwnEntry(const std::wstring& path, bool listedAsLink);

}  // namespace common
