#pragma once
// The decision trace: when the environment variable WENDREL_TRACE is set and
// not empty, the launcher writes plain UTF-8 lines saying what it received,
// which Java runtime it took and why, and what it started, into
// "%SystemRoot%\Temp\wendrel-trace-<date>-<time>-<process id>\trace.txt", a
// new file in a new folder that only administrators can change, kept after
// the run. Without the variable nothing is opened and every line is dropped.

#include "common/unique_resource.h"
#include "launcher/launcher_state.h"

#include <string>

namespace launcher {

extern const wchar_t kTraceVariable[];  // "WENDREL_TRACE"

class DecisionTrace {
public:
    // Creates the trace file and writes its path as the first line; off
    // when the variable is unset or empty or the folder or file cannot be
    // made new.
    static DecisionTrace FromEnvironment();

    DecisionTrace() = default;
    DecisionTrace(DecisionTrace&&) = default;
    DecisionTrace& operator=(DecisionTrace&&) = default;

    // Callers test this before composing a line that costs something.
    bool IsOn() const { return m_file.valid(); }
    // One line, prefixed with the local time; an empty text writes nothing,
    // so a step with nothing to say leaves no line.
    void Line(const std::wstring& text);

private:
    common::UniqueFile m_file;
};

// The path in double quotes, as trace lines give paths.
std::wstring QuotedPath(const std::wstring& path);

// "options: /english /language=fr ..." for the options the command line set,
// with the installer arguments as they will be passed.
std::wstring DescribeOptions(const LauncherState& state, const std::wstring& programNameOverride);

}  // namespace launcher
