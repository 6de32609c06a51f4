#pragma once
// The structure reader: finds the end record, walks the central directory
// one header at a time, checks local headers and streams one entry's data
// through zlib with a running CRC-32. It never holds more than one input
// buffer and one inflate state, whatever the archive's size.

#include "launcher/zip/core/zip_codes.h"
#include "launcher/zip/core/zip_entry_stream.h"
#include "launcher/zip/core/zip_format.h"
#include "launcher/zip/core/zip_stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zip {

// Where an entry's local extra field and data lie, from its local header.
struct LocalLayout {
    uint64_t extraPosition = 0;   // archive offset, without the prefix
    uint16_t extraLength = 0;
    uint64_t dataPosition = 0;
};

class ZipReader {
public:
    ZipReader();
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Reads the end record through `source`, which must outlive the reader,
    // checks the central directory against it and goes to the first entry.
    // ZipIoError, ZipBadArchive or ZipUnsupported when the source is no
    // archive this reader can read.
    int Open(ZipSource* source);

    int entryCount() const { return m_entryCount; }
    uint64_t prefixLength() const { return m_prefixLength; }
    uint16_t commentLength() const { return m_end.commentLength; }

    // The cursor. Moving fails with ZipEndOfList when the current header is
    // not valid or the last entry is reached; GoToEntry also when a header on
    // the way cannot be read, and with the header's own code when the target
    // header cannot be.
    int GoToFirstEntry();
    int GoToNextEntry();
    int GoToEntry(int number);
    int currentNumber() const { return m_currentNumber; }
    bool currentValid() const { return m_currentResult == 0; }
    const CentralHeader& current() const { return m_current; }

    // The current entry's name as stored (8-bit), whole: up to the 65,535
    // bytes its length field can give.
    int ReadCurrentName(std::string* name);

    // Checks the current entry's local header against its central header.
    int CheckLocalHeader(LocalLayout* layout);

    // What streaming the current entry needs, given its checked local layout.
    ZipEntryData CurrentEntryData(const LocalLayout& layout) const;

    // Reads `size` bytes at an archive offset (the prefix is added); ZipIoError
    // when the read fails or comes up short.
    int ReadAt(uint64_t offset, void* buffer, size_t size);

private:
    int ReadAbsolute(uint64_t position, void* buffer, size_t size);
    int FindEndRecord(uint64_t* position);
    // ZipOk when the directory holds exactly the entries the end record
    // counts and they fill its stated size to the byte, else ZipBadArchive
    // (or a failed read's code). An end record that counts too few would
    // otherwise hide entries, and an unpacking that looks complete would
    // leave files out.
    int CheckDirectory();
    int ReadCurrentHeader();

    ZipSource* m_source = nullptr;
    EndRecord m_end;
    int m_entryCount = 0;
    uint64_t m_prefixLength = 0;

    int m_currentNumber = 0;
    uint64_t m_currentPosition = 0;
    int m_currentResult = ZipEndOfList;
    CentralHeader m_current;

};

}  // namespace zip
