// The setup program's operations against the real system under Wine: the
// log file, the configuration reader (MSXML), the registered Java runtimes
// and the Compatibility Assistant's list in the registry.

#include "setup/compatibility_assistant.h"
#include "setup/java_runtimes.h"
#include "setup/setup_log.h"
#include "setup/setup_settings.h"

#include "common/unique_resource.h"
#include "tests/setup/log_messages.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace testing_support;
using setup_testing::LogMessages;

const wchar_t kRuntimesKey[] = L"Software\\JavaSoft\\Java Runtime Environment";


// Points this process's log at a scratch file for the length of a test.
class LogToScratch {
public:
    explicit LogToScratch(const std::wstring& path) { setup::g_szLogPath = path; }
    ~LogToScratch() { setup::g_szLogPath.clear(); }
};

TEST(SetupLogFile, ANewFileStartsWithTheByteOrderMarkAndLinesEndInCrLf)
{
    ScratchFolder scratch;
    const std::wstring path = scratch / L"2016.05.17.14.03.09-Setup.Exe.log";
    setup::AppendLogLine(path, L"2016.05.17. 14:03:11 first", 0);
    setup::AppendLogLine(path, L"2016.05.17. 14:03:11 Путь C:\\インストール", 0);
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF" "2016.05.17. 14:03:11 first\r\n"
                               "2016.05.17. 14:03:11 \xD0\x9F\xD1\x83\xD1\x82\xD1\x8C C:\\"
                               "\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xBC\xE3\x83\xAB\r\n");
}

TEST(SetupLogFile, AMissingFolderIsNeverCreated)
{
    ScratchFolder scratch;
    const std::wstring path = scratch / L"Install.QZ\\x-Setup.Exe.log";
    setup::AppendLogLine(path, L"line", 0);
    EXPECT_FALSE(FolderExists(scratch / L"Install.QZ"));
}

// The log's names can be foreseen to the second, and its folder is the
// user's: a link planted there never carries a line elsewhere.
TEST(SetupLogFile, ALinkAtTheNameOrAsTheFolderIsNeverWrittenThrough)
{
    ScratchFolder scratch;
    ASSERT_TRUE(CreateFolders(scratch / L"Install.QZ"));
    ASSERT_TRUE(CreateFolders(scratch / L"system"));
    ASSERT_TRUE(WriteBytes(scratch / L"system\\config.sys", "system"));
    const struct {
        const char* what;
        std::wstring log;
        bool (*plant)(const std::wstring& link, const std::wstring& target);
        std::wstring target;
        bool folderLinked;  // the link is the log's folder
    } rows[] = {
        {"symbolic link at the name", scratch / L"Install.QZ\\a-Setup.Exe.log", MakeUnixLink,
         scratch / L"system\\config.sys", false},
        {"second name of a file", scratch / L"Install.QZ\\b-Setup.Exe.log",
         [](const std::wstring& link, const std::wstring& target) {
             return ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != FALSE;
         },
         scratch / L"system\\config.sys", false},
        {"Install.QZ a link to a folder", scratch / L"Linked.QZ\\c-Setup.Exe.log", MakeUnixLink,
         scratch / L"system", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring planted = row.folderLinked ? row.log.substr(0, row.log.rfind(L'\\')) : row.log;
        ASSERT_TRUE(row.plant(planted, row.target));
        setup::AppendLogLine(row.log, L"line", 0);
        EXPECT_EQ(ReadBytes(scratch / L"system\\config.sys"), "system");
        EXPECT_FALSE(FileExists(scratch / L"system\\c-Setup.Exe.log"));
    }
}

TEST(SetupLogFile, AnEmptyLogPathWritesNothingAndKeepsTheLastError)
{
    setup::g_szLogPath.clear();
    ::SetLastError(1234);
    setup::WriteLog(L"nothing");
    EXPECT_EQ(::GetLastError(), 1234u);
}

TEST(SetupLogFile, LinesOfConcurrentThreadsAreAllWritten)
{
    ScratchFolder scratch;
    LogToScratch log(scratch / L"threads.log");
    constexpr int kThreads = 4;
    constexpr int kLines = 150;
    std::atomic<bool> go{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t, &go] {
            while (!go) {
            }
            for (int i = 0; i < kLines; ++i) {
                setup::WriteLog(L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i));
            }
        });
    }
    go = true;
    for (auto& writer : writers) {
        writer.join();
    }
    const std::vector<std::wstring> messages = LogMessages(scratch / L"threads.log");
    EXPECT_EQ(messages.size(), static_cast<size_t>(kThreads * kLines));
    const std::set<std::wstring> distinct(messages.begin(), messages.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kLines));
}

