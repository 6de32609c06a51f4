// The setup program's rules, called directly: the program-path cut, version
// order, configuration path, log line layout, the start-up wait, exclusion
// list editing and the installer's argument text.

#include "setup/compatibility_assistant.h"
#include "setup/installer_search.h"
#include "setup/java_runtimes.h"
#include "setup/setup_app.h"
#include "setup/setup_log.h"
#include "setup/setup_settings.h"

#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <shellapi.h>

#include <vector>

namespace {

using testing_support::Utf8;

struct PathCut {
    const wchar_t* commandLine;
    const wchar_t* path;
};

TEST(ProgramPathFromCommandLine, CutsTheFirstTokenAsWritten)
{
    const PathCut cases[] = {
        {L"\"C:\\Media Dir\\Setup.exe\" /normalprocess", L"C:\\Media Dir\\Setup.exe"},
        {L"\"C:\\Media Dir\\Setup.exe\"", L"C:\\Media Dir\\Setup.exe"},
        {L"Setup.exe /x", L"Setup.exe"},
        {L"\"C:\\Media\\Setup.exe /x", L""},           // no closing quote
        {L"\"\" /x", L""},
        {L"C:\\Media\\Setup", L"C:\\Media\\Setup"},   // neither blank nor tab: whole
        {L"C:\\Media\\SETUP.EXE\t/x", L"C:\\Media\\SETUP.EXE"},
        {L"a\tb c", L"a\tb"},                         // the blank wins over an earlier tab
        {L" Setup.exe", L""},
        {L"", L""},
    };
    for (const PathCut& c : cases) {
        EXPECT_EQ(setup::ProgramPathFromCommandLine(c.commandLine), c.path) << Utf8(c.commandLine);
    }
}

struct VersionPair {
    const wchar_t* a;
    const wchar_t* b;
    bool lessOrEqual;
};

TEST(IsVersionLessOrEqual, ComparesLeadingNumbersOfEachComponent)
{
    const VersionPair cases[] = {
        {L"1.8.0", L"1.8.0", true},
        {L"1.8", L"1.8.0", true},           // a ends first: not greater
        {L"1.8.0", L"1.8", false},          // a goes on: greater
        {L"1.8.0", L"1.7.0_80", false},
        {L"1.7.0_80", L"1.8.0", true},
        {L"1.8.0_291", L"1.8.0_301", true},  // text after a number is ignored
        {L"1.8.0_301", L"1.8.0_291", true},
        {L"1.8.0", L"1.8.0_291", true},
        {L"1.6.0", L"1.6.0_45", true},
        {L"1.10", L"1.9", false},           // numbers, not text
        {L"1.9", L"1.10", true},
        {L" 1.8.0", L"1.8.0", true},        // blanks before a number are skipped
        {L"1.8.0", L" 1.8.0", true},
        {L"9", L"11.0.2", true},
        {L"0.0.0", L"1.0", true},
        {L"1..8", L"1.0.8", true},          // an empty component reads as 0
        {L"1.0.8", L"1..8", true},
        {L"1.x", L"1.0", true},             // so does one without a number
        {L"1.x", L"1.1", true},
        {L"1.1", L"1.x", false},
        {L"", L"0", true},
        {L"-1", L"0", true},
        {L"1.8.0", L"", false},
    };
    for (const VersionPair& c : cases) {
        EXPECT_EQ(setup::IsVersionLessOrEqual(c.a, c.b), c.lessOrEqual) << Utf8(c.a) << " <= " << Utf8(c.b);
    }
}

TEST(SortVersions, AscendingWithEqualVersionsKeptInOrder)
{
    std::vector<std::wstring> versions = {L"1.8.0_291", L"1.10", L"1.8", L"1.6.0_45", L"1.8.0_202", L"9",
                                          L"1.7.0_80"};
    setup::SortVersions(versions);
    const std::vector<std::wstring> expected = {L"1.6.0_45", L"1.7.0_80", L"1.8", L"1.8.0_291", L"1.8.0_202",
                                                L"1.10", L"9"};
    EXPECT_EQ(versions, expected);
}

TEST(SortVersions, ManyEqualVersionsDoNotUpsetTheSort)
{
    // A "<=" test used directly as a sort order breaks std::sort on runs of
    // equal elements; the sort must stay well-behaved.
    std::vector<std::wstring> versions(200, L"1.8.0");
    versions.push_back(L"1.6");
    setup::SortVersions(versions);
    ASSERT_EQ(versions.size(), 201u);
    EXPECT_EQ(versions.front(), L"1.6");
    EXPECT_EQ(versions.back(), L"1.8.0");
}

struct ConfigPath {
    const wchar_t* program;
    const wchar_t* config;
};

TEST(ConfigurationPath, CutsAtTheLastFullStopOfTheWholePath)
{
    const ConfigPath cases[] = {
        {L"C:\\Media\\Setup.exe", L"C:\\Media\\Setup.config"},
        {L"C:\\Disk.2\\Setup", L"C:\\Disk.config"},
        {L"C:\\Media\\Setup.tar.exe", L"C:\\Media\\Setup.tar.config"},
        {L"C:\\Media\\Setup", L"C:\\Media\\Setup.config"},
        {L"", L""},
    };
    for (const ConfigPath& c : cases) {
        EXPECT_EQ(setup::ConfigurationPath(c.program), c.config) << Utf8(c.program);
    }
}

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

TEST(SetupLog, FileNameAndTimestampAreZeroPadded)
{
    EXPECT_EQ(setup::LogFileName(Time(2016, 5, 17, 14, 3, 9)), L"2016.05.17.14.03.09-Setup.Exe.log");
    EXPECT_EQ(setup::LogFileName(Time(987, 12, 1, 0, 0, 0)), L"0987.12.01.00.00.00-Setup.Exe.log");
    const std::wstring stamp = setup::TimestampText(Time(2016, 5, 17, 14, 3, 11));
    EXPECT_EQ(stamp, L"2016.05.17. 14:03:11 ");
    EXPECT_EQ(stamp.size(), 21u);
    EXPECT_EQ(setup::LogTimestamp().size(), 21u);
}

TEST(SetupLog, LinesAreCutAt999Units)
{
    const std::wstring stamp = L"2016.05.17. 14:03:11 ";
    struct Case {
        size_t messageUnits;
        size_t lineUnits;
    };
    for (const Case c : {Case{0, 21}, Case{978, 999}, Case{979, 999}, Case{5000, 999}}) {
        const std::wstring message(c.messageUnits, L'x');
        const std::wstring line = setup::LogLine(stamp, message);
        EXPECT_EQ(line.size(), c.lineUnits) << c.messageUnits;
        EXPECT_EQ(line.substr(0, 21), stamp);
    }
}

TEST(SetupLog, ACutNeverSplitsASurrogatePair)
{
    const std::wstring stamp = L"2016.05.17. 14:03:11 ";
    // 977 units, then U+1F600 as a pair at units 998 and 999 of the line.
    const std::wstring message = std::wstring(977, L'x') + L"\xD83D\xDE00" + L"tail";
    const std::wstring line = setup::LogLine(stamp, message);
    EXPECT_EQ(line.size(), 998u);
    EXPECT_EQ(line.back(), L'x');
}

// Ticks that move only when the wait sleeps, and a sleep that may wake
// early, the way a loaded system lets it.
class FakeClock : public setup::TickClock {
public:
    explicit FakeClock(DWORD start, DWORD wakeEarlyBy) : m_now(start), m_wakeEarlyBy(wakeEarlyBy) {}
    DWORD Now() override { return m_now; }
    void Sleep(DWORD ms) override
    {
        sleeps.push_back(ms);
        m_now += ms > m_wakeEarlyBy ? ms - m_wakeEarlyBy : 1;
    }
    DWORD elapsedSince(DWORD start) const { return m_now - start; }
    std::vector<DWORD> sleeps;

private:
    DWORD m_now;
    DWORD m_wakeEarlyBy;
};

TEST(WaitAtLeast, SleepsUntilTheWholeTimeHasPassed)
{
    struct Case {
        const char* name;
        DWORD start;
        DWORD wakeEarlyBy;
    };
    for (const Case c : {Case{"plain", 1000, 0}, Case{"early wake-ups", 1000, 300},
                         Case{"counter wraps", 0xFFFFFF00u, 0}, Case{"wraps, early", 0xFFFFFC00u, 700}}) {
        FakeClock clock(c.start, c.wakeEarlyBy);
        setup::WaitAtLeast(2000, clock);
        EXPECT_GE(clock.elapsedSince(c.start), 2000u) << c.name;
        EXPECT_LT(clock.elapsedSince(c.start), 2000u + 1u + c.wakeEarlyBy) << c.name;
        ASSERT_FALSE(clock.sleeps.empty()) << c.name;
        EXPECT_EQ(clock.sleeps.front(), 2000u) << c.name;
    }
}

TEST(WaitAtLeast, NothingToWaitForReturnsAtOnce)
{
    FakeClock clock(5, 0);
    setup::WaitAtLeast(0, clock);
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST(IsVistaVersionText, ComparesAsText)
{
    const std::pair<const wchar_t*, bool> cases[] = {{L"6.0", true},  {L"6.1", true},  {L"6.3", true},
                                                     {L"5.1", false}, {L"5.2", false}, {L"10.0", false},
                                                     {L"", false},    {L"7", true}};
    for (const auto& c : cases) {
        EXPECT_EQ(setup::IsVistaVersionText(c.first), c.second) << Utf8(c.first);
    }
}

std::wstring Entries(size_t count, const wchar_t* prefix = L"C:\\P")
{
    std::wstring list;
    for (size_t i = 0; i < count; ++i) {
        list += prefix + std::to_wstring(i) + L'\0';
    }
    return list;
}

std::vector<std::wstring> Split(const std::wstring& value)
{
    return setup::MultiStringEntries(value.data(), value.size());
}

TEST(ExclusionList, EntriesEndAtTheFirstEmptyStringOrTheEndOfTheData)
{
    const std::wstring closed(L"a\0bc\0\0", 6);
    EXPECT_EQ(Split(closed), (std::vector<std::wstring>{L"a", L"bc"}));
    const std::wstring unclosed(L"a\0bc\0", 5);
    EXPECT_EQ(Split(unclosed), (std::vector<std::wstring>{L"a", L"bc"}));
    const std::wstring cutInAString(L"a\0bc", 4);
    EXPECT_EQ(Split(cutInAString), (std::vector<std::wstring>{L"a", L"bc"}));
    const std::wstring emptyInTheMiddle(L"a\0\0b\0\0", 7);
    EXPECT_EQ(Split(emptyInTheMiddle), (std::vector<std::wstring>{L"a"}));
    EXPECT_TRUE(setup::MultiStringEntries(nullptr, 0).empty());
    EXPECT_TRUE(Split(std::wstring(L"\0", 1)).empty());
}

struct ListCase {
    const char* name;
    std::wstring stored;
    bool found;
    size_t pathsNum;
    size_t entriesWritten;
    bool droppedFirst;
};

TEST(ExclusionList, AddingThePathKeepsTheListShort)
{
    const std::wstring path = L"C:\\Media\\Setup.exe";
    const ListCase cases[] = {
        {"none", std::wstring(), false, 0, 1, false},
        {"only the closing empty string", std::wstring(L"\0", 1), false, 0, 1, false},
        {"found in other case", std::wstring(L"C:\\x.exe\0C:\\MEDIA\\SETUP.EXE\0\0", 29), true, 0, 0, false},
        {"24 become 25", Entries(24) + L'\0', false, 24, 25, false},
        {"25 stay 25", Entries(25) + L'\0', false, 25, 25, true},
        {"30 stay 30", Entries(30) + L'\0', false, 30, 30, true},
        {"unterminated", Entries(3), false, 3, 4, false},
    };
    for (const ListCase& c : cases) {
        const setup::ExclusionListUpdate update =
            setup::PlanExclusionListUpdate(c.stored.data(), c.stored.size(), path);
        EXPECT_EQ(update.found, c.found) << c.name;
        if (c.found) {
            EXPECT_TRUE(update.value.empty()) << c.name;
            continue;
        }
        EXPECT_TRUE(update.fits) << c.name;
        EXPECT_EQ(update.pathsNum, c.pathsNum) << c.name;
        // Written properly closed: entries, each with its null, then one more.
        ASSERT_GE(update.value.size(), 2u) << c.name;
        EXPECT_EQ(update.value.substr(update.value.size() - 2), std::wstring(2, L'\0')) << c.name;
        const std::vector<std::wstring> written = Split(update.value);
        EXPECT_EQ(written.size(), c.entriesWritten) << c.name;
        EXPECT_EQ(written.back(), path) << c.name;
        size_t expectedUnits = 1;
        for (const auto& entry : written) {
            expectedUnits += entry.size() + 1;
        }
        EXPECT_EQ(update.value.size(), expectedUnits) << c.name;
        const std::vector<std::wstring> stored = Split(c.stored);
        if (c.droppedFirst) {
            EXPECT_EQ(written.front(), stored[1]) << c.name;
            EXPECT_EQ(update.secondEntry, stored[1]) << c.name;
        } else if (!stored.empty()) {
            EXPECT_EQ(written.front(), stored.front()) << c.name;
        }
    }
}

TEST(ExclusionList, AnUpdateThatWouldNotFitIsSkipped)
{
    const std::wstring stored = Entries(3) + L'\0';
    // 18 units of entries, the path with its null, the closing null: 8193.
    const std::wstring longPath = L"C:\\" + std::wstring(8170, L'p');
    const setup::ExclusionListUpdate tooLong = setup::PlanExclusionListUpdate(stored.data(), stored.size(), longPath);
    EXPECT_FALSE(tooLong.fits);
    EXPECT_TRUE(tooLong.value.empty());

    const std::wstring fitting = longPath.substr(0, longPath.size() - 1);
    const setup::ExclusionListUpdate exact = setup::PlanExclusionListUpdate(stored.data(), stored.size(), fitting);
    EXPECT_TRUE(exact.fits);
    EXPECT_EQ(exact.value.size(), setup::kExclusionListUnits);

    const setup::ExclusionListUpdate alone = setup::PlanExclusionListUpdate(nullptr, 0, std::wstring(8191, L'p'));
    EXPECT_FALSE(alone.fits);
}

TEST(InstallerArguments, EachArgumentQuotedOnlyWhereNeededAndFollowedByABlank)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\"C:\\Media\\Setup.exe\"", L""},
        {L"Setup.exe /silent", L"/silent "},
        {L"\"C:\\M\\Setup.exe\" /normalprocess \"a b\" c", L"/normalprocess \"a b\" c "},
        {L"Setup.exe \"-W\" \"x=\\\"q\\\"\"", L"-W \"x=\\\"q\\\"\" "},
        {L"Setup.exe -W \"play.installLocation=C:\\Program Files\\Quarrix\"",
         L"-W \"play.installLocation=C:\\Program Files\\Quarrix\" "},
        {L"Setup.exe \"\" \"C:\\Program Files\\\\\" C:\\dir\\", L"\"\" \"C:\\Program Files\\\\\" C:\\dir\\ "},
    };
    for (const auto& c : cases) {
        const std::wstring arguments = setup::InstallerArguments(c.first);
        EXPECT_EQ(arguments, c.second) << Utf8(c.first);
        // What the platform installer reads back is what this program got.
        int given = 0;
        int received = 0;
        common::UniqueLocalMem givenWords(::CommandLineToArgvW(c.first, &given));
        common::UniqueLocalMem receivedWords(::CommandLineToArgvW((L"x " + arguments).c_str(), &received));
        ASSERT_EQ(received, given) << Utf8(c.first);
        for (int i = 1; i < given; ++i) {
            EXPECT_STREQ(static_cast<wchar_t**>(receivedWords.get())[i], static_cast<wchar_t**>(givenWords.get())[i]);
        }
    }
}

