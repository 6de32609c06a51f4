#pragma once
// Libraries from the system folder only. Windows looks in a program's own
// folder first for any library that is not one of its known system
// libraries, and our programs run elevated from wherever the media were
// copied, a downloads folder included.

#include <windows.h>

namespace common {

// Restricts the process's library search to the system folder, where the
// system knows how (Windows 8, or 7 and Vista with their 2011 loader
// update); elsewhere the search stays as it was. The first call of every
// program.
void UseSystemFolderForLibraries();

// Loads the library from the system folder and nowhere else; null when it
// is not there.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace common