TEST(SetupLogFile, ALineWaitsForAnotherWriterToLetGo)
{
    ScratchFolder scratch;
    const std::wstring path = scratch / L"shared.log";
    setup::AppendLogLine(path, L"first", 0);
    // Another process's writer holds the file the way WriteLog does: alone.
    common::UniqueFile held(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    std::thread writer([&] { setup::AppendLogLine(path, L"second", 10000); });
    ::Sleep(300);
    held.reset();
    writer.join();
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF" "first\r\nsecond\r\n");
}

TEST(SetupLogFile, ALineGivesUpOnAFileHeldTooLong)
{
    ScratchFolder scratch;
    const std::wstring path = scratch / L"held.log";
    setup::AppendLogLine(path, L"first", 0);
    common::UniqueFile held(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    setup::AppendLogLine(path, L"dropped", 50);
    held.reset();
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF" "first\r\n");
}

// --- configuration file ------------------------------------------------------

class ComApartment {
public:
    ComApartment() { ::CoInitialize(nullptr); }
    ~ComApartment() { ::CoUninitialize(); }
};

struct ConfigCase {
    const char* name;
    const char* xml;
    setup::SetupSettings expected;
};

TEST(LoadSetupSettings, ReadsTheAppSettingsPairsOfTheOneConfiguration)
{
    ComApartment com;
    ScratchFolder scratch;
    const ConfigCase cases[] = {
        {"typical",
         "<?xml version=\"1.0\"?><configuration><appSettings>"
         "<add key=\"JRE.RequiredVersion\" value=\"1.8.0\"/><add key=\"Other\" value=\"x y\"/>"
         "</appSettings></configuration>",
         {{L"JRE.RequiredVersion", L"1.8.0"}, {L"Other", L"x y"}}},
        {"first of a duplicate key wins",
         "<configuration><appSettings><add key=\"k\" value=\"1\"/><add key=\"k\" value=\"2\"/>"
         "</appSettings></configuration>",
         {{L"k", L"1"}}},
        {"a key without value is skipped",
         "<configuration><appSettings><add key=\"a\"/><add value=\"v\"/><add key=\"b\" value=\"\"/>"
         "</appSettings></configuration>",
         {{L"b", L""}}},
        {"two configuration elements: nothing",
         "<root><configuration><appSettings><add key=\"a\" value=\"1\"/></appSettings></configuration>"
         "<configuration/></root>",
         {}},
        {"two appSettings: nothing",
         "<configuration><appSettings><add key=\"a\" value=\"1\"/></appSettings><appSettings/></configuration>",
         {}},
        {"nested deeper is found",
         "<configuration><section><appSettings><group><add key=\"a\" value=\" 1.8.0\"/></group>"
         "</appSettings></section></configuration>",
         {{L"a", L" 1.8.0"}}},
        {"names are case-sensitive",
         "<configuration><appSettings><add key=\"jre.requiredversion\" value=\"1.6\"/>"
         "<Add key=\"x\" value=\"y\"/></appSettings></configuration>",
         {{L"jre.requiredversion", L"1.6"}}},
        {"not XML", "<configuration><appSettings>", {}},
        {"no add", "<configuration><appSettings/></configuration>", {}},
        // The media may come from anywhere: no document type definitions.
        {"an external entity: nothing read, nothing fetched",
         "<!DOCTYPE configuration [<!ENTITY v SYSTEM \"secret.txt\">]>"
         "<configuration><appSettings><add key=\"JRE.RequiredVersion\" value=\"&v;\"/></appSettings>"
         "</configuration>",
         {}},
        {"an entity bomb: nothing",
         "<!DOCTYPE configuration [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
         "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
         "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
         "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
         "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\"><!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">]>"
         "<configuration><appSettings><add key=\"k\" value=\"&i;\"/></appSettings></configuration>",
         {}},
    };
    ASSERT_TRUE(WriteBytes(scratch / L"secret.txt", "1.9.9"));
    for (const ConfigCase& c : cases) {
        const std::wstring path = scratch / L"Setup.config";
        ASSERT_TRUE(WriteBytes(path, c.xml));
        setup::SetupSettings settings;
        setup::LoadSetupSettings(path, settings);
        EXPECT_EQ(settings, c.expected) << c.name;
    }
    setup::SetupSettings settings;
    setup::LoadSetupSettings(scratch / L"missing.config", settings);
    EXPECT_TRUE(settings.empty());
}

// --- files and registered runtimes ------------------------------------------

TEST(FileExists, FilesYesFoldersAndMissingNo)
{
    ScratchFolder scratch;
    ASSERT_TRUE(WriteBytes(scratch / L"a.dll", "x"));
    EXPECT_TRUE(setup::FileExists(scratch / L"a.dll"));
    EXPECT_FALSE(setup::FileExists(scratch.path()));
    EXPECT_FALSE(setup::FileExists(scratch / L"missing.dll"));
    EXPECT_FALSE(setup::FileExists(scratch / L"missing\\b.dll"));
    // Held by another writer without sharing: it still exists.
    common::UniqueFile held(::CreateFileW((scratch / L"a.dll").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_TRUE(setup::FileExists(scratch / L"a.dll"));
}

class RegisteredRuntimes : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRuntimesKey); }

    static void SetValue(const std::wstring& version, const wchar_t* name, const std::wstring& text)
    {
        common::UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kRuntimesKey) + L"\\" + version).c_str(), 0,
                                    nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    // A runtime folder with bin\java.exe and a runtime library.
    std::wstring Home(const std::wstring& name)
    {
        const std::wstring home = scratch / name;
        EXPECT_TRUE(CreateFolders(home + L"\\bin\\server"));
        EXPECT_TRUE(WriteBytes(home + L"\\bin\\java.exe", "MZ"));
        EXPECT_TRUE(WriteBytes(home + L"\\bin\\server\\jvm.dll", "MZ"));
        return home;
    }

    void Register(const std::wstring& version, const std::wstring& home, const std::wstring& runtimeLib)
    {
        SetValue(version, L"JavaHome", home);
        SetValue(version, L"RuntimeLib", runtimeLib);
    }

    ScratchFolder scratch;
};

