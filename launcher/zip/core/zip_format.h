#pragma once
// The ZIP structures as plain byte rules: record layouts, the end-record
// search, attribute and time mapping, and which names are safe to write.
// Nothing here reads a file or calls the system.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zip {

constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kEndSearchBlockSize = 1028;   // consecutive blocks overlap by 4 bytes
constexpr uint64_t kEndSearchLimit = 65535;    // the longest comment an end record can carry
constexpr size_t kMaxNameBytes = 258;          // a name and its terminator fit 259 characters
constexpr size_t kMaxPathChars = 259;          // MAX_PATH without the terminator

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// Windows file-attribute bits, as the reader hands them out.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeHidden = 0x02;
constexpr uint32_t kAttributeSystem = 0x04;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;

inline uint16_t ReadLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct EndRecord {
    uint16_t thisDisk = 0;
    uint16_t centralDirectoryDisk = 0;
    uint16_t entriesOnThisDisk = 0;
    uint16_t totalEntries = 0;
    uint32_t centralDirectorySize = 0;
    uint32_t centralDirectoryOffset = 0;
    uint16_t commentLength = 0;
};

struct CentralHeader {
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosDateTime = 0;   // date in the high half
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint16_t diskNumberStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
};

struct LocalHeader {
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosDateTime = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
};

// Offset of the end-record signature nearest the block's end, or -1. Only
// hits with at least four bytes in the block count.
long FindEndSignature(const unsigned char* block, size_t size);

// Parse records whose fixed part (signature included) is at `bytes`; false
// when the signature is not the record's.
bool ParseEndRecord(const unsigned char* bytes, EndRecord* record);
bool ParseCentralHeader(const unsigned char* bytes, CentralHeader* header);
bool ParseLocalHeader(const unsigned char* bytes, LocalHeader* header);
bool IsZip64Locator(const unsigned char* bytes);

// The bytes a central header takes with its name, extra field and comment:
// where the next one begins.
inline uint64_t CentralRecordSize(const CentralHeader& header)
{
    return kCentralHeaderSize + header.nameLength + header.extraLength + header.commentLength;
}

// ZipOk when the local header agrees with the central one: same method,
// which is stored or deflated, same name length, and the same CRC and sizes
// unless those follow the data in a descriptor. ZipUnsupported when the
// local sizes are left to a Zip64 field; otherwise ZipBadArchive.
int CompareLocalHeader(const CentralHeader& central, const LocalHeader& local);

// Sizes or offset that only a Zip64 extra field could give.
bool NeedsZip64(const CentralHeader& header);

// Windows attributes from the external attributes, whatever host made them:
// DOS bits in the low half, Unix mode bits in the high half.
uint32_t AttributesFromExternal(uint32_t external);

// Times as FILETIME ticks (100 ns since 1601-01-01, no time-zone shift);
// 0 means "no time", which leaves a file's time as the system set it.
uint64_t FileTimeFromDos(uint32_t dosDateTime);
uint64_t FileTimeFromUnix(int64_t seconds);

struct EntryTimes {
    uint64_t lastWrite = 0;
    uint64_t lastAccess = 0;
    uint64_t creation = 0;
};

// The DOS time for all three, then the Unix times of an extended-timestamp
// ("UT") field in the local extra field where it has them. A field that
// announces more times than it holds, and negative times, are ignored.
EntryTimes TimesFromExtra(uint32_t dosDateTime, const unsigned char* extra, size_t size);

// A deflated entry may carry, in its local extra field, a table of pieces
// that inflate independently: the deflate stream was cut by full flushes, so
// no piece refers back into another and each starts on a byte boundary.
// Field kPieceTableTag holds, for every piece after the first (which starts
// at 0), its compressed and its uncompressed offset in the entry, 32 bits
// each, little-endian. Other readers skip the field and read one stream.
constexpr uint16_t kPieceTableTag = 0x7770;
// The most a piece may hold, compressed or inflated: what one thread's
// buffers can come to.
constexpr uint32_t kMaxPieceBytes = uint32_t(4) << 20;

struct EntryPiece {
    uint32_t compressedOffset = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedOffset = 0;
    uint32_t uncompressedSize = 0;
};

// The pieces of an entry of these sizes: every piece, in order, when the
// field is there and sound (two pieces or more, both offsets rising from 0,
// every piece within the entry, not empty and within kMaxPieceBytes either
// way); otherwise none, and the entry is one stream. Only the first field of
// the tag counts.
std::vector<EntryPiece> PiecesFromExtra(const unsigned char* extra, size_t size, uint32_t compressedSize,
                                        uint32_t uncompressedSize);

// False for names that would not land inside the target folder as a file
// or folder below it: empty, holding NUL or ":", absolute ("/x", "\x"), with
// a drive ("C:x"), or with a ".." component.
bool IsSafeEntryName(const std::string& name);

// Path rules shared by the 8-bit core and the UTF-16 edge.
template <typename Char>
bool IsSeparator(Char c)
{
    return c == Char('/') || c == Char('\\');
}

// Position of the last "/" or "\", or npos.
template <typename Char>
size_t LastSeparator(const std::basic_string<Char>& path)
{
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return i - 1;
        }
    }
    return std::basic_string<Char>::npos;
}

// Relative: does not start with a separator and names no drive.
template <typename Char>
bool IsRelativePath(const std::basic_string<Char>& path)
{
    if (!path.empty() && IsSeparator(path[0])) {
        return false;
    }
    return !(path.size() >= 2 && path[1] == Char(':'));
}

// True when one of the path's components is "..".
template <typename Char>
bool HasParentStep(const std::basic_string<Char>& path)
{
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (i - start == 2 && path[start] == Char('.') && path[start + 1] == Char('.')) {
                return true;
            }
            start = i + 1;
        }
    }
    return false;
}

}  // namespace zip
