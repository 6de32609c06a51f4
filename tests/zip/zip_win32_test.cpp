// The reader at the Windows edge, under Wine: files, attributes, file times,
// folders, names, and the launcher's unpacking routine.
#include "common/unique_resource.h"
#include "launcher/zip/core/zip_codes.h"
#include "launcher/zip/win32/zip_extract.h"
#include "tests/support/test_support.h"
#include "tests/zip/zip_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace zip;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::WriteBytes;
using zip_testing::BuildZip;
using zip_testing::EntryLayout;

EntryLayout Entry(const std::string& name, const std::string& data, uint32_t external = 0x20)
{
    EntryLayout e;
    e.name = name;
    e.data = data;
    e.externalAttributes = external;
    return e;
}

// An archive file in the scratch folder, opened; closed when the test ends.
class OpenArchive {
public:
    OpenArchive(const ScratchFolder& folder, const std::vector<EntryLayout>& entries, const wchar_t* name = L"a.zip")
    {
        path = folder / name;
        WriteBytes(path, BuildZip(entries));
        handle = OpenZipArchive(path.c_str());
    }
    ~OpenArchive()
    {
        if (handle) {
            CloseZipArchive(handle);
        }
    }
    std::wstring path;
    ZipHandle handle = nullptr;
};

uint64_t Ticks(const FILETIME& time)
{
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct FileTimes {
    FILETIME creation, access, write;
};

FileTimes TimesOf(const std::wstring& path)
{
    FileTimes times = {};
    common::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file.valid());
    ::GetFileTime(file.get(), &times.creation, &times.access, &times.write);
    return times;
}

TEST(ZipWin32Test, DosMadeEntriesAreWrittenReadOnlyWithTheArchiveBitKept)
{
    ScratchFolder folder;
    OpenArchive archive(folder, {Entry("a.txt", "alpha", 0x20), Entry("b.txt", "beta", 0x21), Entry("c.txt", "gamma", 0x00),
                                 Entry("d.txt", "delta", 0x81A40000)});
    ASSERT_NE(archive.handle, nullptr);
    // The file system adds the archive bit to every file it creates.
    const DWORD expected[] = {0x21, 0x21, 0x21, 0x20};
    for (int index = 0; index < 4; ++index) {
        const std::wstring target = folder / (L"out" + std::to_wstring(index));
        ASSERT_EQ(ExtractZipEntry(archive.handle, index, target.c_str()), ZipOk);
        EXPECT_EQ(::GetFileAttributesW(target.c_str()), expected[index]) << index;
    }
    EXPECT_EQ(ReadBytes(folder / L"out3"), "delta");
}

TEST(ZipWin32Test, DosTimeBecomesAllThreeFileTimesAsTheSystemConvertsIt)
{
    ScratchFolder folder;
    OpenArchive archive(folder, {Entry("a.txt", "alpha", 0x81A40000)});
    ASSERT_EQ(ExtractZipEntry(archive.handle, 0, (folder / L"a.txt").c_str()), ZipOk);
    FILETIME system = {};
    const uint32_t dos = zip_testing::kSampleDosDateTime;
    ASSERT_TRUE(::DosDateTimeToFileTime(static_cast<WORD>(dos >> 16), static_cast<WORD>(dos & 0xFFFF), &system));
    const FileTimes times = TimesOf(folder / L"a.txt");
    EXPECT_EQ(Ticks(times.write), Ticks(system));
    EXPECT_EQ(Ticks(times.access), Ticks(system));
    EXPECT_EQ(Ticks(times.creation), Ticks(system));
}

