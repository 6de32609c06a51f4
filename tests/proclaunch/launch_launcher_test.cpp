// LaunchProcess in its launcher form: the child's environment and working
// folder, the caller's folder kept, the limits that refuse a launch, and
// the message when the environment cannot be staged.

#include "proclaunch/launch_process.h"

#include "common/application_name.h"
#include "common/paths.h"
#include "proclaunch/launch_heap.h"
#include "proclaunch/launch_log.h"
#include "tests/proclaunch/launch_test_support.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

namespace {

using namespace launch_testing;
using namespace testing_support;

std::optional<std::wstring> Variable(const wchar_t* name)
{
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return std::nullopt;
        }
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(name, &value[0], size));
    return value;
}

void Restore(const wchar_t* name, const std::optional<std::wstring>& value)
{
    ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

// Sets a variable under exactly this spelling of its name.
void SetSpelled(const wchar_t* name, const wchar_t* value)
{
    ::SetEnvironmentVariableW(name, nullptr);
    ::SetEnvironmentVariableW(name, value);
}

bool BlockHasEntryStartingWith(const std::wstring& prefix)
{
    common::UniqueEnvironmentStrings strings(::GetEnvironmentStringsW());
    for (const wchar_t* p = strings.get(); *p; p += wcslen(p) + 1) {
        if (std::wstring(p).compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class LauncherLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* name : kSaved) {
            saved.push_back(Variable(name));
        }
        savedFolder = common::CurrentFolder();
        ASSERT_TRUE(::SetCurrentDirectoryW(scratch.path().c_str()));
        callerFolder = common::CurrentFolder();
        wchar_t windows[MAX_PATH] = {};
        ASSERT_GT(::GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
        systemRoot = windows;
        ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), child));
        SetArguments(L"-jar archive.jar");
        startup.cb = sizeof(startup);
        // Wine's user32 opens handles of its own when a process first uses a
        // window station or desktop; let that happen before counting.
        ResetInteractiveDacls();
        blocksBefore = proclaunch::OutstandingLaunchBlocks();
        handlesBefore = HandleCount();
    }
    void TearDown() override
    {
        proclaunch::FailLaunchAllocationForTests(0);
        WaitForProcessesNamed(kChildName, 30000);
        for (size_t i = 0; i < saved.size(); ++i) {
            Restore(kSaved[i], saved[i]);
        }
        ::SetCurrentDirectoryW(savedFolder.c_str());
    }

    void SetArguments(const std::wstring& arguments)
    {
        ASSERT_LT(arguments.size(), proclaunch::LaunchCommandLineUnits);
        std::fill(std::begin(commandLine), std::end(commandLine), L'\0');
        std::copy(arguments.begin(), arguments.end(), commandLine);
    }

    BOOL Launch(BOOL wait, BOOL startInSystemTemp, const std::wstring* path = nullptr,
                const wchar_t* childTemp = nullptr)
    {
        const std::wstring& program = path != nullptr ? *path : child;
        return LaunchProcess(program.c_str(), commandLine, &startup, wait, startInSystemTemp, nullptr, childTemp);
    }

    void ExpectNothingHeld(bool countHandles = true)
    {
        EXPECT_EQ(proclaunch::OutstandingLaunchBlocks(), blocksBefore);
        if (countHandles) {
            EXPECT_EQ(HandleCount(), handlesBefore);
        }
        EXPECT_EQ(common::CurrentFolder(), callerFolder) << "the caller's working folder is unchanged";
        EXPECT_FALSE(ThreadImpersonates());
    }

    std::vector<Recording> Runs() { return ReadRecordings(child); }

    static constexpr const wchar_t* kSaved[] = {L"TEMP", L"TMP", L"JAVA_TOOL_OPTIONS", L"SystemRoot",
                                                 L"RECORDER_SLEEP_MS"};
    static constexpr const wchar_t* kChildName = L"javaw-standin.exe";
    std::vector<std::optional<std::wstring>> saved;
    std::wstring savedFolder;
    ScratchFolder scratch;
    std::wstring callerFolder;
    std::wstring systemRoot;
    const std::wstring child = scratch / kChildName;
    wchar_t commandLine[proclaunch::LaunchCommandLineUnits];
    STARTUPINFOW startup = {};
    long blocksBefore = 0;
    DWORD handlesBefore = 0;
};

