#include "launcher/zip/core/zip_reader.h"

#include "launcher/zip/core/zip_codes.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace zip {

struct ZipReader::EntryStream {
    unsigned char input[kEntryBufferSize];
    z_stream inflater{};
    bool inflaterReady = false;
    bool streamEnded = false;
    int failure = 0;              // sticky: once a read failed it keeps failing
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t expectedCrc = 0;
    uint64_t remainingCompressed = 0;
    uint64_t remainingUncompressed = 0;
    uint64_t nextReadPosition = 0;   // archive offset, without the prefix
    const unsigned char* pending = nullptr;
    size_t pendingSize = 0;

    ~EntryStream()
    {
        if (inflaterReady) {
            inflateEnd(&inflater);
        }
    }
};

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
    m_stream.reset();
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
    if (result == ZipOk && (m_end.entriesOnThisDisk != m_end.totalEntries || m_end.thisDisk != 0 ||
                            m_end.centralDirectoryDisk != 0)) {
        result = ZipBadArchive;
    }
    const uint64_t centralEnd = uint64_t(m_end.centralDirectoryOffset) + m_end.centralDirectorySize;
    if (result == ZipOk && endPosition < centralEnd) {
        result = ZipBadArchive;
    }
    if (result != ZipOk) {
        m_source = nullptr;
        return result;
    }
    m_prefixLength = endPosition - centralEnd;
    m_entryCount = m_end.totalEntries;
    GoToFirstEntry();
    return ZipOk;
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
    m_currentPosition += kCentralHeaderSize + m_current.nameLength + m_current.extraLength + m_current.commentLength;
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
    if (m_current.nameLength > kMaxNameBytes) {
        return ZipNameTooLong;
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

int ZipReader::OpenEntryData()
{
    if (m_source == nullptr || !currentValid()) {
        return ZipBadHandle;
    }
    m_stream.reset();
    LocalLayout layout;
    if (CheckLocalHeader(&layout) != ZipOk) {
        return ZipBadArchive;
    }
    std::unique_ptr<EntryStream> stream(new (std::nothrow) EntryStream);
    if (!stream) {
        return ZipOutOfMemory;
    }
    stream->method = m_current.method;
    stream->expectedCrc = m_current.crc32;
    stream->remainingCompressed = m_current.compressedSize;
    stream->remainingUncompressed = m_current.uncompressedSize;
    stream->nextReadPosition = layout.dataPosition;
    if (stream->method == kMethodDeflated) {
        if (inflateInit2(&stream->inflater, -MAX_WBITS) != Z_OK) {
            return ZipOutOfMemory;
        }
        stream->inflaterReady = true;
    }
    m_stream = std::move(stream);
    return ZipOk;
}

int ZipReader::ReadEntryData(void* buffer, size_t length)
{
    EntryStream* const s = m_stream.get();
    if (s == nullptr) {
        return ZipBadHandle;
    }
    if (s->failure != 0) {
        return s->failure;
    }
    // Never more than the entry declares, so a lying stream cannot grow the output.
    const size_t space = static_cast<size_t>(std::min<uint64_t>(std::min<size_t>(length, 0x7FFFFFFF), s->remainingUncompressed));
    unsigned char* const out = static_cast<unsigned char*>(buffer);
    size_t delivered = 0;
    // Data that ends before its declared size is an error, not an endless
    // loop and not a silently short file; bytes already delivered go first.
    auto fail = [&](int code) {
        s->failure = code;
        return delivered > 0 ? static_cast<int>(delivered) : code;
    };

    while (delivered < space) {
        if (s->pendingSize == 0 && s->remainingCompressed > 0) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(kEntryBufferSize, s->remainingCompressed));
            if (ReadAt(s->nextReadPosition, s->input, chunk) != ZipOk) {
                return fail(ZipIoError);
            }
            s->nextReadPosition += chunk;
            s->remainingCompressed -= chunk;
            s->pending = s->input;
            s->pendingSize = chunk;
        }
        if (s->method == kMethodStored) {
            if (s->pendingSize == 0) {
                return fail(ZipBadArchive);
            }
            const size_t count = std::min(space - delivered, s->pendingSize);
            std::memcpy(out + delivered, s->pending, count);
            s->crc = crc32(s->crc, out + delivered, static_cast<uInt>(count));
            s->pending += count;
            s->pendingSize -= count;
            s->remainingUncompressed -= count;
            delivered += count;
            continue;
        }
        if (s->streamEnded) {
            return fail(ZipBadArchive);
        }
        z_stream& z = s->inflater;
        z.next_in = const_cast<Bytef*>(s->pending);
        z.avail_in = static_cast<uInt>(s->pendingSize);
        z.next_out = out + delivered;
        z.avail_out = static_cast<uInt>(space - delivered);
        const int status = inflate(&z, Z_SYNC_FLUSH);
        const size_t produced = static_cast<size_t>(z.next_out - (out + delivered));
        s->crc = crc32(s->crc, out + delivered, static_cast<uInt>(produced));
        s->remainingUncompressed -= produced;
        delivered += produced;
        s->pending = z.next_in;
        s->pendingSize = z.avail_in;
        if (status == Z_STREAM_END) {
            s->streamEnded = true;
            if (s->remainingUncompressed > 0 && delivered == 0) {
                return fail(ZipBadArchive);
            }
            return static_cast<int>(delivered);
        }
        if (status != Z_OK) {
            return fail(status < 0 ? status : ZipBadArchive);
        }
    }
    return static_cast<int>(delivered);
}

int ZipReader::CloseEntryData()
{
    if (!m_stream) {
        return ZipBadHandle;
    }
    const int verdict =
        m_stream->remainingUncompressed == 0 && m_stream->crc != m_stream->expectedCrc ? ZipCrcMismatch : ZipOk;
    m_stream.reset();
    return verdict;
}

}  // namespace zip