TEST(ZipWin32Test, ExtendedTimestampGivesUnixWriteAndAccessTimesAndKeepsDosCreation)
{
    ScratchFolder folder;
    EntryLayout e = Entry("a.txt", "alpha", 0x81A40000);
    e.localExtra = zip_testing::UtField(3, {1000000000, 1100000000});
    OpenArchive archive(folder, {e});
    ASSERT_EQ(ExtractZipEntry(archive.handle, 0, (folder / L"a.txt").c_str()), ZipOk);
    SYSTEMTIME written = {2001, 9, 0, 9, 1, 46, 40, 0};
    SYSTEMTIME accessed = {2004, 11, 0, 9, 11, 33, 20, 0};
    FILETIME expectedWrite, expectedAccess, dos;
    ::SystemTimeToFileTime(&written, &expectedWrite);
    ::SystemTimeToFileTime(&accessed, &expectedAccess);
    ::DosDateTimeToFileTime(static_cast<WORD>(zip_testing::kSampleDosDateTime >> 16),
                            static_cast<WORD>(zip_testing::kSampleDosDateTime & 0xFFFF), &dos);
    const FileTimes times = TimesOf(folder / L"a.txt");
    EXPECT_EQ(Ticks(times.write), Ticks(expectedWrite));
    EXPECT_EQ(Ticks(times.access), Ticks(expectedAccess));
    // Wine's files keep no creation time of their own; the record says what was set.
    ZipEntryInfo info;
    ASSERT_EQ(GetZipEntry(archive.handle, 0, &info), ZipOk);
    EXPECT_EQ(Ticks(info.creationTime), Ticks(dos));
    EXPECT_EQ(Ticks(info.lastWriteTime), Ticks(expectedWrite));
}

// Windows refuses to open a read-only file for writing; Wine run by root
// lets the open through, so these cases only hold where the system refuses.
bool SystemRefusesWritingReadOnlyFiles(const ScratchFolder& folder)
{
    const std::wstring probe = folder / L"read-only-probe";
    WriteBytes(probe, "x");
    ::SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    common::UniqueFile file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return !file.valid();
}

TEST(ZipWin32Test, TargetThatCannotBeOpenedGivesCannotOpenAndKeepsItsContent)
{
    ScratchFolder folder;
    OpenArchive archive(folder, {Entry("a.txt", "new content", 0x20)});
    const std::wstring target = folder / L"a.txt";
    WriteBytes(target, "old");
    {
        common::UniqueFile held(::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        EXPECT_EQ(ExtractZipEntry(archive.handle, 0, target.c_str()), ZipCannotOpen);
    }
    EXPECT_EQ(ReadBytes(target), "old");
    testing_support::CreateFolders(folder / L"a folder");
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, (folder / L"a folder").c_str()), ZipCannotOpen);
}

TEST(ZipWin32Test, ReadOnlyTargetCannotBeOpened)
{
    ScratchFolder folder;
    if (!SystemRefusesWritingReadOnlyFiles(folder)) {
        GTEST_SKIP() << "this system lets the user write read-only files";
    }
    OpenArchive archive(folder, {Entry("a.txt", "new content", 0x20)});
    const std::wstring target = folder / L"a.txt";
    ASSERT_EQ(ExtractZipEntry(archive.handle, 0, target.c_str()), ZipOk);
    // The first extraction made it read-only; the second cannot replace it.
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, target.c_str()), ZipCannotOpen);
    EXPECT_EQ(ReadBytes(target), "new content");
}

TEST(ZipWin32Test, CorruptDeflateDataKeepsThePartialFileWithItsAttributes)
{
    ScratchFolder folder;
    const std::string content = zip_testing::SampleBytes(100000);
    EntryLayout e = Entry("a.bin", content, 0x21);
    e.storedBytes = zip_testing::RawDeflate(content).substr(0, 5000);
    OpenArchive archive(folder, {e});
    const std::wstring target = folder / L"a.bin";
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, target.c_str()), ZipWriteFailed);
    ASSERT_TRUE(FileExists(target));
    EXPECT_EQ(::GetFileAttributesW(target.c_str()), 0x21u);
    const std::string written = ReadBytes(target);
    EXPECT_GT(written.size(), 0u);
    EXPECT_TRUE(content.compare(0, written.size(), written) == 0);
}

TEST(ZipWin32Test, CrcMismatchIsReportedWithTheWholeFileWritten)
{
    ScratchFolder folder;
    EntryLayout e = Entry("a.txt", "all of it", 0x81A40000);
    e.crc = 42;
    OpenArchive archive(folder, {e});
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, (folder / L"a.txt").c_str()), ZipCrcMismatch);
    EXPECT_EQ(ReadBytes(folder / L"a.txt"), "all of it");
}

