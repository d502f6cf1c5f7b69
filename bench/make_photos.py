#!/usr/bin/env python3
"""Writes the pictures the thumbnail benchmarks run over:

    make_photos.py DIR [COUNT]

DIR/photos: COUNT (default 100) photos of 5120 x 2880, JPEG and PNG by turns
(names sort that way too), made by ImageMagick from two fractal pictures with
and without grain; copies of them, so that making 100 takes seconds.
DIR/jpegs: COUNT copies of the JPEG alone.
DIR/hostile: the largest shapes a picture may take: a 20000 x 20000 PNG of
zeros (a few hundred KB), a 10000 x 10000 progressive JPEG and a 6000 x 6000
PNG (just inside what is decoded whole).
Files already there are kept."""
import os
import shutil
import struct
import subprocess
import sys
import zlib


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def png_of_zeros(path, width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    z = zlib.compressobj(1)
    row = bytes(width + 1)
    idat = b"".join(z.compress(row) for _ in range(height)) + z.flush()
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
                + chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    photos, hostile = os.path.join(root, "photos"), os.path.join(root, "hostile")
    jpegs = os.path.join(root, "jpegs")
    os.makedirs(photos, exist_ok=True)
    os.makedirs(jpegs, exist_ok=True)
    os.makedirs(hostile, exist_ok=True)
    base = os.path.join(root, "base")
    os.makedirs(base, exist_ok=True)
    jpeg, png = os.path.join(base, "grain.jpg"), os.path.join(base, "smooth.png")
    if not os.path.exists(jpeg):
        convert("-seed", "7", "-size", "1280x720", "plasma:fractal", "-resize", "5120x2880!", "-attenuate", "0.15",
                "+noise", "Gaussian", "-depth", "8", "-quality", "90", jpeg)
    if not os.path.exists(png):
        convert("-seed", "11", "-size", "1280x720", "plasma:fractal", "-resize", "5120x2880!", "-depth", "8", png)
    for i in range(count):
        source = jpeg if i % 2 == 0 else png
        target = os.path.join(photos, "photo %03d%s" % (i, os.path.splitext(source)[1]))
        if not os.path.exists(target):
            shutil.copyfile(source, target)
        target = os.path.join(jpegs, "photo %03d.jpg" % i)
        if not os.path.exists(target):
            shutil.copyfile(jpeg, target)
    if not os.path.exists(os.path.join(hostile, "zeros 20000x20000.png")):
        png_of_zeros(os.path.join(hostile, "zeros 20000x20000.png"), 20000, 20000)
    if not os.path.exists(os.path.join(hostile, "progressive 10000x10000.jpg")):
        convert("-seed", "3", "-size", "2500x2500", "plasma:fractal", "-resize", "10000x10000!", "-interlace",
                "Plane", "-quality", "85", os.path.join(hostile, "progressive 10000x10000.jpg"))
    if not os.path.exists(os.path.join(hostile, "whole 6000x6000.png")):
        convert("-seed", "5", "-size", "1500x1500", "plasma:fractal", "-resize", "6000x6000!", "-depth", "8",
                os.path.join(hostile, "whole 6000x6000.png"))
    print(photos)
    print(jpegs)
    print(hostile)
    return 0


if __name__ == "__main__":
    sys.exit(main())
