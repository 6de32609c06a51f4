#include "launcher/zip/core/zip_format.h"

#include "launcher/zip/core/zip_codes.h"

namespace zip {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

unsigned DaysInMonth(unsigned year, unsigned month)
{
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) {
        return 29;
    }
    return kDays[month - 1];
}

}  // namespace

const char* ZipResultName(int result)
{
    switch (result) {
    case ZipOk: return "ZipOk";
    case ZipCannotOpen: return "ZipCannotOpen";
    case ZipWriteFailed: return "ZipWriteFailed";
    case ZipInconsistent: return "ZipInconsistent";
    case ZipReadFailed: return "ZipReadFailed";
    case ZipNameTooLong: return "ZipNameTooLong";
    case ZipPathTooLong: return "ZipPathTooLong";
    case ZipUnsafeName: return "ZipUnsafeName";
    case ZipBadArgument: return "ZipBadArgument";
    case ZipIoError: return "ZipIoError";
    case ZipEndOfList: return "ZipEndOfList";
    case ZipBadHandle: return "ZipBadHandle";
    case ZipBadArchive: return "ZipBadArchive";
    case ZipOutOfMemory: return "ZipOutOfMemory";
    case ZipCrcMismatch: return "ZipCrcMismatch";
    case ZipUnsupported: return "ZipUnsupported";
    default: return "unknown";
    }
}

long FindEndSignature(const unsigned char* block, size_t size)
{
    if (size < 4) {
        return -1;
    }
    for (size_t i = size - 4 + 1; i > 0; --i) {
        if (ReadLe32(block + i - 1) == kEndSignature) {
            return static_cast<long>(i - 1);
        }
    }
    return -1;
}

bool ParseEndRecord(const unsigned char* p, EndRecord* record)
{
    if (ReadLe32(p) != kEndSignature) {
        return false;
    }
    record->thisDisk = ReadLe16(p + 4);
    record->centralDirectoryDisk = ReadLe16(p + 6);
    record->entriesOnThisDisk = ReadLe16(p + 8);
    record->totalEntries = ReadLe16(p + 10);
    record->centralDirectorySize = ReadLe32(p + 12);
    record->centralDirectoryOffset = ReadLe32(p + 16);
    record->commentLength = ReadLe16(p + 20);
    return true;
}

bool ParseCentralHeader(const unsigned char* p, CentralHeader* header)
{
    if (ReadLe32(p) != kCentralSignature) {
        return false;
    }
    header->versionMadeBy = ReadLe16(p + 4);
    header->versionNeeded = ReadLe16(p + 6);
    header->flags = ReadLe16(p + 8);
    header->method = ReadLe16(p + 10);
    header->dosDateTime = ReadLe32(p + 12);
    header->crc32 = ReadLe32(p + 16);
    header->compressedSize = ReadLe32(p + 20);
    header->uncompressedSize = ReadLe32(p + 24);
    header->nameLength = ReadLe16(p + 28);
    header->extraLength = ReadLe16(p + 30);
    header->commentLength = ReadLe16(p + 32);
    header->diskNumberStart = ReadLe16(p + 34);
    header->internalAttributes = ReadLe16(p + 36);
    header->externalAttributes = ReadLe32(p + 38);
    header->localHeaderOffset = ReadLe32(p + 42);
    return true;
}

bool ParseLocalHeader(const unsigned char* p, LocalHeader* header)
{
    if (ReadLe32(p) != kLocalSignature) {
        return false;
    }
    header->versionNeeded = ReadLe16(p + 4);
    header->flags = ReadLe16(p + 6);
    header->method = ReadLe16(p + 8);
    header->dosDateTime = ReadLe32(p + 10);
    header->crc32 = ReadLe32(p + 14);
    header->compressedSize = ReadLe32(p + 18);
    header->uncompressedSize = ReadLe32(p + 22);
    header->nameLength = ReadLe16(p + 26);
    header->extraLength = ReadLe16(p + 28);
    return true;
}

bool IsZip64Locator(const unsigned char* bytes)
{
    return ReadLe32(bytes) == kZip64LocatorSignature;
}

int CompareLocalHeader(const CentralHeader& central, const LocalHeader& local)
{
    if (local.method != central.method ||
        (central.method != kMethodStored && central.method != kMethodDeflated)) {
        return ZipBadArchive;
    }
    if (!(local.flags & kFlagDataDescriptor) &&
        (local.compressedSize == 0xFFFFFFFF || local.uncompressedSize == 0xFFFFFFFF)) {
        return ZipUnsupported;
    }
    if (!(local.flags & kFlagDataDescriptor) &&
        (local.crc32 != central.crc32 || local.compressedSize != central.compressedSize ||
         local.uncompressedSize != central.uncompressedSize)) {
        return ZipBadArchive;
    }
    if (local.nameLength != central.nameLength) {
        return ZipBadArchive;
    }
    return ZipOk;
}

bool NeedsZip64(const CentralHeader& header)
{
    return header.compressedSize == 0xFFFFFFFF || header.uncompressedSize == 0xFFFFFFFF ||
           header.localHeaderOffset == 0xFFFFFFFF;
}

