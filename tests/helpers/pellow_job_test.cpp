// Pellow inside and outside job objects. The tests own the prefix's
// "ARP Job" while they run (the build runs them one at a time).

#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

// A job that keeps its processes: no breakaway allowed. Setting the limits
// also resets a job of that name that a former test left to close.
common::UniqueHandle JobWithoutBreakaway(const wchar_t* name)
{
    common::UniqueHandle job(::CreateJobObjectW(nullptr, name));
    EXPECT_TRUE(job.valid());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    EXPECT_TRUE(::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)));
    return job;
}

// Whether a process in the job may start one outside it. (Wine does not
// report job limits back, so the test asks the way a program would.)
bool JobAllowsBreakaway(HANDLE job, const ScratchFolder& scratch)
{
    const std::wstring probe = scratch / L"probe.exe";
    EXPECT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), probe));
    RunOptions options;
    options.job = job;
    options.environment = {{L"RECORDER_BREAKAWAY_PROBE", L"1"}};
    EXPECT_EQ(RunProgram(L"\"" + probe + L"\"", options).exitCode, 0u);
    const auto runs = ReadRecordings(probe);
    ::DeleteFileW((probe + L".record").c_str());
    return !runs.empty() && runs.back().count("breakaway") && runs.back().at("breakaway") == "1";
}

class PellowJobTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CopyProgram(StandinPath(L"recorder.exe"), child)); }

    RunResult Run(HANDLE job)
    {
        RunOptions options;
        options.stdoutFile = scratch / L"stdout.txt";
        options.job = job;
        return RunProgram(L"\"" + DistPath(L"Pellow.exe") + L"\" -wait " + child + L" from-pellow", options);
    }

    ScratchFolder scratch;
    const std::wstring child = scratch / L"child.exe";
};

TEST_F(PellowJobTest, InsideTheUninstallerJobTheChildBreaksAway)
{
    common::UniqueHandle arpJob = JobWithoutBreakaway(L"ARP Job");
    ASSERT_FALSE(JobAllowsBreakaway(arpJob.get(), scratch));
    const RunResult result = Run(arpJob.get());
    ASSERT_TRUE(result.started) << result.startError;
    EXPECT_EQ(result.exitCode, 0u) << ReadBytes(scratch / L"stdout.txt");
    const auto runs = ReadRecordings(child);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at("injob"), "0");
    EXPECT_TRUE(JobAllowsBreakaway(arpJob.get(), scratch));
}

TEST_F(PellowJobTest, InsideAnotherJobThatForbidsBreakawayCreationFails)
{
    common::UniqueHandle otherJob = JobWithoutBreakaway(L"Some Other Job");
    const RunResult result = Run(otherJob.get());
    ASSERT_TRUE(result.started) << result.startError;
    EXPECT_EQ(result.exitCode, 1u);
    const std::string output = ReadBytes(scratch / L"stdout.txt");
    const std::string prefix = "Failed to create process: ";
    EXPECT_EQ(output.substr(0, prefix.size()), prefix) << output;
    EXPECT_NE(output.find("(Error code: 5)\n"), std::string::npos) << output;
    EXPECT_TRUE(ReadRecordings(child).empty());
}

TEST_F(PellowJobTest, OutsideAnyJobNoJobIsTouched)
{
    common::UniqueHandle arpJob = JobWithoutBreakaway(L"ARP Job");
    ASSERT_FALSE(JobAllowsBreakaway(arpJob.get(), scratch));
    const RunResult result = Run(nullptr);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(JobAllowsBreakaway(arpJob.get(), scratch));
    const auto runs = ReadRecordings(child);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at("injob"), "0");
    EXPECT_EQ(runs[0].at("commandline"), Utf8(child + L" from-pellow"));
}

}  // namespace
