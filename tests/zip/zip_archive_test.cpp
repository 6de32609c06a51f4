// The reader over archives built in memory: lookups, extraction into a sink,
// and what each kind of damage or lie in an archive leads to.
#include "launcher/zip/core/zip_archive.h"
#include "launcher/zip/core/zip_entry_stream.h"
#include "tests/zip/zip_builder.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace zip;
using zip_testing::ArchiveLayout;
using zip_testing::BuildZip;
using zip_testing::Entry;
using zip_testing::EntryLayout;
using zip_testing::SampleBytes;

// A memory source that counts the reads it serves.
class CountingSource : public MemorySource {
public:
    CountingSource(const std::string& bytes, int* reads) : MemorySource(bytes.data(), bytes.size()), m_reads(reads) {}
    bool Read(void* buffer, size_t size, size_t* read) override
    {
        ++*m_reads;
        return MemorySource::Read(buffer, size, read);
    }

private:
    int* m_reads;
};

struct Opened {
    std::string bytes;   // kept alive for the source
    std::unique_ptr<ZipArchive> archive;
    int result = ZipOk;
};

std::unique_ptr<Opened> OpenBytes(std::string bytes, int* reads = nullptr)
{
    auto opened = std::make_unique<Opened>();
    opened->bytes = std::move(bytes);
    std::unique_ptr<ZipSource> source;
    static int unused;
    source = std::make_unique<CountingSource>(opened->bytes, reads ? reads : &unused);
    opened->result = ZipArchive::Open(std::move(source), &opened->archive);
    return opened;
}

std::unique_ptr<Opened> OpenEntries(const std::vector<EntryLayout>& entries, const ArchiveLayout& layout = ArchiveLayout())
{
    return OpenBytes(BuildZip(entries, layout));
}


struct Extracted {
    int result;
    std::string bytes;
};

Extracted Extract(ZipArchive& archive, int index, size_t sinkLimit = SIZE_MAX)
{
    MemorySink sink(sinkLimit);
    const int result = archive.WriteEntry(index, sink);
    return {result, sink.bytes()};
}

TEST(ZipArchiveTest, StoredAndDeflatedEntriesOfTheSameContentExtractIdentically)
{
    const std::string content = SampleBytes(200000);   // many 16 KiB pieces
    auto opened = OpenEntries({Entry("stored.bin", content, 0), Entry("deflated.bin", content, 8), Entry("empty", "", 8),
                               Entry("empty-stored", "", 0)});
    ASSERT_EQ(opened->result, ZipOk);
    ASSERT_EQ(opened->archive->entryCount(), 4);
    for (int index = 0; index < 2; ++index) {
        const Extracted out = Extract(*opened->archive, index);
        EXPECT_EQ(out.result, ZipOk) << index;
        EXPECT_TRUE(out.bytes == content) << index;
    }
    for (int index = 2; index < 4; ++index) {
        const Extracted out = Extract(*opened->archive, index);
        EXPECT_EQ(out.result, ZipOk);
        EXPECT_EQ(out.bytes, "");
    }
}

