#pragma once
// The system's own folders, from the system rather than from the
// environment: an elevated program's caller chooses its environment.

#include <string>

namespace common {

// The Windows folder (GetSystemWindowsDirectoryW), no trailing "\"; empty
// when the system cannot say.
std::wstring WindowsFolder();

// The Windows folder's "Temp".
std::wstring SystemTempFolder();

// The program of that name in the system folder: a bare name would be
// searched for beside the caller first.
std::wstring SystemProgramPath(const wchar_t* name);

// This program's own path (GetModuleFileNameW), never the caller's first
// word of the command line; empty when it does not fit 32767 units.
std::wstring ProgramPath();

}  // namespace common
