#include "launcher/update_log.h"

#include "common/error_text.h"
#include "common/unique_resource.h"
#include "common/unlinked_file.h"

namespace launcher {

const wchar_t kRuntimeProblem[] = L"Java Runtime Environment is outdated or not installed properly.";

namespace {

const wchar_t kRule[] =
    L"--------------------------------------------------------------------------------";
const wchar_t kLogName[] = L"\\AutoUpdate.log";

// Not shared, so that two runs never interleave their entries; a link
// planted under the log's name is never written through.
common::UniqueFile OpenLogExclusively(const std::wstring& path, bool* created)
{
    common::UniqueFile file = common::OpenUnlinkedFile(path, GENERIC_WRITE, 0, created);
    if (!file) {
        throw UpdateLogFileError{path, ::GetLastError()};
    }
    return file;
}

void WriteAll(const std::wstring& path, HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr)) {
        throw UpdateLogFileError{path, ::GetLastError()};
    }
    if (written != size) {
        throw UpdateLogFileError{path, ERROR_WRITE_FAULT};
    }
}

}  // namespace

std::wstring FormatUpdateLogTimestamp(const std::tm& localTime)
{
    wchar_t date[32] = {};
    wchar_t time[16] = {};
    wcsftime(date, 32, L"%m/%d/%Y", &localTime);
    wcsftime(time, 16, L"%H:%M", &localTime);
    return std::wstring(L"Date: ") + date + L" Time: " + time;
}

std::wstring ComposeUpdateLogEntry(const UpdateLogEntry& entry)
{
    std::wstring text = L"\r\n\r\n";
    text += kRule;
    text += L"\r\n";
    text += L"Starting '" + entry.programName + L"' update process. " + entry.startTimestamp + L"\r\n\r\n";
    text += L"Username: " + entry.userName + L"\r\n";
    text += L"Computer name: " + entry.computerName + L"\r\n\r\n";
    text += entry.problem + L"\r\n";
    if (!entry.reason.empty()) {
        text += entry.reason + L"\r\n";
    }
    text += L"\r\n";
    text += L"Finishing '" + entry.programName + L"' update process. " + entry.finishTimestamp + L"\r\n";
    text += kRule;
    text += L"\r\n";
    return text;
}

bool IsUnattendedRun(const std::wstring& extraArgs)
{
    return extraArgs.find(L"play.auto=YES") != std::wstring::npos;
}

std::wstring UpdateLogPath(const std::wstring& extraArgs, const std::wstring& launcherFolder)
{
    static const wchar_t kOption[] = L"play.logLocation=";
    const size_t at = extraArgs.find(kOption);
    if (at == std::wstring::npos) {
        return launcherFolder + kLogName;
    }
    const size_t start = at + wcslen(kOption);
    const size_t end = extraArgs.find(L'"', start);
    return extraArgs.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start) + kLogName;
}

void AppendToUpdateLog(const std::wstring& path, const std::wstring& entry)
{
    bool created = false;
    common::UniqueFile file = OpenLogExclusively(path, &created);
    if (created) {
        static const unsigned char kByteOrderMark[] = {0xFF, 0xFE};
        WriteAll(path, file.get(), kByteOrderMark, sizeof(kByteOrderMark));
    }
    if (::SetFilePointer(file.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
        throw UpdateLogFileError{path, ::GetLastError()};
    }
    WriteAll(path, file.get(), entry.data(), static_cast<DWORD>(entry.size() * sizeof(wchar_t)));
}

std::wstring UpdateLogFileErrorText(const UpdateLogFileError& failure)
{
    std::wstring text = L"The update log \"" + failure.path + L"\" could not be written.";
    const std::wstring reason = common::WithoutLineEnd(common::SystemErrorText(failure.error));
    if (!reason.empty()) {
        text += L"\r\n\r\n" + reason;
    }
    return text;
}

}  // namespace launcher