TEST(ZipWin32Test, LookupConvertsUtf8FlaggedNamesAndGivesTheRecord)
{
    ScratchFolder folder;
    EntryLayout flagged = Entry("lib/caf\xc3\xa9.txt", "x");
    flagged.flags = 0x0800;
    EntryLayout plain = Entry("bin/javaw.exe", "MZ");
    OpenArchive archive(folder, {flagged, plain, Entry(std::string(700, 'n'), "y")});
    ZipEntryInfo info;
    ASSERT_EQ(GetZipEntry(archive.handle, 0, &info), ZipOk);
    EXPECT_EQ(info.name, L"lib/caf\u00e9.txt");
    ASSERT_EQ(GetZipEntry(archive.handle, 1, &info), ZipOk);
    EXPECT_EQ(info.name, L"bin/javaw.exe");
    EXPECT_EQ(info.index, 1);
    EXPECT_EQ(info.attributes, 0x80u | 0x20 | 0x01);
    EXPECT_EQ(info.uncompressedSize, 2);
    ASSERT_EQ(GetZipEntry(archive.handle, 2, &info), ZipOk);
    EXPECT_EQ(info.name, std::wstring(700, L'n'));   // whole, however long
    EXPECT_EQ(GetZipEntry(archive.handle, 3, &info), ZipBadArgument);
    EXPECT_EQ(GetZipEntry(nullptr, 0, &info), ZipBadArgument);
    EXPECT_EQ(ExtractZipEntry(archive.handle, 3, (folder / L"x").c_str()), ZipBadArgument);
    EXPECT_EQ(ExtractZipEntry(archive.handle, -1, (folder / L"x").c_str()), ZipBadArgument);
}

TEST(ZipWin32Test, OpeningFailsWithANullHandle)
{
    ScratchFolder folder;
    EXPECT_EQ(OpenZipArchive((folder / L"missing.zip").c_str()), nullptr);
    WriteBytes(folder / L"not.zip", std::string(5000, 'x'));
    EXPECT_EQ(OpenZipArchive((folder / L"not.zip").c_str()), nullptr);
    // Not a disk file: the source cannot seek.
    EXPECT_EQ(OpenZipArchive(L"NUL"), nullptr);
    EXPECT_EQ(CloseZipArchive(nullptr), ZipBadArgument);
}

// Runs with the current folder set to `folder` and restores it.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder)
    {
        ::GetCurrentDirectoryW(MAX_PATH, m_saved);
        ::SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentFolder() { ::SetCurrentDirectoryW(m_saved); }

private:
    wchar_t m_saved[MAX_PATH] = {};
};

TEST(ZipWin32Test, RelativeDestinationsAndFolderEntriesAreMadeBelowTheRootFolder)
{
    ScratchFolder folder;
    ZipHandle handle = nullptr;
    WriteBytes(folder / L"a.zip", BuildZip({Entry("x/y/z/", "", 0x10), Entry("f.txt", "file"), Entry("../up/", "", 0x10)}));
    {
        CurrentFolder current(folder.path());
        handle = OpenZipArchive(L"a.zip");
    }
    ASSERT_NE(handle, nullptr);
    // The root is the folder current at opening, not now.
    EXPECT_EQ(ExtractZipEntry(handle, 0, nullptr), ZipOk);
    EXPECT_TRUE(FolderExists(folder / L"x\\y\\z"));
    EXPECT_EQ(ExtractZipEntry(handle, 1, L"p/q\\f.txt"), ZipCannotOpen);   // relative to the process, not the root
    {
        CurrentFolder current(folder.path());
        EXPECT_EQ(ExtractZipEntry(handle, 1, L"p/q\\f.txt"), ZipOk);
        EXPECT_EQ(ReadBytes(folder / L"p\\q\\f.txt"), "file");
        EXPECT_EQ(ExtractZipEntry(handle, 2, nullptr), ZipUnsafeName);
    }
    EXPECT_FALSE(FolderExists(folder.path() + L"\\..\\up"));
    // An absolute destination makes the reader create no folders itself.
    EXPECT_EQ(ExtractZipEntry(handle, 1, (folder / L"absent\\f.txt").c_str()), ZipCannotOpen);
    EXPECT_FALSE(FolderExists(folder / L"absent"));
    CloseZipArchive(handle);
}

// Removes a scratch folder's content at any path length.
void RemoveLongTree(const ScratchFolder& folder)
{
    testing_support::RemoveTree(L"\\\\?\\" + folder.path());
}

