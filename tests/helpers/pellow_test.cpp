#include "helpers/pellow/launch_outside_job.h"

#include "common/error_text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using namespace testing_support;

struct ArgumentsCase {
    std::vector<const wchar_t*> arguments;  // after the program's own name
    std::optional<pellow::LaunchRequest> expected;
};

class PellowArgumentsTest : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(PellowArgumentsTest, ParsesWaitAndJoinsTheRestWithoutQuotes)
{
    std::vector<const wchar_t*> argv{L"Pellow.exe"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const auto request = pellow::ParseArguments(static_cast<int>(argv.size()), argv.data());
    ASSERT_EQ(request.has_value(), GetParam().expected.has_value());
    if (request) {
        EXPECT_EQ(request->wait, GetParam().expected->wait);
        EXPECT_EQ(request->commandLine, GetParam().expected->commandLine);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PellowArgumentsTest, ::testing::Values(
    ArgumentsCase{{}, std::nullopt},
    ArgumentsCase{{L"-wait"}, std::nullopt},
    ArgumentsCase{{L""}, std::nullopt},
    ArgumentsCase{{L"-wait", L""}, std::nullopt},
    ArgumentsCase{{L"-Wait"}, pellow::LaunchRequest{false, L"-Wait"}},
    ArgumentsCase{{L"-WAIT", L"x"}, pellow::LaunchRequest{false, L"-WAIT x"}},
    ArgumentsCase{{L"C:\\a.exe"}, pellow::LaunchRequest{false, L"C:\\a.exe"}},
    ArgumentsCase{{L"-wait", L"C:\\a b.exe", L"c d", L"e"}, pellow::LaunchRequest{true, L"C:\\a b.exe c d e"}},
    ArgumentsCase{{L"C:\\a.exe", L"", L"x"}, pellow::LaunchRequest{false, L"C:\\a.exe  x"}},
    ArgumentsCase{{L"C:\\a.exe", L"-wait"}, pellow::LaunchRequest{false, L"C:\\a.exe -wait"}}));

TEST(PellowMessageTest, CodeZeroGivesTheBareMessage)
{
    EXPECT_EQ(pellow::FailureMessage(L"Failed to create process", 0), L"Failed to create process\n");
}

TEST(PellowMessageTest, SystemTextKeepsItsLineEndBeforeTheCode)
{
    const std::wstring text = common::SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(pellow::FailureMessage(L"Failed to set limits on job object", ERROR_FILE_NOT_FOUND),
              L"Failed to set limits on job object: " + text + L"(Error code: 2)\n");
    EXPECT_NE(text.find(L'\n'), std::wstring::npos) << "the system text ends its own line";
}

TEST(PellowMessageTest, CodeWithoutSystemTextKeepsOnlyTheSeparator)
{
    const DWORD unknown = 0x2000ABCD;
    ASSERT_TRUE(common::SystemErrorText(unknown).empty());
    EXPECT_EQ(pellow::FailureMessage(L"Failed to get limits from job object", unknown),
              L"Failed to get limits from job object: (Error code: 536914893)\n");
}

// The real program, with its standard output in a file.
class PellowProgramTest : public ::testing::Test {
protected:
    RunResult Run(const std::wstring& arguments, RunOptions options = RunOptions())
    {
        options.stdoutFile = scratch / L"stdout.txt";
        const std::wstring line = L"\"" + DistPath(L"Pellow.exe") + L"\"" + (arguments.empty() ? L"" : L" ") + arguments;
        return RunProgram(line, options);
    }
    std::string Output() { return ReadBytes(scratch / L"stdout.txt"); }

    std::wstring PlaceRecorder(const std::wstring& name = L"child.exe")
    {
        const std::wstring path = scratch / name;
        EXPECT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), path));
        return path;
    }

    ScratchFolder scratch;
};

TEST_F(PellowProgramTest, UsageForNoArgumentsAndForWaitAlone)
{
    for (const wchar_t* arguments : {L"", L"-wait"}) {
        SCOPED_TRACE(Utf8(arguments));
        const RunResult result = Run(arguments);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 1u);
        EXPECT_EQ(Output(),
                  "Usage: Pellow [-wait] <application path> [<arguments> ...]\n\n"
                  "Launches the specified application with the specified arguments by removing the launched "
                  "process from the job created by Add/Remove control panel applet.\n\n"
                  "  <application path>  the full path of the executable file to launch\n"
                  "  <arguments>         the arguments to be passed to the launched application\n");
    }
}

TEST_F(PellowProgramTest, OtherCaseOfWaitIsTakenAsTheApplicationPath)
{
    const RunResult result = Run(L"-Wait " + PlaceRecorder());
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 1u);
    const std::string expected = "Failed to create process: " + Utf8(common::SystemErrorText(ERROR_FILE_NOT_FOUND)) +
                                 "(Error code: 2)\n";
    EXPECT_EQ(Output(), expected);
    EXPECT_TRUE(ReadRecordings(scratch / L"child.exe").empty());
}

TEST_F(PellowProgramTest, StartsTheChildWithArgumentsJoinedAndQuotesDropped)
{
    const std::wstring child = PlaceRecorder();
    const RunResult result = Run(L"-wait " + child + L" \"two words\" plain \"\"");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(Output(), "");
    const auto runs = ReadRecordings(child);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at("commandline"), Utf8(child + L" two words plain "));
    EXPECT_EQ(runs[0].at("injob"), "0");
}

TEST_F(PellowProgramTest, WaitEndsWithZeroEvenWhenTheChildFails)
{
    const std::wstring child = PlaceRecorder();
    RunOptions options;
    options.environment = {{L"RECORDER_EXIT_CODE", L"7"}, {L"RECORDER_SLEEP_MS", L"1500"}};
    const RunResult result = Run(L"-wait " + child, options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_GE(result.elapsedMs, 1400u) << "waited for the child";
    EXPECT_EQ(ReadRecordings(child).size(), 1u);
}

TEST_F(PellowProgramTest, WithoutWaitItReturnsWhileTheChildRuns)
{
    const std::wstring child = PlaceRecorder();
    RunOptions options;
    options.environment = {{L"RECORDER_SLEEP_MS", L"6000"}};
    const RunResult result = Run(child, options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_LT(result.elapsedMs, 5000u);
    // Let the child finish before the folder goes.
    for (int i = 0; i < 100 && ReadRecordings(child).empty(); ++i) {
        ::Sleep(100);
    }
    WaitUntilNoProcessNamed(L"child.exe", 15000);
}

}  // namespace
