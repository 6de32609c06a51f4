// LaunchProcess in its setup form: the step lines, the child on
// "winsta0\default", waiting, the command line handed back, and every
// failure path releasing what it took.

#include "proclaunch/launch_request.h"
#include "proclaunch/launch_process.h"

#include "common/paths.h"
#include "proclaunch/launch_heap.h"
#include "tests/proclaunch/captured_log.h"
#include "tests/proclaunch/launch_test_support.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace {

using namespace launch_testing;
using namespace testing_support;
using proclaunch::LaunchRequest;

using Lines = std::vector<std::wstring>;


const Lines kStart = {
    L"LaunchProcess: Windows XP or higher:",
    L"LaunchProcess: Get the process token of the current processs:",
    L"LaunchProcess: Save a handle to the caller's current window station:",
    L"LaunchProcess: Get a handle to the interactive window station:",
    L"LaunchProcess: To get the correct default desktop, set the caller's window station to the interactive "
    L"window station:",
    L"LaunchProcess: Get a handle to the interactive desktop:",
    L"LaunchProcess: Restore the caller's window station:",
    L"LaunchProcess: Get the SID for the client's logon session:",
    L"GetLogonSID",
    L"GetLogonSID: Get required buffer size and allocate the TOKEN_GROUPS buffer:",
    L"GetLogonSID: Get the token group information from the access token:",
    L"GetLogonSID: Loop through the groups to find the logon SID:",
    L"GetLogonSID: Found the logon SID; make a copy of it:",
    L"GetLogonSID: return true",
    L"LaunchProcess: Allow logon SID full access to interactive window station:",
};

// Both objects holding one entry for everyone (ResetInteractiveDacls).
const Lines kGrantsOverEveryone = Concat({
    kWindowStationOpening,
    kCompareFalse, kCompareFalse,
    {L"AddAceToWindowStation: Initialize the new DACL:",
     L"AddAceToWindowStation: If DACL is present, copy it to a new DACL:",
     L"AddAceToWindowStation: Copy the ACEs to the new ACL:",
     L"AddAceToWindowStation: Get an ACE:"},
    kCompareFalse, kCompareFalse,
    {L"AddAceToWindowStation: Add the ACE to the new ACL:"},
    kWindowStationClosing,
    {L"LaunchProcess: Allow logon SID full access to interactive desktop:"},
    kDesktopOpening,
    kCompareFalse,
    {L"AddAceToDesktop: Initialize the new ACL:",
     L"AddAceToDesktop: If DACL is present, copy it to a new DACL:",
     L"AddAceToDesktop: Copy the ACEs to the new ACL:",
     L"AddAceToDesktop: Get an ACE:"},
    kCompareFalse,
    {L"AddAceToDesktop: Add the ACE to the new ACL:",
     L"AddAceToDesktop: Add ACE to the DACL:",
     L"AddAceToDesktop: Set new DACL to the new security descriptor.",
     L"AddAceToDesktop: Set the new security descriptor for the desktop object:",
     L"AddAceToDesktop: Free buffers:",
     L"AddAceToDesktop: return true"},
});

Lines Creation(const std::wstring& commandLine)
{
    return {
        L"LaunchProcess: Impersonate client to ensure access to executable file:",
        L"LaunchProcess: Set the window stattion and desktop of the process to launch:",
        L"LaunchProcess: Launch the process:",
        L"LaunchProcess: CreateProcess: lpszCommandLine:" + commandLine,
    };
}

const Lines kSuccessEnd = {
    L"LaunchProcess: End impersonation of client:",
    L"LaunchProcess: pi.hProcess != INVALID_HANDLE_VALUE",
    L"LaunchProcess: CloseHandle after wait",
    L"LaunchProcess: pi.hThread != INVALID_HANDLE_VALUE",
    L"LaunchProcess: Clean up:",
    L"FreeLogonSID",
    L"LaunchProcess: return true",
};

