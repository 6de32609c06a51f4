#pragma once
// One entry's data streamed out of a source: raw inflate or a plain copy,
// with a running CRC-32. It needs only where the data lies and what it
// should come to, so any source over the same archive can stream it: the
// reader's own, or one per worker thread.

#include "launcher/zip/core/zip_codes.h"
#include "launcher/zip/core/zip_format.h"
#include "launcher/zip/core/zip_stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_decompressor;

namespace zip {

constexpr size_t kEntryBufferSize = 16384;

struct ZipEntryData {
    uint16_t method = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint64_t position = 0;   // of the first data byte in the source, prefix included
    std::vector<EntryPiece> pieces;   // a deflated entry's sound piece table; empty: one stream
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

// What one thread inflates through, each made on first use and kept for
// every entry it writes: the output chunk it streams through (left
// uninitialised, since every byte is written before it is read), and for
// pieces a copy of the compressed bytes and the inflated bytes, each at most
// kMaxPieceBytes, with libdeflate's state.
class ZipThreadBuffers {
public:
    ZipThreadBuffers();
    ~ZipThreadBuffers();
    ZipThreadBuffers(const ZipThreadBuffers&) = delete;
    ZipThreadBuffers& operator=(const ZipThreadBuffers&) = delete;

    unsigned char* chunk();                       // kOutputChunkSize bytes
    unsigned char* input(size_t size);            // at least `size` bytes
    unsigned char* output(size_t size);
    const unsigned char* inflated() const { return m_output.bytes.get(); }   // what InflatePiece made
    libdeflate_decompressor* decompressor();      // each null when out of memory

private:
    struct Block {
        std::unique_ptr<unsigned char[]> bytes;
        size_t size = 0;
        unsigned char* AtLeast(size_t wanted);
    };
    Block m_chunk, m_input, m_output;
    libdeflate_decompressor* m_decompressor = nullptr;
};

// How CopyEntryData may take an entry: the whole road where it fits, or
// streaming alone, as the reader did before it had the whole road (for
// measurements).
enum class EntryRoad { WholeWhereItFits, StreamOnly };

// Writes every byte of an entry into `sink`: ZipOk, ZipWriteFailed when
// reading the data or writing the sink failed, or ZipCrcMismatch when every
// byte went out and the CRC differs. A deflated entry is inflated by
// libdeflate where it can be, in this order: piece by piece when it has a
// piece table, each piece written as it comes; in one call into the sink's
// whole output when the sink gives one (within kWholeEntryBound, the
// source showing the data in memory); in one call into the thread's buffer
// when it fits kMaxPieceBytes. Anything but a complete inflate that matches
// the entry's CRC drops that output and streams the entry through zlib, so
// the outcome is always the stream's.
int CopyEntryData(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipThreadBuffers& buffers,
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
int StreamEntryData(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipThreadBuffers& buffers);

// The pieces libdeflate inflates an entry in, each into the thread's
// buffer: the entry's piece table, or the whole entry as one piece when
// both its sizes are within kMaxPieceBytes; none for other entries, which
// stream.
std::vector<EntryPiece> BufferedPieces(const ZipEntryData& data);

// Inflates one piece of a deflated entry into buffers.inflated(): true when
// it came to exactly the piece's size, consuming exactly its bytes, with
// its CRC-32 in *crc. False for anything else (the entry then streams).
bool InflatePiece(ZipSource* source, const ZipEntryData& data, const EntryPiece& piece, ZipThreadBuffers& buffers,
                  uint32_t* crc);

// The CRC-32 of the whole entry from its pieces' CRCs, in order.
uint32_t CombinedCrc(const std::vector<EntryPiece>& pieces, const std::vector<uint32_t>& crcs);

// Output is handed to the sink in pieces of this size: with large pieces
// inflate runs longer per call and the sink sees few writes (measured: 4 %
// less CPU than 64 KiB pieces on a runtime archive). One buffer per thread.
constexpr size_t kOutputChunkSize = 262144;

}  // namespace zip
