#include "launcher/failure_reports.h"

#include "common/application_name.h"
#include "common/error_text.h"
#include "common/resource_data.h"
#include "launcher/java_error_dialog.h"
#include "launcher/resources/resource.h"
#include "launcher/update_log.h"

#include <ctime>
#include <vector>

namespace launcher {

namespace {

std::wstring ReplacePlaceholder(std::wstring text, const std::wstring& value)
{
    for (size_t at = text.find(L"%1"); at != std::wstring::npos; at = text.find(L"%1", at + value.size())) {
        text.replace(at, 2, value);
    }
    return text;
}

std::wstring LocalTimestampNow()
{
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local ? FormatUpdateLogTimestamp(*local) : std::wstring();
}

std::wstring NameFrom(BOOL (WINAPI* read)(LPWSTR, LPDWORD))
{
    std::vector<wchar_t> buffer(1000, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!read(buffer.data(), &size)) {
        return std::wstring();
    }
    return buffer.data();
}

BOOL WINAPI ReadComputerName(LPWSTR buffer, LPDWORD size)
{
    return ::GetComputerNameW(buffer, size);
}

BOOL WINAPI ReadUserName(LPWSTR buffer, LPDWORD size)
{
    return ::GetUserNameW(buffer, size);
}

// Only an unattended run keeps an update log.
void WriteUpdateLog(const RunContext& run, const std::wstring& problem, const std::wstring& reason)
{
    const LauncherState& options = run.options;
    if (!IsUnattendedRun(options.m_strExtraArgs)) {
        return;
    }
    const std::wstring path = UpdateLogPath(options.m_strExtraArgs, options.m_strFolder);
    UpdateLogEntry entry;
    entry.programName = options.m_strProgramName;
    entry.problem = problem;
    entry.reason = reason;
    entry.startTimestamp = LocalTimestampNow();
    entry.userName = NameFrom(&ReadUserName);
    entry.computerName = NameFrom(&ReadComputerName);
    entry.finishTimestamp = LocalTimestampNow();
    AppendToUpdateLog(path, ComposeUpdateLogEntry(entry));
}

void ShowJavaErrorDialog(const RunContext& run, const std::wstring& reason)
{
    JavaErrorDialog dialog(run.instance, reason);
    dialog.Run(run.owner);
}

}  // namespace

void ReportJavaError(const RunContext& run, JavaError error, const std::wstring& reason)
{
    if (!run.options.m_bNoJavaError) {
        ShowJavaErrorDialog(run, reason);
    } else if (error == JavaError::Unusable || !reason.empty()) {
        WriteUpdateLog(run, kRuntimeProblem, reason);
    }
}

std::wstring JavaInstallerNotStartedText(DWORD error)
{
    std::wstring text = L"The installer could not be started.";
    if (error == ERROR_FILENAME_EXCED_RANGE) {
        // The system's text speaks of file names.
        return text + L" Its command line is too long: shorten the arguments.";
    }
    const std::wstring reason = common::WithoutLineEnd(common::SystemErrorText(error));
    return reason.empty() ? text : text + L" " + reason;
}

void ReportJavaInstallerNotStarted(const RunContext& run, DWORD error)
{
    const std::wstring text = JavaInstallerNotStartedText(error);
    if (IsUnattendedRun(run.options.m_strExtraArgs)) {
        WriteUpdateLog(run, text, std::wstring());
    } else {
        ::MessageBoxW(run.owner, text.c_str(), common::ApplicationName().c_str(), MB_OK | MB_ICONERROR);
    }
}

void ReportArchiveNotTaken(const RunContext& run, const std::wstring& path)
{
    if (run.options.m_bNoJavaError && IsUnattendedRun(run.options.m_strExtraArgs)) {
        WriteUpdateLog(run, kRuntimeProblem, std::wstring());
    } else {
        ShowMissingFileMessage(run, path);
    }
}

void ShowMissingFileMessage(const RunContext& run, const std::wstring& path)
{
    const std::wstring text = ReplacePlaceholder(common::LoadStringResource(run.instance, IDS_FILE_MISSING), path);
    // OK only; the warning sign as framework message boxes give an OK box.
    ::MessageBoxW(run.owner, text.c_str(), common::ApplicationName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace launcher
