// The launcher's own folders and the files it holds between writing and
// starting them. Wine keeps no access list a program sets and enforces none,
// so the descriptor is checked as a rule, through its SDDL text.
#include "common/protected_folders.h"
#include "launcher/file_operations.h"
#include "launcher/installed_folder.h"

#include "common/held_file.h"
#include "tests/support/test_support.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

TEST(ProtectedFolderTest, DescriptorIsOwnedByAdministratorsProtectedAndGrantsOnlySystemAndAdministrators)
{
    const common::UniqueLocalMem descriptor = common::ProtectedFolderDescriptor();
    ASSERT_TRUE(descriptor);
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor.get(), SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    const common::UniqueLocalMem ownedText(text);
    EXPECT_STREQ(text, L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the system temporary folder";
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_TRUE(::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
}

TEST(ProtectedFolderTest, IsNeverMadeWhereAFolderIsAlready)
{
    ScratchFolder scratch;
    EXPECT_TRUE(common::CreateProtectedFolder(scratch / L"own"));
    EXPECT_FALSE(common::CreateProtectedFolder(scratch / L"own")) << "someone else's, or an earlier run's";
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_ALREADY_EXISTS));

    const std::wstring first = common::CreateUniqueProtectedFolder(scratch.path());
    const std::wstring second = common::CreateUniqueProtectedFolder(scratch.path());
    EXPECT_TRUE(FolderExists(first));
    EXPECT_TRUE(FolderExists(second));
    EXPECT_NE(first, second);
}

// A run folder has one owner: moved on, it goes when its last owner lets go,
// never while that owner still uses it.
TEST(ProtectedFolderTest, ARunFolderMovedOnIsRemovedOnlyByItsLastOwner)
{
    // Where runs make them: the logon's command has room for a few only.
    const std::wstring parent = SystemTempFolder();
    std::wstring path;
    {
        common::RunFolder kept;
        {
            common::RunFolder first;
            ASSERT_TRUE(first.Create(parent));
            path = first.path();
            ASSERT_TRUE(WriteBytes(path + L"\\inside.txt", "x"));
            kept = std::move(first);
            EXPECT_TRUE(first.path().empty());
        }
        EXPECT_EQ(kept.path(), path);
        EXPECT_TRUE(FolderExists(path)) << "the moved-from owner removed it";
        common::RunFolder replaced;
        ASSERT_TRUE(replaced.Create(parent));
        const std::wstring replacedPath = replaced.path();
        replaced = std::move(kept);
        EXPECT_FALSE(FolderExists(replacedPath)) << "an owner given another folder lets its own go";
        EXPECT_TRUE(FolderExists(path));
        kept = std::move(replaced);
    }
    EXPECT_FALSE(FolderExists(path));
}

