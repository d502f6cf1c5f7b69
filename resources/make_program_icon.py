#!/usr/bin/env python3
"""Writes the program icon: a magnifier over a page, as PNGs of 16, 32, 48
and 256 pixels (RGBA, anti-aliased by 8 x 8 supersampling).

    python3 make_program_icon.py [output folder]   (default: icons/ beside this script)
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
SAMPLES = 8

OUTLINE = (60, 60, 70, 255)
PAPER = (255, 255, 255, 255)
FOLD = (205, 210, 220, 255)
LINE = (150, 160, 180, 255)
RIM = (30, 60, 130, 255)
GLASS = (170, 210, 250, 200)
HANDLE = (120, 70, 30, 255)


def page(x, y):
    """Colour of the page at (x, y) in the unit square, or None."""
    left, top, right, bottom, fold = 0.14, 0.04, 0.74, 0.90, 0.18
    if not (left <= x <= right and top <= y <= bottom):
        return None
    if x - (right - fold) > y - top:  # cut corner
        return None
    edge = 0.035
    if x - (right - fold) > y - top - edge * 1.4:
        return OUTLINE
    if x < left + edge or x > right - edge or y < top + edge or y > bottom - edge:
        return OUTLINE
    if x > right - fold and y < top + fold:
        return FOLD
    for i in range(6):
        ly = 0.30 + i * 0.095
        if ly <= y <= ly + 0.035 and left + 0.10 <= x <= right - 0.10:
            return LINE
    return PAPER


def magnifier(x, y):
    cx, cy, r, rim = 0.56, 0.52, 0.22, 0.06
    d = math.hypot(x - cx, y - cy)
    if d <= r - rim:
        return GLASS
    if d <= r:
        return RIM
    # the handle: a thick segment from the rim towards the lower right
    ax, ay = cx + r * 0.7, cy + r * 0.7
    bx, by = 0.93, 0.93
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
    px, py = ax + t * vx, ay + t * vy
    if math.hypot(x - px, y - py) <= 0.065:
        return HANDLE
    return None


def over(top, bottom):
    """Porter-Duff 'over' of two straight-alpha colours."""
    ta, ba = top[3] / 255.0, bottom[3] / 255.0
    a = ta + ba * (1 - ta)
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = [(top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], a * 255.0)


def sample(x, y):
    colour = (0, 0, 0, 0)
    p = page(x, y)
    if p:
        colour = p
    m = magnifier(x, y)
    if m:
        colour = over(m, colour)
    return colour


def render(size):
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = sample((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if acc[3] > 0:
                row += bytes(round(acc[i] / acc[3]) for i in range(3))
            else:
                row += b"\0\0\0"
            row.append(round(alpha))
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(pixels, 9))
            + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for size in SIZES:
        with open(os.path.join(out, "tavolix-%d.png" % size), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
