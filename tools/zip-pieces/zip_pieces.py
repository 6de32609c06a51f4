#!/usr/bin/env python3
"""Stores a ZIP archive so that its large entries inflate in parallel.

    zip_pieces.py IN.zip OUT.zip [PIECE_BYTES]

Every deflated entry larger than PIECE_BYTES (default 1 MiB) is deflated
again in pieces of PIECE_BYTES, each but the last ending on a full flush, so
that no piece refers back into another; where each piece starts (compressed
and uncompressed offset, 32 bits each, little-endian, for every piece after
the first) goes into the entry's local extra field under the private tag
0x7770, which other readers skip. The archive stays one standard deflate
stream per entry. Other entries keep their bytes; names, times, attributes
and extra fields are kept; the output depends on the input alone. An
archive without such an entry is copied as it is.
"""
import shutil
import struct
import sys
import zipfile
import zlib

PIECE_TAG = 0x7770
DEFAULT_PIECE_BYTES = 1 << 20
DATA_DESCRIPTOR_FLAG = 0x0008


def deflate_in_pieces(data, piece_bytes):
    """The raw deflate stream of `data` and the (compressed, uncompressed) start of every piece after the first."""
    compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
    out, starts = [], []
    length = 0
    for start in range(0, len(data), piece_bytes):
        if start > 0:
            starts.append((length, start))
        last = start + piece_bytes >= len(data)
        chunk = compressor.compress(data[start:start + piece_bytes])
        chunk += compressor.flush(zlib.Z_FINISH if last else zlib.Z_FULL_FLUSH)
        out.append(chunk)
        length += len(chunk)
    return b''.join(out), starts


def piece_field(starts):
    body = b''.join(struct.pack('<II', compressed, uncompressed) for compressed, uncompressed in starts)
    return struct.pack('<HH', PIECE_TAG, len(body)) + body


def without_piece_field(extra):
    kept, p = b'', 0
    while p + 4 <= len(extra):
        tag, size = struct.unpack_from('<HH', extra, p)
        if tag != PIECE_TAG:
            kept += extra[p:p + 4 + size]
        p += 4 + size
    return kept


def dos_time(date_time):
    year, month, day, hour, minute, second = date_time
    return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) | (minute << 5) | (second // 2)


def write_pieced(source, target, piece_bytes=DEFAULT_PIECE_BYTES):
    with zipfile.ZipFile(source) as archive:
        if not any(info.compress_type == zipfile.ZIP_DEFLATED and info.file_size > piece_bytes
                   for info in archive.infolist()):
            shutil.copyfile(source, target)
            return
    with zipfile.ZipFile(source) as archive, open(source, 'rb') as raw, open(target, 'wb') as out:
        central = []
        for info in archive.infolist():
            raw.seek(info.header_offset)
            local = raw.read(30)
            name_length, extra_length = struct.unpack_from('<HH', local, 26)
            name = raw.read(name_length)
            local_extra = without_piece_field(raw.read(extra_length))
            data = raw.read(info.compress_size)
            flags = info.flag_bits & ~DATA_DESCRIPTOR_FLAG
            if info.compress_type == zipfile.ZIP_DEFLATED and info.file_size > piece_bytes:
                data, starts = deflate_in_pieces(archive.read(info), piece_bytes)
                field = piece_field(starts)
                if len(local_extra) + len(field) <= 0xFFFF:
                    local_extra += field
            fixed = struct.pack('<HHHIIII', info.extract_version, flags, info.compress_type, dos_time(info.date_time),
                                info.CRC, len(data), info.file_size)
            offset = out.tell()
            out.write(b'PK\x03\x04' + fixed + struct.pack('<HH', len(name), len(local_extra)) + name + local_extra)
            out.write(data)
            central.append(b'PK\x01\x02' + struct.pack('<BB', info.create_version, info.create_system) + fixed +
                           struct.pack('<HHHHHII', len(name), len(info.extra), len(info.comment), 0,
                                       info.internal_attr, info.external_attr, offset) +
                           name + info.extra + info.comment)
        start = out.tell()
        out.write(b''.join(central))
        size = out.tell() - start
        out.write(b'PK\x05\x06' + struct.pack('<HHHHIIH', 0, 0, len(central), len(central), size, start,
                                              len(archive.comment)) + archive.comment)


if __name__ == '__main__':
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.strip().splitlines()[2].strip())
    write_pieced(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else DEFAULT_PIECE_BYTES)
