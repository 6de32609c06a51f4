#!/usr/bin/env python3
"""Draws the launcher's warning bitmap, program icon and splash animation.

    python3 draw_images.py      writes java_warning.bmp, wendrel.ico and splash.gif here

The outputs are committed; run this again only to change the pictures.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def warning_pixels(width, height):
    """Palette indices: 0 dialog face (first pixel), 1 black, 2 yellow."""
    apex_x, top, bottom = (width - 1) / 2.0, 1, height - 2
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            inside = top <= y <= bottom and abs(x - apex_x) <= (y - top + 0.5) * (width - 3) / 2.0 / (bottom - top)
            row.append(inside)
        rows.append(row)
    pixels = [[0] * width for _ in range(height)]
    for y in range(height):
        for x in range(width):
            if not rows[y][x]:
                continue
            edge = any(
                not (0 <= y + dy < height and 0 <= x + dx < width and rows[y + dy][x + dx])
                for dy, dx in ((-1, 0), (1, 0), (0, -1), (0, 1)))
            pixels[y][x] = 1 if edge else 2
    mid = width // 2
    for y in range(9, 19):
        half = 1 if y < 17 else 0
        for x in range(mid - half, mid + half + 1):
            pixels[y][x] = 1
    for y in range(20, 23):
        for x in range(mid - 1, mid + 2):
            pixels[y][x] = 1
    return pixels


def write_bitmap_8bpp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width + 3) & ~3
    palette = [(192, 192, 192), (0, 0, 0), (0, 204, 255)] + [(0, 0, 0)] * 253  # BGR
    image = b"".join(bytes(row) + b"\0" * (stride - width) for row in reversed(pixels))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(image), 2835, 2835, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in palette)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(header + info + colours + image)


def icon_image(size):
    """BGRA rows, top first: a blue disc with a white arrow pointing down."""
    centre, radius = (size - 1) / 2.0, size / 2.0 - 0.5
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            distance = math.hypot(x - centre, y - centre)
            alpha = max(0.0, min(1.0, radius - distance + 0.5))
            u, v = (x - centre) / size, (y - centre) / size
            shaft = abs(u) <= 0.08 and -0.30 <= v <= 0.05
            head = 0.0 <= v <= 0.28 and abs(u) <= (0.28 - v) * 1.0
            base = 0.32 <= v <= 0.38 and abs(u) <= 0.26
            if alpha and (shaft or head or base):
                colour = (255, 255, 255)
            else:
                colour = (0x20 + int(40 * (y / size)), 0x60, 0xC0)  # RGB, darker to the bottom
            r, g, b = colour
            row.append(struct.pack("<BBBB", b, g, r, int(alpha * 255)))
        rows.append(b"".join(row))
    return rows


def write_icon(path, sizes):
    entries, blobs = [], []
    offset = 6 + 16 * len(sizes)
    for size in sizes:
        rows = icon_image(size)
        mask_stride = ((size + 31) // 32) * 4
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        blob = info + b"".join(reversed(rows)) + b"\0" * (mask_stride * size)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(sizes)) + b"".join(entries) + b"".join(blobs))


SPLASH_SIZE = 60
SPLASH_FRAMES = 12
SPLASH_DELAY = 4  # hundredths of a second per frame
# Palette index 0 is the transparent colour. It is pure black, which the
# splash window also keys out, so transparent pixels show the desktop in
# either case; no visible pixel may be pure black.
SPLASH_HEAD = (0x1E, 0x64, 0xD2)
SPLASH_TAIL = (0xC4, 0xCE, 0xDC)


def splash_palette():
    shades = []
    for step in range(SPLASH_FRAMES):
        t = min(1.0, step / 8.0)
        shades.append(tuple(round(h + (e - h) * t) for h, e in zip(SPLASH_HEAD, SPLASH_TAIL)))
    return [(0, 0, 0)] + shades + [(255, 255, 255)] * (16 - 1 - len(shades))


def splash_frame(frame):
    """Palette indices, top row first: twelve dots on a circle, the brightest
    one a step further clockwise in every frame, the others fading behind it."""
    centre, ring, dot = (SPLASH_SIZE - 1) / 2.0, 21.0, 4.6
    dots = []
    for position in range(SPLASH_FRAMES):
        angle = 2 * math.pi * position / SPLASH_FRAMES
        dots.append((centre + ring * math.sin(angle), centre - ring * math.cos(angle),
                     1 + (frame - position) % SPLASH_FRAMES))
    pixels = []
    for y in range(SPLASH_SIZE):
        for x in range(SPLASH_SIZE):
            index = 0
            for dx, dy, shade in dots:
                if math.hypot(x - dx, y - dy) <= dot:
                    index = shade
            pixels.append(index)
    return pixels


def lzw_compress(indices, min_code_size):
    """GIF's variable-width LZW, with a clear code when the table is full."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    acc = bits = 0

    def emit(code, width):
        nonlocal acc, bits
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    width, next_code, table = min_code_size + 1, end + 1, {}
    emit(clear, width)
    prefix = indices[0]
    for index in indices[1:]:
        key = (prefix, index)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, width)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            # The decoder adds its entry one code later, hence ">".
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            width, next_code, table = min_code_size + 1, end + 1, {}
        prefix = index
    emit(prefix, width)
    emit(end, width)
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    return b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255)) + b"\0"


def write_splash_gif(path):
    palette = splash_palette()
    size = SPLASH_SIZE
    # Global colour table of 16 entries (2 ** (3 + 1)), 4 bits of colour resolution.
    gif = b"GIF89a" + struct.pack("<HHBBB", size, size, 0x80 | 0x30 | 0x03, 0, 0)
    gif += b"".join(struct.pack("BBB", *colour) for colour in palette)
    gif += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for frame in range(SPLASH_FRAMES):
        # Graphic control: restore to background, transparent index 0.
        gif += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, (2 << 2) | 1, SPLASH_DELAY, 0, 0)
        gif += struct.pack("<BHHHHB", 0x2C, 0, 0, size, size, 0)
        gif += bytes([4]) + sub_blocks(lzw_compress(splash_frame(frame), 4))
    gif += b"\x3B"
    with open(path, "wb") as out:
        out.write(gif)


if __name__ == "__main__":
    write_bitmap_8bpp(os.path.join(HERE, "java_warning.bmp"), warning_pixels(31, 28))
    write_icon(os.path.join(HERE, "wendrel.ico"), [16, 32, 48])
    write_splash_gif(os.path.join(HERE, "splash.gif"))
