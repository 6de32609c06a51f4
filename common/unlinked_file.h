#pragma once
// Opening a file that an elevated program writes in a folder others may
// change (a log beside the launcher, a trace file): a link planted under
// its name would turn the write onto any file the link points at.

#include "common/unique_resource.h"

#include <string>

namespace common {

// Creates the file, or opens it when it is there, for `access` with
// `share`; *created says which. Empty, with ERROR_CANT_ACCESS_FILE as the
// last error, when the name is a link of any kind: a reparse point, a
// second name of a file (hard link), or a name that leads to a file of
// another name or folder; an unshared file (share 0) it made for a name it
// then refuses is deleted again. A relative path is taken from the working folder. Other
// failures keep the system's error.
UniqueFile OpenUnlinkedFile(const std::wstring& path, DWORD access, DWORD share, bool* created);

}  // namespace common
