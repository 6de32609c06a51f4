#pragma once
// The archive as its users see it: entries by index with their attributes
// and times, and an entry's bytes streamed into a sink. The system-specific
// parts (files, folders, name conversion) sit on top of this.

#include "launcher/zip/core/zip_codes.h"
#include "launcher/zip/core/zip_format.h"
#include "launcher/zip/core/zip_reader.h"
#include "launcher/zip/core/zip_stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zip {

struct ZipEntryRecord {
    int index = 0;
    std::string name;          // 8-bit, as stored: "/" separators, folders end in "/"
    bool utf8Name = false;     // general-purpose bit 11
    uint32_t attributes = 0;   // Windows attribute bits
    EntryTimes times;
    int32_t compressedSize = 0;
    int32_t uncompressedSize = 0;

    bool isFolder() const { return (attributes & kAttributeDirectory) != 0; }
};

class ZipArchive {
public:
    // Takes the source; ZipOk and an archive, or the reader's code.
    static int Open(std::unique_ptr<ZipSource> source, std::unique_ptr<ZipArchive>* archive);

    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    int entryCount() const { return m_reader.entryCount(); }

    // The entry's record, and where its data lies when `data` is given.
    // Index -1 gives a record whose index is the number of entries and
    // nothing else. A repeated index is answered from the last lookup
    // without reading the source.
    int GetEntry(int index, ZipEntryRecord* record, ZipEntryData* data = nullptr);

    // Looks the entry up and writes its bytes into `sink`: ZipOk, the
    // lookup's code, ZipWriteFailed when reading the data or writing the sink
    // failed, or ZipCrcMismatch when every byte went out and the CRC differs.
    int WriteEntry(int index, ZipSink& sink);

    // The archive's own source, for streaming entries looked up before.
    ZipSource& source() { return *m_source; }

private:
    explicit ZipArchive(std::unique_ptr<ZipSource> source) : m_source(std::move(source)) {}

    int LookUp(int index, ZipEntryRecord* record, ZipEntryData* data);

    ZipThreadBuffers m_buffers;   // made on first use, kept for every entry
    std::unique_ptr<ZipSource> m_source;
    ZipReader m_reader;
    int m_cachedIndex = -1;
    ZipEntryRecord m_cached;
    ZipEntryData m_cachedData;
};

}  // namespace zip
