#pragma once
// One entry's data streamed out of a source: raw inflate or a plain copy,
// with a running CRC-32. It needs only where the data lies and what it
// should come to, so any source over the same archive can stream it: the
// reader's own, or one per worker thread.

#include "launcher/zip/core/zip_codes.h"
#include "launcher/zip/core/zip_stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zip {

constexpr size_t kEntryBufferSize = 16384;

struct ZipEntryData {
    uint16_t method = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint64_t position = 0;   // of the first data byte in the source, prefix included
};

class ZipEntryStream {
public:
    ZipEntryStream();
    ~ZipEntryStream();
    ZipEntryStream(const ZipEntryStream&) = delete;
    ZipEntryStream& operator=(const ZipEntryStream&) = delete;

    // ZipOk, or ZipOutOfMemory when the buffer or inflate cannot be set up.
    // `source` must outlive the open stream.
    int Open(ZipSource* source, const ZipEntryData& data);
    bool isOpen() const { return m_state != nullptr; }

    // Bytes delivered (never more than the entry declares), 0 at the end,
    // a negative code on failure; a failure sticks.
    int Read(void* buffer, size_t length);

    // ZipCrcMismatch when every declared byte went out and the CRC differs,
    // else ZipOk; ZipBadHandle when nothing is open.
    int Close();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The output chunk a thread streams entries through; made on first use and
// left uninitialised, since every byte is written before it is read.
using ZipOutputBuffer = std::unique_ptr<unsigned char[]>;

// How CopyEntryData may take an entry: the whole road where it fits, or
// streaming alone, as the reader did before it had the whole road (for
// measurements).
enum class EntryRoad { WholeWhereItFits, StreamOnly };

// Streams every byte of an entry into `sink` through `buffer`: ZipOk, ZipWriteFailed when reading the data
// or writing the sink failed, or ZipCrcMismatch when every byte went out and
// the CRC differs. A deflated entry whose data the source shows in memory
// and whose output the sink gives whole is inflated in one call by
// libdeflate when both together stay within kWholeEntryBound; any result
// but a complete one drops that output and streams the entry as above, so
// the outcome is the same either way.
int CopyEntryData(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipOutputBuffer& buffer,
                  EntryRoad road = EntryRoad::WholeWhereItFits);

// The most that whole-entry inflates hold in memory at once, compressed and
// uncompressed bytes together and all threads' together, so that a 32-bit
// process always finds the address space: larger entries stream, as do
// entries that find the bound taken by other threads.
constexpr uint64_t kWholeEntryBound = uint64_t(512) << 20;

// A deflated, non-empty entry whose bytes fit kWholeEntryBound: the whole
// road may take it, if source and sink can.
bool FitsWholeEntryRoad(const ZipEntryData& data);

// The streaming road alone, for comparing the two.
int StreamEntryData(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipOutputBuffer& buffer);

// Output is handed to the sink in pieces of this size: with large pieces
// inflate runs longer per call and the sink sees few writes (measured: 4 %
// less CPU than 64 KiB pieces on a runtime archive). One buffer per thread.
constexpr size_t kOutputChunkSize = 262144;

}  // namespace zip
