#!/usr/bin/env python3
"""Draws the resource images: TR16.ico (the 16x16, 16-colour tray icon: a
small launcher menu with three program items, the middle one highlighted)
and platno.bmp (the 200x32, 4-bit, all-white canvas of the menu pictures).

Run from anywhere: python3 resources/make_images.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# One character per pixel: '.' is transparent, otherwise a palette index in hex.
ICON = [
    "................",
    ".00000000000000.",
    ".04444444444440.",
    ".04FF4444444440.",
    ".00000000000000.",
    ".0FFFFFFFFFFFF0.",
    ".0F99F8888888F0.",
    ".0F99FFFFFFFFF0.",
    ".0CCCCCCCCCCCC0.",
    ".0CAACFFFFFFFC0.",
    ".0CAACCCCCCCCC0.",
    ".0FFFFFFFFFFFF0.",
    ".0FBBF8888888F0.",
    ".0FBBFFFFFFFFF0.",
    ".00000000000000.",
    "................",
]


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def pack4(row):
    """Packs palette indices two to a byte and pads the row to 4 bytes."""
    out = bytearray()
    for i in range(0, len(row), 2):
        hi = row[i]
        lo = row[i + 1] if i + 1 < len(row) else 0
        out.append((hi << 4) | lo)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def pack1(row):
    """Packs mask bits eight to a byte and pads the row to 4 bytes."""
    out = bytearray()
    for i in range(0, len(row), 8):
        byte = 0
        for j, bit in enumerate(row[i:i + 8]):
            byte |= bit << (7 - j)
        out.append(byte)
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def make_icon():
    colours = [[0 if c == "." else int(c, 16) for c in row] for row in ICON]
    mask = [[1 if c == "." else 0 for c in row] for row in ICON]
    xor = b"".join(pack4(r) for r in reversed(colours))
    andm = b"".join(pack1(r) for r in reversed(mask))
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 4, 0,
                         len(xor) + len(andm), 0, 0, 16, 0)
    image = header + palette_bytes() + xor + andm
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


def make_canvas():
    width, height = 200, 32
    row = pack4([15] * width)
    pixels = row * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(info) + 64
    filehdr = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return filehdr + info + palette_bytes() + pixels


if __name__ == "__main__":
    with open(os.path.join(HERE, "TR16.ico"), "wb") as f:
        f.write(make_icon())
    with open(os.path.join(HERE, "platno.bmp"), "wb") as f:
        f.write(make_canvas())
