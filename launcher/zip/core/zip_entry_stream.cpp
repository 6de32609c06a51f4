#include "launcher/zip/core/zip_entry_stream.h"

#include "launcher/zip/core/zip_format.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace zip {

struct ZipEntryStream::State {
    unsigned char input[kEntryBufferSize];
    z_stream inflater{};
    bool inflaterReady = false;
    bool streamEnded = false;
    int failure = 0;              // sticky: once a read failed it keeps failing
    ZipSource* source = nullptr;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t expectedCrc = 0;
    uint64_t remainingCompressed = 0;
    uint64_t remainingUncompressed = 0;
    uint64_t nextReadPosition = 0;
    const unsigned char* pending = nullptr;
    size_t pendingSize = 0;

    ~State()
    {
        if (inflaterReady) {
            inflateEnd(&inflater);
        }
    }
};

ZipEntryStream::ZipEntryStream() = default;
ZipEntryStream::~ZipEntryStream() = default;

int ZipEntryStream::Open(ZipSource* source, const ZipEntryData& data)
{
    m_state.reset();
    std::unique_ptr<State> state(new (std::nothrow) State);
    if (!state) {
        return ZipOutOfMemory;
    }
    state->source = source;
    state->method = data.method;
    state->expectedCrc = data.crc32;
    state->remainingCompressed = data.compressedSize;
    state->remainingUncompressed = data.uncompressedSize;
    state->nextReadPosition = data.position;
    if (state->method == kMethodDeflated) {
        if (inflateInit2(&state->inflater, -MAX_WBITS) != Z_OK) {
            return ZipOutOfMemory;
        }
        state->inflaterReady = true;
    }
    m_state = std::move(state);
    return ZipOk;
}

namespace {

// Data that ends before its declared size is an error, not an endless loop
// and not a silently short file: kept for every later read, while bytes
// already delivered go first.
int Failed(int& failure, size_t delivered, int code)
{
    failure = code;
    return delivered > 0 ? static_cast<int>(delivered) : code;
}

}  // namespace

int ZipEntryStream::Read(void* buffer, size_t length)
{
    State* const s = m_state.get();
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

    while (delivered < space) {
        if (s->pendingSize == 0 && s->remainingCompressed > 0) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(kEntryBufferSize, s->remainingCompressed));
            size_t got = 0;
            if (!s->source->Seek(s->nextReadPosition) || !s->source->Read(s->input, chunk, &got) || got != chunk) {
                return Failed(s->failure, delivered, ZipIoError);
            }
            s->nextReadPosition += chunk;
            s->remainingCompressed -= chunk;
            s->pending = s->input;
            s->pendingSize = chunk;
        }
        if (s->method == kMethodStored) {
            if (s->pendingSize == 0) {
                return Failed(s->failure, delivered, ZipBadArchive);
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
            return Failed(s->failure, delivered, ZipBadArchive);
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
                return Failed(s->failure, delivered, ZipBadArchive);
            }
            return static_cast<int>(delivered);
        }
        if (status != Z_OK) {
            return Failed(s->failure, delivered, status < 0 ? status : ZipBadArchive);
        }
    }
    return static_cast<int>(delivered);
}

int ZipEntryStream::Close()
{
    if (!m_state) {
        return ZipBadHandle;
    }
    const int verdict =
        m_state->remainingUncompressed == 0 && m_state->crc != m_state->expectedCrc ? ZipCrcMismatch : ZipOk;
    m_state.reset();
    return verdict;
}

namespace {

// What whole-entry inflates of all threads hold at this moment.
std::atomic<uint64_t> g_wholeEntryBytes{0};

// A share of kWholeEntryBound for one inflate, given back when it ends;
// empty when the other threads hold too much already (the entry streams).
class WholeEntryBudget {
public:
    explicit WholeEntryBudget(uint64_t bytes) : m_bytes(bytes)
    {
        uint64_t held = g_wholeEntryBytes.load();
        do {
            if (held + bytes > kWholeEntryBound) {
                m_bytes = 0;
                return;
            }
        } while (!g_wholeEntryBytes.compare_exchange_weak(held, held + bytes));
    }
    ~WholeEntryBudget() { g_wholeEntryBytes -= m_bytes; }
    WholeEntryBudget(const WholeEntryBudget&) = delete;
    WholeEntryBudget& operator=(const WholeEntryBudget&) = delete;
    explicit operator bool() const { return m_bytes > 0; }

private:
    uint64_t m_bytes;
};

}  // namespace

