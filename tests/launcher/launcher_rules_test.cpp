#include "launcher/java_error_dialog.h"
#include "launcher/child_processes.h"
#include "common/deferred_removal.h"
#include "launcher/runtime_rules.h"
#include "launcher/update_log.h"

#include <gtest/gtest.h>

#include <vector>

#include <ostream>

namespace {

// Test names show the text of the case, not its bytes.
void PrintText(const wchar_t* text, std::ostream* out)
{
    for (const wchar_t* c = text; c && *c; ++c) {
        *out << (*c < 0x80 && (iswalnum(*c) || wcschr(L"/-=._", *c)) ? static_cast<char>(*c) : '_');
    }
}

struct VersionCase {
    const wchar_t* text;
    bool atLeast18;      // as a registered subkey name
    bool tooOld;         // as "CurrentVersion"
};

void PrintTo(const VersionCase& c, std::ostream* out)
{
    PrintText(c.text, out);
}

class VersionRuleTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionRuleTest, SubkeyNameAndCurrentVersion)
{
    EXPECT_EQ(launcher::IsVersionNameAtLeast18(GetParam().text), GetParam().atLeast18);
    EXPECT_EQ(launcher::IsCurrentVersionTooOld(GetParam().text), GetParam().tooOld);
}

INSTANTIATE_TEST_SUITE_P(Table, VersionRuleTest, ::testing::Values(
    VersionCase{L"1.8", true, false},
    VersionCase{L"1.8.0_202", true, false},
    VersionCase{L"9", true, false},
    VersionCase{L"11", true, false},
    VersionCase{L"1.7", false, true},
    VersionCase{L"1.7.0_80", false, true},
    VersionCase{L"1.6.0_45", false, true},
    // Text order, not version order.
    VersionCase{L"1.10", false, true},
    VersionCase{L"", false, true}));

TEST(RuntimeRulesTest, DeferredRemovalCommandNamesCmdInTheSystemFolderAndEveryFolderInOrder)
{
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe /C  ";
    const std::vector<std::wstring> one = {L"C:\\windows\\Temp\\wendrel-1"};
    const std::vector<std::wstring> two = {L"C:\\windows\\Temp\\wendrel-1", L"C:\\A & B\\wendrel-2"};
    EXPECT_EQ(common::DeferredRemovalCommand(one), cmd + L"RD /S /Q \"C:\\windows\\Temp\\wendrel-1\"");
    EXPECT_EQ(common::DeferredRemovalCommand(two),
              cmd + L"RD /S /Q \"C:\\windows\\Temp\\wendrel-1\" & RD /S /Q \"C:\\A & B\\wendrel-2\"");
    // Read back as written, and nothing from a command of another form.
    EXPECT_EQ(common::FoldersOfRemovalCommand(common::DeferredRemovalCommand(two)), two);
    EXPECT_TRUE(common::FoldersOfRemovalCommand(L"cmd.exe /C  del \"x\"").empty());
    EXPECT_TRUE(common::FoldersOfRemovalCommand(cmd + L"RD /S /Q \"C:\\cut").empty());
}

struct UninstallStringCase {
    const wchar_t* value;
    const wchar_t* folder;  // nullptr: none
};

void PrintTo(const UninstallStringCase& c, std::ostream* out)
{
    PrintText(c.value, out);
}

class UninstallFolderTest : public ::testing::TestWithParam<UninstallStringCase> {};

