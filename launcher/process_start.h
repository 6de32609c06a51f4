#pragma once
// Starting the programs the launcher runs: in the interactive session
// (LaunchProcess) or, on request, directly.

#include <string>

namespace launcher {

// LaunchProcess writes "<program> <arguments>" back into a buffer of this
// many UTF-16 units, terminator included.
constexpr size_t kLaunchCommandCapacity = 1040;

bool FitsLaunchBuffer(const std::wstring& program, const std::wstring& arguments);

// Through LaunchProcess; false (nothing started) when the command line
// would not fit its buffer.
bool StartInSession(const std::wstring& program, const std::wstring& arguments, bool wait, bool startInSystemTemp);

// "<program> <arguments>" with the program quoted when it holds a blank, so
// that the system's search cannot pick a shorter path.
std::wstring DirectCommandLine(const std::wstring& program, const std::wstring& arguments);

// CreateProcessW with the launcher's own environment and folder, waited for
// without limit.
bool StartDirectlyAndWait(const std::wstring& program, const std::wstring& arguments);

}  // namespace launcher