TEST(ZipArchiveTest, LookupGivesNameSizesAttributesAndFlags)
{
    EntryLayout folder = Entry("bin/", "", 0);
    folder.externalAttributes = 0x10;
    EntryLayout file = Entry("bin/javaw.exe", "MZ program");
    file.externalAttributes = 0x21;
    EntryLayout unixFile = Entry("lib/\xc3\xa9t\xc3\xa9.txt", std::string(1000, 'x'));
    unixFile.versionMadeBy = 0x0314;
    unixFile.externalAttributes = 0x81A40000;
    unixFile.flags = 0x0800;
    auto opened = OpenEntries({folder, file, unixFile});
    ASSERT_EQ(opened->result, ZipOk);

    ZipEntryRecord record;
    ASSERT_EQ(opened->archive->GetEntry(0, &record), ZipOk);
    EXPECT_EQ(record.index, 0);
    EXPECT_EQ(record.name, "bin/");
    EXPECT_TRUE(record.isFolder());
    EXPECT_EQ(record.attributes, 0x80u | 0x10 | 0x01);

    ASSERT_EQ(opened->archive->GetEntry(1, &record), ZipOk);
    EXPECT_EQ(record.name, "bin/javaw.exe");
    EXPECT_EQ(record.attributes, 0x80u | 0x20 | 0x01);
    EXPECT_EQ(record.uncompressedSize, 10);
    EXPECT_FALSE(record.utf8Name);
    EXPECT_EQ(record.times.lastWrite, FileTimeFromDos(zip_testing::kSampleDosDateTime));

    ASSERT_EQ(opened->archive->GetEntry(2, &record), ZipOk);
    EXPECT_EQ(record.name, "lib/\xc3\xa9t\xc3\xa9.txt");
    EXPECT_TRUE(record.utf8Name);
    EXPECT_EQ(record.attributes, 0x80u);
    EXPECT_EQ(record.uncompressedSize, 1000);
    EXPECT_LT(record.compressedSize, 100);

    // Backwards restarts the walk from the first entry.
    ASSERT_EQ(opened->archive->GetEntry(1, &record), ZipOk);
    EXPECT_EQ(record.name, "bin/javaw.exe");
}

TEST(ZipArchiveTest, NameEndingInASlashIsAFolderWhateverItsAttributes)
{
    EntryLayout folder = Entry("META-INF/", "", 0);
    folder.externalAttributes = 0;
    auto opened = OpenEntries({folder, Entry("META-INF\\x", "")});
    ASSERT_EQ(opened->result, ZipOk);
    ZipEntryRecord record;
    ASSERT_EQ(opened->archive->GetEntry(0, &record), ZipOk);
    EXPECT_TRUE(record.isFolder());
    ASSERT_EQ(opened->archive->GetEntry(1, &record), ZipOk);
    EXPECT_FALSE(record.isFolder());
}

TEST(ZipArchiveTest, IndexRangeIsChecked)
{
    auto opened = OpenEntries({Entry("a", "1"), Entry("b", "2")});
    ASSERT_EQ(opened->result, ZipOk);
    ZipEntryRecord record;
    EXPECT_EQ(opened->archive->GetEntry(2, &record), ZipBadArgument);
    EXPECT_EQ(opened->archive->GetEntry(-2, &record), ZipBadArgument);
    EXPECT_EQ(opened->archive->WriteEntry(2, *std::make_unique<MemorySink>()), ZipBadArgument);
    ASSERT_EQ(opened->archive->GetEntry(-1, &record), ZipOk);
    EXPECT_EQ(record.index, 2);
    EXPECT_EQ(record.name, "");
    EXPECT_EQ(record.attributes, 0u);
}

TEST(ZipArchiveTest, RepeatedLookupIsAnsweredWithoutReadingTheSource)
{
    int reads = 0;
    EntryLayout e = Entry("a.txt", "hello");
    e.localExtra = zip_testing::UtField(1, {1000000000});
    auto opened = OpenBytes(BuildZip({Entry("first", "x"), e}), &reads);
    ASSERT_EQ(opened->result, ZipOk);
    ZipEntryRecord first;
    ASSERT_EQ(opened->archive->GetEntry(1, &first), ZipOk);
    const int readsAfterFirstLookup = reads;
    ZipEntryRecord second;
    ASSERT_EQ(opened->archive->GetEntry(1, &second), ZipOk);
    EXPECT_EQ(reads, readsAfterFirstLookup);
    EXPECT_EQ(second.name, "a.txt");
    EXPECT_EQ(second.times.lastWrite, first.times.lastWrite);
    EXPECT_EQ(second.times.lastWrite, FileTimeFromUnix(1000000000));
}

TEST(ZipArchiveTest, DataInFrontOfTheArchiveIsSkippedThroughThePrefixLength)
{
    ArchiveLayout layout;
    layout.prefix = "MZ" + std::string(5000, '\x90');
    layout.comment = "a comment";
    auto opened = OpenEntries({Entry("a", "alpha"), Entry("b", "beta", 0)}, layout);
    ASSERT_EQ(opened->result, ZipOk);
    EXPECT_EQ(Extract(*opened->archive, 0).bytes, "alpha");
    EXPECT_EQ(Extract(*opened->archive, 1).bytes, "beta");
}

