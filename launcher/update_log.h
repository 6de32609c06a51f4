#pragma once
// "AutoUpdate.log": what an unattended run leaves behind when the Java
// runtime is unusable.

#include <windows.h>

#include <ctime>
#include <string>

namespace launcher {

// "Date: 12/08/2026 Time: 17:05".
std::wstring FormatUpdateLogTimestamp(const std::tm& localTime);

// The entry's problem line for an unusable Java runtime.
extern const wchar_t kRuntimeProblem[];

struct UpdateLogEntry {
    std::wstring programName;
    std::wstring userName;
    std::wstring computerName;
    std::wstring startTimestamp;
    std::wstring finishTimestamp;
    std::wstring problem = kRuntimeProblem;
    std::wstring reason;       // a line of its own after the problem; empty: none
};

// The entry as it is appended, every line ending in CR LF.
std::wstring ComposeUpdateLogEntry(const UpdateLogEntry& entry);

// Only runs whose installer arguments hold "play.auto=YES" (exact case) log.
bool IsUnattendedRun(const std::wstring& extraArgs);

// The folder named by "play.logLocation=" (up to the next double quote), or
// the launcher's folder, + "\AutoUpdate.log".
std::wstring UpdateLogPath(const std::wstring& extraArgs, const std::wstring& launcherFolder);

// Thrown when the log file cannot be opened or written; ends the run.
struct UpdateLogFileError {
    std::wstring path;
    DWORD error;
};

// Creates the file with a byte-order mark if missing, then appends the
// entry. Throws UpdateLogFileError.
void AppendToUpdateLog(const std::wstring& path, const std::wstring& entry);

// The text of the report shown for an UpdateLogFileError.
std::wstring UpdateLogFileErrorText(const UpdateLogFileError& failure);

}  // namespace launcher
