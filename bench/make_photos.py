#!/usr/bin/env python3
"""Writes the pictures the thumbnail benchmarks run over:

    make_photos.py DIR [COUNT] [--media]

DIR/photos: COUNT (default 100) photos of 5120 x 2880, JPEG and PNG by turns
(names sort that way too), made by ImageMagick from two fractal pictures with
and without grain; copies of them, so that making 100 takes seconds.
DIR/jpegs: COUNT copies of the JPEG alone.
DIR/hostile: the largest shapes a picture may take: a 20000 x 20000 PNG of
zeros (a few hundred KB), a 10000 x 10000 progressive JPEG and a 6000 x 6000
PNG (just inside what is decoded whole).
With --media, also (heif-enc, ffmpeg and tests/support/make_dng.py):
DIR/media: a 12-megapixel HEIC (4032 x 3024) without and with a 320-pixel
thumbnail, a 60 s 1080p H.264 video, a 24-megapixel DNG with a 1620 x 1080
JPEG preview; DIR/mixed: COUNT phone photos, JPEG, HEIC (with its thumbnail)
and DNG by turns.
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
    media = "--media" in sys.argv
    args = [a for a in sys.argv[1:] if a != "--media"]
    root = args[0]
    count = int(args[1]) if len(args) > 1 else 100
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
    if media:
        make_media(root, count)
    return 0


def run(*args):
    subprocess.run(list(args), check=True)


def make_media(root, count):
    media, mixed, base = (os.path.join(root, d) for d in ("media", "mixed", "base"))
    os.makedirs(media, exist_ok=True)
    os.makedirs(mixed, exist_ok=True)
    phone = os.path.join(base, "phone.jpg")
    if not os.path.exists(phone):
        convert("-seed", "13", "-size", "1008x756", "plasma:fractal", "-resize", "4032x3024!", "-attenuate", "0.1",
                "+noise", "Gaussian", "-depth", "8", "-quality", "92", phone)
    heic = os.path.join(media, "phone 12mp.heic")
    if not os.path.exists(heic):
        run("heif-enc", "-q", "50", "-o", heic, phone)
    heic_thumb = os.path.join(media, "phone 12mp thumbnail.heic")
    if not os.path.exists(heic_thumb):
        run("heif-enc", "-q", "50", "-t", "320", "-o", heic_thumb, phone)
    video = os.path.join(media, "video 60s 1080p.mp4")
    if not os.path.exists(video):
        run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30:d=60", "-c:v", "libx264",
            "-preset", "veryfast", "-pix_fmt", "yuv420p", video)
    dng = os.path.join(media, "camera 24mp.dng")
    if not os.path.exists(dng):
        preview = os.path.join(base, "preview.jpg")
        convert(phone, "-resize", "1620x1080!", "-quality", "90", preview)
        make_dng = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support", "make_dng.py")
        run(sys.executable, make_dng, dng, "--width", "6000", "--height", "4000", "--preview", preview)
    for i in range(count):
        source = (phone, heic_thumb, dng)[i % 3]
        target = os.path.join(mixed, "photo %03d%s" % (i, os.path.splitext(source)[1]))
        if not os.path.exists(target):
            shutil.copyfile(source, target)
    print(media)
    print(mixed)


if __name__ == "__main__":
    sys.exit(main())
