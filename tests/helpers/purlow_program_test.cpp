// The built folder-removal helper, both builds, run for real.

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace testing_support;

bool SystemRuns64BitPrograms()
{
    SYSTEM_INFO info = {};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

class PurlowProgramTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override { ASSERT_TRUE(FileExists(DistPath(GetParam()))); }

    RunResult Run(const std::wstring& arguments, const RunOptions& options = RunOptions())
    {
        return RunProgram(L"\"" + DistPath(GetParam()) + L"\" " + arguments, options);
    }

    ScratchFolder scratch;
};

TEST_P(PurlowProgramTest, FolderAlreadyGoneStillTriesParentAndGrandparent)
{
    ASSERT_TRUE(CreateFolders(scratch / L"gp\\p"));
    const RunResult result = Run(scratch / L"gp\\p\\gone");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_LT(result.elapsedMs, 5000u);
    EXPECT_FALSE(FolderExists(scratch / L"gp\\p"));
    EXPECT_FALSE(FolderExists(scratch / L"gp"));
    EXPECT_TRUE(FolderExists(scratch.path()));
}

TEST_P(PurlowProgramTest, RemovesTheFolderSoonAfterItEmptiesThenItsEmptyParents)
{
    ASSERT_TRUE(CreateFolders(scratch / L"gp\\p\\target"));
    ASSERT_TRUE(WriteBytes(scratch / L"gp\\p\\target\\last file.txt", "x"));

    DWORD emptiedAt = 0;
    std::thread uninstaller([&] {
        ::Sleep(2000);
        ::DeleteFileW((scratch / L"gp\\p\\target\\last file.txt").c_str());
        emptiedAt = ::GetTickCount();
    });
    const RunResult result = Run(scratch / L"gp\\p\\target");
    const DWORD endedAt = ::GetTickCount();
    uninstaller.join();

    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_GE(result.elapsedMs, 1800u) << "it cannot end before the folder empties";
    EXPECT_LT(endedAt - emptiedAt, 2000u) << "removed within about a second of emptying";
    EXPECT_FALSE(FolderExists(scratch / L"gp\\p\\target"));
    EXPECT_FALSE(FolderExists(scratch / L"gp\\p"));
    EXPECT_FALSE(FolderExists(scratch / L"gp"));
}

TEST_P(PurlowProgramTest, NeverDeletesFilesAndLeavesANonEmptyParent)
{
    ASSERT_TRUE(CreateFolders(scratch / L"p\\target"));
    ASSERT_TRUE(WriteBytes(scratch / L"p\\kept.txt", "keep"));
    const RunResult result = Run(scratch / L"p\\target");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(FolderExists(scratch / L"p\\target"));
    EXPECT_EQ(ReadBytes(scratch / L"p\\kept.txt"), "keep");
    EXPECT_TRUE(FolderExists(scratch.path()));
}

TEST_P(PurlowProgramTest, QuotedAndUnquotedPathsWithSpacesNameTheSameFolder)
{
    for (const bool quoted : {true, false}) {
        SCOPED_TRACE(quoted ? "quoted" : "unquoted");
        ASSERT_TRUE(CreateFolders(scratch / L"Program Files\\Q R\\target dir"));
        ASSERT_TRUE(WriteBytes(scratch / L"Program Files\\other.txt", "x"));
        const std::wstring target = scratch / L"Program Files\\Q R\\target dir";
        const RunResult result = Run(quoted ? L"\"" + target + L"\"" : L"  " + target + L"  ");
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_FALSE(FolderExists(target));
        EXPECT_FALSE(FolderExists(scratch / L"Program Files\\Q R"));
        EXPECT_TRUE(FolderExists(scratch / L"Program Files"));
    }
}

TEST_P(PurlowProgramTest, APathWithoutBackslashTouchesNothingElse)
{
    ASSERT_TRUE(CreateFolders(scratch / L"a\\b\\target"));
    ASSERT_TRUE(CreateFolders(scratch / L"a\\empty sibling"));
    RunOptions options;
    options.workingFolder = scratch / L"a\\b";
    const RunResult result = Run(L"target", options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(FolderExists(scratch / L"a\\b\\target"));
    EXPECT_TRUE(FolderExists(scratch / L"a\\b"));
    EXPECT_TRUE(FolderExists(scratch / L"a\\empty sibling"));
}

TEST_P(PurlowProgramTest, NoArgumentEndsAtOnce)
{
    const RunResult result = RunProgram(L"\"" + DistPath(GetParam()) + L"\"");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_LT(result.elapsedMs, 5000u);
}

// The builds this tree staged that this system runs: a 32-bit Windows runs
// only the x86 build; the x64 test tree stages its own build as Purlow.exe.
std::vector<const wchar_t*> BuildsThisSystemRuns()
{
#ifdef _WIN64
    return {L"Purlow.exe"};
#else
    if (SystemRuns64BitPrograms()) {
        return {L"Purlow.exe", L"x64\\Purlow.exe"};
    }
    return {L"Purlow.exe"};
#endif
}

bool IsX64Build(const std::wstring& path)
{
#ifdef _WIN64
    return true;
#else
    return path.find(L"x64") == 0;
#endif
}

INSTANTIATE_TEST_SUITE_P(Builds, PurlowProgramTest, ::testing::ValuesIn(BuildsThisSystemRuns()),
                         [](const auto& info) { return std::string(IsX64Build(info.param) ? "x64" : "x86"); });

}  // namespace
