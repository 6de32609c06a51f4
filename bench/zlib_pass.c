/* The reference for the reader's CPU cost: walks an archive's central
 * directory and only inflates every entry and checks its CRC-32, with
 * 16 KiB input and output buffers, writing nothing.
 *     zlib-pass ARCHIVE      exit 0 when every CRC matched */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

enum { kChunk = 16384 };

static uint32_t le16(const unsigned char *p) { return p[0] | p[1] << 8; }
static uint32_t le32(const unsigned char *p) { return le16(p) | (uint32_t)le16(p + 2) << 16; }

static int read_at(FILE *f, long offset, void *buffer, size_t size)
{
    return fseek(f, offset, SEEK_SET) == 0 && fread(buffer, 1, size, f) == size;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: zlib-pass ARCHIVE\n");
        return 2;
    }
    FILE *f = fopen(argv[1], "rb");
    if (!f) {
        perror(argv[1]);
        return 1;
    }
    setvbuf(f, NULL, _IONBF, 0);
    fseek(f, 0, SEEK_END);
    const long size = ftell(f);
    const long tail = size < 65557 ? size : 65557;
    unsigned char *end = malloc(tail);
    if (!read_at(f, size - tail, end, tail)) {
        return 1;
    }
    long at = -1;
    for (long i = tail - 22; i >= 0; --i) {
        if (le32(end + i) == 0x06054b50) {
            at = i;
            break;
        }
    }
    if (at < 0) {
        return 1;
    }
    const unsigned entries = le16(end + at + 10);
    const uint32_t cd_size = le32(end + at + 12), cd_offset = le32(end + at + 16);
    unsigned char *cd = malloc(cd_size);
    if (!read_at(f, cd_offset, cd, cd_size)) {
        return 1;
    }
    static unsigned char in[kChunk], out[kChunk];
    int bad = 0;
    const unsigned char *h = cd;
    for (unsigned n = 0; n < entries; ++n) {
        const unsigned method = le16(h + 10);
        const uint32_t crc_expected = le32(h + 16), csize = le32(h + 20);
        const unsigned name = le16(h + 28), extra = le16(h + 30), comment = le16(h + 32);
        const uint32_t local = le32(h + 42);
        unsigned char lh[30];
        if (!read_at(f, local, lh, sizeof lh)) {
            return 1;
        }
        fseek(f, local + 30 + le16(lh + 26) + le16(lh + 28), SEEK_SET);
        uLong crc = crc32(0, NULL, 0);
        uint32_t left = csize;
        z_stream z;
        memset(&z, 0, sizeof z);
        if (method == 8) {
            inflateInit2(&z, -MAX_WBITS);
        }
        int status = Z_OK;
        while (left > 0 && status != Z_STREAM_END) {
            const size_t chunk = left < kChunk ? left : kChunk;
            if (fread(in, 1, chunk, f) != chunk) {
                return 1;
            }
            left -= (uint32_t)chunk;
            if (method == 0) {
                crc = crc32(crc, in, (uInt)chunk);
                continue;
            }
            z.next_in = in;
            z.avail_in = (uInt)chunk;
            do {
                z.next_out = out;
                z.avail_out = kChunk;
                status = inflate(&z, Z_SYNC_FLUSH);
                crc = crc32(crc, out, (uInt)(kChunk - z.avail_out));
            } while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
            if (status != Z_OK && status != Z_STREAM_END) {
                break;
            }
        }
        if (method == 8) {
            inflateEnd(&z);
        }
        bad += crc != crc_expected;
        h += 46 + name + extra + comment;
    }
    free(cd);
    free(end);
    fclose(f);
    return bad ? 1 : 0;
}