bool FitsWholeEntryRoad(const ZipEntryData& data)
{
    return data.method == kMethodDeflated && data.uncompressedSize > 0 &&
           uint64_t(data.compressedSize) + data.uncompressedSize <= kWholeEntryBound;
}

namespace {

// ZipOk or ZipCrcMismatch when libdeflate delivered exactly the declared
// bytes into the sink's whole output; ZipEndOfList when this road does not
// apply or came to anything else, with nothing left in the sink.
int InflateWhole(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipThreadBuffers& buffers)
{
    if (!FitsWholeEntryRoad(data)) {
        return ZipEndOfList;
    }
    const WholeEntryBudget budget(uint64_t(data.compressedSize) + data.uncompressedSize);
    if (!budget) {
        return ZipEndOfList;
    }
    const unsigned char* input = source->View(data.position, data.compressedSize);
    libdeflate_decompressor* const decompressor = buffers.decompressor();
    if (input == nullptr || decompressor == nullptr) {
        return ZipEndOfList;
    }
    unsigned char* output = sink.ReserveWhole(data.uncompressedSize);
    if (output == nullptr) {
        return ZipEndOfList;
    }
    size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        decompressor, input, data.compressedSize, output, data.uncompressedSize, nullptr, &produced);
    if (result != LIBDEFLATE_SUCCESS || produced != data.uncompressedSize) {
        // Short, long or broken: the stream decides what today's result is.
        sink.FinishWhole(false);
        return ZipEndOfList;
    }
    const uint32_t crc = libdeflate_crc32(0, output, data.uncompressedSize);
    if (!sink.FinishWhole(true)) {
        return ZipWriteFailed;
    }
    return crc == data.crc32 ? ZipOk : ZipCrcMismatch;
}

// ZipOk when every piece inflated and went into the sink in order and the
// entry's CRC matches; ZipWriteFailed when the sink refused; ZipEndOfList
// when the pieces did not come to the entry, with the sink emptied again.
int InflatePieces(ZipSource* source, const ZipEntryData& data, const std::vector<EntryPiece>& pieces,
                  ZipSink& sink, ZipThreadBuffers& buffers)
{
    std::vector<uint32_t> crcs(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (!InflatePiece(source, data, pieces[i], buffers, &crcs[i])) {
            return i == 0 || sink.FinishWhole(false) ? ZipEndOfList : ZipWriteFailed;
        }
        if (!sink.Write(buffers.inflated(), pieces[i].uncompressedSize)) {
            return ZipWriteFailed;
        }
    }
    if (CombinedCrc(pieces, crcs) != data.crc32) {
        return sink.FinishWhole(false) ? ZipEndOfList : ZipWriteFailed;
    }
    return ZipOk;
}

// A final empty block with fixed codes: appended to a piece that ends on a
// full flush, it ends the stream there for libdeflate, which reads up to a
// final block.
constexpr unsigned char kClosingBlock[] = {0x03, 0x00};

}  // namespace

ZipThreadBuffers::ZipThreadBuffers() = default;

ZipThreadBuffers::~ZipThreadBuffers()
{
    if (m_decompressor != nullptr) {
        libdeflate_free_decompressor(m_decompressor);
    }
}

unsigned char* ZipThreadBuffers::Block::AtLeast(size_t wanted)
{
    if (wanted > size || !bytes) {
        bytes.reset(new (std::nothrow) unsigned char[std::max<size_t>(wanted, 1)]);
        size = bytes ? wanted : 0;
    }
    return bytes.get();
}

unsigned char* ZipThreadBuffers::chunk() { return m_chunk.AtLeast(kOutputChunkSize); }
unsigned char* ZipThreadBuffers::input(size_t size) { return m_input.AtLeast(size); }
unsigned char* ZipThreadBuffers::output(size_t size) { return m_output.AtLeast(size); }

libdeflate_decompressor* ZipThreadBuffers::decompressor()
{
    if (m_decompressor == nullptr) {
        m_decompressor = libdeflate_alloc_decompressor();
    }
    return m_decompressor;
}

