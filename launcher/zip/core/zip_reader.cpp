#include "launcher/zip/core/zip_reader.h"

#include "launcher/zip/core/zip_codes.h"

#include <algorithm>
#include <cstring>

namespace zip {

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;

int ZipReader::ReadAbsolute(uint64_t position, void* buffer, size_t size)
{
    size_t read = 0;
    if (!m_source->Seek(position) || !m_source->Read(buffer, size, &read) || read != size) {
        return ZipIoError;
    }
    return ZipOk;
}

int ZipReader::ReadAt(uint64_t offset, void* buffer, size_t size)
{
    if (m_source == nullptr) {
        return ZipBadHandle;
    }
    return ReadAbsolute(offset + m_prefixLength, buffer, size);
}

int ZipReader::FindEndRecord(uint64_t* position)
{
    uint64_t sourceSize = 0;
    if (!m_source->Size(&sourceSize)) {
        return ZipIoError;
    }
    const uint64_t searchLimit = std::min(kEndSearchLimit, sourceSize);
    unsigned char block[kEndSearchBlockSize];
    uint64_t back = 4;
    while (back < searchLimit) {
        back = std::min<uint64_t>(back + kEndSearchBlockSize - 4, searchLimit);
        const size_t blockSize = static_cast<size_t>(std::min<uint64_t>(kEndSearchBlockSize, back));
        const uint64_t blockStart = sourceSize - back;
        if (ReadAbsolute(blockStart, block, blockSize) != ZipOk) {
            return ZipIoError;
        }
        const long hit = FindEndSignature(block, blockSize);
        if (hit >= 0) {
            *position = blockStart + static_cast<uint64_t>(hit);
            // A record at the very start cannot follow any central directory.
            return *position == 0 ? ZipIoError : ZipOk;
        }
    }
    return ZipIoError;
}

int ZipReader::Open(ZipSource* source)
{
    m_source = source;
    m_entryCount = 0;
    m_prefixLength = 0;
    m_currentResult = ZipEndOfList;

    uint64_t endPosition = 0;
    int result = FindEndRecord(&endPosition);
    unsigned char bytes[kEndRecordSize];
    if (result == ZipOk) {
        result = ReadAbsolute(endPosition, bytes, sizeof bytes);
    }
    if (result == ZipOk && !ParseEndRecord(bytes, &m_end)) {
        result = ZipBadArchive;
    }
    if (result == ZipOk && endPosition >= kZip64LocatorSize) {
        // Zip64 archives keep their real counts and offsets elsewhere; read
        // through this record they would be misplaced.
        unsigned char locator[kZip64LocatorSize];
        if (ReadAbsolute(endPosition - kZip64LocatorSize, locator, sizeof locator) == ZipOk &&
            IsZip64Locator(locator)) {
            result = ZipUnsupported;
        }
    }
    if (result == ZipOk && (m_end.centralDirectoryOffset == 0xFFFFFFFF || m_end.centralDirectorySize == 0xFFFFFFFF)) {
        result = ZipUnsupported;
    }
    if (result == ZipOk && (m_end.thisDisk != 0 || m_end.centralDirectoryDisk != 0)) {
        result = ZipBadArchive;
    }
    const uint64_t centralEnd = uint64_t(m_end.centralDirectoryOffset) + m_end.centralDirectorySize;
    if (result == ZipOk && endPosition < centralEnd) {
        result = ZipBadArchive;
    }
    if (result == ZipOk) {
        m_prefixLength = endPosition - centralEnd;
        result = CheckDirectory();
    }
    if (result != ZipOk) {
        m_source = nullptr;
        m_prefixLength = 0;
        return result;
    }
    m_entryCount = m_end.totalEntries;
    GoToFirstEntry();
    return ZipOk;
}

int ZipReader::CheckDirectory()
{
    // One disk: both counts, this disk's and the total, are its headers.
    if (m_end.entriesOnThisDisk != m_end.totalEntries) {
        return ZipBadArchive;
    }
    const uint64_t end = uint64_t(m_end.centralDirectoryOffset) + m_end.centralDirectorySize;
    uint64_t position = m_end.centralDirectoryOffset;
    for (int number = 0; number < m_end.totalEntries; ++number) {
        if (position + kCentralHeaderSize > end) {
            return ZipBadArchive;
        }
        unsigned char bytes[kCentralHeaderSize];
        const int result = ReadAt(position, bytes, sizeof bytes);
        if (result != ZipOk) {
            return result;
        }
        CentralHeader header;
        if (!ParseCentralHeader(bytes, &header)) {
            return ZipBadArchive;
        }
        // A record that runs past the end fails the next header's bound or the
        // final comparison.
        position += CentralRecordSize(header);
    }
    return position == end ? ZipOk : ZipBadArchive;
}

int ZipReader::ReadCurrentHeader()
{
    unsigned char bytes[kCentralHeaderSize];
    int result = ReadAt(m_currentPosition, bytes, sizeof bytes);
    if (result == ZipOk && !ParseCentralHeader(bytes, &m_current)) {
        result = ZipBadArchive;
    }
    m_currentResult = result;
    return result;
}

int ZipReader::GoToFirstEntry()
{
    if (m_source == nullptr) {
        return ZipBadHandle;
    }
    m_currentNumber = 0;
    m_currentPosition = m_end.centralDirectoryOffset;
    return ReadCurrentHeader();
}

int ZipReader::GoToNextEntry()
{
    if (m_source == nullptr) {
        return ZipBadHandle;
    }
    if (!currentValid() || m_currentNumber + 1 >= m_entryCount) {
        return ZipEndOfList;
    }
    m_currentPosition += CentralRecordSize(m_current);
    ++m_currentNumber;
    return ReadCurrentHeader();
}

int ZipReader::GoToEntry(int number)
{
    if (m_source == nullptr) {
        return ZipBadHandle;
    }
    if (number < 0 || number >= m_entryCount) {
        return ZipEndOfList;
    }
    if (number < m_currentNumber) {
        GoToFirstEntry();
    }
    while (m_currentNumber < number) {
        // A header that cannot be read stops the cursor for good.
        if (GoToNextEntry() == ZipEndOfList) {
            return ZipEndOfList;
        }
    }
    return m_currentResult;
}

int ZipReader::ReadCurrentName(std::string* name)
{
    if (!currentValid()) {
        return ZipEndOfList;
    }
    name->assign(m_current.nameLength, '\0');
    if (m_current.nameLength == 0) {
        return ZipOk;
    }
    return ReadAt(m_currentPosition + kCentralHeaderSize, &(*name)[0], m_current.nameLength);
}

int ZipReader::CheckLocalHeader(LocalLayout* layout)
{
    if (!currentValid()) {
        return ZipEndOfList;
    }
    unsigned char bytes[kLocalHeaderSize];
    const int result = ReadAt(m_current.localHeaderOffset, bytes, sizeof bytes);
    if (result != ZipOk) {
        return result;
    }
    LocalHeader local;
    if (!ParseLocalHeader(bytes, &local)) {
        return ZipBadArchive;
    }
    const int comparison = CompareLocalHeader(m_current, local);
    if (comparison != ZipOk) {
        return comparison;
    }
    layout->extraPosition = uint64_t(m_current.localHeaderOffset) + kLocalHeaderSize + local.nameLength;
    layout->extraLength = local.extraLength;
    layout->dataPosition = layout->extraPosition + local.extraLength;
    return ZipOk;
}

ZipEntryData ZipReader::CurrentEntryData(const LocalLayout& layout) const
{
    ZipEntryData data;
    data.method = m_current.method;
    data.crc32 = m_current.crc32;
    data.compressedSize = m_current.compressedSize;
    data.uncompressedSize = m_current.uncompressedSize;
    data.position = layout.dataPosition + m_prefixLength;
    return data;
}

}  // namespace zip