TEST(ProtectedFolderTest, RemovingATreeNeverRemovesWhatALinkInsidePointsAt)
{
    ScratchFolder scratch;
    ASSERT_TRUE(CreateFolders(scratch / L"elsewhere"));
    ASSERT_TRUE(WriteBytes(scratch / L"elsewhere\\precious.txt", "keep"));
    ASSERT_TRUE(CreateFolders(scratch / L"tree\\bin"));
    ASSERT_TRUE(WriteBytes(scratch / L"tree\\bin\\javaw.exe", "x"));
    ASSERT_TRUE(MakeUnixLink(scratch / L"tree\\link", scratch / L"elsewhere"));
    ASSERT_TRUE(::GetFileAttributesW((scratch / L"tree\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    const bool removed = launcher::RemoveFolderTree(scratch / L"tree");
    EXPECT_EQ(ReadBytes(scratch / L"elsewhere\\precious.txt"), "keep");
    // Windows removes a link as the link. Wine 8 cannot remove a Unix link to
    // a folder by any call; then the removal must say that it failed.
    EXPECT_EQ(removed, !FolderExists(scratch / L"tree"));
}

TEST(HeldFileTest, AWrittenFileKeepsWritersAndDeletersOutButCanStillBeStarted)
{
    ScratchFolder scratch;
    const std::string program = ReadBytes(StandinPath(L"recorder.exe"));
    const std::wstring path = scratch / L"javaw.exe";
    common::UniqueFile held =
        common::WriteHeldFile(path, program.data(), static_cast<DWORD>(program.size()));
    ASSERT_TRUE(held);
    common::UniqueFile writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    EXPECT_FALSE(::MoveFileW(path.c_str(), (scratch / L"moved.exe").c_str()));
    const RunResult run = RunProgram(L"\"" + path + L"\"");
    EXPECT_TRUE(run.started) << run.startError;
    EXPECT_EQ(ReadRecordings(path).size(), 1u);
    held.reset();
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

// A process created suspended runs only when its program is the held file.
struct ImageCase {
    const char* name;
    const wchar_t* held;   // which file is held: the started one, another copy, none
    bool runs;
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

class ImageCheckTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageCheckTest, OnlyTheHeldFileIsResumed)
{
    const ImageCase& c = GetParam();
    ScratchFolder scratch;
    const std::string program = ReadBytes(StandinPath(L"recorder.exe"));
    common::UniqueFile started = common::WriteHeldFile(scratch / L"javaw.exe", program.data(),
                                                       static_cast<DWORD>(program.size()));
    common::UniqueFile other = common::WriteHeldFile(scratch / L"other.exe", program.data(),
                                                     static_cast<DWORD>(program.size()));
    ASSERT_TRUE(started && other);
    const HANDLE held = c.held == nullptr ? nullptr : std::wstring(c.held) == L"javaw.exe" ? started.get() : other.get();
    std::wstring commandLine = L"\"" + (scratch / L"javaw.exe") + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                 scratch.path().c_str(), &startup, &created));
    common::UniqueHandle process(created.hProcess), thread(created.hThread);
    EXPECT_EQ(common::ResumeIfImageIsHeld(process.get(), thread.get(), held), c.runs);
    const DWORD error = ::GetLastError();
    ASSERT_EQ(::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(ReadRecordings(scratch / L"javaw.exe").size(), c.runs ? 1u : 0u);
    if (!c.runs) {
        EXPECT_EQ(error, common::kImageNotTheHeldFile);
        EXPECT_EQ(exitCode, common::kImageNotTheHeldFile);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageCheckTest, ::testing::Values(
    ImageCase{"TheStartedFileIsHeld", L"javaw.exe", true},
    ImageCase{"AnotherFileIsHeld", L"other.exe", false},
    ImageCase{"NothingIsHeld", nullptr, true}));

// When a file can be held: only with exactly the expected bytes, and only
// when nobody else has it open for writing.
struct HoldCase {
    const char* name;
    const char* onDisk;       // nullptr: no file
    bool otherWriter;         // someone else has it open for writing
    bool heldByWrite;         // WriteHeldFile succeeds
    bool heldIfIdentical;     // HoldIfIdentical succeeds
};

class HoldTest : public ::testing::TestWithParam<HoldCase> {};

TEST_P(HoldTest, HoldsOnlyItsOwnBytes)
{
    const HoldCase& c = GetParam();
    ScratchFolder scratch;
    const std::wstring path = scratch / L"Pellow.exe";
    const std::string own = "MZ the launcher's own";
    common::UniqueFile other;
    if (c.onDisk) {
        ASSERT_TRUE(WriteBytes(path, c.onDisk));
    }
    if (c.otherWriter) {
        other.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(other);
    }
    EXPECT_EQ(common::HoldIfIdentical(path, own.data(), own.size()).valid(), c.heldIfIdentical);
    EXPECT_EQ(common::WriteHeldFile(path, own.data(), static_cast<DWORD>(own.size())).valid(), c.heldByWrite);
    if (c.onDisk) {
        EXPECT_EQ(ReadBytes(path), c.onDisk) << "an existing file is never written";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HoldTest,
    ::testing::Values(HoldCase{"NoFile", nullptr, false, true, false},
                      HoldCase{"SameBytes", "MZ the launcher's own", false, false, true},
                      HoldCase{"OtherBytes", "MZ someone else's", false, false, false},
                      HoldCase{"SameLengthOtherBytes", "MZ the launcher's owN", false, false, false},
                      HoldCase{"SameBytesOpenForWriting", "MZ the launcher's own", true, false, false}),
    [](const ::testing::TestParamInfo<HoldCase>& info) { return info.param.name; });

}  // namespace

// Which folders may hold the uninstaller's marker: only one that nobody but
// administrators can change.
struct FolderAccessCase {
    const wchar_t* sddl;
    bool onlyAdministrators;
};

void PrintTo(const FolderAccessCase& c, std::ostream* out)
{
    *out << Utf8(c.sddl);
}

class InstalledFolderRuleTest : public ::testing::TestWithParam<FolderAccessCase> {};

TEST_P(InstalledFolderRuleTest, ReadsTheOwnerAndEveryAllowingEntry)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(GetParam().sddl, SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    const common::UniqueLocalMem owned(descriptor);
    EXPECT_EQ(launcher::OnlyAdministratorsCanChange(descriptor), GetParam().onlyAdministrators);
}

INSTANTIATE_TEST_SUITE_P(Descriptors, InstalledFolderRuleTest, ::testing::Values(
    FolderAccessCase{common::kProtectedFolderSddl, true},
    // Program Files as Windows sets it: users read and run, creators own what they make.
    FolderAccessCase{L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
                     L"D:P(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
                     L"(A;OICIIO;GA;;;CO)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", true},
    FolderAccessCase{L"O:BAD:(A;OICI;FA;;;BA)(D;OICI;FA;;;WD)", true},
    FolderAccessCase{L"O:BUD:(A;OICI;FA;;;BA)", false},                       // the owner may change the access
    FolderAccessCase{L"O:BAD:(A;OICI;FA;;;BA)(A;;0x2;;;BU)", false},           // users add files
    FolderAccessCase{L"O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;0x100116;;;AU)", false},// modify on what lies inside
    FolderAccessCase{L"O:BAD:(A;OICI;FA;;;BA)(A;;GW;;;WD)", false},
    FolderAccessCase{L"O:BAD:(A;OICI;FA;;;BA)(A;;WD;;;IU)", false},            // the access list itself
    FolderAccessCase{L"O:BAD:(A;OICI;FA;;;BA)(A;;0x40;;;S-1-5-21-1-2-3-1001)", false}));

// No access list at all lets everyone in. Built by hand: Wine reads
// "D:NO_ACCESS_CONTROL" as an empty list.
TEST(InstalledFolderRuleTest, NoAccessListAtAllIsEveryonesFolder)
{
    SECURITY_DESCRIPTOR descriptor = {};
    ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    PSID administrators = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-5-32-544", &administrators));
    const common::UniqueLocalMem owned(administrators);
    ASSERT_TRUE(::SetSecurityDescriptorOwner(&descriptor, administrators, FALSE));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_FALSE(launcher::OnlyAdministratorsCanChange(&descriptor));
}
