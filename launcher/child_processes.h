#pragma once
// The launcher's children: started in the interactive session through
// proclaunch's LaunchProcess or, on request, directly, each with the clean
// environment and its TEMP.

#include <windows.h>

#include <string>

namespace launcher {

// LaunchProcess writes "<program> <arguments>" back into a buffer of this
// many UTF-16 units, terminator included.
constexpr size_t kLaunchCommandCapacity = 1040;

bool FitsLaunchBuffer(const std::wstring& program, const std::wstring& arguments);

// Through LaunchProcess, the program path quoted when it holds a blank
// (common::QuotedProgramPath); false (nothing started) when the command line
// would not fit its buffer. The child's TEMP and TMP name tempFolder (the system temporary folder when
// empty). A waited-for child's exit code goes to exitCode when given.
// With expectedImage (a held file) the child runs only when its program is
// that file, else fails with common::kImageNotTheHeldFile.
bool StartInSession(const std::wstring& program, const std::wstring& arguments, const std::wstring& tempFolder,
                    bool wait, bool startInSystemTemp, DWORD* exitCode = nullptr, HANDLE expectedImage = nullptr);

// "<program> <arguments>" with the program quoted as above.
std::wstring DirectCommandLine(const std::wstring& program, const std::wstring& arguments);

// CreateProcessW in the launcher's own folder, with the environment that
// StartInSession gives, waited for without limit.
bool StartDirectlyAndWait(const std::wstring& program, const std::wstring& arguments, const std::wstring& tempFolder,
                          DWORD* exitCode = nullptr, HANDLE expectedImage = nullptr);

}  // namespace launcher