const Lines kFailureEnd = {
    L"LaunchProcess: in catch (error)",
    L"LaunchProcess: Clean up:",
    L"FreeLogonSID",
    L"LaunchProcess: return false",
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class SetupLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetInteractiveDacls();
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), child));
        SetArguments(L"first \"second arg\" third");
        blocksBefore = proclaunch::OutstandingLaunchBlocks();
        handlesBefore = HandleCount();
        stationBefore = ::GetProcessWindowStation();
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableW(L"RECORDER_SLEEP_MS", nullptr);
        WaitForProcessesNamed(kChildName, 30000);
        ResetInteractiveDacls();
    }

    void SetArguments(const std::wstring& arguments)
    {
        ASSERT_LT(arguments.size(), proclaunch::LaunchCommandLineUnits);
        std::fill(std::begin(commandLine), std::end(commandLine), L'\0');
        std::copy(arguments.begin(), arguments.end(), commandLine);
    }

    LaunchRequest Request(BOOL wait, const std::wstring* path = nullptr)
    {
        applicationPath = path != nullptr ? *path : child;
        return LaunchRequest{applicationPath.c_str(), commandLine, &startup, wait, FALSE};
    }

    // Nothing of the call is left behind: heap blocks, handles, the
    // process's window station, impersonation.
    void ExpectNothingHeld()
    {
        EXPECT_EQ(proclaunch::OutstandingLaunchBlocks(), blocksBefore);
        EXPECT_EQ(HandleCount(), handlesBefore);
        EXPECT_EQ(::GetProcessWindowStation(), stationBefore);
        EXPECT_FALSE(ThreadImpersonates());
    }

    std::vector<Recording> Runs() { return ReadRecordings(child); }

    static constexpr const wchar_t* kChildName = L"setup-launch-child.exe";
    ScratchFolder scratch;
    const std::wstring child = scratch / kChildName;
    std::wstring applicationPath;
    wchar_t commandLine[proclaunch::LaunchCommandLineUnits];
    STARTUPINFOW startup = {};
    long blocksBefore = 0;
    DWORD handlesBefore = 0;
    HWINSTA stationBefore = nullptr;
};

TEST_F(SetupLaunchTest, WithWaitWritesEveryStepAndReturnsAfterTheChildEnded)
{
    ::SetEnvironmentVariableW(L"RECORDER_SLEEP_MS", L"1500");
    const std::wstring full = child + L" first \"second arg\" third";
    CapturedLog log;
    ASSERT_TRUE(proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(TRUE)));
    EXPECT_TRUE(ProcessesNamed(kChildName).empty()) << "the call waited for the child";
    EXPECT_EQ(log.lines(), Concat({kStart, kGrantsOverEveryone, Creation(full), kSuccessEnd}));
    EXPECT_EQ(std::wstring(commandLine), full);
    EXPECT_EQ(std::wstring(startup.lpDesktop), L"winsta0\\default");
    EXPECT_EQ(startup.lpDesktop, proclaunch::InteractiveDesktopName) << "keeps pointing at the constant";
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at("commandline"), Utf8(full));
    EXPECT_EQ(Lower(runs[0].at("desktop")), "winsta0\\default");
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, WithoutWaitReturnsWhileTheChildRunsAndStillWritesTheCloseLine)
{
    ::SetEnvironmentVariableW(L"RECORDER_SLEEP_MS", L"8000");
    const std::wstring full = child + L" first \"second arg\" third";
    CapturedLog log;
    ASSERT_TRUE(proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(FALSE)));
    EXPECT_EQ(ProcessesNamed(kChildName).size(), 1u) << "the child still runs";
    EXPECT_EQ(log.lines(), Concat({kStart, kGrantsOverEveryone, Creation(full), kSuccessEnd}));
    ExpectNothingHeld();
    WaitForProcessesNamed(kChildName, 30000);
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(Lower(runs[0].at("desktop")), "winsta0\\default");
}

TEST_F(SetupLaunchTest, TwoLaunchesInARowLeaveOneSetOfEntriesForTheLogonSid)
{
    const Sid logon = CurrentLogonSid();
    for (int i = 0; i < 2; ++i) {
        SetArguments(L"run");
        ASSERT_TRUE(proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(TRUE))) << i;
    }
    HWINSTA station = OpenInteractiveWindowStation();
    HDESK desktop = OpenInteractiveDesktop();
    const Sid everyone = WellKnown(WinWorldSid);
    EXPECT_EQ(ReadDacl(station).aces,
              (std::vector<AceView>{{0, 0, 0x000F037F, everyone}, WindowStationFirst(logon), WindowStationSecond(logon)}));
    EXPECT_EQ(ReadDacl(desktop).aces, (std::vector<AceView>{{0, 0, 0x000F01FF, everyone}, DesktopEntry(logon)}));
    ::CloseDesktop(desktop);
    ::CloseWindowStation(station);
    EXPECT_EQ(Runs().size(), 2u);
}

