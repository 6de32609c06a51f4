// The byte rules of the ZIP format: attributes, times, names, paths.
#include "launcher/zip/core/zip_format.h"
#include "tests/zip/zip_builder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using namespace zip;
using zip_testing::PieceField;
using zip_testing::UtField;

struct AttributeCase {
    uint32_t external;
    uint32_t attributes;
};

void PrintTo(const AttributeCase& c, std::ostream* out) { *out << std::hex << "0x" << c.external; }

class AttributesTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(AttributesTest, MapDosAndUnixBitsToWindowsAttributes)
{
    EXPECT_EQ(AttributesFromExternal(GetParam().external), GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(Table, AttributesTest, ::testing::Values(
    // DOS-made: the high half is empty, so every file is read-only.
    AttributeCase{0x00000020, 0x80 | 0x20 | 0x01},
    AttributeCase{0x00000021, 0x80 | 0x20 | 0x01},
    AttributeCase{0x00000000, 0x80 | 0x01},
    AttributeCase{0x00000010, 0x80 | 0x10 | 0x01},
    AttributeCase{0x00000006, 0x80 | 0x04 | 0x02 | 0x01},
    // Unix-made: -rw-r--r-- is writable; drwxr-xr-x is a folder.
    AttributeCase{0x81A40000, 0x80},
    AttributeCase{0x81240000, 0x80 | 0x01},
    AttributeCase{0x41ED0010, 0x80 | 0x10},
    AttributeCase{0x41ED0000, 0x80 | 0x10},
    // The DOS read-only bit wins over a writable Unix mode.
    AttributeCase{0x81A40001, 0x80 | 0x01}));

constexpr uint64_t kTicks = 10000000;
constexpr uint64_t kUnixEpoch = 116444736000000000ull;

uint32_t Dos(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute, unsigned second)
{
    return (uint32_t((year - 1980) << 9 | month << 5 | day) << 16) | (hour << 11 | minute << 5 | second / 2);
}

TEST(DosTimeTest, CountsFrom1601WithoutTimeZone)
{
    EXPECT_EQ(FileTimeFromDos(Dos(1980, 1, 1, 0, 0, 0)), kUnixEpoch + 315532800ull * kTicks);
    EXPECT_EQ(FileTimeFromDos(Dos(2009, 6, 15, 12, 30, 20)), kUnixEpoch + 1245069020ull * kTicks);
    EXPECT_EQ(FileTimeFromDos(Dos(2000, 2, 29, 23, 59, 58)), kUnixEpoch + 951868798ull * kTicks);
    EXPECT_EQ(FileTimeFromDos(Dos(2107, 12, 31, 0, 0, 0)), kUnixEpoch + 4354732800ull * kTicks);
}

TEST(DosTimeTest, InvalidFieldsGiveNoTime)
{
    EXPECT_EQ(FileTimeFromDos(0), 0u);                            // month 0, day 0
    EXPECT_EQ(FileTimeFromDos(Dos(2001, 2, 29, 0, 0, 0)), 0u);    // not a leap year
    EXPECT_EQ(FileTimeFromDos(Dos(2001, 13, 1, 0, 0, 0)), 0u);
    EXPECT_EQ(FileTimeFromDos(Dos(2001, 1, 1, 24, 0, 0)), 0u);
    EXPECT_EQ(FileTimeFromDos(Dos(2001, 1, 1, 0, 60, 0)), 0u);
    EXPECT_EQ(FileTimeFromDos(Dos(2001, 1, 1, 0, 0, 60)), 0u);
}

TEST(UnixTimeTest, NegativeTimesGiveNoTime)
{
    EXPECT_EQ(FileTimeFromUnix(0), kUnixEpoch);
    EXPECT_EQ(FileTimeFromUnix(1), kUnixEpoch + kTicks);
    EXPECT_EQ(FileTimeFromUnix(-1), 0u);
}

struct TimesCase {
    const char* what;
    std::string extra;
    uint64_t lastWrite, lastAccess, creation;  // 0 here: the DOS time
};

void PrintTo(const TimesCase& c, std::ostream* out) { *out << c.what; }

class ExtraTimesTest : public ::testing::TestWithParam<TimesCase> {};

TEST_P(ExtraTimesTest, TakesUnixTimesOnlyWhereTheFieldHoldsThem)
{
    const TimesCase& c = GetParam();
    const uint64_t dos = FileTimeFromDos(zip_testing::kSampleDosDateTime);
    const EntryTimes times = TimesFromExtra(zip_testing::kSampleDosDateTime,
                                            reinterpret_cast<const unsigned char*>(c.extra.data()), c.extra.size());
    EXPECT_EQ(times.lastWrite, c.lastWrite ? c.lastWrite : dos) << c.what;
    EXPECT_EQ(times.lastAccess, c.lastAccess ? c.lastAccess : dos) << c.what;
    EXPECT_EQ(times.creation, c.creation ? c.creation : dos) << c.what;
}

const uint64_t kT1 = kUnixEpoch + 1000000000ull * kTicks;
const uint64_t kT2 = kUnixEpoch + 1100000000ull * kTicks;
const uint64_t kT3 = kUnixEpoch + 1200000000ull * kTicks;

INSTANTIATE_TEST_SUITE_P(Table, ExtraTimesTest, ::testing::Values(
    TimesCase{"no extra field", "", 0, 0, 0},
    TimesCase{"write and access", UtField(3, {1000000000, 1100000000}), kT1, kT2, 0},
    TimesCase{"all three", UtField(7, {1000000000, 1100000000, 1200000000}), kT1, kT2, kT3},
    TimesCase{"write only", UtField(1, {1000000000}), kT1, 0, 0},
    TimesCase{"access only", UtField(2, {1100000000}), 0, kT2, 0},
    TimesCase{"after another field", std::string("\x75\x78\x03\x00\x01\x02\x03", 7) + UtField(1, {1000000000}), kT1, 0, 0},
    TimesCase{"announces more than its size", UtField(3, {1000000000}), 0, 0, 0},
    TimesCase{"size beyond the extra field", UtField(3, {1000000000, 1100000000}).substr(0, 9), 0, 0, 0},
    TimesCase{"declared size too small", UtField(3, {1000000000, 1100000000}, 5), 0, 0, 0},
    TimesCase{"negative write time", UtField(3, {-5, 1100000000}), 0, kT2, 0},
    TimesCase{"flags only", UtField(0, {}), 0, 0, 0},
    TimesCase{"truncated header", std::string("UT\x05", 3), 0, 0, 0}));

struct PieceTableCase {
    const char* what;
    std::string extra;
    size_t pieces;   // 0: no table, the entry is one stream
    uint32_t inflatedSize = 3000;
};

void PrintTo(const PieceTableCase& c, std::ostream* out) { *out << c.what; }

class PieceTableTest : public ::testing::TestWithParam<PieceTableCase> {};

// Every table is read for an entry of 1000 compressed bytes.
TEST_P(PieceTableTest, TakesOnlyTablesThatStayWithinTheEntry)
{
    const PieceTableCase& c = GetParam();
    const std::vector<EntryPiece> pieces = PiecesFromExtra(
        reinterpret_cast<const unsigned char*>(c.extra.data()), c.extra.size(), 1000, c.inflatedSize);
    ASSERT_EQ(pieces.size(), c.pieces);
    uint64_t compressed = 0, inflated = 0;
    for (const EntryPiece& piece : pieces) {
        EXPECT_EQ(piece.compressedOffset, compressed);
        EXPECT_EQ(piece.uncompressedOffset, inflated);
        compressed += piece.compressedSize;
        inflated += piece.uncompressedSize;
    }
    if (!pieces.empty()) {
        EXPECT_EQ(compressed, 1000u);
        EXPECT_EQ(inflated, c.inflatedSize);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PieceTableTest, ::testing::Values(
    PieceTableCase{"two pieces", PieceField({{400, 1000}}), 2},
    PieceTableCase{"three, after a time field", UtField(1, {1000000000}) + PieceField({{400, 1000}, {700, 2000}}), 3},
    PieceTableCase{"no table", UtField(1, {1000000000}), 0},
    PieceTableCase{"empty table", PieceField({}), 0},
    PieceTableCase{"compressed offsets fall", PieceField({{700, 1000}, {400, 2000}}), 0},
    PieceTableCase{"an empty piece", PieceField({{400, 1000}, {400, 2000}}), 0},
    PieceTableCase{"compressed start beyond the entry", PieceField({{1000, 1000}}), 0},
    PieceTableCase{"inflated start beyond the entry", PieceField({{400, 3000}}), 0},
    PieceTableCase{"pieces at the bound", PieceField({{400, kMaxPieceBytes}}), 2, 2 * kMaxPieceBytes},
    PieceTableCase{"a piece over the bound", PieceField({{400, kMaxPieceBytes}}), 0, 2 * kMaxPieceBytes + 1},
    PieceTableCase{"size not a multiple of eight", PieceField({{400, 1000}}).substr(0, 2) +
                       std::string("\x07\x00", 2) + PieceField({{400, 1000}}).substr(4, 7), 0},
    PieceTableCase{"table cut short by the extra field's end", PieceField({{400, 1000}}).substr(0, 10), 0},
    PieceTableCase{"only the first table counts", PieceField({{400, 1000}}) + PieceField({{700, 2000}}), 2}));

struct NameCase {
    const char* name;
    bool safe;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << '"' << c.name << '"'; }

class SafeNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafeNameTest, RefusesNamesThatLeaveTheFolder)
{
    EXPECT_EQ(IsSafeEntryName(GetParam().name), GetParam().safe) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Table, SafeNameTest, ::testing::Values(
    NameCase{"bin/javaw.exe", true},
    NameCase{"bin/", true},
    NameCase{"./bin/x", true},
    NameCase{"a..b/c..", true},
    NameCase{"...", true},
    NameCase{"", false},
    NameCase{"../x", false},
    NameCase{"a/../../x", false},
    NameCase{"a\\..\\x", false},
    NameCase{"a/..", false},
    NameCase{"..", false},
    NameCase{"/etc/x", false},
    NameCase{"\\x", false},
    NameCase{"C:x", false},
    NameCase{"C:\\x", false},
    NameCase{"a/b:c", false}));

TEST(SafeNameTest, RefusesAnEmbeddedNul)
{
    EXPECT_FALSE(IsSafeEntryName(std::string("a\0/../../x", 10)));
}

TEST(PathRulesTest, SplitAndClassifyInEitherCharacterWidth)
{
    EXPECT_EQ(LastSeparator(std::string("a/b\\c")), 3u);
    EXPECT_EQ(LastSeparator(std::wstring(L"a/b\\c")), 3u);
    EXPECT_EQ(LastSeparator(std::string("abc")), std::string::npos);
    EXPECT_TRUE(IsRelativePath(std::wstring(L"a\\b")));
    EXPECT_FALSE(IsRelativePath(std::wstring(L"\\a")));
    EXPECT_FALSE(IsRelativePath(std::wstring(L"C:a")));
    EXPECT_TRUE(HasParentStep(std::wstring(L"a\\..")));
    EXPECT_FALSE(HasParentStep(std::wstring(L"a\\..b")));
}

TEST(EndSignatureTest, FindsTheHitNearestTheEnd)
{
    const unsigned char block[] = {'P', 'K', 5, 6, 'x', 'P', 'K', 5, 6, 'y', 'y'};
    EXPECT_EQ(FindEndSignature(block, sizeof block), 5);
    EXPECT_EQ(FindEndSignature(block, 4), 0);
    EXPECT_EQ(FindEndSignature(block, 3), -1);
    EXPECT_EQ(FindEndSignature(block + 1, 7), -1);
}

}  // namespace