TEST_P(UninstallFolderTest, TextBeforeTheLastBackslash)
{
    const auto folder = launcher::FolderOfUninstallString(GetParam().value);
    ASSERT_EQ(folder.has_value(), GetParam().folder != nullptr);
    if (folder) {
        EXPECT_EQ(*folder, GetParam().folder);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, UninstallFolderTest, ::testing::Values(
    UninstallStringCase{L"C:\\Program Files\\Quarrix\\Uninstall\\wendrel.exe", L"C:\\Program Files\\Quarrix\\Uninstall"},
    UninstallStringCase{L"\"C:\\Quarrix\\wendrel.exe\" /x", L"\"C:\\Quarrix"},
    UninstallStringCase{L"wendrel.exe", nullptr},
    UninstallStringCase{L"", nullptr}));

TEST(RuntimeRulesTest, OnlyExactlyJava7IsRemoved)
{
    EXPECT_TRUE(launcher::IsJava7DisplayName(L"Java 7"));
    EXPECT_FALSE(launcher::IsJava7DisplayName(L"Java 7 Update 80"));
    EXPECT_FALSE(launcher::IsJava7DisplayName(L"Java 7 "));
    EXPECT_FALSE(launcher::IsJava7DisplayName(L"java 7"));
    EXPECT_FALSE(launcher::IsJava7DisplayName(L"Java"));
    EXPECT_EQ(launcher::Java7RemovalArguments(L"{26A24AE4-039D-4CA4-87B4-2F83217080FF}"),
              L"/quiet /X{26A24AE4-039D-4CA4-87B4-2F83217080FF}");
}

TEST(ProcessStartTest, DirectCommandLineQuotesOnlyAProgramWithBlanks)
{
    EXPECT_EQ(launcher::DirectCommandLine(L"C:\\m\\JVM\\bin\\javaw.exe", L"-jar \"a\""),
              L"C:\\m\\JVM\\bin\\javaw.exe -jar \"a\"");
    EXPECT_EQ(launcher::DirectCommandLine(L"C:\\Program Files\\Q\\JVM\\bin\\javaw.exe", L"-jar \"a\""),
              L"\"C:\\Program Files\\Q\\JVM\\bin\\javaw.exe\" -jar \"a\"");
}

TEST(ProcessStartTest, CommandLineMustLeaveRoomForItsTerminator)
{
    const std::wstring program(100, L'p');
    EXPECT_TRUE(launcher::FitsLaunchBuffer(program, std::wstring(1040 - 100 - 2, L'a')));
    EXPECT_FALSE(launcher::FitsLaunchBuffer(program, std::wstring(1040 - 100 - 1, L'a')));
}

TEST(ProcessStartTest, OverlongCommandLineStartsNothing)
{
    EXPECT_FALSE(launcher::StartInSession(L"C:\\x\\javaw.exe", std::wstring(1100, L'a'), std::wstring(), true, false));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

TEST(JavaErrorDialogTest, LineFeedsBecomeWindowsLineBreaks)
{
    EXPECT_EQ(launcher::WithWindowsLineBreaks(L"a\nb\n"), L"a\r\nb\r\n");
    EXPECT_EQ(launcher::WithWindowsLineBreaks(L"plain"), L"plain");
}

TEST(UpdateLogTest, TimestampIsMonthDayYearAnd24Hours)
{
    std::tm time = {};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 0;
    time.tm_mday = 5;
    time.tm_hour = 17;
    time.tm_min = 3;
    EXPECT_EQ(launcher::FormatUpdateLogTimestamp(time), L"Date: 01/05/2026 Time: 17:03");
    time.tm_hour = 0;
    time.tm_min = 0;
    time.tm_mon = 11;
    time.tm_mday = 31;
    EXPECT_EQ(launcher::FormatUpdateLogTimestamp(time), L"Date: 12/31/2026 Time: 00:00");
}

TEST(UpdateLogTest, EntryLayout)
{
    const std::wstring rule(80, L'-');
    launcher::UpdateLogEntry entry{L"Quarrix Setup", L"alice", L"PC-7", L"Date: 01/05/2026 Time: 17:03",
                                   L"Date: 01/05/2026 Time: 17:04"};
    EXPECT_EQ(launcher::ComposeUpdateLogEntry(entry),
              L"\r\n\r\n" + rule + L"\r\n"
              L"Starting 'Quarrix Setup' update process. Date: 01/05/2026 Time: 17:03\r\n\r\n"
              L"Username: alice\r\n"
              L"Computer name: PC-7\r\n\r\n"
              L"Java Runtime Environment is outdated or not installed properly.\r\n\r\n"
              L"Finishing 'Quarrix Setup' update process. Date: 01/05/2026 Time: 17:04\r\n" +
                  rule + L"\r\n");
}

TEST(UpdateLogTest, OnlyTheExactUnattendedPropertyCounts)
{
    EXPECT_TRUE(launcher::IsUnattendedRun(L" \"-W\" \"play.auto=YES\""));
    EXPECT_FALSE(launcher::IsUnattendedRun(L" \"-W\" \"play.auto=yes\""));
    EXPECT_FALSE(launcher::IsUnattendedRun(L" \"-W\" \"PLAY.AUTO=YES\""));
    EXPECT_FALSE(launcher::IsUnattendedRun(L""));
}

struct LogPathCase {
    const wchar_t* extraArgs;
    const wchar_t* path;
};

void PrintTo(const LogPathCase& c, std::ostream* out)
{
    PrintText(c.extraArgs, out);
}

class UpdateLogPathTest : public ::testing::TestWithParam<LogPathCase> {};

TEST_P(UpdateLogPathTest, FromTheLocationOrBesideTheLauncher)
{
    EXPECT_EQ(launcher::UpdateLogPath(GetParam().extraArgs, L"C:\\media"), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Table, UpdateLogPathTest, ::testing::Values(
    LogPathCase{L" \"-W\" \"play.auto=YES\"", L"C:\\media\\AutoUpdate.log"},
    LogPathCase{L" \"-W\" \"play.logLocation=D:\\logs\" \"x\"", L"D:\\logs\\AutoUpdate.log"},
    LogPathCase{L" \"-W\" \"play.logLocation=D:\\my logs\"", L"D:\\my logs\\AutoUpdate.log"},
    LogPathCase{L" \"-W\" \"play.logLocation=\"", L"\\AutoUpdate.log"},
    LogPathCase{L" \"-W\" \"play.loglocation=D:\\logs\"", L"C:\\media\\AutoUpdate.log"},
    LogPathCase{L" \"play.logLocation=D:\\x", L"D:\\x\\AutoUpdate.log"}));

}  // namespace
