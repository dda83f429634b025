#!/usr/bin/env python3
"""Draws favicon.png: a 32x32 teal tile with a white till receipt on it.

Run from this directory; the PNG is written beside the script. Only the
standard library is used, so the icon can be redrawn anywhere.
"""
import struct
import zlib

SIZE = 32
TEAL = (0x13, 0x7f, 0x86, 0xff)
WHITE = (0xff, 0xff, 0xff, 0xff)
INK = (0x13, 0x7f, 0x86, 0xff)
CLEAR = (0, 0, 0, 0)


def inside_rounded(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y):
    px, py = x + 0.5, y + 0.5
    if not inside_rounded(px, py, 0, 0, SIZE, SIZE, 6):
        return CLEAR
    # The receipt: a white strip with a torn (zigzag) lower edge.
    if 9 <= px <= 23 and 5 <= py <= 27:
        tooth = abs(((px - 9) % 4) - 2)
        if py > 25 + tooth:
            return TEAL
        # Printed lines, the last one shorter: the total.
        for line_y, end in ((10, 20), (14, 20), (18, 17)):
            if line_y <= py <= line_y + 1.5 and 12 <= px <= end:
                return INK
        if 22 <= py <= 23.5 and 15 <= px <= 20:
            return INK
        return WHITE
    return TEAL


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xffffffff)


def main():
    rows = b""
    for y in range(SIZE):
        rows += b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(SIZE))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    with open("favicon.png", "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
