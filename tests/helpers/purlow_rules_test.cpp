#include "helpers/purlow/folder_removal.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using purlow::ParentFolder;
using purlow::TargetFolderFromCommandLine;

struct CommandLineCase {
    const wchar_t* commandLine;
    const wchar_t* target;
};

class TargetFolderTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(TargetFolderTest, TakesEverythingAfterTheProgramName)
{
    EXPECT_EQ(TargetFolderFromCommandLine(GetParam().commandLine), GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, TargetFolderTest, ::testing::Values(
    CommandLineCase{LR"("C:\t\Purlow.exe" C:\Program Files\Q)", LR"(C:\Program Files\Q)"},
    CommandLineCase{LR"("C:\t\Purlow.exe" "C:\Program Files\Q")", LR"(C:\Program Files\Q)"},
    CommandLineCase{LR"(C:\t\Purlow.exe   C:\Q\x   )", LR"(C:\Q\x)"},
    CommandLineCase{L"C:\\t\\Purlow.exe\tC:\\Q", LR"(C:\Q)"},
    CommandLineCase{LR"("C:\t\Purlow.exe""C:\Q")", LR"(C:\Q)"},
    CommandLineCase{LR"("C:\t\Purlow.exe"  "  C:\Q  "  )", LR"(  C:\Q  )"},
    CommandLineCase{LR"(Purlow.exe)", L""},
    CommandLineCase{LR"("C:\t\Purlow.exe")", L""},
    CommandLineCase{LR"("C:\t\Purlow.exe"    )", L""},
    CommandLineCase{LR"("C:\t\Purlow.exe C:\Q)", L""},
    CommandLineCase{LR"(Purlow.exe "")", L""},
    // An unbalanced quote is dropped alone: the path keeps its last character.
    CommandLineCase{LR"(Purlow.exe "C:\Q\x)", LR"(C:\Q\x)"},
    CommandLineCase{L"", L""}));

TEST(ParentFolderTest, IsThePathUpToItsLastBackslash)
{
    EXPECT_EQ(ParentFolder(LR"(C:\Program Files\Q)"), LR"(C:\Program Files)");
    EXPECT_EQ(ParentFolder(LR"(C:\Program Files)"), LR"(C:)");
    EXPECT_EQ(ParentFolder(LR"(C:\Q\)"), LR"(C:\Q)");
    EXPECT_EQ(ParentFolder(L"Q"), L"");
    EXPECT_EQ(ParentFolder(L""), L"");
}

// A simulated system: time moves only when the helper sleeps; the folder can
// be removed from a given moment on; the uninstaller may stay in place.
class SimulatedSystem : public purlow::RemovalSystem {
public:
    DWORD now = 0;
    DWORD removableFrom = 0xFFFFFFFF;  // offset from the start; never by default
    DWORD start = 0;
    bool folderExists = true;
    bool uninstallerPresent = false;
    double sleepShare = 1.0;  // how much of a requested sleep really passes
    std::vector<std::pair<DWORD, std::wstring>> removals;  // (time since start, path)
    DWORD busyPolls = 0;

    DWORD TickCount() override
    {
        ++busyPolls;
        return now;
    }
    void Sleep(DWORD ms) override
    {
        busyPolls = 0;
        const DWORD passed = static_cast<DWORD>(ms * sleepShare);
        now += passed > 0 ? passed : 1;
    }
    void RemoveFolder(const std::wstring& path) override
    {
        removals.emplace_back(now - start, path);
        if (path == L"C:\\gp\\p\\F" && now - start >= removableFrom) {
            folderExists = false;
        }
    }
    bool FolderExists(const std::wstring& path) override { return path == L"C:\\gp\\p\\F" && folderExists; }
    bool FileExists(const std::wstring& path) override
    {
        return path == L"C:\\gp\\p\\F\\uninstaller.exe" && uninstallerPresent;
    }

