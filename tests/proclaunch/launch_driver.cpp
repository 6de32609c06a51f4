// Runs the setup form's LaunchProcess once in a process of its own, so that
// a test can have the system report another Windows version to it.
//   launch_driver <log file> <wait: 0|1> <application path> [arguments ...]
// Writes each step line, then "result=<r> error=<code>", as UTF-8 lines.

#include "common/text_conversion.h"
#include "proclaunch/launch_log.h"
#include "proclaunch/launch_process.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        return 2;
    }
    std::wstring arguments;
    for (int i = 4; i < argc; ++i) {
        arguments += (i > 4 ? L" " : L"") + std::wstring(argv[i]);
    }
    std::vector<wchar_t> commandLine(proclaunch::LaunchCommandLineUnits, L'\0');
    arguments.copy(commandLine.data(), commandLine.size() - 1);

    proclaunch::ConnectLaunchLog([](const std::wstring& line) { g_lines.push_back(line); });
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    const BOOL result = LaunchProcess(argv[3], commandLine.data(), &startup, argv[2][0] == L'1');
    const DWORD error = ::GetLastError();
    proclaunch::ConnectLaunchLog(nullptr);
    g_lines.push_back(L"result=" + std::to_wstring(result) + L" error=" + std::to_wstring(error));

    std::string text;
    for (const auto& line : g_lines) {
        text += common::Utf8FromWide(line) + "\n";
    }
    HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    return 0;
}
