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

// A function of a loaded library by name, typed; null when the library is
// null or lacks it.
template <typename Function>
Function FindFunction(HMODULE library, const char* name)
{
    return library ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name))) : nullptr;
}

}  // namespace common