TEST(ZipWin32Test, ExtendedLengthPathLeavesShortPathsAndMakesLongOnesAbsolute)
{
    EXPECT_EQ(ExtendedLengthPath(L"C:\\short\\path.txt"), L"C:\\short\\path.txt");
    const std::wstring deep = L"C:\\" + std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b');
    EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
    // The "\\?\\" form is taken literally, so "/" and "." steps are resolved first.
    const std::wstring mixed = L"C:/" + std::wstring(150, L'a') + L"/./" + std::wstring(150, L'b');
    EXPECT_EQ(ExtendedLengthPath(mixed), L"\\\\?\\" + deep);
    const std::wstring unc = L"\\\\server\\share\\" + std::wstring(300, L'c');
    EXPECT_EQ(ExtendedLengthPath(unc), L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'c'));
    EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\" + deep), L"\\\\?\\" + deep);
}

TEST(ZipWin32Test, DestinationOf400CharactersIsWritten)
{
    ScratchFolder folder;
    OpenArchive archive(folder, {Entry("f.txt", "file")});
    std::wstring longFolder = folder.path();
    while (longFolder.size() < 330) {
        longFolder += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(::CreateDirectoryW(ExtendedLengthPath(longFolder).c_str(), nullptr));
    }
    std::wstring target = longFolder + L"\\";
    target += std::wstring(400 - target.size(), L'f');
    ASSERT_EQ(target.size(), 400u);
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, target.c_str()), ZipOk);
    EXPECT_EQ(ReadBytes(L"\\\\?\\" + target), "file");
    RemoveLongTree(folder);
}

TEST(ZipWin32Test, NameOf300BytesIsUnpackedBelowTheArchiveFolder)
{
    ScratchFolder folder;
    std::string name;
    while (name.size() < 250) {
        name += std::string(40, 'n') + "/";
    }
    name += std::string(300 - name.size(), 'f');
    ASSERT_EQ(name.size(), 300u);
    WriteBytes(folder / L"a.zip", BuildZip({Entry(name, "deep"), Entry("short.txt", "s")}));
    const ExtractionSummary summary = ExtractZipArchive(folder / L"a.zip");
    EXPECT_EQ(summary.filesWritten, 2);
    EXPECT_EQ(summary.filesFailed, 0);
    std::wstring wide(name.begin(), name.end());
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    EXPECT_EQ(ReadBytes(L"\\\\?\\" + (folder / wide)), "deep");
    RemoveLongTree(folder);
}

TEST(ZipWin32Test, NameTheFileSystemCannotHoldIsNameTooLong)
{
    // One component beyond the 255 characters a file name may have.
    ScratchFolder folder;
    OpenArchive archive(folder, {Entry("f.txt", "file")});
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, (folder / std::wstring(300, L'x')).c_str()), ZipNameTooLong);
    EXPECT_EQ(ExtractZipEntry(archive.handle, 0, (folder / std::wstring(255, L'x')).c_str()), ZipOk);
    RemoveLongTree(folder);
}

// A runtime-like archive: DOS-made folder entries, files below them, one
// folder that holds no file.
std::vector<EntryLayout> RuntimeEntries()
{
    return {Entry("bin/", "", 0x10),         Entry("bin/javaw.exe", "MZ javaw", 0x20),
            Entry("lib/", "", 0x10),         Entry("lib/applet/", "", 0x10),
            Entry("lib/rt.jar", zip_testing::SampleBytes(70000), 0x21),
            Entry("lib/security/java.policy", "grant {};", 0x20)};
}

TEST(ZipWin32Test, UnpackingWritesEveryFileBelowTheArchiveFolderAndNoEmptyFolders)
{
    ScratchFolder folder;
    WriteBytes(folder / L"BundledJVM.zip", BuildZip(RuntimeEntries()));
    const ExtractionSummary summary = ExtractZipArchive(folder / L"BundledJVM.zip");
    EXPECT_TRUE(summary.opened);
    EXPECT_EQ(summary.filesWritten, 3);
    EXPECT_EQ(summary.filesFailed, 0);
    EXPECT_EQ(summary.entriesSkipped, 3);
    EXPECT_EQ(summary.stopResult, ZipBadArgument);
    EXPECT_EQ(ReadBytes(folder / L"bin\\javaw.exe"), "MZ javaw");
    EXPECT_EQ(ReadBytes(folder / L"lib\\rt.jar"), zip_testing::SampleBytes(70000));
    EXPECT_EQ(ReadBytes(folder / L"lib\\security\\java.policy"), "grant {};");
    EXPECT_EQ(::GetFileAttributesW((folder / L"lib\\rt.jar").c_str()), 0x21u);
    EXPECT_FALSE(FolderExists(folder / L"lib\\applet"));
}