TEST_F(SetupLaunchTest, LaunchProcessTakesTheInteractiveRoadOnThisSystem)
{
    CapturedLog log;
    ASSERT_TRUE(LaunchProcess(child.c_str(), commandLine, &startup, TRUE));
    ASSERT_GE(log.lines().size(), 2u + kSuccessEnd.size());
    EXPECT_EQ(log.lines()[0], L"LaunchProcess");
    EXPECT_EQ(log.lines()[1], L"LaunchProcess: Windows XP or higher:");
    EXPECT_TRUE(std::equal(kSuccessEnd.rbegin(), kSuccessEnd.rend(), log.lines().rbegin()));
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(Lower(runs[0].at("desktop")), "winsta0\\default");
    EXPECT_EQ(runs[0].at("commandline"), Utf8(child + L" first \"second arg\" third"));
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, MissingSecurityEntryTakesBothFailurePathsWithItsCode)
{
    proclaunch::SecurityApi partial(L"advapi32.dll", L"proclaunch_partial_user32.dll");
    CapturedLog log;
    ::SetLastError(0);
    EXPECT_FALSE(proclaunch::LaunchInInteractiveSession(partial, Request(TRUE)));
    EXPECT_EQ(::GetLastError(), proclaunch::SecurityApiMissing);
    const Lines& lines = log.lines();
    ASSERT_GT(lines.size(), kStart.size());
    EXPECT_TRUE(std::equal(kStart.begin(), kStart.end(), lines.begin()));
    const Lines tail = Concat({{L"AddAceToWindowStation: Set the new security descriptor for the window station:",
                                L"AddAceToWindowStation: in catch (error)",
                                L"AddAceToWindowStation: Free the allocated buffers:",
                                L"AddAceToWindowStation: return false"},
                               kFailureEnd});
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(Lines(lines.end() - tail.size(), lines.end()), tail);
    EXPECT_TRUE(Runs().empty());
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, MissingTokenEntryFailsAtTheFirstStep)
{
    proclaunch::SecurityApi withoutAdvapi(L"proclaunch-no-such-library.dll", L"user32.dll");
    CapturedLog log;
    EXPECT_FALSE(proclaunch::LaunchInInteractiveSession(withoutAdvapi, Request(TRUE)));
    EXPECT_EQ(::GetLastError(), proclaunch::SecurityApiMissing);
    EXPECT_EQ(log.lines(), (Lines{L"LaunchProcess: Windows XP or higher:",
                                  L"LaunchProcess: Get the process token of the current processs:",
                                  L"LaunchProcess: in catch (error)", L"LaunchProcess: Clean up:",
                                  L"LaunchProcess: return false"}));
    EXPECT_TRUE(Runs().empty());
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, FailedCreationEndsImpersonationAndReportsTheCreationCode)
{
    const std::wstring missing = scratch / L"missing.exe";
    SetArguments(L"x");
    CapturedLog log;
    EXPECT_FALSE(proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(TRUE, &missing)));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(log.lines(), Concat({kStart, kGrantsOverEveryone, Creation(missing + L" x"), kFailureEnd}));
    EXPECT_EQ(std::wstring(commandLine), missing + L" x");
    ExpectNothingHeld();
}

// The command line with its terminator fills the buffer exactly, or is one
// unit too long.
TEST_F(SetupLaunchTest, CommandLineOneUnitTooLongStartsNothing)
{
    for (size_t total : {size_t(proclaunch::LaunchCommandLineUnits), size_t(proclaunch::LaunchCommandLineUnits + 1)}) {
        const size_t argumentsLength = total - 1 - child.size() - 1;
        const std::wstring arguments(argumentsLength, L'a');
        SetArguments(arguments);
        CapturedLog log;
        ::SetLastError(0);
        const BOOL launched = proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(TRUE));
        if (total <= proclaunch::LaunchCommandLineUnits) {
            EXPECT_TRUE(launched) << total;
            EXPECT_EQ(std::wstring(commandLine), child + L" " + arguments);
            EXPECT_EQ(Runs().size(), 1u);
        } else {
            EXPECT_FALSE(launched) << total;
            EXPECT_EQ(::GetLastError(), proclaunch::LaunchCommandLineTooLong);
            EXPECT_EQ(std::wstring(commandLine), arguments) << "the caller's buffer is not touched";
            const Lines tail = Concat({{L"LaunchProcess: Launch the process:"}, kFailureEnd});
            EXPECT_EQ(Lines(log.lines().end() - tail.size(), log.lines().end()), tail);
            EXPECT_EQ(Runs().size(), 1u) << "nothing more started";
        }
        ExpectNothingHeld();
        ResetInteractiveDacls();
    }
}