struct OpenCase {
    const char* what;
    std::string bytes;
    int result;
};

void PrintTo(const OpenCase& c, std::ostream* out) { *out << c.what; }

class OpenFailureTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFailureTest, EndsWithItsCodeAndNoArchive)
{
    auto opened = OpenBytes(GetParam().bytes);
    EXPECT_EQ(opened->result, GetParam().result) << GetParam().what;
    EXPECT_EQ(opened->archive, nullptr);
}

ArchiveLayout With(void (*change)(ArchiveLayout&))
{
    ArchiveLayout layout;
    change(layout);
    return layout;
}

const std::string kOne = BuildZip({Entry("a", "alpha")});

INSTANTIATE_TEST_SUITE_P(Table, OpenFailureTest, ::testing::Values(
    OpenCase{"empty source", "", ZipIoError},
    OpenCase{"end record at offset 0", BuildZip({}), ZipIoError},
    OpenCase{"no signature in the last 64 KiB", kOne + std::string(65536, 'j'), ZipIoError},
    OpenCase{"record cut short", kOne.substr(0, kOne.size() - 4), ZipIoError},
    OpenCase{"not an archive", std::string(3000, 'x'), ZipIoError},
    OpenCase{"counts disagree", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.entriesOnThisDisk = 2; })), ZipBadArchive},
    OpenCase{"count lowered by two", BuildZip({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")}, With([](ArchiveLayout& s) { s.entriesOnThisDisk = s.totalEntries = 1; })), ZipBadArchive},
    OpenCase{"count raised", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.entriesOnThisDisk = s.totalEntries = 2; })), ZipBadArchive},
    OpenCase{"directory size beyond its entries", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.afterDirectory = "stray"; })), ZipBadArchive},
    OpenCase{"directory size a byte short of its entry", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.centralDirectorySize = 46; })), ZipBadArchive},
    OpenCase{"last header's signature broken", BuildZip({Entry("a", "1"), Entry("b", "2")}, With([](ArchiveLayout& s) { s.centralSignatureBroken = true; })), ZipBadArchive},
    OpenCase{"second disk", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.thisDisk = 1; })), ZipBadArchive},
    OpenCase{"directory beyond the record", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.centralDirectoryOffset = 5000; })), ZipBadArchive},
    OpenCase{"Zip64 locator", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.zip64Locator = true; })), ZipUnsupported},
    OpenCase{"Zip64 directory offset", BuildZip({Entry("a", "1")}, With([](ArchiveLayout& s) { s.centralDirectoryOffset = 0xFFFFFFFF; })), ZipUnsupported}));

TEST(ZipArchiveTest, RecordNearTheSearchLimitIsFound)
{
    ArchiveLayout layout;
    layout.comment = std::string(65535 - 22, 'c');
    auto opened = OpenEntries({Entry("a", "alpha")}, layout);
    ASSERT_EQ(opened->result, ZipOk);
    EXPECT_EQ(Extract(*opened->archive, 0).bytes, "alpha");
}

struct EntryCase {
    const char* what;
    EntryLayout entry;
    int lookup;      // GetEntry's result
    int extraction;  // WriteEntry's result
    std::string written;
};

void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.what; }

class EntryOutcomeTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryOutcomeTest, EndsAsDefinedAndWritesNoMoreThanDeclared)
{
    const EntryCase& c = GetParam();
    auto opened = OpenEntries({c.entry, Entry("after", "next")});
    ASSERT_EQ(opened->result, ZipOk) << c.what;
    ZipEntryRecord record;
    EXPECT_EQ(opened->archive->GetEntry(0, &record), c.lookup) << c.what;
    const Extracted out = Extract(*opened->archive, 0);
    EXPECT_EQ(out.result, c.extraction) << c.what;
    EXPECT_EQ(out.bytes, c.written) << c.what;
    // The entry after it is unaffected.
    EXPECT_EQ(Extract(*opened->archive, 1).bytes, "next") << c.what;
}

EntryLayout Changed(EntryLayout e, void (*change)(EntryLayout&))
{
    change(e);
    return e;
}