std::vector<EntryPiece> BufferedPieces(const ZipEntryData& data)
{
    if (data.method != kMethodDeflated || data.uncompressedSize == 0) {
        return {};
    }
    if (!data.pieces.empty()) {
        return data.pieces;
    }
    if (data.compressedSize == 0 || data.compressedSize > kMaxPieceBytes || data.uncompressedSize > kMaxPieceBytes) {
        return {};
    }
    EntryPiece whole;
    whole.compressedSize = data.compressedSize;
    whole.uncompressedSize = data.uncompressedSize;
    return {whole};
}

bool InflatePiece(ZipSource* source, const ZipEntryData& data, const EntryPiece& piece, ZipThreadBuffers& buffers,
                  uint32_t* crc)
{
    const bool last = uint64_t(piece.compressedOffset) + piece.compressedSize == data.compressedSize;
    const uint64_t position = data.position + piece.compressedOffset;
    const unsigned char* input = last ? source->View(position, piece.compressedSize) : nullptr;
    size_t inputSize = piece.compressedSize;
    if (input == nullptr) {
        // A piece before the last ends on a full flush, not a final block.
        unsigned char* copy = buffers.input(inputSize + sizeof(kClosingBlock));
        const unsigned char* view = source->View(position, piece.compressedSize);
        size_t got = 0;
        if (copy == nullptr) {
            return false;
        }
        if (view != nullptr) {
            std::memcpy(copy, view, inputSize);
        } else if (!source->Seek(position) || !source->Read(copy, inputSize, &got) || got != inputSize) {
            return false;
        }
        if (!last) {
            std::memcpy(copy + inputSize, kClosingBlock, sizeof(kClosingBlock));
            inputSize += sizeof(kClosingBlock);
        }
        input = copy;
    }
    unsigned char* output = buffers.output(piece.uncompressedSize);
    libdeflate_decompressor* const decompressor = buffers.decompressor();
    if (output == nullptr || decompressor == nullptr) {
        return false;
    }
    size_t consumed = 0;
    size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        decompressor, input, inputSize, output, piece.uncompressedSize, &consumed, &produced);
    if (result != LIBDEFLATE_SUCCESS || consumed != inputSize || produced != piece.uncompressedSize) {
        return false;
    }
    *crc = libdeflate_crc32(0, output, produced);
    return true;
}

uint32_t CombinedCrc(const std::vector<EntryPiece>& pieces, const std::vector<uint32_t>& crcs)
{
    uLong crc = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        crc = crc32_combine(crc, crcs[i], static_cast<z_off_t>(pieces[i].uncompressedSize));
    }
    return static_cast<uint32_t>(crc);
}

int CopyEntryData(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipThreadBuffers& buffers,
                  EntryRoad road)
{
    if (road == EntryRoad::WholeWhereItFits) {
        int inflated = data.pieces.empty() ? InflateWhole(source, data, sink, buffers) : ZipEndOfList;
        const std::vector<EntryPiece> pieces = BufferedPieces(data);
        if (inflated == ZipEndOfList && !pieces.empty()) {
            inflated = InflatePieces(source, data, pieces, sink, buffers);
        }
        if (inflated != ZipEndOfList) {
            return inflated;
        }
    }
    return StreamEntryData(source, data, sink, buffers);
}

int StreamEntryData(ZipSource* source, const ZipEntryData& data, ZipSink& sink, ZipThreadBuffers& buffers)
{
    ZipEntryStream stream;
    if (stream.Open(source, data) != ZipOk) {
        return ZipWriteFailed;
    }
    unsigned char* const chunk = buffers.chunk();
    if (chunk == nullptr) {
        stream.Close();
        return ZipWriteFailed;
    }
    bool failed = false;
    for (;;) {
        const int count = stream.Read(chunk, kOutputChunkSize);
        if (count < 0 || (count > 0 && !sink.Write(chunk, static_cast<size_t>(count)))) {
            failed = true;
            break;
        }
        if (count == 0) {
            break;
        }
    }
    const int verdict = stream.Close();
    return failed ? ZipWriteFailed : verdict;
}

}  // namespace zip