// Membership tests standing for the system's.
BOOL WINAPI Member(HANDLE, PSID, PBOOL isMember)
{
    *isMember = TRUE;
    return TRUE;
}
BOOL WINAPI NotMember(HANDLE, PSID, PBOOL isMember)
{
    *isMember = FALSE;
    return TRUE;
}
BOOL WINAPI TestFails(HANDLE, PSID, PBOOL isMember)
{
    *isMember = TRUE;  // whatever it leaves there must not count
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
PSID g_askedFor = nullptr;
HANDLE g_askedToken = INVALID_HANDLE_VALUE;
BOOL WINAPI RecordQuestion(HANDLE token, PSID group, PBOOL isMember)
{
    g_askedToken = token;
    g_askedFor = nullptr;
    static BYTE copy[SECURITY_MAX_SID_SIZE];
    if (::CopySid(sizeof(copy), copy, group)) {
        g_askedFor = copy;
    }
    *isMember = FALSE;
    return TRUE;
}

TEST(IsAdministrator, ReportsTheTestAndItsAnswer)
{
    BOOL isMember = FALSE;
    EXPECT_TRUE(setup::IsAdministrator(&isMember, &Member));
    EXPECT_TRUE(isMember);
    EXPECT_TRUE(setup::IsAdministrator(&isMember, &NotMember));
    EXPECT_FALSE(isMember);

    isMember = FALSE;
    EXPECT_FALSE(setup::IsAdministrator(&isMember, &TestFails));
    EXPECT_FALSE(isMember);
    EXPECT_FALSE(setup::IsAdministrator(nullptr, &Member));
}

TEST(IsAdministrator, AsksAboutTheAdministratorsGroupForTheEffectiveToken)
{
    BOOL isMember = TRUE;
    ASSERT_TRUE(setup::IsAdministrator(&isMember, &RecordQuestion));
    EXPECT_EQ(g_askedToken, nullptr);
    ASSERT_NE(g_askedFor, nullptr);
    wchar_t* text = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidW(g_askedFor, &text));
    EXPECT_EQ(std::wstring(text), L"S-1-5-32-544");
    ::LocalFree(text);
}

TEST(IsAdministrator, WineRunsUsAsAnAdministrator)
{
    BOOL isMember = FALSE;
    EXPECT_TRUE(setup::IsAdministrator(&isMember));
    EXPECT_TRUE(isMember);
}

}  // namespace