const std::string kText = "the quick brown fox jumps over the lazy dog, again and again and again";

INSTANTIATE_TEST_SUITE_P(Table, EntryOutcomeTest, ::testing::Values(
    EntryCase{"plain", Entry("x", kText), ZipOk, ZipOk, kText},
    EntryCase{"CRC lie", Changed(Entry("x", kText), [](EntryLayout& e) { e.crc = 1234; }), ZipOk, ZipCrcMismatch, kText},
    EntryCase{"stored CRC lie", Changed(Entry("x", kText, 0), [](EntryLayout& e) { e.crc = 1234; }), ZipOk, ZipCrcMismatch, kText},
    EntryCase{"data descriptor", Changed(Entry("x", kText), [](EntryLayout& e) { e.flags = 0x0008; }), ZipOk, ZipOk, kText},
    EntryCase{"stored size larger than its data",
              Changed(Entry("x", "12345", 0), [](EntryLayout& e) { e.uncompressedSize = 9; }),
              ZipOk, ZipWriteFailed, "12345"},
    EntryCase{"stored size larger than its data, sizes in a descriptor",
              Changed(Entry("x", "12345", 0), [](EntryLayout& e) { e.uncompressedSize = 9; e.flags = 0x0008; }),
              ZipOk, ZipWriteFailed, "12345"},
    EntryCase{"deflate ends before the declared size",
              Changed(Entry("x", kText), [](EntryLayout& e) { e.uncompressedSize = 500; e.flags = 0x0008; }),
              ZipOk, ZipWriteFailed, kText},
    EntryCase{"deflate produces more than declared",
              Changed(Entry("x", kText), [](EntryLayout& e) { e.uncompressedSize = 10; e.flags = 0x0008; }),
              ZipOk, ZipCrcMismatch, kText.substr(0, 10)},
    EntryCase{"corrupt deflate data",
              Changed(Entry("x", kText), [](EntryLayout& e) { e.storedBytes = std::string("\xff\xff\xff\xff\xff\xff", 6); }),
              ZipOk, ZipWriteFailed, ""},
    EntryCase{"other method", Changed(Entry("x", kText, 8), [](EntryLayout& e) { e.method = 12; }), ZipInconsistent, ZipInconsistent, ""},
    EntryCase{"local method differs", Changed(Entry("x", kText), [](EntryLayout& e) { e.localMethod = 0; }), ZipInconsistent, ZipInconsistent, ""},
    EntryCase{"local CRC differs", Changed(Entry("x", kText), [](EntryLayout& e) { e.localCrc = 7; }), ZipInconsistent, ZipInconsistent, ""},
    EntryCase{"local name length differs", Changed(Entry("x", kText), [](EntryLayout& e) { e.localName = "xy"; }), ZipInconsistent, ZipInconsistent, ""},
    EntryCase{"local signature broken", Changed(Entry("x", kText), [](EntryLayout& e) { e.localSignatureBroken = true; }), ZipInconsistent, ZipInconsistent, ""},
    EntryCase{"local header beyond the end", Changed(Entry("x", kText), [](EntryLayout& e) { e.localHeaderOffset = 900000; }), ZipInconsistent, ZipInconsistent, ""},
    EntryCase{"encrypted", Changed(Entry("x", kText), [](EntryLayout& e) { e.flags = 0x0001; }), ZipUnsupported, ZipUnsupported, ""},
    EntryCase{"Zip64 sizes", Changed(Entry("x", kText), [](EntryLayout& e) { e.compressedSize = 0xFFFFFFFF; e.flags = 0x0008; }), ZipUnsupported, ZipUnsupported, ""},
    EntryCase{"Zip64 local sizes", Changed(Entry("x", kText), [](EntryLayout& e) { e.localCompressedSize = 0xFFFFFFFF; }), ZipUnsupported, ZipUnsupported, ""},
    EntryCase{"name of 259 bytes", Entry(std::string(259, 'n'), kText), ZipOk, ZipOk, kText},
    EntryCase{"name of 65535 bytes", Entry(std::string(65535, 'n'), kText), ZipOk, ZipOk, kText},
    EntryCase{"empty name", Entry("", kText), ZipOk, ZipOk, kText}));