struct EnvironmentCase {
    const char* label;
    const wchar_t* tempName;            // spelling of the parent's TEMP, null: none
    const wchar_t* tmpName;             // spelling of the parent's TMP, null: none
    const wchar_t* javaToolOptions;     // null: the parent has none
};
void PrintTo(const EnvironmentCase& c, std::ostream* out) { *out << c.label; }

class LauncherEnvironmentTest : public LauncherLaunchTest,
                                public ::testing::WithParamInterface<EnvironmentCase> {};

TEST_P(LauncherEnvironmentTest, ChildGetsTheSystemTemporaryFolderAndAnEmptyJavaToolOptions)
{
    const EnvironmentCase& param = GetParam();
    ::SetEnvironmentVariableW(L"TEMP", nullptr);
    ::SetEnvironmentVariableW(L"TMP", nullptr);
    if (param.tempName != nullptr) {
        SetSpelled(param.tempName, L"C:\\short");
        ASSERT_TRUE(BlockHasEntryStartingWith(std::wstring(param.tempName) + L"="));
    }
    if (param.tmpName != nullptr) {
        SetSpelled(param.tmpName, L"C:\\s");
    }
    ::SetEnvironmentVariableW(L"JAVA_TOOL_OPTIONS", param.javaToolOptions);

    ASSERT_TRUE(Launch(TRUE, FALSE));
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    const Recording& run = runs[0];
    const std::string systemTemp = Utf8(systemRoot + L"\\Temp");
    if (param.tempName != nullptr) {
        ASSERT_TRUE(run.count("TEMP"));
        EXPECT_EQ(run.at("TEMP"), systemTemp);
    } else {
        EXPECT_FALSE(run.count("TEMP")) << "not added";
    }
    if (param.tmpName != nullptr) {
        ASSERT_TRUE(run.count("TMP"));
        EXPECT_EQ(run.at("TMP"), systemTemp);
    } else {
        EXPECT_FALSE(run.count("TMP")) << "not added";
    }
    if (param.javaToolOptions != nullptr) {
        ASSERT_TRUE(run.count("JAVA_TOOL_OPTIONS"));
        EXPECT_EQ(run.at("JAVA_TOOL_OPTIONS"), "");
    } else {
        EXPECT_FALSE(run.count("JAVA_TOOL_OPTIONS")) << "not added";
    }
    EXPECT_EQ(Lower(run.at("desktop")), "winsta0\\default");
    EXPECT_EQ(run.at("commandline"), Utf8(child + L" -jar archive.jar"));
    EXPECT_EQ(std::wstring(commandLine), child + L" -jar archive.jar");
    EXPECT_EQ(std::wstring(startup.lpDesktop), L"winsta0\\default");
    EXPECT_EQ(Variable(L"JAVA_TOOL_OPTIONS").has_value(), param.javaToolOptions != nullptr)
        << "the caller's own environment is not changed";
    ExpectNothingHeld();
}

INSTANTIATE_TEST_SUITE_P(Parents, LauncherEnvironmentTest, ::testing::Values(
    EnvironmentCase{"UpperCaseNamesNoJavaOptions", L"TEMP", L"TMP", nullptr},
    EnvironmentCase{"MixedCaseTemp", L"Temp", L"tmp", nullptr},
    EnvironmentCase{"OddCaseTempWithJavaOptions", L"tEmP", L"TMP", L"-Xmx512m"},
    EnvironmentCase{"EmptyJavaOptionsStayEmpty", L"TEMP", L"TMP", L""},
    EnvironmentCase{"NoTemporaryFolders", nullptr, nullptr, L"-verbose"}),
    [](const ::testing::TestParamInfo<EnvironmentCase>& info) { return std::string(info.param.label); });

