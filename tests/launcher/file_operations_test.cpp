#include "launcher/decision_trace.h"
#include "launcher/file_operations.h"
#include "launcher/update_log.h"

#include "common/paths.h"
#include "common/registry.h"
#include "common/unique_resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace testing_support;

TEST(FileOperationsTest, SystemTempFolderIsTheSystemsWhateverSystemRootSays)
{
    wchar_t root[MAX_PATH] = {};
    ASSERT_GT(::GetSystemWindowsDirectoryW(root, MAX_PATH), 0u);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"SystemRoot", L"C:\\users\\public\\planted"));
    const std::wstring temp = common::SystemTempFolder();
    ::SetEnvironmentVariableW(L"SystemRoot", root);
    EXPECT_EQ(temp, std::wstring(root) + L"\\Temp");
}

TEST(FileOperationsTest, PathExistsForFilesAndFolders)
{
    ScratchFolder scratch;
    ASSERT_TRUE(WriteBytes(scratch / L"a.txt", "x"));
    EXPECT_TRUE(launcher::PathExists(scratch / L"a.txt"));
    EXPECT_TRUE(launcher::PathExists(scratch.path()));
    EXPECT_FALSE(launcher::PathExists(scratch / L"missing"));
}

TEST(FileOperationsTest, FolderExistsOnlyForFoldersAndKeepsTheCurrentFolder)
{
    ScratchFolder scratch;
    ASSERT_TRUE(WriteBytes(scratch / L"a.txt", "x"));
    const std::wstring before = common::CurrentFolder();
    EXPECT_TRUE(launcher::FolderExists(scratch.path()));
    EXPECT_FALSE(launcher::FolderExists(scratch / L"a.txt"));
    EXPECT_FALSE(launcher::FolderExists(scratch / L"missing"));
    EXPECT_EQ(common::CurrentFolder(), before);
}