TEST(ZipWin32Test, UnpackingFromMemoryHoldsTheNamedFileAgainstWritersButNotReaders)
{
    ScratchFolder folder;
    const std::string archive = BuildZip(RuntimeEntries());
    ExtractionSummary summary = ExtractZipArchiveFromMemory(archive.data(), archive.size(), folder.path(),
                                                            {L"BIN\\JAVAW.EXE", L"lib/missing.jar"});
    EXPECT_TRUE(summary.complete());
    EXPECT_EQ(summary.filesWritten, 3);
    ASSERT_EQ(summary.heldFiles.size(), 2u);
    EXPECT_TRUE(summary.heldFiles[0]) << "found in any letter case and with either separator";
    EXPECT_FALSE(summary.heldFiles[1]);
    const std::wstring javaw = folder / L"bin\\javaw.exe";
    EXPECT_EQ(ReadBytes(javaw), "MZ javaw");
    common::UniqueFile writer(::CreateFileW(javaw.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    // DOS-made, so read-only as unpacked: only the hold may keep it.
    ASSERT_TRUE(::SetFileAttributesW(javaw.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(::DeleteFileW(javaw.c_str()));
    summary.heldFiles.clear();
    EXPECT_TRUE(::DeleteFileW(javaw.c_str())) << "let go with the summary's handles";
}

// What makes an unpacking incomplete: the launcher never takes such a runtime.
struct IncompleteCase {
    const char* name;
    std::string archive;
    const wchar_t* blocked;  // a destination someone else holds open
};

class IncompleteUnpackingTest : public ::testing::TestWithParam<IncompleteCase> {};

TEST_P(IncompleteUnpackingTest, IsNotComplete)
{
    const IncompleteCase& c = GetParam();
    ScratchFolder folder;
    common::UniqueFile blocker;
    if (c.blocked) {
        testing_support::CreateFolders(folder / L"bin");
        WriteBytes(folder / c.blocked, "planted");
        blocker.reset(::CreateFileW((folder / c.blocked).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(blocker);
    }
    const ExtractionSummary summary =
        ExtractZipArchiveFromMemory(c.archive.data(), c.archive.size(), folder.path(), {L"bin/javaw.exe"});
    EXPECT_FALSE(summary.complete());
}

std::string WithCrcMismatch()
{
    std::vector<EntryLayout> entries = RuntimeEntries();
    entries[4].crc = zip_testing::Crc32(entries[4].data) ^ 1;
    return BuildZip(entries);
}

const std::string kRuntimeArchive = BuildZip(RuntimeEntries());

INSTANTIATE_TEST_SUITE_P(
    Causes, IncompleteUnpackingTest,
    ::testing::Values(IncompleteCase{"EntryCannotBeWritten", kRuntimeArchive, L"bin\\javaw.exe"},
                      IncompleteCase{"TruncatedArchive", kRuntimeArchive.substr(0, kRuntimeArchive.size() - 30), nullptr},
                      IncompleteCase{"CrcMismatch", WithCrcMismatch(), nullptr},
                      IncompleteCase{"NoArchiveAtAll", "PK runtime archive", nullptr}),
    [](const ::testing::TestParamInfo<IncompleteCase>& info) { return info.param.name; });

TEST(ZipWin32Test, SecondUnpackingIntoTheSameFolderReplacesNoReadOnlyFile)
{
    ScratchFolder folder;
    if (!SystemRefusesWritingReadOnlyFiles(folder)) {
        GTEST_SKIP() << "this system lets the user write read-only files";
    }
    WriteBytes(folder / L"BundledJVM.zip", BuildZip(RuntimeEntries()));
    ASSERT_EQ(ExtractZipArchive(folder / L"BundledJVM.zip").filesWritten, 3);
    const ExtractionSummary again = ExtractZipArchive(folder / L"BundledJVM.zip");
    EXPECT_EQ(again.filesWritten, 0);
    EXPECT_EQ(again.filesFailed, 3);
}

TEST(ZipWin32Test, UnpackingSkipsNamesThatLeaveTheFolderAndWritesNothingOutside)
{
    ScratchFolder folder;
    const std::wstring inner = folder / L"inner";
    testing_support::CreateFolders(inner);
    WriteBytes(inner + L"\\a.zip",
               BuildZip({Entry("../escape1.txt", "x"), Entry("a\\..\\..\\escape2.txt", "x"), Entry("C:escape3.txt", "x"),
                         Entry("\\escape4.txt", "x"), Entry("/escape5.txt", "x"), Entry("ok.txt", "fine")}));
    const ExtractionSummary summary = ExtractZipArchive(inner + L"\\a.zip");
    EXPECT_EQ(summary.entriesSkipped, 5);
    EXPECT_EQ(summary.filesWritten, 1);
    EXPECT_EQ(ReadBytes(inner + L"\\ok.txt"), "fine");
    for (const wchar_t* name : {L"escape1.txt", L"escape2.txt", L"escape3.txt"}) {
        EXPECT_FALSE(FileExists(folder / name)) << name;
    }
    EXPECT_FALSE(FileExists(L"C:\\escape4.txt"));
    EXPECT_FALSE(FileExists(L"Z:\\escape5.txt"));
}

TEST(ZipWin32Test, UnpackingStopsAtTheFirstEntryThatCannotBeLookedUp)
{
    ScratchFolder folder;
    EntryLayout unsupported = Entry("b.txt", "b");
    unsupported.method = 12;
    WriteBytes(folder / L"a.zip", BuildZip({Entry("a.txt", "a"), unsupported, Entry("c.txt", "c")}));
    const ExtractionSummary summary = ExtractZipArchive(folder / L"a.zip");
    EXPECT_EQ(summary.stopResult, ZipInconsistent);
    EXPECT_TRUE(FileExists(folder / L"a.txt"));
    EXPECT_FALSE(FileExists(folder / L"b.txt"));
    EXPECT_FALSE(FileExists(folder / L"c.txt"));
}

// Everything below `root` (the archive itself left out): each file's bytes,
// attributes and times, each folder's name.
std::map<std::wstring, std::string> TreeOf(const std::wstring& root, const std::wstring& relative = L"")
{
    std::map<std::wstring, std::string> tree;
    WIN32_FIND_DATAW found;
    const std::wstring folder = L"\\\\?\\" + root + (relative.empty() ? L"" : L"\\" + relative);
    common::UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search) {
        return tree;
    }
    do {
        const std::wstring name = found.cFileName;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        if (name == L"." || name == L".." || path == L"a.zip") {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[path] = "folder";
            for (const auto& below : TreeOf(root, path)) {
                tree.insert(below);
            }
            continue;
        }
        tree[path] = ReadBytes(folder + L"\\" + name) + "|attributes " + std::to_string(found.dwFileAttributes) +
                     "|written " + std::to_string(Ticks(found.ftLastWriteTime)) + "|created " +
                     std::to_string(Ticks(found.ftCreationTime));
    } while (::FindNextFileW(search.get(), &found));
    return tree;
}

struct UnpackRow {
    const char* what;
    std::vector<EntryLayout> entries;
    zip_testing::ArchiveLayout layout;
    int filesWritten;
    int stopResult;
};

void PrintTo(const UnpackRow& row, std::ostream* out) { *out << row.what; }

class ParallelUnpackTest : public ::testing::TestWithParam<UnpackRow> {};

TEST_P(ParallelUnpackTest, ThreadsLeaveTheTreeOneThreadLeaves)
{
    const UnpackRow& row = GetParam();
    ScratchFolder folder;
    ExtractionSummary summaries[2];
    std::map<std::wstring, std::string> trees[2];
    const unsigned threads[2] = {1, 4};
    for (int n = 0; n < 2; ++n) {
        const std::wstring root = folder / (n == 0 ? L"sequential" : L"parallel");
        testing_support::CreateFolders(root);
        WriteBytes(root + L"\\a.zip", BuildZip(row.entries, row.layout));
        summaries[n] = ExtractZipArchive(root + L"\\a.zip", threads[n]);
        trees[n] = TreeOf(root);
    }
    EXPECT_EQ(summaries[0].filesWritten, row.filesWritten);
    EXPECT_EQ(summaries[0].stopResult, row.stopResult);
    EXPECT_EQ(summaries[1].opened, summaries[0].opened);
    EXPECT_EQ(summaries[1].filesWritten, summaries[0].filesWritten);
    EXPECT_EQ(summaries[1].filesFailed, summaries[0].filesFailed);
    EXPECT_EQ(summaries[1].entriesSkipped, summaries[0].entriesSkipped);
    EXPECT_EQ(summaries[1].stopResult, summaries[0].stopResult);
    EXPECT_FALSE(trees[0].empty());
    EXPECT_TRUE(trees[1] == trees[0]);
    RemoveLongTree(folder);
}

std::vector<EntryLayout> ManySmallEntries()
{
    std::vector<EntryLayout> entries;
    for (int n = 0; n < 150; ++n) {
        entries.push_back(Entry("d" + std::to_string(n % 4) + "/s" + std::to_string(n % 3) + "/f" + std::to_string(n) + ".txt",
                                zip_testing::SampleBytes(n * 31, n)));
    }
    return entries;
}

std::vector<EntryLayout> NineWith(int middle, void (*damage)(EntryLayout&))
{
    std::vector<EntryLayout> entries;
    for (int n = 0; n < 9; ++n) {
        entries.push_back(Entry("f" + std::to_string(n) + ".txt", zip_testing::SampleBytes(20000, n)));
    }
    damage(entries[middle]);
    return entries;
}

EntryLayout Method(EntryLayout e, uint16_t method)
{
    e.method = method;
    return e;
}

EntryLayout WithDescriptor(EntryLayout e)
{
    e.flags = 0x0008;
    return e;
}

zip_testing::ArchiveLayout Stub()
{
    zip_testing::ArchiveLayout layout;
    layout.prefix = "MZ" + std::string(4094, '\0');
    return layout;
}

INSTANTIATE_TEST_SUITE_P(Table, ParallelUnpackTest, ::testing::Values(
    UnpackRow{"many small entries", ManySmallEntries(), {}, 150, ZipBadArgument},
    UnpackRow{"one huge entry", {Entry("a/1.txt", "1"), Entry("big/huge.bin", zip_testing::SampleBytes(8 << 20, 5)), Entry("a/2.txt", "2")},
              {}, 3, ZipBadArgument},
    UnpackRow{"stored and deflated entries",
              {Method(Entry("m/s.txt", zip_testing::SampleBytes(40000, 1)), 0), Entry("m/d.txt", zip_testing::SampleBytes(40000, 2)),
               Method(Entry("m/s2.txt", ""), 0), Entry("m/d2.txt", "")}, {}, 4, ZipBadArgument},
    UnpackRow{"a CRC error in the middle", NineWith(4, [](EntryLayout& e) { e.crc = 1; e.localCrc = 1; }), {}, 8, ZipBadArgument},
    UnpackRow{"a broken local header in the middle", NineWith(4, [](EntryLayout& e) { e.localSignatureBroken = true; }), {},
              4, ZipInconsistent},
    UnpackRow{"an unsafe name", {Entry("a.txt", "alpha"), Entry("..\\..\\e.txt", "evil"), Entry("b\\c.txt", "gamma")}, {}, 2,
              ZipBadArgument},
    UnpackRow{"folder entries after their files",
              {Entry("x/y/f.txt", "f"), Entry("x/g.txt", "g"), Entry("x/y/", "", 0x10), Entry("x/", "", 0x10), Entry("x/z/", "", 0x10)},
              {}, 2, ZipBadArgument},
    UnpackRow{"data descriptors", {WithDescriptor(Entry("dd/0.bin", zip_testing::SampleBytes(30000, 1))),
                                   WithDescriptor(Entry("dd/1.bin", zip_testing::SampleBytes(30001, 2)))}, {}, 2, ZipBadArgument},
    UnpackRow{"a stub prefix", NineWith(0, [](EntryLayout&) {}), Stub(), 9, ZipBadArgument},
    UnpackRow{"one name in two letter cases", {Entry("dup.txt", "first"), Entry("o.txt", "o"), Entry("DUP.TXT", "second", 0x00800000)},
              {}, 3, ZipBadArgument},
    UnpackRow{"a name of 300 bytes", {Entry(std::string(250, 'n') + "/" + std::string(49, 'f'), "deep"), Entry("s.txt", "s")}, {},
              2, ZipBadArgument}));

TEST(ZipWin32Test, UnpackingAMissingArchiveDoesNothing)
{
    ScratchFolder folder;
    EXPECT_FALSE(ExtractZipArchive(folder / L"missing.zip").opened);
}

}  // namespace
