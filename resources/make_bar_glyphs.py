#!/usr/bin/env python3
"""Writes the two top-bar button glyphs, 20 x 20 RGBA PNGs, each in a normal
and a disabled (grey, embossed) variant:
search.png / search-disabled.png (a magnifier), save.png / save-disabled.png
(a page with a down arrow into a tray).

    python3 make_bar_glyphs.py [output folder]   (default: bar/ beside this script)
"""
import math
import os
import struct
import sys
import zlib

SIZE = 20
SAMPLES = 4


def magnifier(x, y):
    cx, cy, r = 8.0, 8.0, 5.5
    d = math.hypot(x - cx, y - cy)
    if d <= r - 1.6:
        return (190, 225, 255, 255)
    if d <= r:
        return (20, 50, 140, 255)
    # handle: a thick line from the rim towards the lower right
    t = ((x - cx) + (y - cy)) / 2.0
    off = abs((x - cx) - (y - cy)) / math.sqrt(2.0)
    if r * 0.7 <= t <= 11.0 and off <= 1.6:
        return (130, 70, 20, 255)
    return None


def save(x, y):
    # tray
    if 3 <= x <= 17 and 15 <= y <= 17:
        return (60, 60, 70, 255)
    if (3 <= x <= 4 or 16 <= x <= 17) and 12 <= y <= 17:
        return (60, 60, 70, 255)
    # page
    if 5 <= x <= 15 and 1 <= y <= 8:
        if x in (5, 15) or y == 1:
            return (60, 60, 70, 255)
        if y in (3, 5) and 7 <= x <= 13:
            return (150, 160, 180, 255)
        return (255, 255, 255, 255)
    # arrow
    if 8.5 <= x <= 11.5 and 8 <= y <= 11:
        return (0, 130, 40, 255)
    if 11 <= y <= 14.5 and abs(x - 10) <= 14.5 - y:
        return (0, 130, 40, 255)
    return None


def render(shape):
    pixels = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = shape(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c:
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
            n = SAMPLES * SAMPLES
            if acc[3]:
                row.append(tuple(int(acc[i] / acc[3]) for i in range(3)) + (int(acc[3] / n),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def disabled(pixels):
    # grey by luminance, lightened, with a white shadow one pixel down-right
    out = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            if y > 0 and x > 0 and pixels[y - 1][x - 1][3]:
                out[y][x] = (255, 255, 255, pixels[y - 1][x - 1][3])
    for y in range(SIZE):
        for x in range(SIZE):
            r, g, b, a = pixels[y][x]
            if a:
                lum = int(0.3 * r + 0.59 * g + 0.11 * b)
                grey = 128 + lum // 4
                out[y][x] = (grey, grey, grey, a)
    return out


def write_png(path, pixels):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "bar")
    os.makedirs(out, exist_ok=True)
    for name, shape in (("search", magnifier), ("save", save)):
        pixels = render(shape)
        write_png(os.path.join(out, name + ".png"), pixels)
        write_png(os.path.join(out, name + "-disabled.png"), disabled(pixels))


if __name__ == "__main__":
    main()
