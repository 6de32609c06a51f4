// The parallel driver: the directory listing, overlapping destinations, and
// entries written by several threads into memory, which must come out as
// the sequential walk writes them.
#include "launcher/zip/core/zip_parallel.h"
#include "tests/zip/zip_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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


struct OverlapCase {
    std::vector<std::string> paths;
    bool overlapping;
};

void PrintTo(const OverlapCase& c, std::ostream* out)
{
    for (const std::string& path : c.paths) {
        *out << '"' << path << "\" ";
    }
}

class OverlapTest : public ::testing::TestWithParam<OverlapCase> {};

TEST_P(OverlapTest, SameFileOrFileOnTheWayToAnotherOverlaps)
{
    EXPECT_EQ(HaveOverlappingDestinations(GetParam().paths), GetParam().overlapping);
}

INSTANTIATE_TEST_SUITE_P(Table, OverlapTest, ::testing::Values(
    OverlapCase{{"a", "b", "c/d", "c/e"}, false},
    OverlapCase{{"a/b", "a/c/d"}, false},
    OverlapCase{{"A", "a"}, false},          // callers fold case where the file system does
    OverlapCase{{}, false},
    OverlapCase{{"a", "a"}, true},
    OverlapCase{{"a/b", "a"}, true},          // a file where a folder must be
    OverlapCase{{"a", "a/b/c"}, true},
    OverlapCase{{"a/./b", "a//b"}, true},
    OverlapCase{{"a\\b", "a/b"}, true},
    OverlapCase{{"a.", "a"}, true},           // Windows drops trailing dots and blanks
    OverlapCase{{"dir /f", "dir/f"}, true}));

struct Unpacked {
    std::vector<int> results;
    std::vector<std::string> bytes;
};

class MemoryTarget : public ZipEntryTarget {
public:
    explicit MemoryTarget(size_t items, size_t limit = SIZE_MAX) : outputs(items), m_limit(limit) {}
    int OpenSink(size_t, std::unique_ptr<ZipSink>* sink) override
    {
        ++opened;
        sink->reset(new MemorySink(m_limit));
        return ZipOk;
    }
    int CloseSink(size_t item, std::unique_ptr<ZipSink> sink, int written) override
    {
        outputs[item] = static_cast<MemorySink&>(*sink).bytes();
        return written;
    }
    std::vector<std::string> outputs;
    std::atomic<int> opened{0};

private:
    size_t m_limit;
};

struct Archive {
    std::string bytes;
    std::unique_ptr<ZipArchive> archive;
    std::vector<ZipListedEntry> listed;
    int stop = ZipOk;
};

std::unique_ptr<Archive> Listed(const std::vector<EntryLayout>& entries, const ArchiveLayout& layout = ArchiveLayout())
{
    auto a = std::make_unique<Archive>();
    a->bytes = BuildZip(entries, layout);
    if (ZipArchive::Open(std::make_unique<MemorySource>(a->bytes.data(), a->bytes.size()), &a->archive) == ZipOk) {
        a->stop = ListEntries(*a->archive, &a->listed);
    }
    return a;
}

Unpacked Unpack(Archive& a, unsigned threads, bool sourcesOpen = true, size_t limit = SIZE_MAX)
{
    MemoryTarget target(a.listed.size(), limit);
    const ZipSourceOpener opener = [&]() -> std::unique_ptr<ZipSource> {
        if (!sourcesOpen) {
            return nullptr;
        }
        return std::make_unique<MemorySource>(a.bytes.data(), a.bytes.size());
    };
    Unpacked out;
    out.results = WriteEntries(a.listed, threads, a.archive->source(), opener, target);
    out.bytes = target.outputs;
    EXPECT_EQ(target.opened, static_cast<int>(a.listed.size())) << "every item opened exactly once";
    return out;
}

struct DriverCase {
    const char* what;
    std::vector<EntryLayout> entries;
    ArchiveLayout layout;
    size_t sinkLimit;
};

void PrintTo(const DriverCase& c, std::ostream* out) { *out << c.what; }

class ParallelDriverTest : public ::testing::TestWithParam<DriverCase> {};

TEST_P(ParallelDriverTest, ThreadsWriteWhatTheSequentialWalkWrites)
{
    const DriverCase& c = GetParam();
    auto a = Listed(c.entries, c.layout);
    ASSERT_TRUE(a->archive);
    ASSERT_FALSE(a->listed.empty());
    std::vector<int> expectedResults;
    std::vector<std::string> expectedBytes;
    for (const ZipListedEntry& entry : a->listed) {
        MemorySink sink(c.sinkLimit);
        expectedResults.push_back(a->archive->WriteEntry(entry.record.index, sink));
        expectedBytes.push_back(sink.bytes());
    }
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        const Unpacked out = Unpack(*a, threads, true, c.sinkLimit);
        EXPECT_EQ(out.results, expectedResults) << threads << " threads";
        EXPECT_TRUE(out.bytes == expectedBytes) << threads << " threads";
    }
}

std::vector<EntryLayout> ManySmall()
{
    std::vector<EntryLayout> entries;
    for (int n = 0; n < 200; ++n) {
        entries.push_back(Entry("d" + std::to_string(n % 5) + "/f" + std::to_string(n), SampleBytes(n * 13, n), n % 2 ? 0 : 8));
    }
    return entries;
}

EntryLayout WithCrc(EntryLayout e, uint32_t crc)
{
    e.crc = crc;
    e.localCrc = crc;
    return e;
}

EntryLayout Corrupt(EntryLayout e)
{
    e.storedBytes = std::string("\xff\xff\xff\xff\xff\xff", 6);
    return e;
}

ArchiveLayout WithPrefix()
{
    ArchiveLayout layout;
    layout.prefix = std::string(5000, 'S');
    return layout;
}

