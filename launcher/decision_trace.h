#pragma once
// The decision trace: when the environment variable WENDREL_TRACE names a
// file, the launcher appends plain UTF-8 lines to it saying what it received,
// which Java runtime it took and why, and what it started. Without the
// variable nothing is opened and every line is dropped.

#include "common/unique_resource.h"
#include "launcher/launcher_state.h"

#include <string>

namespace launcher {

extern const wchar_t kTraceVariable[];  // "WENDREL_TRACE"

class DecisionTrace {
public:
    // Opens the file the variable names for appending (created when
    // missing); off when the variable is unset or empty or the file cannot
    // be opened.
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

// "options: /english /language=fr ..." for the options the command line set,
// with the installer arguments as they will be passed.
std::wstring DescribeOptions(const LauncherState& state, const std::wstring& programNameOverride);

}  // namespace launcher
