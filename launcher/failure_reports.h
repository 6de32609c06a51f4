#pragma once
// How a run that starts nothing tells its user: the Java error dialog, an
// entry in the update log of an unattended run with /nojavaerror, or the
// missing-file message.

#include "launcher/run_context.h"
#include "launcher/runtime_choice.h"

#include <string>

namespace launcher {

// No runtime to use. With none registered at all: the dialog, unless
// /nojavaerror, and never the update log. With an unusable one, or a carried
// one that could not be unpacked (`reason` says why; empty: none carried):
// the update log on /nojavaerror, otherwise the dialog, both naming the
// reason.
void ReportJavaError(const RunContext& run, JavaError error, const std::wstring& reason);

// javaw.exe could not be started (`error`, the system's): a message, or
// in an unattended run the update log.
void ReportJavaInstallerNotStarted(const RunContext& run, DWORD error);

// The text of that report.
std::wstring JavaInstallerNotStartedText(DWORD error);

// Not the media's archive: treated as a missing one, reported the way an
// unattended run asks for.
void ReportArchiveNotTaken(const RunContext& run, const std::wstring& path);

void ShowMissingFileMessage(const RunContext& run, const std::wstring& path);

}  // namespace launcher