uint32_t AttributesFromExternal(uint32_t external)
{
    uint32_t attributes = kAttributeNormal;
    if (external & (0x40000000 | kAttributeDirectory)) {
        attributes |= kAttributeDirectory;
    }
    if (external & kAttributeArchive) {
        attributes |= kAttributeArchive;
    }
    if (external & kAttributeHidden) {
        attributes |= kAttributeHidden;
    }
    if (!(external & 0x00800000) || (external & kAttributeReadOnly)) {
        attributes |= kAttributeReadOnly;
    }
    if (external & kAttributeSystem) {
        attributes |= kAttributeSystem;
    }
    return attributes;
}

uint64_t FileTimeFromDos(uint32_t dosDateTime)
{
    const unsigned date = dosDateTime >> 16;
    const unsigned time = dosDateTime & 0xFFFF;
    const unsigned year = 1980 + (date >> 9);
    const unsigned month = (date >> 5) & 0x0F;
    const unsigned day = date & 0x1F;
    const unsigned hour = time >> 11;
    const unsigned minute = (time >> 5) & 0x3F;
    const unsigned second = (time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return 0;
    }
    const int64_t seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * kTicksPerSecond;
}

uint64_t FileTimeFromUnix(int64_t seconds)
{
    if (seconds < 0) {
        return 0;
    }
    return static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * kTicksPerSecond;
}

EntryTimes TimesFromExtra(uint32_t dosDateTime, const unsigned char* extra, size_t size)
{
    EntryTimes times;
    times.lastWrite = times.lastAccess = times.creation = FileTimeFromDos(dosDateTime);

    size_t p = 0;
    while (p + 4 < size) {
        const size_t fieldSize = ReadLe16(extra + p + 2);
        if (extra[p] != 'U' || extra[p + 1] != 'T') {
            p += 4 + fieldSize;
            continue;
        }
        // The field's own size and the extra field's end both bound it.
        const size_t available = size - (p + 4) < fieldSize ? size - (p + 4) : fieldSize;
        if (available < 1) {
            break;
        }
        const unsigned flags = extra[p + 4];
        const unsigned announced = (flags & 1) + ((flags >> 1) & 1) + ((flags >> 2) & 1);
        if (1 + 4 * announced > available) {
            break;
        }
        const unsigned char* value = extra + p + 5;
        uint64_t* const slots[] = {&times.lastWrite, &times.lastAccess, &times.creation};
        for (unsigned bit = 0; bit < 3; ++bit) {
            if (!(flags & (1u << bit))) {
                continue;
            }
            const int32_t seconds = static_cast<int32_t>(ReadLe32(value));
            value += 4;
            if (seconds >= 0) {
                *slots[bit] = FileTimeFromUnix(seconds);
            }
        }
        break;
    }
    return times;
}

std::vector<EntryPiece> PiecesFromExtra(const unsigned char* extra, size_t size, uint32_t compressedSize,
                                        uint32_t uncompressedSize)
{
    size_t p = 0;
    while (p + 4 <= size && ReadLe16(extra + p) != kPieceTableTag) {
        p += 4 + ReadLe16(extra + p + 2);
    }
    if (p + 4 > size) {
        return {};
    }
    const size_t fieldSize = ReadLe16(extra + p + 2);
    if (fieldSize == 0 || fieldSize % 8 != 0 || fieldSize > size - (p + 4)) {
        return {};
    }
    std::vector<EntryPiece> pieces(fieldSize / 8 + 1);
    const unsigned char* offsets = extra + p + 4;
    for (size_t i = 1; i <= pieces.size(); ++i) {
        const uint64_t compressedEnd = i < pieces.size() ? ReadLe32(offsets + 8 * (i - 1)) : compressedSize;
        const uint64_t uncompressedEnd = i < pieces.size() ? ReadLe32(offsets + 8 * (i - 1) + 4) : uncompressedSize;
        EntryPiece& piece = pieces[i - 1];
        if (compressedEnd <= piece.compressedOffset || compressedEnd - piece.compressedOffset > kMaxPieceBytes ||
            uncompressedEnd <= piece.uncompressedOffset ||
            uncompressedEnd - piece.uncompressedOffset > kMaxPieceBytes || compressedEnd > compressedSize ||
            uncompressedEnd > uncompressedSize) {
            return {};
        }
        piece.compressedSize = static_cast<uint32_t>(compressedEnd - piece.compressedOffset);
        piece.uncompressedSize = static_cast<uint32_t>(uncompressedEnd - piece.uncompressedOffset);
        if (i < pieces.size()) {
            pieces[i].compressedOffset = static_cast<uint32_t>(compressedEnd);
            pieces[i].uncompressedOffset = static_cast<uint32_t>(uncompressedEnd);
        }
    }
    return pieces;
}

bool IsSafeEntryName(const std::string& name)
{
    if (name.empty() || name.find('\0') != std::string::npos || name.find(':') != std::string::npos) {
        return false;
    }
    return IsRelativePath(name) && !HasParentStep(name);
}

}  // namespace zip
