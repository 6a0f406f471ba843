#!/usr/bin/env python3
"""Draws samples/kestrel.png: a 64x32, 4-bit, 16-colour palette PNG (a bird over hills at dusk)."""
import math
import struct
import zlib
from pathlib import Path

W, H = 64, 32
PALETTE = [
    (0x10, 0x10, 0x30), (0x30, 0x20, 0x60), (0x60, 0x30, 0x80), (0xA0, 0x40, 0x80),
    (0xE0, 0x60, 0x50), (0xF0, 0xA0, 0x40), (0xF0, 0xE0, 0x90), (0xFF, 0xFF, 0xFF),
    (0x20, 0x50, 0x30), (0x30, 0x80, 0x40), (0x60, 0xB0, 0x50), (0x70, 0x40, 0x20),
    (0xB0, 0x70, 0x30), (0xD0, 0xA0, 0x70), (0x40, 0x40, 0x40), (0x00, 0x00, 0x00),
]

def pixel(x, y):
    # Sun
    if (x - 46) ** 2 + (y - 9) ** 2 <= 25:
        return 6 if (x - 46) ** 2 + (y - 9) ** 2 <= 9 else 5
    # Hills
    if y > 24 + 3 * math.sin(x / 6.0):
        return 8 + (x // 3 + y) % 3
    # Kestrel: body, head, wings, tail
    if (x - 20) ** 2 / 36 + (y - 14) ** 2 / 4 <= 1:
        return 12 if y < 14 else 13
    if (x - 27) ** 2 + (y - 12) ** 2 <= 4:
        return 11 if x < 28 else 14
    if x == 29 and y == 12:
        return 15
    if 14 <= x <= 24 and abs(y - (14 - (x - 14) * 0.8)) < 1.2:
        return 11
    if 12 <= x <= 14 and 13 <= y <= 16:
        return 14
    # Sky bands
    return min(4, y // 6)

rows = []
for y in range(H):
    row = bytearray([0])
    for x in range(0, W, 2):
        row.append(pixel(x, y) << 4 | pixel(x + 1, y))
    rows.append(bytes(row))

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

png = b"\x89PNG\r\n\x1a\n"
png += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 4, 3, 0, 0, 0))
png += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
png += chunk(b"IEND", b"")
Path(__file__).with_name("kestrel.png").write_bytes(png)