TEST_F(SetupLaunchTest, OutOfMemoryAtEachAllocationReleasesEverythingAndStartsNothing)
{
    // Ten allocations grant access; the eleventh is the child's environment.
    for (long n = 1; n <= 11; ++n) {
        SetArguments(L"run");  // a start that fails late has written its command line back
        proclaunch::FailLaunchAllocationForTests(n);
        ::SetLastError(0);
        const BOOL launched = proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(TRUE));
        const DWORD error = ::GetLastError();
        proclaunch::FailLaunchAllocationForTests(0);
        EXPECT_FALSE(launched) << "allocation " << n;
        EXPECT_EQ(error, n <= 10 ? 0xFFFFFFFFu : proclaunch::LaunchEnvironmentNoMemory) << "allocation " << n;
        EXPECT_TRUE(Runs().empty()) << "allocation " << n;
        ExpectNothingHeld();
    }
    SetArguments(L"run");
    EXPECT_TRUE(proclaunch::LaunchInInteractiveSession(ObjectSecurityApi(), Request(TRUE))) << ::GetLastError();
    EXPECT_EQ(Runs().size(), 1u);
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, PlainRoadLeavesTheDesktopFieldAndWritesItsLines)
{
    SetArguments(L"plain");
    CapturedLog log;
    ASSERT_TRUE(proclaunch::LaunchPlainly(Request(TRUE)));
    EXPECT_EQ(startup.lpDesktop, nullptr);
    EXPECT_EQ(log.lines(), (Lines{L"LaunchProcess: Windows 9x, ME, NT4 and Windows2000:",
                                  L"LaunchProcess: CreateProcess: lpszCommandLine: " + child + L" plain",
                                  L"LaunchProcess: pi.hProcess != INVALID_HANDLE_VALUE",
                                  L"LaunchProcess: CloseHandle after wait",
                                  L"LaunchProcess: pi.hThread != INVALID_HANDLE_VALUE"}));
    EXPECT_EQ(std::wstring(commandLine), child + L" plain");
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_EQ(Runs()[0].at("commandline"), Utf8(child + L" plain"));
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, PlainRoadFailedCreationReturnsFalseWithoutHandleLines)
{
    const std::wstring missing = scratch / L"missing.exe";
    SetArguments(L"x");
    CapturedLog log;
    EXPECT_FALSE(proclaunch::LaunchPlainly(Request(TRUE, &missing)));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(log.lines(), (Lines{L"LaunchProcess: Windows 9x, ME, NT4 and Windows2000:",
                                  L"LaunchProcess: CreateProcess: lpszCommandLine: " + missing + L" x"}));
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, PlainRoadRefusesATooLongCommandLine)
{
    SetArguments(std::wstring(proclaunch::LaunchCommandLineUnits - child.size() - 1, L'b'));
    CapturedLog log;
    EXPECT_FALSE(proclaunch::LaunchPlainly(Request(TRUE)));
    EXPECT_EQ(::GetLastError(), proclaunch::LaunchCommandLineTooLong);
    EXPECT_EQ(log.lines(), (Lines{L"LaunchProcess: Windows 9x, ME, NT4 and Windows2000:"}));
    EXPECT_TRUE(Runs().empty());
    ExpectNothingHeld();
}

TEST_F(SetupLaunchTest, MissingStartupInformationIsRefused)
{
    CapturedLog log;
    EXPECT_FALSE(LaunchProcess(child.c_str(), commandLine, nullptr, TRUE));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(log.lines(), (Lines{L"LaunchProcess"}));
    EXPECT_TRUE(Runs().empty());
}

struct VersionCase {
    DWORD platform, major, minor;
    bool interactive;
};

TEST(LaunchVersionTest, WindowsXpAndLaterTakeTheInteractiveRoad)
{
    const VersionCase cases[] = {
        {VER_PLATFORM_WIN32_NT, 10, 0, true},  {VER_PLATFORM_WIN32_NT, 6, 0, true},
        {VER_PLATFORM_WIN32_NT, 5, 2, true},   {VER_PLATFORM_WIN32_NT, 5, 1, true},
        {VER_PLATFORM_WIN32_NT, 5, 0, false},  {VER_PLATFORM_WIN32_NT, 4, 0, false},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, false}, {VER_PLATFORM_WIN32_WINDOWS, 4, 10, false},
        {VER_PLATFORM_WIN32_WINDOWS, 6, 0, false},  {VER_PLATFORM_WIN32_WINDOWS, 5, 1, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(proclaunch::UseInteractiveSessionPath(c.platform, c.major, c.minor), c.interactive)
            << c.platform << " " << c.major << "." << c.minor;
    }
}

