#include "launcher/process_start.h"

#include "common/unique_resource.h"
#include "proclaunch/launch_process.h"

#include <vector>

namespace launcher {

static_assert(kLaunchCommandCapacity == proclaunch::LaunchCommandLineUnits, "LaunchProcess buffer size");

bool FitsLaunchBuffer(const std::wstring& program, const std::wstring& arguments)
{
    return program.size() + 1 + arguments.size() < kLaunchCommandCapacity;
}

bool StartInSession(const std::wstring& program, const std::wstring& arguments, bool wait, bool startInSystemTemp)
{
    if (!FitsLaunchBuffer(program, arguments)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::vector<wchar_t> commandLine(kLaunchCommandCapacity, L'\0');
    arguments.copy(commandLine.data(), arguments.size());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return LaunchProcess(program.c_str(), commandLine.data(), &startup, wait ? TRUE : FALSE,
                         startInSystemTemp ? TRUE : FALSE) != FALSE;
}

std::wstring DirectCommandLine(const std::wstring& program, const std::wstring& arguments)
{
    const bool needsQuotes = program.find_first_of(L" \t") != std::wstring::npos;
    return (needsQuotes ? L"\"" + program + L"\"" : program) + L" " + arguments;
}

bool StartDirectlyAndWait(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = DirectCommandLine(program, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &created)) {
        return false;
    }
    common::UniqueHandle process(created.hProcess);
    common::UniqueHandle thread(created.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    return true;
}

}  // namespace launcher
