#include "helpers/pellow/launch_outside_job.h"

#include "common/error_text.h"
#include "common/text_conversion.h"
#include "common/unique_resource.h"

#include <cwchar>

namespace pellow {

const wchar_t kUsageText[] =
    L"Usage: Pellow [-wait] <application path> [<arguments> ...]\n"
    L"\n"
    L"Launches the specified application with the specified arguments by removing the launched "
    L"process from the job created by Add/Remove control panel applet.\n"
    L"\n"
    L"  <application path>  the full path of the executable file to launch\n"
    L"  <arguments>         the arguments to be passed to the launched application\n";

namespace {

// Process access a job handle needs to read and widen its limits.
constexpr DWORD kJobAccess = JOB_OBJECT_QUERY | JOB_OBJECT_SET_ATTRIBUTES;
static_assert(kJobAccess == 6, "job access");
#ifdef _WIN64
static_assert(sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION) == 144, "the extended-limit record of a 64-bit process");
#else
static_assert(sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION) == 112, "the extended-limit record of a 32-bit process");
#endif

// Reports the failure with the thread's current error code.
int Fail(const wchar_t* what)
{
    WriteOutput(FailureMessage(what, ::GetLastError()));
    return 1;
}

// Lets processes break away from the uninstaller's job. Returns 0, or 1
// after reporting a failure.
int AllowBreakaway(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof(limits));
    if (!::QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits), nullptr)) {
        return Fail(L"Failed to get limits from job object");
    }
    limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        return Fail(L"Failed to set limits on job object");
    }
    return 0;
}

}  // namespace

std::optional<LaunchRequest> ParseArguments(int argc, const wchar_t* const* argv)
{
    LaunchRequest request;
    int next = 1;
    if (argc > 1 && std::wcscmp(argv[1], L"-wait") == 0) {
        request.wait = true;
        ++next;
    }
    if (next >= argc || argv[next][0] == L'\0') {
        return std::nullopt;
    }
    request.commandLine = argv[next];
    for (int i = next + 1; i < argc; ++i) {
        request.commandLine += L' ';
        request.commandLine += argv[i];
    }
    return request;
}

std::wstring FailureMessage(const wchar_t* what, DWORD code)
{
    std::wstring message = what;
    if (code != 0) {
        message += L": ";
        message += common::SystemErrorText(code);
        message += L"(Error code: " + std::to_wstring(code) + L")";
    }
    message += L'\n';
    return message;
}

void WriteOutput(const std::wstring& text)
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE || text.empty()) {
        return;
    }
    DWORD written = 0;
    DWORD mode = 0;
    if (::GetConsoleMode(output, &mode)) {
        ::WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected: bytes in the console's code page, or the ANSI one without a console.
    UINT codePage = ::GetConsoleOutputCP();
    if (codePage == 0) {
        codePage = CP_ACP;
    }
    const std::string bytes = common::BytesFromWide(text, codePage);
    if (bytes.empty()) {
        return;
    }
    ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int LaunchOutsideJob(const LaunchRequest& request)
{
    DWORD creationFlags = 0;
    BOOL inJob = FALSE;
    if (::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) && inJob) {
        common::UniqueHandle arpJob(::OpenJobObjectW(kJobAccess, TRUE, L"ARP Job"));
        if (arpJob) {
            const int result = AllowBreakaway(arpJob.get());
            if (result != 0) {
                return result;
            }
        }
        // Even without the applet's job, ask to leave whatever job this is.
        creationFlags = CREATE_BREAKAWAY_FROM_JOB;
    }

    // CreateProcessW may write into the command line.
    std::wstring commandLine = request.commandLine;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created;
    ZeroMemory(&created, sizeof(created));
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                          &startup, &created)) {
        return Fail(L"Failed to create process");
    }
    common::UniqueHandle process(created.hProcess);
    common::UniqueHandle thread(created.hThread);
    if (request.wait) {
        ::WaitForSingleObject(process.get(), INFINITE);
    }
    return 0;
}

}  // namespace pellow
