#!/usr/bin/env python3
"""Writes dirimgs.bmp: the five 16 x 16 tree images side by side, 4 bits per
pixel, standard 16-colour palette, olive as the transparent background.

    python3 make_dirimgs.py [output.bmp]
"""
import struct
import sys

# Index order of the standard 16-colour palette (BGR in the file).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
KEYS = {
    "k": 0, "m": 1, "g": 2, ".": 3, "n": 4, "p": 5, "t": 6, "s": 7,
    "d": 8, "r": 9, "l": 10, "y": 11, "b": 12, "f": 13, "a": 14, "w": 15,
}

CLOSED_FOLDER = """
................
................
................
.kkkkk..........
kwyyyyk.........
kwyyyyykkkkkkkk.
kwwwwwwwwwwwwwyk
kwyyyyyyyyyyyyyk
kwyyyyyyyyyyyyyk
kwyyyyyyyyyyyyyk
kwyyyyyyyyyyyyyk
kwyyyyyyyyyyyyyk
kwyyyyyyyyyyyyyk
kyyyyyyyyyyyyyyk
kkkkkkkkkkkkkkkk
................
"""

OPEN_FOLDER = """
................
................
................
.kkkkk..........
kwyyyyk.........
kwyyyyykkkkkkk..
kwyyyyyyyyyyyyk.
kwyykkkkkkkkkkkk
kwykwwwwwwwwwwwk
kwykwyyyyyyyyyk.
kykwyyyyyyyyyyk.
kykwyyyyyyyyyk..
kkwyyyyyyyyyyk..
kkyyyyyyyyyyk...
kkkkkkkkkkkkk...
................
"""

HARD_DRIVE = """
................
................
................
................
................
...kkkkkkkkkkkkk
..kssssssssssskk
.kssssssssssskdk
kkkkkkkkkkkkkddk
kwwwwwwwwwwwkddk
kwsssssssssskddk
kwssssssslgskdk.
kwddddddddddkk..
kkkkkkkkkkkkk...
................
................
"""

FLOPPY_DRIVE = """
................
................
................
................
................
...kkkkkkkkkkkkk
..kssssssssssskk
.kssssssssssskdk
kkkkkkkkkkkkkddk
kwwwwwwwwwwwkddk
kwskkkkkkkkskddk
kwssssssssdskdk.
kwddddddddddkk..
kkkkkkkkkkkkk...
................
................
"""

NETWORK_DRIVE = """
................
................
................
...kkkkkkkkkkkkk
..kssssssssssskk
.kssssssssssskdk
kkkkkkkkkkkkkddk
kwwwwwwwwwwwkddk
kwssssssslgskddk
kwddddddddddkdk.
kkkkkkkkkkkkkk..
......kdk.......
......kdk.......
kkkkkkkdkkkkkkkk
dddddddddddddddd
kkkkkkkkkkkkkkkk
"""

IMAGES = [CLOSED_FOLDER, OPEN_FOLDER, HARD_DRIVE, FLOPPY_DRIVE, NETWORK_DRIVE]
SIZE = 16


def rows_of(art):
    rows = [r for r in art.strip("\n").split("\n")]
    assert len(rows) == SIZE, len(rows)
    for r in rows:
        assert len(r) == SIZE, r
    return rows


def pixels():
    arts = [rows_of(a) for a in IMAGES]
    return [[KEYS[ch] for art in arts for ch in art[y]] for y in range(SIZE)]


def bmp_bytes():
    px = pixels()
    width, height = SIZE * len(IMAGES), SIZE
    stride = (width // 2 + 3) & ~3
    body = bytearray()
    for y in reversed(range(height)):  # bottom-up
        row = px[y]
        line = bytearray((row[x] << 4) | row[x + 1] for x in range(0, width, 2))
        body += line + bytes(stride - len(line))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(body), 2835, 2835, 16, 0)
    return header + info + palette + bytes(body)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "dirimgs.bmp"
    with open(out, "wb") as f:
        f.write(bmp_bytes())