TEST_F(RegisteredRuntimes, OnlyUsableRuntimesAreListedInEnumerationOrder)
{
    const std::wstring a = Home(L"a");
    Register(L"1.6.0_45", a, a + L"\\bin\\server\\jvm.dll");
    Register(L"1.7.0_80", a + L"\\", a + L"\\bin\\server\\jvm.dll");  // trailing backslash: same java.exe
    Register(L"1.8", a, a + L"\\bin\\client\\jvm.dll");               // library missing
    SetValue(L"1.8.0_202", L"JavaHome", a);                           // no RuntimeLib
    Register(L"1.8.0_291", scratch / L"nowhere", a + L"\\bin\\server\\jvm.dll");  // no java.exe
    Register(L"9", std::wstring(600, L'x'), a + L"\\bin\\server\\jvm.dll");        // over 1024 bytes
    Register(L"11.0.2", a, a + L"\\bin\\server");                      // a folder is no library

    std::vector<std::wstring> versions = {L"kept"};
    EXPECT_EQ(setup::jvm::GetInstalledJavaVms(versions), 2u);
    EXPECT_EQ(versions, (std::vector<std::wstring>{L"kept", L"1.6.0_45", L"1.7.0_80"}));
}

TEST_F(RegisteredRuntimes, NoKeyNoRuntimes)
{
    std::vector<std::wstring> versions;
    EXPECT_EQ(setup::jvm::GetInstalledJavaVms(versions), 0u);
    EXPECT_TRUE(versions.empty());
}