INSTANTIATE_TEST_SUITE_P(Table, ParallelDriverTest, ::testing::Values(
    DriverCase{"many small entries", ManySmall(), ArchiveLayout(), SIZE_MAX},
    DriverCase{"one huge entry among small ones",
               {Entry("a", "1"), Entry("huge", SampleBytes(6 << 20, 3)), Entry("b", "2")}, ArchiveLayout(), SIZE_MAX},
    DriverCase{"a CRC error and corrupt data in the middle",
               {Entry("a", SampleBytes(30000, 1)), WithCrc(Entry("b", SampleBytes(30000, 2)), 7),
                Corrupt(Entry("c", SampleBytes(30000, 3))), Entry("d", SampleBytes(30000, 4), 0)}, ArchiveLayout(), SIZE_MAX},
    DriverCase{"sinks that fill up", ManySmall(), ArchiveLayout(), 1000},
    DriverCase{"a stub in front", {Entry("a", SampleBytes(40000, 1)), Entry("b", SampleBytes(40000, 2), 0)}, WithPrefix(), SIZE_MAX}));

// An entry of 300,000 bytes in pieces of 64 KiB, then made to lie.
struct PiecesCase {
    const char* what;
    int flush;                              // how the pieces end
    uint32_t shiftCompressed, shiftInflated;   // added to the second piece's start
    bool crcLies, dataBroken;
};

void PrintTo(const PiecesCase& c, std::ostream* out) { *out << c.what; }

class PiecesTest : public ::testing::TestWithParam<PiecesCase> {};

TEST_P(PiecesTest, EndAsTheStreamDoesOnEveryThreadCount)
{
    const PiecesCase& c = GetParam();
    const std::string data = SampleBytes(300000, 5);
    std::vector<std::pair<uint32_t, uint32_t>> starts;
    EntryLayout pieced = Entry("p", data);
    pieced.storedBytes = zip_testing::DeflateInPieces(data, 65536, &starts, c.flush);
    starts[0].first += c.shiftCompressed;
    starts[0].second += c.shiftInflated;
    pieced.localExtra = zip_testing::PieceField(starts);
    if (c.crcLies) {
        pieced = WithCrc(pieced, 7);
    }
    if (c.dataBroken) {
        (*pieced.storedBytes)[starts[1].first + 10] ^= 0x55;
    }
    auto a = Listed({Entry("a", "1"), pieced, Entry("b", SampleBytes(70000, 2))});
    ASSERT_EQ(a->listed.size(), 3u);
    ASSERT_EQ(a->listed[1].data.pieces.size(), 5u) << "the table is sound, whatever the data";

    // What the zlib stream alone makes of the entry is the truth.
    MemorySource source(a->bytes.data(), a->bytes.size());
    MemorySink streamed;
    ZipThreadBuffers buffers;
    const int streamResult = StreamEntryData(&source, a->listed[1].data, streamed, buffers);
    if (!c.crcLies && !c.dataBroken) {
        ASSERT_EQ(streamResult, ZipOk);
        ASSERT_TRUE(streamed.bytes() == data);
    }
    for (unsigned threads : {1u, 2u, 3u}) {
        const Unpacked out = Unpack(*a, threads);
        EXPECT_EQ(out.results[1], streamResult) << threads << " threads";
        EXPECT_TRUE(out.bytes[1] == streamed.bytes()) << threads << " threads";
        EXPECT_EQ(out.results[2], ZipOk) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PiecesTest, ::testing::Values(
    PiecesCase{"full flushes", 3, 0, 0, false, false},
    PiecesCase{"sync flushes: later pieces refer back", 2, 0, 0, false, false},
    PiecesCase{"a compressed start that misses the flush", 3, 1, 0, false, false},
    PiecesCase{"an inflated start that lies", 3, 0, 100, false, false},
    PiecesCase{"the CRC lies", 3, 0, 0, true, false},
    PiecesCase{"broken data in a piece", 3, 0, 0, false, true}));

TEST(ParallelDriverTest, ThreadsWithoutASourceLeaveTheWorkToTheCaller)
{
    auto a = Listed(ManySmall());
    const Unpacked out = Unpack(*a, 4, false);
    for (size_t n = 0; n < a->listed.size(); ++n) {
        EXPECT_EQ(out.results[n], ZipOk);
        EXPECT_EQ(out.bytes[n].size(), a->listed[n].data.uncompressedSize);
    }
}

TEST(ListEntriesTest, StopsAtTheFirstEntryThatCannotBeLookedUp)
{
    EntryLayout broken = Entry("b", "2");
    broken.localSignatureBroken = true;
    auto a = Listed({Entry("a", "1"), broken, Entry("c", "3")});
    EXPECT_EQ(a->stop, ZipInconsistent);
    ASSERT_EQ(a->listed.size(), 1u);
    EXPECT_EQ(a->listed[0].record.name, "a");

    auto whole = Listed({Entry("a", "1"), Entry(std::string(70000 % 65536, 'n'), "2")});
    EXPECT_EQ(whole->stop, ZipBadArgument);   // the regular end: one past the last entry
    ASSERT_EQ(whole->listed.size(), 2u);
    EXPECT_EQ(whole->listed[1].record.name.size(), 70000u % 65536);   // names are read whole
}

TEST(DefaultThreadCountTest, OneToEightAndNeverMoreThanTheItems)
{
    EXPECT_EQ(DefaultThreadCount(0), 1u);
    EXPECT_EQ(DefaultThreadCount(1), 1u);
    EXPECT_GE(DefaultThreadCount(1000), 1u);
    EXPECT_LE(DefaultThreadCount(1000), kMaxExtractionThreads);
    EXPECT_LE(DefaultThreadCount(2), 2u);
}

}  // namespace