TEST(LaunchCommandLineTest, PathOneBlankArgumentsWithoutQuotesAdded)
{
    struct {
        const wchar_t* path;
        const wchar_t* arguments;
        const wchar_t* combined;
    } cases[] = {
        {L"C:\\a\\b.exe", L"x y", L"C:\\a\\b.exe x y"},
        {L"C:\\with blank\\b.exe", L"", L"C:\\with blank\\b.exe "},
        {L"\"C:\\q\\b.exe\"", L"\"z\"", L"\"C:\\q\\b.exe\" \"z\""},
        {L"C:\\b.exe", nullptr, L"C:\\b.exe "},
    };
    for (const auto& c : cases) {
        std::wstring combined;
        ASSERT_TRUE(proclaunch::CombineCommandLine(c.path, c.arguments, 260, &combined));
        EXPECT_EQ(combined, c.combined);
    }
    std::wstring untouched = L"before";
    EXPECT_TRUE(proclaunch::CombineCommandLine(L"abc", L"def", 8, &untouched));
    EXPECT_FALSE(proclaunch::CombineCommandLine(L"abc", L"defg", 8, &untouched));
    EXPECT_EQ(untouched, L"abc def");
}

}  // namespace

namespace {

// The driver program beside this test program.
std::wstring DriverPath()
{
    const std::wstring path = common::ProgramPath();
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"launch_driver.exe";
}

// Makes the system report a Windows version to the driver while it lives.
class ReportedVersion {
public:
    explicit ReportedVersion(const wchar_t* version)
    {
        HKEY key = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
    ~ReportedVersion() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

private:
    static constexpr const wchar_t* kKey = L"Software\\Wine\\AppDefaults\\launch_driver.exe";
};

struct RoadCase {
    const wchar_t* version;
    bool interactive;
};
void PrintTo(const RoadCase& c, std::ostream* out) { *out << Utf8(c.version); }

class LaunchRoadTest : public ::testing::TestWithParam<RoadCase> {};

TEST_P(LaunchRoadTest, TheReportedVersionChoosesTheRoad)
{
    ScratchFolder scratch;
    const std::wstring child = scratch / L"road-child.exe";
    ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), child));
    const std::wstring logFile = scratch / L"lines.txt";
    {
        ReportedVersion version(GetParam().version);
        const RunResult run = RunProgram(L"\"" + DriverPath() + L"\" " + logFile + L" 1 " + child + L" road");
        ASSERT_TRUE(run.started) << run.startError;
        ASSERT_EQ(run.exitCode, 0u);
    }
    std::vector<std::wstring> lines;
    std::wstring text = FromUtf8(ReadBytes(logFile));
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"LaunchProcess");
    EXPECT_EQ(lines.back(), L"result=1 error=0");
    if (GetParam().interactive) {
        EXPECT_EQ(lines[1], L"LaunchProcess: Windows XP or higher:");
        EXPECT_EQ(lines[lines.size() - 2], L"LaunchProcess: return true");
    } else {
        EXPECT_EQ(lines, (std::vector<std::wstring>{
                             L"LaunchProcess", L"LaunchProcess: Windows 9x, ME, NT4 and Windows2000:",
                             L"LaunchProcess: CreateProcess: lpszCommandLine: " + child + L" road",
                             L"LaunchProcess: pi.hProcess != INVALID_HANDLE_VALUE",
                             L"LaunchProcess: CloseHandle after wait",
                             L"LaunchProcess: pi.hThread != INVALID_HANDLE_VALUE", L"result=1 error=0"}));
    }
    const auto runs = ReadRecordings(child);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at("commandline"), Utf8(child + L" road"));
}

INSTANTIATE_TEST_SUITE_P(Versions, LaunchRoadTest, ::testing::Values(
    RoadCase{L"win10", true}, RoadCase{L"winxp", true}, RoadCase{L"win2k", false}, RoadCase{L"nt40", false},
    RoadCase{L"win98", false}),
    [](const ::testing::TestParamInfo<RoadCase>& info) { return Utf8(info.param.version); });

}  // namespace