TEST(ZipArchiveTest, CutDeflateDataKeepsWhatWasDecoded)
{
    // Covered by the table except for the exact bytes: a prefix of the content.
    const std::string content = SampleBytes(50000);
    EntryLayout e = Entry("x", content);
    e.storedBytes = zip_testing::RawDeflate(content).substr(0, 3000);
    auto opened = OpenEntries({e});
    ASSERT_EQ(opened->result, ZipOk);
    const Extracted out = Extract(*opened->archive, 0);
    EXPECT_EQ(out.result, ZipWriteFailed);
    EXPECT_GT(out.bytes.size(), 0u);
    EXPECT_LT(out.bytes.size(), content.size());
    EXPECT_TRUE(content.compare(0, out.bytes.size(), out.bytes) == 0);
}

TEST(ZipArchiveTest, LocalExtraFieldThatRunsPastTheEndFailsTheLookup)
{
    // The local header announces an extra field longer than the file holds.
    std::string archive = BuildZip({Entry("x", "")});
    archive[28] = '\xff';   // local extra length, low byte
    archive[29] = '\xff';
    auto opened = OpenBytes(archive);
    ASSERT_EQ(opened->result, ZipOk);
    ZipEntryRecord record;
    EXPECT_EQ(opened->archive->GetEntry(0, &record), ZipReadFailed);
}

TEST(ZipArchiveTest, SinkFailureIsAWriteFailure)
{
    // An entry within a piece is inflated into the buffer and goes in with
    // one write, which fails whole; a larger one streams, and its first
    // chunk went in before the second failed.
    const struct {
        size_t size;
        size_t written;
    } rows[] = {{3 * kOutputChunkSize, 0}, {kMaxPieceBytes + kOutputChunkSize, kOutputChunkSize}};
    for (const auto& row : rows) {
        auto opened = OpenEntries({Entry("x", SampleBytes(row.size))});
        ASSERT_EQ(opened->result, ZipOk);
        const Extracted out = Extract(*opened->archive, 0, kOutputChunkSize + 10);
        EXPECT_EQ(out.result, ZipWriteFailed) << row.size;
        EXPECT_EQ(out.bytes.size(), row.written) << row.size;
    }
}

TEST(ZipArchiveTest, HeaderBrokenAfterOpeningStopsTheWalkThere)
{
    // The file can change under an open archive; the walk still checks
    // every header it reads.
    auto opened = OpenEntries({Entry("a", "1"), Entry("b", "2"), Entry("c", "3")});
    ASSERT_EQ(opened->result, ZipOk);
    opened->bytes[opened->bytes.size() - 22 - 2 * (46 + 1)] = 'X';   // signature of entry 1
    ZipEntryRecord record;
    EXPECT_EQ(opened->archive->GetEntry(0, &record), ZipOk);
    EXPECT_EQ(opened->archive->GetEntry(1, &record), ZipBadArchive);
    EXPECT_EQ(opened->archive->GetEntry(2, &record), ZipEndOfList);
    EXPECT_EQ(opened->archive->WriteEntry(2, *std::make_unique<MemorySink>()), ZipEndOfList);
}

TEST(ZipArchiveTest, OverlappingEntriesExtractAsTheirHeadersSay)
{
    // Two directory entries share one local header and its data.
    EntryLayout a = Entry("a", kText);
    EntryLayout b = Entry("a", kText);
    b.localHeaderOffset = 0;
    auto opened = OpenEntries({a, b});
    ASSERT_EQ(opened->result, ZipOk);
    EXPECT_EQ(Extract(*opened->archive, 0).bytes, kText);
    EXPECT_EQ(Extract(*opened->archive, 1).bytes, kText);
}

