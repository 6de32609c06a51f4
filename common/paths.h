#pragma once
// Paths the system gives: its own folders (from the system rather than from
// the environment: an elevated program's caller chooses its environment),
// this program's path and the working folder.

#include <windows.h>

#include <string>
#include <utility>

namespace common {

// The longest path the system takes, in UTF-16 units with the terminator.
constexpr DWORD kLongestPathUnits = 32768;

// The Windows folder (GetSystemWindowsDirectoryW), no trailing "\"; empty
// when the system cannot say.
std::wstring WindowsFolder();

// The Windows folder's "Temp".
std::wstring SystemTempFolder();

// The system folder (GetSystemDirectoryW), no trailing "\".
std::wstring SystemFolder();

// The program of that name in the system folder: a bare name would be
// searched for beside the caller first.
std::wstring SystemProgramPath(const wchar_t* name);

// "a\\b\\c" -> {"a\\b", "c"}; no "\\" -> {"", whole}.
std::pair<std::wstring, std::wstring> SplitAtLastBackslash(const std::wstring& path);

// The path the system gives for an open file (GetFinalPathNameByHandleW,
// normalised, in "\\?\" form); empty when the system cannot say.
std::wstring SystemFinalPathOf(HANDLE file);

// The same
// (where it is now, links resolved) in its plain form ("C:\...",
// "\\server\share\...") where that fits MAX_PATH, else "\\?\" form; empty
// when the system cannot say.
std::wstring FinalPathOf(HANDLE file);

// "\\?\C:\x" -> "C:\x" and "\\?\UNC\s\x" -> "\\s\x" when the plain form is
// shorter than MAX_PATH; anything else unchanged.
std::wstring PlainPathWhereItFits(const std::wstring& path);

// This program's own path (GetModuleFileNameW), never the caller's first
// word of the command line; empty when it does not fit `units` UTF-16 units
// with its terminator.
std::wstring ProgramPath(DWORD units = kLongestPathUnits);

// The process's working folder (GetCurrentDirectoryW), as long as it is;
// empty when the system cannot say, and then with its last-error code.
std::wstring CurrentFolder();

// The same, empty also when it does not fit `units` UTF-16 units with its
// terminator.
std::wstring CurrentFolder(DWORD units);

}  // namespace common
