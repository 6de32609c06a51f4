#include "setup/setup_log.h"

#include "common/text_conversion.h"
#include "common/unique_resource.h"
#include "common/unlinked_file.h"

#include <shlobj.h>

#include <cstdio>
#include <mutex>

namespace setup {

std::wstring g_szLogPath;

namespace {

std::mutex& LogLock()
{
    static std::mutex lock;
    return lock;
}

std::wstring Format(const wchar_t* pattern, const SYSTEMTIME& t)
{
    wchar_t text[64] = {};
    std::swprintf(text, ARRAYSIZE(text), pattern, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

// Opens the log for writing alone, creating it when missing (*created says
// so), through the no-link open: the folder is the user's, whose other
// programs run without the rights this one has. While another writer holds
// it, tries again until the time is up.
common::UniqueFile OpenForAppend(const std::wstring& path, DWORD retryMs, bool* created)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        common::UniqueFile file = common::OpenUnlinkedFile(path, GENERIC_WRITE, 0, created);
        if (file) {
            return file;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            ::GetTickCount() - start >= retryMs) {
            return file;
        }
        ::Sleep(5);
    }
}

// "Install.QZ" must be a folder of its own, not a link to one elsewhere.
bool IsPlainFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void WriteAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void WaitAtLeast(DWORD ms, TickClock& clock)
{
    const DWORD start = clock.Now();
    for (;;) {
        const DWORD elapsed = clock.Now() - start;
        if (elapsed >= ms) {
            return;
        }
        clock.Sleep(ms - elapsed);
    }
}

std::wstring LogFileName(const SYSTEMTIME& time)
{
    return Format(L"%04u.%02u.%02u.%02u.%02u.%02u", time) + L"-Setup.Exe.log";
}

std::wstring TimestampText(const SYSTEMTIME& time)
{
    return Format(L"%04u.%02u.%02u. %02u:%02u:%02u ", time);
}

std::wstring LogLine(const std::wstring& timestamp, const std::wstring& message)
{
    std::wstring line = timestamp + message;
    if (line.size() > kLogLineUnits) {
        size_t keep = kLogLineUnits;
        // Half a surrogate pair would become a replacement character.
        if (IS_HIGH_SURROGATE(line[keep - 1])) {
            --keep;
        }
        line.resize(keep);
    }
    return line;
}

std::wstring BuildLogPath(TickClock& clock)
{
    WaitAtLeast(2000, clock);
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
        return std::wstring();
    }
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    return std::wstring(folder) + L"\\Install.QZ\\" + LogFileName(now);
}

std::wstring BuildLogPath()
{
    TickClock clock;
    return BuildLogPath(clock);
}

std::wstring LogTimestamp()
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    return TimestampText(now);
}

void AppendLogLine(const std::wstring& path, const std::wstring& line, DWORD retryMs)
{
    const DWORD lastError = ::GetLastError();
    // A log refused, or in a folder that is missing or a link, stays silent.
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos && IsPlainFolder(path.substr(0, slash))) {
        bool created = false;
        common::UniqueFile file = OpenForAppend(path, retryMs, &created);
        if (file && created) {
            WriteAll(file.get(), "\xEF\xBB\xBF");
        }
        if (file && ::SetFilePointer(file.get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER) {
            WriteAll(file.get(), common::Utf8FromWide(line) + "\r\n");
        }
    }
    ::SetLastError(lastError);
}

void WriteLog(std::wstring message)
{
    if (g_szLogPath.empty()) {
        return;
    }
    std::lock_guard<std::mutex> hold(LogLock());
    AppendLogLine(g_szLogPath, LogLine(LogTimestamp(), message), kLogOpenRetryMs);
}

}  // namespace setup