TEST_F(LauncherLaunchTest, ChildStartsInTheSystemTemporaryFolderOnlyWhenAsked)
{
    ASSERT_TRUE(Launch(TRUE, FALSE));
    EXPECT_EQ(common::CurrentFolder(), callerFolder);
    ASSERT_TRUE(Launch(TRUE, TRUE));
    EXPECT_EQ(common::CurrentFolder(), callerFolder);
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(Lower(runs[0].at("cwd")), Lower(Utf8(callerFolder)));
    EXPECT_EQ(Lower(runs[1].at("cwd")), Lower(Utf8(systemRoot + L"\\Temp")));
    ExpectNothingHeld();
}

TEST_F(LauncherLaunchTest, FailedCreationKeepsTheCallersFolder)
{
    const std::wstring missing = scratch / L"missing.exe";
    for (BOOL systemTemp : {FALSE, TRUE}) {
        ::SetLastError(0);
        EXPECT_FALSE(Launch(TRUE, systemTemp, &missing));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        ExpectNothingHeld();
    }
}

TEST_F(LauncherLaunchTest, WithoutWaitReturnsWhileTheChildRuns)
{
    ::SetEnvironmentVariableW(L"RECORDER_SLEEP_MS", L"8000");
    ASSERT_TRUE(Launch(FALSE, TRUE));
    EXPECT_EQ(ProcessesNamed(kChildName).size(), 1u);
    ExpectNothingHeld();
    WaitForProcessesNamed(kChildName, 30000);
    EXPECT_EQ(Runs().size(), 1u);
}

TEST_F(LauncherLaunchTest, WithWaitReturnsAfterTheChildEnded)
{
    ::SetEnvironmentVariableW(L"RECORDER_SLEEP_MS", L"1500");
    ASSERT_TRUE(Launch(TRUE, FALSE));
    EXPECT_TRUE(ProcessesNamed(kChildName).empty());
    EXPECT_EQ(Runs().size(), 1u);
}

TEST_F(LauncherLaunchTest, CommandLineOneUnitTooLongStartsNothing)
{
    const size_t fits = proclaunch::LaunchCommandLineUnits - 1 - child.size() - 1;
    SetArguments(std::wstring(fits, L'a'));
    EXPECT_TRUE(Launch(TRUE, FALSE));
    EXPECT_EQ(std::wstring(commandLine).size(), proclaunch::LaunchCommandLineUnits - 1u);
    ASSERT_EQ(Runs().size(), 1u);

    const std::wstring tooLong(fits + 1, L'a');
    SetArguments(tooLong);
    ::SetLastError(0);
    EXPECT_FALSE(Launch(TRUE, TRUE));
    EXPECT_EQ(::GetLastError(), proclaunch::LaunchCommandLineTooLong);
    EXPECT_EQ(std::wstring(commandLine), tooLong) << "the caller's buffer is not touched";
    EXPECT_EQ(Runs().size(), 1u) << "nothing more started";
    ExpectNothingHeld();
}

TEST_F(LauncherLaunchTest, TheWindowsFolderComesFromTheSystemNotFromSystemRoot)
{
    SetSpelled(L"TEMP", L"a");
    for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), L"", L"C:\\users\\public\\planted"}) {
        ::SetEnvironmentVariableW(L"SystemRoot", value);
        EXPECT_TRUE(Launch(TRUE, TRUE));
    }
    const auto runs = Runs();
    ASSERT_EQ(runs.size(), 3u);
    for (const Recording& run : runs) {
        EXPECT_EQ(run.at("TEMP"), Utf8(systemRoot + L"\\Temp"));
        EXPECT_EQ(Lower(run.at("cwd")), Lower(Utf8(systemRoot + L"\\Temp")));
    }
    ExpectNothingHeld();
}

TEST_F(LauncherLaunchTest, GivenTempFolderAtTheLimitIsUsedOneUnitLongerIsRefused)
{
    SetSpelled(L"TEMP", L"a");
    SetSpelled(L"TMP", L"b");
    const std::wstring atLimit = L"C:\\" + std::wstring(91, L'r');  // "TEMP=" + folder + 0: 100
    ASSERT_TRUE(Launch(TRUE, TRUE, nullptr, atLimit.c_str()));
    auto runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at("TEMP"), Utf8(atLimit));
    EXPECT_EQ(runs[0].at("TMP"), Utf8(atLimit));
    EXPECT_EQ(Lower(runs[0].at("cwd")), Lower(Utf8(systemRoot + L"\\Temp"))) << "the working folder stays the system's";

    ::SetLastError(0);
    EXPECT_FALSE(Launch(TRUE, FALSE, nullptr, (atLimit + L"r").c_str()));
    EXPECT_EQ(::GetLastError(), proclaunch::LaunchSystemRootTooLong);
    EXPECT_EQ(Runs().size(), 1u);
    ExpectNothingHeld();
}

