#pragma once
// Starts a program outside the job in which the program-removal applet runs
// uninstallers ("ARP Job"), optionally waiting for it.

#include <windows.h>

#include <optional>
#include <string>

namespace pellow {

extern const wchar_t kUsageText[];

struct LaunchRequest {
    bool wait = false;
    std::wstring commandLine;  // application path and arguments joined by single blanks, no quotes added
};

// Arguments as the start-up code split them, the program's own name first.
// Empty when the usage text is due.
std::optional<LaunchRequest> ParseArguments(int argc, const wchar_t* const* argv);

// "<what>", then for a non-zero code ": <system text>(Error code: <code>)",
// then one line feed.
std::wstring FailureMessage(const wchar_t* what, DWORD code);

// Writes text to standard output as it stands.
void WriteOutput(const std::wstring& text);

// The job handling and process creation; returns the exit code (0 or 1)
// after writing any failure message.
int LaunchOutsideJob(const LaunchRequest& request);

}  // namespace pellow
