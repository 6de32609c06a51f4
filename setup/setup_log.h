#pragma once
// The setup log: one UTF-8 file per run (per start second) in
// "<roaming application data>\Install.QZ\", written only when that folder
// already exists. Every line is "<time stamp> <message>" ending in CR LF.

#include <windows.h>

#include <string>

namespace setup {

// The log file of this run; empty (nothing is logged) until BuildLogPath's
// result is stored here at start-up, before any other thread exists.
extern std::wstring g_szLogPath;

// A line holds at most this many UTF-16 units, time stamp included; longer
// ones are cut.
constexpr size_t kLogLineUnits = 999;
// How long a line waits for another writer (another setup process sharing
// the file) to let go of it before it is dropped.
constexpr DWORD kLogOpenRetryMs = 500;

// The tick count and sleep that the start-up wait uses.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual DWORD Now() { return ::GetTickCount(); }
    virtual void Sleep(DWORD ms) { ::Sleep(ms); }
};

// Returns once at least `ms` ticks have passed since the call, sleeping
// rather than spinning; a wrap of the tick counter does not break it.
void WaitAtLeast(DWORD ms, TickClock& clock);

// "YYYY.MM.DD.HH.MM.SS-Setup.Exe.log" for a local time.
std::wstring LogFileName(const SYSTEMTIME& time);
// "YYYY.MM.DD. HH:MM:SS " (21 units) for a local time.
std::wstring TimestampText(const SYSTEMTIME& time);
// The line as written: time stamp and message, cut to kLogLineUnits units
// (never inside a surrogate pair).
std::wstring LogLine(const std::wstring& timestamp, const std::wstring& message);

// Waits 2000 ms, then names this run's log file; empty when the
// application-data folder is unknown.
std::wstring BuildLogPath(TickClock& clock);
std::wstring BuildLogPath();
std::wstring LogTimestamp();

// Appends one line to the file: creates it with the UTF-8 byte-order mark
// when it does not exist (the folder must, and must be no link), retries the
// exclusive open for up to retryMs while another writer holds the file, and
// drops the line otherwise. A file reached through a link or by a second
// name is never written. The caller's last-error code is kept.
void AppendLogLine(const std::wstring& path, const std::wstring& line, DWORD retryMs);

// One line to this run's log, stamped with the current local time. Lines of
// concurrent callers are written one after the other.
void WriteLog(std::wstring message);

}  // namespace setup