    std::vector<DWORD> AttemptTimes() const
    {
        std::vector<DWORD> times;
        for (const auto& [time, path] : removals) {
            if (path == L"C:\\gp\\p\\F") {
                times.push_back(time);
            }
        }
        return times;
    }
    std::vector<std::wstring> LastTwoRemovals() const
    {
        return {removals[removals.size() - 2].second, removals.back().second};
    }
};

struct RemovalCase {
    const char* name;
    bool folderThereAtStart;
    DWORD removableFrom;
    bool uninstallerPresent;
    size_t expectedAttempts;
    DWORD expectedEnd;  // ms after the start when the loop ended
};

class RemovalLoopTest : public ::testing::TestWithParam<RemovalCase> {};

TEST_P(RemovalLoopTest, TriesOncePerSecondWithinItsLimitsThenTheParents)
{
    const RemovalCase& c = GetParam();
    SimulatedSystem system;
    system.now = system.start = 5000;
    system.folderExists = c.folderThereAtStart;
    system.removableFrom = c.removableFrom;
    system.uninstallerPresent = c.uninstallerPresent;

    purlow::RemoveFolderWhenEmpty(L"C:\\gp\\p\\F", system);

    const auto attempts = system.AttemptTimes();
    ASSERT_EQ(attempts.size(), c.expectedAttempts);
    for (size_t i = 0; i < attempts.size(); ++i) {
        EXPECT_EQ(attempts[i], i * 1000) << "attempt " << i;
    }
    EXPECT_EQ(system.now - system.start, c.expectedEnd);
    ASSERT_GE(system.removals.size(), 2u);
    EXPECT_EQ(system.LastTwoRemovals(), (std::vector<std::wstring>{L"C:\\gp\\p", L"C:\\gp"}));
}

INSTANTIATE_TEST_SUITE_P(Timings, RemovalLoopTest, ::testing::Values(
    RemovalCase{"AlreadyGone", false, 0xFFFFFFFF, false, 1, 0},
    RemovalCase{"EmptiesAfterThirtySeconds", true, 30000, false, 31, 30000},
    RemovalCase{"EmptiesAfterThirtySecondsThoughTheUninstallerStays", true, 15500, true, 17, 16000},
    RemovalCase{"UninstallerStillThereAfterTwentySeconds", true, 0xFFFFFFFF, true, 20, 20000},
    RemovalCase{"NeverEmptiesGivesUpAfterTwoMinutes", true, 0xFFFFFFFF, false, 120, 120000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RemovalLoopTest, AShortSleepIsMadeUpSoAttemptsStayASecondApart)
{
    SimulatedSystem system;
    system.sleepShare = 0.3;
    system.removableFrom = 3000;
    purlow::RemoveFolderWhenEmpty(L"C:\\gp\\p\\F", system);
    const auto attempts = system.AttemptTimes();
    ASSERT_EQ(attempts.size(), 4u);
    for (size_t i = 1; i < attempts.size(); ++i) {
        EXPECT_GE(attempts[i] - attempts[i - 1], 1000u);
        EXPECT_LT(attempts[i] - attempts[i - 1], 1100u);
    }
}

TEST(RemovalLoopTest, LimitsHoldAcrossTheTickCountWrap)
{
    SimulatedSystem system;
    system.now = system.start = 0xFFFFFFFF - 4500;
    system.uninstallerPresent = true;
    purlow::RemoveFolderWhenEmpty(L"C:\\gp\\p\\F", system);
    EXPECT_EQ(system.AttemptTimes().size(), 20u);
    EXPECT_EQ(system.now - system.start, 20000u);
}

TEST(RemovalLoopTest, WaitsBySleepingNotByPollingTheClock)
{
    SimulatedSystem system;
    system.removableFrom = 2000;
    purlow::RemoveFolderWhenEmpty(L"C:\\gp\\p\\F", system);
    // Between two sleeps the clock is read only a handful of times.
    EXPECT_LT(system.busyPolls, 10u);
}

TEST(RemovalLoopTest, FolderWithoutBackslashTouchesNothingElse)
{
    struct Recorder : SimulatedSystem {
        bool FolderExists(const std::wstring&) override { return false; }
    } system;
    purlow::RemoveFolderWhenEmpty(L"Q", system);
    ASSERT_EQ(system.removals.size(), 1u);
    EXPECT_EQ(system.removals[0].second, L"Q");
}

TEST(RemovalLoopTest, EmptyTargetDoesNothing)
{
    SimulatedSystem system;
    purlow::RemoveFolderWhenEmpty(L"", system);
    EXPECT_TRUE(system.removals.empty());
}

}  // namespace
