#include "setup/setup_log.h"

#include "common/unique_resource.h"
#include "common/text_conversion.h"

#include <shlobj.h>

#include <cstdio>
#include <io.h>
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

// Opens the existing file for writing alone; while another writer holds it,
// tries again until the time is up.
common::UniqueFile OpenForAppend(const std::wstring& path, DWORD retryMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        common::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
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
    if (_waccess(path.c_str(), 4) != 0) {
        // CREATE_NEW: a second process that met the same missing file must not
        // truncate what the first has written meanwhile.
        common::UniqueFile created(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (created) {
            WriteAll(created.get(), "\xEF\xBB\xBF");
        }
    }
    if (_waccess(path.c_str(), 4) == 0) {
        common::UniqueFile file = OpenForAppend(path, retryMs);
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
