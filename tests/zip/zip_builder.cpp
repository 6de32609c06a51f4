#include "tests/zip/zip_builder.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace zip_testing {

namespace {

void Put16(std::string& out, uint32_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

std::string RawDeflate(const std::string& data)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) {
        throw std::runtime_error("deflate");
    }
    return out;
}

std::string DeflateInPieces(const std::string& data, size_t pieceBytes,
                            std::vector<std::pair<uint32_t, uint32_t>>* starts, int flush)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out;
    starts->clear();
    for (size_t start = 0; start < data.size(); start += pieceBytes) {
        if (start > 0) {
            starts->emplace_back(static_cast<uint32_t>(out.size()), static_cast<uint32_t>(start));
        }
        const size_t size = std::min(pieceBytes, data.size() - start);
        const bool last = start + size == data.size();
        std::string piece(deflateBound(&z, static_cast<uLong>(size)) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + start));
        z.avail_in = static_cast<uInt>(size);
        z.next_out = reinterpret_cast<Bytef*>(&piece[0]);
        z.avail_out = static_cast<uInt>(piece.size());
        deflate(&z, last ? Z_FINISH : flush);
        piece.resize(piece.size() - z.avail_out);
        out += piece;
    }
    deflateEnd(&z);
    return out;
}

std::string PieceField(const std::vector<std::pair<uint32_t, uint32_t>>& starts)
{
    std::string field;
    Put16(field, 0x7770);
    Put16(field, static_cast<uint16_t>(8 * starts.size()));
    for (const auto& start : starts) {
        Put32(field, start.first);
        Put32(field, start.second);
    }
    return field;
}

uint32_t Crc32(const std::string& data)
{
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string UtField(uint8_t flags, const std::vector<int32_t>& times, std::optional<uint16_t> declaredSize)
{
    std::string field = "UT";
    Put16(field, declaredSize ? *declaredSize : static_cast<uint16_t>(1 + 4 * times.size()));
    field.push_back(static_cast<char>(flags));
    for (int32_t time : times) {
        Put32(field, static_cast<uint32_t>(time));
    }
    return field;
}

std::string SampleBytes(size_t size, unsigned seed)
{
    std::string out(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        // Words from a small alphabet: compressible, but not trivially.
        out[i] = static_cast<char>((state >> 16) % 7 == 0 ? ' ' : 'a' + (state >> 20) % 20);
    }
    return out;
}

EntryLayout Entry(const std::string& name, const std::string& data, uint16_t method)
{
    EntryLayout e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}

std::string BuildZip(const std::vector<EntryLayout>& entries, const ArchiveLayout& archive)
{
    std::string body;
    std::string central;
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntryLayout& e = entries[i];
        const std::string stored = e.storedBytes ? *e.storedBytes : (e.method == 8 ? RawDeflate(e.data) : e.data);
        const uint32_t crc = e.crc ? *e.crc : Crc32(e.data);
        const uint32_t compressed = e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(stored.size());
        const uint32_t uncompressed = e.uncompressedSize ? *e.uncompressedSize : static_cast<uint32_t>(e.data.size());
        const uint32_t offset = static_cast<uint32_t>(body.size());
        const std::string localName = e.localName ? *e.localName : e.name;

        Put32(body, e.localSignatureBroken ? 0x04034b51 : 0x04034b50);
        Put16(body, 20);
        Put16(body, e.flags);
        Put16(body, e.localMethod ? *e.localMethod : e.method);
        Put32(body, e.dosDateTime);
        const bool descriptor = (e.flags & 0x0008) != 0;
        Put32(body, descriptor ? 0 : (e.localCrc ? *e.localCrc : crc));
        Put32(body, descriptor ? 0 : (e.localCompressedSize ? *e.localCompressedSize : compressed));
        Put32(body, descriptor ? 0 : uncompressed);
        Put16(body, static_cast<uint32_t>(localName.size()));
        Put16(body, static_cast<uint32_t>(e.localExtra.size()));
        body += localName;
        body += e.localExtra;
        body += stored;
        if (descriptor) {
            Put32(body, 0x08074b50);
            Put32(body, crc);
            Put32(body, compressed);
            Put32(body, uncompressed);
        }

        const bool lastEntry = i + 1 == entries.size();
        Put32(central, archive.centralSignatureBroken && lastEntry ? 0x02014b51 : 0x02014b50);
        Put16(central, e.versionMadeBy);
        Put16(central, 20);
        Put16(central, e.flags);
        Put16(central, e.method);
        Put32(central, e.dosDateTime);
        Put32(central, crc);
        Put32(central, compressed);
        Put32(central, uncompressed);
        Put16(central, static_cast<uint32_t>(e.name.size()));
        Put16(central, static_cast<uint32_t>(e.centralExtra.size()));
        Put16(central, static_cast<uint32_t>(e.comment.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, e.externalAttributes);
        Put32(central, e.localHeaderOffset ? *e.localHeaderOffset : offset);
        central += e.name;
        central += e.centralExtra;
        central += e.comment;
    }

    central += archive.afterDirectory;
    std::string out = archive.prefix + body;
    const uint32_t centralOffset = static_cast<uint32_t>(body.size());
    out += central;
    if (archive.zip64Locator) {
        Put32(out, 0x07064b50);
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 1);
    }
    const uint16_t count = static_cast<uint16_t>(entries.size());
    Put32(out, 0x06054b50);
    Put16(out, archive.thisDisk);
    Put16(out, 0);
    Put16(out, archive.entriesOnThisDisk ? *archive.entriesOnThisDisk : count);
    Put16(out, archive.totalEntries ? *archive.totalEntries : count);
    Put32(out, archive.centralDirectorySize ? *archive.centralDirectorySize : static_cast<uint32_t>(central.size()));
    Put32(out, archive.centralDirectoryOffset ? *archive.centralDirectoryOffset : centralOffset);
    Put16(out, static_cast<uint32_t>(archive.comment.size()));
    out += archive.comment;
    return out;
}

}  // namespace zip_testing