// --- Compatibility Assistant ------------------------------------------------

class ExclusionListRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        common::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, setup::kCompatibilityAssistantKey, 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS) {
            DWORD size = 0;
            m_hadValue = ::RegQueryValueExW(key.get(), setup::kExclusionListValue, nullptr, nullptr, nullptr,
                                            &size) == ERROR_SUCCESS;
            m_saved.resize(size);
            if (m_hadValue && size > 0) {
                ::RegQueryValueExW(key.get(), setup::kExclusionListValue, nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&m_saved[0]), &size);
            }
        }
        DeleteValue();
    }
    void TearDown() override
    {
        DeleteValue();
        if (m_hadValue) {
            WriteRaw(m_saved);
        }
    }

    static void DeleteValue()
    {
        common::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, setup::kCompatibilityAssistantKey, 0, KEY_WRITE, key.put()) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueW(key.get(), setup::kExclusionListValue);
        }
    }
    static void WriteRaw(const std::string& bytes)
    {
        common::UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, setup::kCompatibilityAssistantKey, 0, nullptr, 0, KEY_WRITE,
                                    nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), setup::kExclusionListValue, 0, REG_MULTI_SZ,
                                   reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    static void WriteList(const std::wstring& units)
    {
        WriteRaw(std::string(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t)));
    }
    static std::wstring ReadList()
    {
        common::UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, setup::kCompatibilityAssistantKey, 0, KEY_READ, key.put()) !=
            ERROR_SUCCESS) {
            return L"<no key>";
        }
        std::wstring units(8192, L'\0');
        DWORD size = static_cast<DWORD>(units.size() * sizeof(wchar_t));
        DWORD type = 0;
        if (::RegQueryValueExW(key.get(), setup::kExclusionListValue, nullptr, &type,
                               reinterpret_cast<BYTE*>(&units[0]), &size) != ERROR_SUCCESS) {
            return L"<no value>";
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        units.resize(size / sizeof(wchar_t));
        return units;
    }

    ScratchFolder scratch;
    bool m_hadValue = false;
    std::string m_saved;
};

std::wstring Multi(std::initializer_list<std::wstring> entries)
{
    std::wstring units;
    for (const auto& entry : entries) {
        units += entry + L'\0';
    }
    return units + L'\0';
}

TEST_F(ExclusionListRegistry, NoValueBecomesTheOneClosedEntry)
{
    LogToScratch log(scratch / L"pca.log");
    setup::SetPCA(L"C:\\Media\\Setup.exe");
    EXPECT_EQ(ReadList(), Multi({L"C:\\Media\\Setup.exe"}));
    const auto lines = LogMessages(scratch / L"pca.log");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], L"SetPCA: RegQueryValueEx: ExecutablesToExclude does not exist");
    EXPECT_EQ(lines.back(), L"SetPCA: RegSetValueEx: szValue: C:\\Media\\Setup.exe");
}