TEST_F(LauncherLaunchTest, OutOfMemoryBeforeTheChildFailsAndReleasesEverything)
{
    // Ten allocations grant access; the eleventh is the child's environment.
    for (long n = 1; n <= 11; ++n) {
        proclaunch::FailLaunchAllocationForTests(n);
        ::SetLastError(0);
        EXPECT_FALSE(Launch(TRUE, TRUE)) << "allocation " << n;
        EXPECT_EQ(::GetLastError(), n <= 10 ? proclaunch::HeapMemoryMissing : proclaunch::LaunchEnvironmentNoMemory)
            << "allocation " << n;
        proclaunch::FailLaunchAllocationForTests(0);
        EXPECT_TRUE(Runs().empty()) << "allocation " << n;
        ExpectNothingHeld();
    }
}

// Finds the message box of this process, reads it and presses OK.
struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
    std::vector<int> visibleButtons;
};

void AnswerMessageBox(const std::wstring& caption, MessageBoxSeen* seen, std::atomic<bool>* found)
{
    for (int tries = 0; tries < 400; ++tries) {
        HWND box = ::FindWindowW(L"#32770", caption.c_str());
        if (box != nullptr && ::IsWindowVisible(box)) {
            wchar_t text[256] = {};
            ::GetWindowTextW(box, text, ARRAYSIZE(text));
            seen->caption = text;
            ::GetDlgItemTextW(box, 0xFFFF, text, ARRAYSIZE(text));
            seen->text = text;
            for (int id = IDOK; id <= IDCONTINUE; ++id) {
                HWND button = ::GetDlgItem(box, id);
                if (button != nullptr && ::IsWindowVisible(button)) {
                    seen->visibleButtons.push_back(id);
                }
            }
            *found = true;
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            return;
        }
        ::Sleep(50);
    }
}

TEST_F(LauncherLaunchTest, VariableThatCannotBeStagedShowsTheMemoryMessageAndStartsNothing)
{
    const std::wstring caption = common::ApplicationName();
    ASSERT_EQ(caption.rfind(L"proclaunch_launcher_test", 0), 0u) << "the program's name without extension";
    MessageBoxSeen seen;
    std::atomic<bool> found{false};
    std::thread answer(AnswerMessageBox, caption, &seen, &found);
    proclaunch::FailLaunchAllocationForTests(12);  // the first variable's staging copy
    ::SetLastError(0);
    const BOOL launched = Launch(TRUE, TRUE);
    const DWORD error = ::GetLastError();
    proclaunch::FailLaunchAllocationForTests(0);
    answer.join();
    ASSERT_TRUE(found) << "no message box within 20 s; launched " << launched << " error " << error;
    EXPECT_EQ(seen.caption, caption);
    EXPECT_EQ(seen.text, L"Memory allocation error.");
    EXPECT_EQ(seen.visibleButtons, (std::vector<int>{IDOK}));
    EXPECT_FALSE(launched);
    EXPECT_EQ(error, proclaunch::LaunchEnvironmentNoMemory);
    EXPECT_TRUE(Runs().empty());
    ExpectNothingHeld(false);  // the first window of the process opens handles of its own
}

TEST(LauncherFormTest, WritesNoLogLines)
{
    static std::vector<std::wstring> lines;
    proclaunch::ConnectLaunchLog([](const std::wstring& line) { lines.push_back(line); });
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    wchar_t commandLine[proclaunch::LaunchCommandLineUnits] = L"x";
    const std::wstring missing = L"C:\\proclaunch-no-such-folder\\missing.exe";
    EXPECT_FALSE(LaunchProcess(missing.c_str(), commandLine, &startup, TRUE, FALSE));
    proclaunch::ConnectLaunchLog(nullptr);
    EXPECT_TRUE(lines.empty());
}

}  // namespace