// A path read from a buffer of a given size: it fits with its terminator,
// or reads as empty.
TEST(PathsTest, CurrentFolderAndProgramPathWithinTheirLimits)
{
    ScratchFolder scratch;
    const std::wstring before = common::CurrentFolder();
    ASSERT_TRUE(::SetCurrentDirectoryW(scratch.path().c_str()));
    const std::wstring folder = common::CurrentFolder();
    const std::wstring program = common::ProgramPath();
    ::SetCurrentDirectoryW(before.c_str());
    ASSERT_FALSE(folder.empty());
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(::GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << "the test program's file";

    struct Row {
        DWORD units;
        bool fits;
    };
    for (const Row& row : {Row{static_cast<DWORD>(folder.size() + 1), true},
                           Row{static_cast<DWORD>(folder.size()), false},
                           Row{launcher::kCurrentFolderUnits, folder.size() < launcher::kCurrentFolderUnits}}) {
        ASSERT_TRUE(::SetCurrentDirectoryW(scratch.path().c_str()));
        const std::wstring limited = common::CurrentFolder(row.units);
        ::SetCurrentDirectoryW(before.c_str());
        EXPECT_EQ(limited, row.fits ? folder : std::wstring()) << row.units;
    }
    for (const Row& row : {Row{static_cast<DWORD>(program.size() + 1), true},
                           Row{static_cast<DWORD>(program.size()), false}}) {
        EXPECT_EQ(common::ProgramPath(row.units), row.fits ? program : std::wstring()) << row.units;
    }
}

TEST(FileOperationsTest, DeleteFolderContentsRemovesNestedAndReadOnlyEntries)
{
    ScratchFolder scratch;
    const std::wstring folder = scratch / L"BundledJVM";
    ASSERT_TRUE(CreateFolders(folder + L"\\bin\\server"));
    ASSERT_TRUE(WriteBytes(folder + L"\\bin\\server\\jvm.dll", "x"));
    ASSERT_TRUE(WriteBytes(folder + L"\\release", "x"));
    ASSERT_TRUE(WriteBytes(folder + L"\\bin\\readonly.txt", "x"));
    ASSERT_TRUE(::SetFileAttributesW((folder + L"\\bin\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(launcher::DeleteFolderContents(folder), 0);
    EXPECT_TRUE(FolderExists(folder)) << "the folder itself stays";
    EXPECT_FALSE(FolderExists(folder + L"\\bin"));
    EXPECT_FALSE(FileExists(folder + L"\\release"));
}

TEST(FileOperationsTest, DeleteFolderContentsStopsAtAFileHeldOpen)
{
    ScratchFolder scratch;
    const std::wstring folder = scratch / L"held";
    ASSERT_TRUE(CreateFolders(folder + L"\\a"));
    ASSERT_TRUE(WriteBytes(folder + L"\\a\\held.txt", "x"));
    ASSERT_TRUE(WriteBytes(folder + L"\\a\\other.txt", "x"));
    ASSERT_TRUE(WriteBytes(folder + L"\\z.txt", "x"));
    common::UniqueFile held(::CreateFileW((folder + L"\\a\\held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(launcher::DeleteFolderContents(folder), -1);
    EXPECT_TRUE(FileExists(folder + L"\\a\\held.txt"));
    EXPECT_TRUE(FileExists(folder + L"\\z.txt")) << "entries after the failure are left alone";
    held.reset();
    EXPECT_EQ(launcher::DeleteFolderContents(folder), 0) << "a retry from the start finishes the work";
    EXPECT_FALSE(FileExists(folder + L"\\z.txt"));
}

TEST(FileOperationsTest, DeleteFolderContentsOfAMissingFolderIsZero)
{
    EXPECT_EQ(launcher::DeleteFolderContents(L"C:\\no-such-folder-for-wendrel"), 0);
}

// Registry values below a key of the test's own under HKCU.
class RegistryOperationsTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, m_root.c_str()); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, m_root.c_str()); }

    bool ReadValue(const std::wstring& key, const wchar_t* name, std::wstring& text, DWORD& bytes)
    {
        common::UniqueRegKey opened;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) {
            return false;
        }
        wchar_t buffer[256] = {};
        bytes = sizeof(buffer) - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegQueryValueExW(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
                ERROR_SUCCESS ||
            type != REG_SZ) {
            return false;
        }
        text = buffer;
        return true;
    }

    const std::wstring m_root = L"Software\\WendrelTest" + std::to_wstring(::GetCurrentProcessId());
};

TEST_F(RegistryOperationsTest, SetRegistryStringCreatesMissingKeysAndStoresTheTerminator)
{
    const std::wstring key = m_root + L"\\one\\two\\three";
    launcher::SetRegistryString(HKEY_CURRENT_USER, key + L"\\DeleteBundledJVM", L"cmd.exe /C  RD");
    std::wstring text;
    DWORD bytes = 0;
    ASSERT_TRUE(ReadValue(key, L"DeleteBundledJVM", text, bytes));
    EXPECT_EQ(text, L"cmd.exe /C  RD");
    EXPECT_EQ(bytes, (text.size() + 1) * sizeof(wchar_t));

    launcher::SetRegistryString(HKEY_CURRENT_USER, key + L"\\DeleteBundledJVM", L"new");
    ASSERT_TRUE(ReadValue(key, L"DeleteBundledJVM", text, bytes));
    EXPECT_EQ(text, L"new");
}

TEST_F(RegistryOperationsTest, DeleteRegistryValueRemovesOnlyThatValue)
{
    launcher::SetRegistryString(HKEY_CURRENT_USER, m_root + L"\\RunOnce\\A", L"a");
    launcher::SetRegistryString(HKEY_CURRENT_USER, m_root + L"\\RunOnce\\B", L"b");
    launcher::DeleteRegistryValue(HKEY_CURRENT_USER, m_root + L"\\RunOnce\\A");
    std::wstring text;
    DWORD bytes = 0;
    EXPECT_FALSE(ReadValue(m_root + L"\\RunOnce", L"A", text, bytes));
    EXPECT_TRUE(ReadValue(m_root + L"\\RunOnce", L"B", text, bytes));
    // A missing key or value is no failure.
    launcher::DeleteRegistryValue(HKEY_CURRENT_USER, m_root + L"\\Missing\\A");
    launcher::DeleteRegistryValue(HKEY_CURRENT_USER, m_root + L"\\RunOnce\\A");
}

// Each rule of a string read on values of every shape.
TEST_F(RegistryOperationsTest, ReadRegistryStringTakesWhatItsRuleTakes)
{
    const std::wstring keyPath = m_root + L"\\Values";
    common::UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
    const auto set = [&](const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    };
    set(L"Text", REG_SZ, L"abc", 8);
    set(L"Unended", REG_SZ, L"abcd", 8);
    set(L"Expand", REG_EXPAND_SZ, L"%WENDREL_REGISTRY_TEST%\\x", 52);
    const DWORD number = 0x00410042;
    set(L"Number", REG_DWORD, &number, sizeof(number));
    ::SetEnvironmentVariableW(L"WENDREL_REGISTRY_TEST", L"C:\\y");

    using common::RegistryValueTypes;
    const common::RegistryStringRule strings = {RegistryValueTypes::Strings, common::kAnyValueBytes,
                                                common::ReadAsStored};
    const common::RegistryStringRule any = {RegistryValueTypes::Any, common::kAnyValueBytes, common::ReadAsStored};
    struct Row {
        const wchar_t* value;
        common::RegistryStringRule rule;
        std::optional<std::wstring> expected;
    };
    const Row rows[] = {
        {L"Text", strings, L"abc"},
        {L"Text", {RegistryValueTypes::Strings, 8, common::ReadAsStored}, L"abc"},
        {L"Text", {RegistryValueTypes::Strings, 6, common::ReadAsStored}, std::nullopt},
        {L"Unended", any, L"abcd"},
        {L"Number", strings, std::nullopt},
        {L"Number", any, L"BA"},
        {L"Expand", strings, L"%WENDREL_REGISTRY_TEST%\\x"},
        {L"Expand", {RegistryValueTypes::Strings, 100, common::ReadExpanded}, L"C:\\y\\x"},
        {L"Missing", any, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(common::ReadRegistryString(key.get(), row.value, row.rule), row.expected) << Utf8(row.value);
    }
    ::SetEnvironmentVariableW(L"WENDREL_REGISTRY_TEST", nullptr);
    EXPECT_EQ(common::ReadRegistryString(HKEY_CURRENT_USER, keyPath, L"Text", KEY_READ, strings), L"abc");
    EXPECT_EQ(common::ReadRegistryString(HKEY_CURRENT_USER, m_root + L"\\Missing", L"Text", KEY_READ, strings),
              std::nullopt);
}

TEST(WriteNewFileTest, ReplacesAnOldFileOrLinkAsItselfAndFailsInAMissingFolderOrOnAFolder)
{
    ScratchFolder scratch;
    ASSERT_TRUE(WriteBytes(scratch / L"JRE.exe", "old content, longer"));
    EXPECT_TRUE(launcher::WriteNewFile(scratch / L"JRE.exe", "new", 3));
    EXPECT_EQ(ReadBytes(scratch / L"JRE.exe"), "new");
    EXPECT_FALSE(launcher::WriteNewFile(scratch / L"missing\\JRE.exe", "new", 3));
    // A second name of another file is replaced, and that file stays as it
    // was. (Wine deletes the target of a symbolic link to a file, so only a
    // hard link shows it here.)
    ASSERT_TRUE(WriteBytes(scratch / L"system.dll", "system"));
    ASSERT_TRUE(::CreateHardLinkW((scratch / L"linked.exe").c_str(), (scratch / L"system.dll").c_str(), nullptr));
    EXPECT_TRUE(launcher::WriteNewFile(scratch / L"linked.exe", "new", 3));
    EXPECT_EQ(ReadBytes(scratch / L"system.dll"), "system");
    EXPECT_EQ(ReadBytes(scratch / L"linked.exe"), "new");
    ASSERT_TRUE(CreateFolders(scratch / L"folder.exe\\inside"));
    EXPECT_FALSE(launcher::WriteNewFile(scratch / L"folder.exe", "new", 3)) << "a folder there is left alone";
    EXPECT_TRUE(FolderExists(scratch / L"folder.exe\\inside"));
}

std::string Utf16Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

TEST(AppendToUpdateLogTest, ByteOrderMarkOnlyWhenTheFileIsCreated)
{
    ScratchFolder scratch;
    const std::wstring path = scratch / L"AutoUpdate.log";
    launcher::AppendToUpdateLog(path, L"first\r\n");
    launcher::AppendToUpdateLog(path, L"second\r\n");
    EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE", 2) + Utf16Bytes(L"first\r\nsecond\r\n"));
}

TEST(AppendToUpdateLogTest, AnExistingFileIsAppendedToWithoutAMark)
{
    ScratchFolder scratch;
    const std::wstring path = scratch / L"AutoUpdate.log";
    ASSERT_TRUE(WriteBytes(path, "ab"));
    launcher::AppendToUpdateLog(path, L"c");
    EXPECT_EQ(ReadBytes(path), "ab" + Utf16Bytes(L"c"));
}

TEST(AppendToUpdateLogTest, FailuresThrowWithThePathAndTheSystemError)
{
    ScratchFolder scratch;
    const std::wstring missingFolder = scratch / L"missing\\AutoUpdate.log";
    try {
        launcher::AppendToUpdateLog(missingFolder, L"x");
        FAIL() << "no error for a missing folder";
    } catch (const launcher::UpdateLogFileError& failure) {
        EXPECT_EQ(failure.path, missingFolder);
        EXPECT_EQ(failure.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        const std::wstring text = launcher::UpdateLogFileErrorText(failure);
        EXPECT_EQ(text.rfind(L"The update log \"" + missingFolder + L"\" could not be written.\r\n\r\n", 0), 0u) << Utf8(text);
        EXPECT_NE(text.back(), L'\n');
    }

    const std::wstring held = scratch / L"AutoUpdate.log";
    launcher::AppendToUpdateLog(held, L"x");
    common::UniqueFile holder(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_THROW(launcher::AppendToUpdateLog(held, L"y"), launcher::UpdateLogFileError);
    holder.reset();
    EXPECT_EQ(ReadBytes(held), std::string("\xFF\xFE", 2) + Utf16Bytes(L"x"));
}

}  // namespace

// A name planted in place of the log: the elevated launcher must not write
// through it into the file it leads to.
TEST(AppendToUpdateLogTest, ALinkPlantedAsTheLogIsNeverWrittenThrough)
{
    struct LinkCase {
        const char* name;
        bool (*plant)(const std::wstring& link, const std::wstring& target);
        bool targetExists;
    };
    const LinkCase cases[] = {
        {"hard link", [](const std::wstring& link, const std::wstring& target) {
             return ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != FALSE;
         }, true},
        {"symbolic link", &MakeUnixLink, true},
        {"symbolic link to a file not yet there", &MakeUnixLink, false},
    };
    for (const LinkCase& c : cases) {
        ScratchFolder scratch;
        ASSERT_TRUE(CreateFolders(scratch / L"windows"));
        const std::wstring target = scratch / L"windows\\win.ini";
        if (c.targetExists) {
            ASSERT_TRUE(WriteBytes(target, "[fonts]"));
        }
        const std::wstring link = scratch / L"AutoUpdate.log";
        ASSERT_TRUE(c.plant(link, target)) << c.name;
        try {
            launcher::AppendToUpdateLog(link, L"entry");
            ADD_FAILURE() << c.name << ": written through";
        } catch (const launcher::UpdateLogFileError& failure) {
            EXPECT_EQ(failure.error, static_cast<DWORD>(ERROR_CANT_ACCESS_FILE)) << c.name;
        }
        EXPECT_EQ(FileExists(target) ? ReadBytes(target) : "(none)", c.targetExists ? "[fonts]" : "(none)") << c.name;
    }
}
