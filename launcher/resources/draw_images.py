#!/usr/bin/env python3
"""Draws the launcher's warning bitmap and program icon.

    python3 draw_images.py      writes java_warning.bmp and wendrel.ico here

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


if __name__ == "__main__":
    write_bitmap_8bpp(os.path.join(HERE, "java_warning.bmp"), warning_pixels(31, 28))
    write_icon(os.path.join(HERE, "wendrel.ico"), [16, 32, 48])
