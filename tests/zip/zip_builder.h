#pragma once
// Builds ZIP archives byte by byte for tests, including the damaged and
// hostile ones no zip tool would write: every field can be made to lie.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zip_testing {

// 2009-06-15 12:30:20, a valid DOS date and time.
constexpr uint32_t kSampleDosDateTime = (uint32_t((2009 - 1980) << 9 | 6 << 5 | 15) << 16) | (12 << 11 | 30 << 5 | 10);

struct EntryLayout {
    std::string name;
    std::string data;
    uint16_t method = 8;
    uint16_t flags = 0;
    uint16_t versionMadeBy = 20;           // DOS host
    uint32_t dosDateTime = kSampleDosDateTime;
    uint32_t externalAttributes = 0x20;    // archive bit, as DOS tools write
    std::string localExtra;
    std::string centralExtra;
    std::string comment;

    // Lies and damage; unset means "as the data says".
    std::optional<std::string> storedBytes;        // the bytes after the local header
    std::optional<uint32_t> crc;
    std::optional<uint32_t> compressedSize;
    std::optional<uint32_t> uncompressedSize;
    std::optional<uint32_t> localCrc;
    std::optional<uint32_t> localCompressedSize;
    std::optional<uint16_t> localMethod;
    std::optional<std::string> localName;
    std::optional<uint32_t> localHeaderOffset;
    bool localSignatureBroken = false;
};

struct ArchiveLayout {
    std::string prefix;                 // bytes in front of the archive
    std::string comment;
    bool zip64Locator = false;
    std::optional<uint16_t> entriesOnThisDisk;
    std::optional<uint16_t> totalEntries;
    std::optional<uint32_t> centralDirectorySize;
    std::optional<uint32_t> centralDirectoryOffset;
    uint16_t thisDisk = 0;
    bool centralSignatureBroken = false;   // of the last entry
    std::string afterDirectory;            // between the directory and the end record, counted in its size
};

// An entry of `data` under `name`, deflated unless `method` says otherwise.
EntryLayout Entry(const std::string& name, const std::string& data, uint16_t method = 8);

std::string BuildZip(const std::vector<EntryLayout>& entries, const ArchiveLayout& archive = ArchiveLayout());

std::string RawDeflate(const std::string& data);

// `data` deflated in pieces of `pieceBytes`, each but the last ending on a
// full flush (`flush` Z_SYNC_FLUSH instead lets later pieces refer back);
// *starts gets the compressed and uncompressed start of every piece after
// the first.
std::string DeflateInPieces(const std::string& data, size_t pieceBytes,
                            std::vector<std::pair<uint32_t, uint32_t>>* starts, int flush = 3 /* Z_FULL_FLUSH */);
// The private piece-table extra field for those starts.
std::string PieceField(const std::vector<std::pair<uint32_t, uint32_t>>& starts);
uint32_t Crc32(const std::string& data);

// An extended-timestamp ("UT") extra field with the given flags and times;
// `declaredSize` overrides the size the field announces.
std::string UtField(uint8_t flags, const std::vector<int32_t>& times, std::optional<uint16_t> declaredSize = {});

// Bytes that are the same on every run but compress poorly or well.
std::string SampleBytes(size_t size, unsigned seed = 1);

}  // namespace zip_testing