// Which entries the whole-entry road (libdeflate) may take: deflated,
// non-empty, compressed and uncompressed bytes within the bound together.
TEST(WholeEntryRoadTest, TakesDeflatedNonEmptyEntriesUpToTheBound)
{
    struct Row {
        uint16_t method;
        uint32_t compressed;
        uint32_t uncompressed;
        bool fits;
    };
    const uint32_t half = static_cast<uint32_t>(kWholeEntryBound / 2);
    for (const Row& row : {Row{8, half, half, true}, Row{8, half, half + 1, false}, Row{8, 0, 1, true},
                           Row{8, 2, 0, false}, Row{0, 5, 5, false}}) {
        ZipEntryData data;
        data.method = row.method;
        data.compressedSize = row.compressed;
        data.uncompressedSize = row.uncompressed;
        EXPECT_EQ(FitsWholeEntryRoad(data), row.fits) << row.method << " " << row.compressed << " " << row.uncompressed;
    }
}

// A memory sink that tells whether the whole road wrote into it and kept it.
class RoadSink : public MemorySink {
public:
    unsigned char* ReserveWhole(size_t size) override
    {
        reserved = true;
        return MemorySink::ReserveWhole(size);
    }
    bool FinishWhole(bool keepBytes) override
    {
        kept = keepBytes;
        return MemorySink::FinishWhole(keepBytes);
    }
    bool reserved = false;
    bool kept = false;
};

// Every kind of entry comes to the zlib stream's code and bytes; where the
// whole road is taken, only a complete result is kept.
struct RoadCase {
    const char* name;
    EntryLayout entry;
    bool reserved;   // the whole road was tried
    bool kept;       // and its output kept
    int result;
};

class WholeEntryRoadCaseTest : public ::testing::TestWithParam<RoadCase> {};

TEST_P(WholeEntryRoadCaseTest, EndsAsTheStreamDoes)
{
    const RoadCase& c = GetParam();
    const std::string bytes = BuildZip({c.entry});
    std::unique_ptr<ZipArchive> archive;
    ASSERT_EQ(ZipArchive::Open(std::make_unique<MemorySource>(bytes.data(), bytes.size()), &archive), ZipOk);
    ZipEntryRecord record;
    ZipEntryData data;
    ASSERT_EQ(archive->GetEntry(0, &record, &data), ZipOk);

    MemorySource source(bytes.data(), bytes.size());
    RoadSink whole;
    ZipThreadBuffers buffer;
    const int result = CopyEntryData(&source, data, whole, buffer);
    MemorySink streamed;
    EXPECT_EQ(StreamEntryData(&source, data, streamed, buffer), result);
    EXPECT_EQ(result, c.result) << ZipResultName(result);
    EXPECT_TRUE(whole.bytes() == streamed.bytes());
    EXPECT_EQ(whole.reserved, c.reserved);
    EXPECT_EQ(whole.kept, c.kept);
}

EntryLayout Lying(EntryLayout entry, std::optional<uint32_t> uncompressed, std::optional<uint32_t> crc = {},
                  std::optional<std::string> stored = {})
{
    entry.uncompressedSize = uncompressed;
    entry.crc = crc;
    entry.storedBytes = stored;
    return entry;
}

const std::string kData = SampleBytes(100000);
const EntryLayout kDeflated = Entry("lib/modules", kData);

INSTANTIATE_TEST_SUITE_P(
    Cases, WholeEntryRoadCaseTest,
    ::testing::Values(
        RoadCase{"Deflated", kDeflated, true, true, ZipOk},
        RoadCase{"Empty", Entry("empty", ""), false, false, ZipOk},
        RoadCase{"Stored", Entry("stored", kData, 0), false, false, ZipOk},
        RoadCase{"CrcMismatch", Lying(kDeflated, {}, zip_testing::Crc32(kData) ^ 1), true, true, ZipCrcMismatch},
        RoadCase{"StreamEndsEarly",
                 Lying(kDeflated, {}, {}, zip_testing::RawDeflate(kData).substr(0, 1000)), true, false,
                 ZipWriteFailed},
        RoadCase{"StreamLongerThanDeclared", Lying(kDeflated, 99999), true, false, ZipCrcMismatch},
        RoadCase{"DeclaredSizeTooLarge", Lying(kDeflated, 100001), true, false, ZipWriteFailed}),
    [](const ::testing::TestParamInfo<RoadCase>& info) { return info.param.name; });

}  // namespace