TEST_F(ExclusionListRegistry, APathListedInOtherCaseIsLeftAlone)
{
    const std::wstring stored = Multi({L"C:\\Other.exe", L"C:\\MEDIA\\SETUP.EXE"});
    WriteList(stored);
    LogToScratch log(scratch / L"pca.log");
    setup::SetPCA(L"C:\\Media\\Setup.exe");
    EXPECT_EQ(ReadList(), stored);
    const auto lines = LogMessages(scratch / L"pca.log");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], L"SetPCA: RegQueryValueEx: ExecutablesToExclude szValue: C:\\Other.exe");
    EXPECT_EQ(lines.back(), L"SetPCA: Path found: Path: C:\\Media\\Setup.exe");
}

TEST_F(ExclusionListRegistry, TwentyFiveEntriesStayTwentyFive)
{
    std::wstring stored;
    for (int i = 0; i < 25; ++i) {
        stored += L"C:\\P" + std::to_wstring(i) + L'\0';
    }
    WriteList(stored + L'\0');
    LogToScratch log(scratch / L"pca.log");
    setup::SetPCA(L"C:\\Media\\Setup.exe");
    EXPECT_EQ(ReadList(), stored.substr(6) + L"C:\\Media\\Setup.exe" + L'\0' + L'\0');
    EXPECT_EQ(LogMessages(scratch / L"pca.log").back(), L"SetPCA: RegSetValueEx: pathsNum > 24: psecond: C:\\P1");
}

TEST_F(ExclusionListRegistry, AnUnclosedStoredListIsWrittenBackClosed)
{
    WriteList(std::wstring(L"C:\\a.exe\0C:\\b.exe", 17));  // neither the last null nor the closing one
    setup::SetPCA(L"C:\\Media\\Setup.exe");
    EXPECT_EQ(ReadList(), Multi({L"C:\\a.exe", L"C:\\b.exe", L"C:\\Media\\Setup.exe"}));
}

TEST_F(ExclusionListRegistry, AStoredListOf8192BytesIsLeftAlone)
{
    const std::wstring stored = std::wstring(4094, L'q') + L'\0' + L'\0';
    WriteList(stored);
    setup::SetPCA(L"C:\\Media\\Setup.exe");
    EXPECT_EQ(ReadList(), stored);
}

TEST_F(ExclusionListRegistry, APathTooLongForTheBufferIsSkipped)
{
    const std::wstring stored = Multi({L"C:\\a.exe"});
    WriteList(stored);
    LogToScratch log(scratch / L"pca.log");
    setup::SetPCA(L"C:\\" + std::wstring(8185, L'p'));
    EXPECT_EQ(ReadList(), stored);
    EXPECT_EQ(LogMessages(scratch / L"pca.log").back(), L"SetPCA: RegSetValueEx: skipped: the list would not fit");
}

TEST(CreateSubSubKey, AMissingParentIsCreatedFirstWithItsLines)
{
    const std::wstring root = L"Software\\WendrelSetupTest";
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, root.c_str());
    ScratchFolder scratch;
    {
        LogToScratch log(scratch / L"keys.log");
        setup::CreateSubSubKey(root + L"\\Child");
    }
    common::UniqueRegKey created;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (root + L"\\Child").c_str(), 0, KEY_READ, created.put()),
              ERROR_SUCCESS);
    created.reset();
    {
        LogToScratch log(scratch / L"keys.log");
        setup::CreateSubSubKey(root + L"\\Child");
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, root.c_str());
    const std::vector<std::wstring> expected = {
        L"CreateSubSubKey",
        L"CreateSubSubKey: path cannot open: Software\\WendrelSetupTest",
        L"CreateSubSubKey",
        L"CreateSubSubKey: path open: Software",
        L"CreateSubSubKey: key created: WendrelSetupTest",
        L"CreateSubSubKey: path open after creating parent: Software\\WendrelSetupTest",
        L"CreateSubSubKey: key created after creating parent: Child",
        L"CreateSubSubKey",
        L"CreateSubSubKey: path exists: Software\\WendrelSetupTest\\Child",
    };
    EXPECT_EQ(LogMessages(scratch / L"keys.log"), expected);
}

}  // namespace
