#include "launcher/child_processes.h"

#include "common/command_line_words.h"
#include "common/held_file.h"
#include "common/paths.h"
#include "common/unique_resource.h"
#include "proclaunch/child_environment.h"
#include "proclaunch/launch_process.h"

#include <vector>

namespace launcher {

static_assert(kLaunchCommandCapacity == proclaunch::LaunchCommandLineUnits, "LaunchProcess buffer size");

bool FitsLaunchBuffer(const std::wstring& program, const std::wstring& arguments)
{
    return common::QuotedProgramPath(program).size() + 1 + arguments.size() < kLaunchCommandCapacity;
}

bool StartInSession(const std::wstring& program, const std::wstring& arguments, const std::wstring& tempFolder,
                    bool wait, bool startInSystemTemp, DWORD* exitCode, HANDLE expectedImage)
{
    if (!FitsLaunchBuffer(program, arguments)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::vector<wchar_t> commandLine(kLaunchCommandCapacity, L'\0');
    arguments.copy(commandLine.data(), arguments.size());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // The launch places the program path into the command line as given.
    return LaunchProcess(common::QuotedProgramPath(program).c_str(), commandLine.data(), &startup, wait ? TRUE : FALSE,
                         startInSystemTemp ? TRUE : FALSE, exitCode,
                         tempFolder.empty() ? nullptr : tempFolder.c_str(), expectedImage) != FALSE;
}

std::wstring DirectCommandLine(const std::wstring& program, const std::wstring& arguments)
{
    return common::QuotedProgramPath(program) + L" " + arguments;
}

bool StartDirectlyAndWait(const std::wstring& program, const std::wstring& arguments, const std::wstring& tempFolder,
                          DWORD* exitCode, HANDLE expectedImage)
{
    std::wstring environment;
    if (!proclaunch::ChildEnvironmentBlock(tempFolder.empty() ? common::SystemTempFolder() : tempFolder,
                                           &environment)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    std::wstring commandLine = DirectCommandLine(program, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, &environment[0], nullptr, &startup, &created)) {
        return false;
    }
    common::UniqueHandle process(created.hProcess);
    common::UniqueHandle thread(created.hThread);
    if (!common::ResumeIfImageIsHeld(process.get(), thread.get(), expectedImage)) {
        return false;
    }
    ::WaitForSingleObject(process.get(), INFINITE);
    if (exitCode) {
        ::GetExitCodeProcess(process.get(), exitCode);
    }
    return true;
}

}  // namespace launcher
