// The launcher's processor time while its splash animates:
//   splash-cpu <seconds> <launcher command line>
// Starts the launcher (set up so that a slow runtime installer keeps the
// splash on screen), lets it settle for a second, then prints the processor
// time it used over the given seconds as a share of one core.

#include "common/unique_resource.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

ULONGLONG ProcessorTime100ns(HANDLE process)
{
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return ticks(kernel) + ticks(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: splash-cpu <seconds> <launcher command line>\n");
        return 2;
    }
    const DWORD seconds = std::wcstoul(argv[1], nullptr, 10);
    std::wstring commandLine = argv[2];
    for (int i = 3; i < argc; ++i) {
        commandLine += L" " + std::wstring(argv[i]);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &created)) {
        std::fwprintf(stderr, L"splash-cpu: cannot start the launcher (%lu)\n", ::GetLastError());
        return 1;
    }
    common::UniqueHandle process(created.hProcess);
    common::UniqueHandle thread(created.hThread);
    ::Sleep(1000);
    const ULONGLONG before = ProcessorTime100ns(process.get());
    const DWORD start = ::GetTickCount();
    ::Sleep(seconds * 1000);
    const ULONGLONG used = ProcessorTime100ns(process.get()) - before;
    const DWORD elapsed = ::GetTickCount() - start;
    const bool stillRunning = ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
    std::wprintf(L"splash: launcher processor time %.1f ms over %lu ms = %.2f %% of one core%ls\n",
                 static_cast<double>(used) / 10000.0, elapsed, static_cast<double>(used) / 100.0 / elapsed,
                 stillRunning ? L"" : L" (the launcher ended early: not a valid measurement)");
    ::WaitForSingleObject(process.get(), 60000);
    return stillRunning ? 0 : 1;
}
