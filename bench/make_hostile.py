#!/usr/bin/env python3
"""Writes files whose cost grows with what they claim, for bench_hostile_paint
and as fuzz seeds:
    python3 bench/make_hostile.py OUT_DIR [--small]
--small writes the same shapes a tenth of the size or less (fuzz seeds)."""
import os
import random
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "gen"))
from make_files import (bmp_file, colorref, emf_file, emf_record, group_icon, ico_file, info_header,  # noqa: E402
                        pe_file, placeable, resource_tree, wmf_record)

SMALL = "--small" in sys.argv


def n(big, small):
    return small if SMALL else big


def wmf_objects():
    # Brushes never deleted: a slot search over the whole table each time.
    rec = wmf_record(0x02FC, 0, *struct.unpack("<2H", colorref((0, 128, 0))), 0)
    return placeable((0, 0, 100, 100), 96, [rec] * n(60000, 6000), objects=65535)


def wmf_churn():
    # Create and delete in turn with a full table below: the lowest free slot.
    fill = [wmf_record(0x02FC, 0, 0, 0, 0)] * 20000
    churn = [wmf_record(0x01F0, 5), wmf_record(0x02FC, 0, 0, 0, 0), wmf_record(0x012D, 5)] * n(40000, 4000)
    return placeable((0, 0, 100, 100), 96, fill[:n(20000, 2000)] + churn, objects=65535)


def wmf_rects():
    return placeable((0, 0, 100, 100), 96, [wmf_record(0x041B, 90, 90, 10, 10)] * n(1000000, 50000))


def emf_polygon():
    count = n(2000000, 100000)
    pts = b"".join(struct.pack("<ii", (i * 7919) % 100, (i * 104729) % 100) for i in range(count))
    rec = emf_record(3, struct.pack("<iiiiI", 0, 0, 100, 100, count) + pts)
    return emf_file((100, 100), [rec])


def emf_path():
    # One path of many lines, stroked and filled, then made the clip.
    lines = [emf_record(54, struct.pack("<ii", (i * 7919) % 1000, (i * 104729) % 1000)) for i in range(n(120000, 6000))]
    tail = [emf_record(60, b""), emf_record(63, struct.pack("<iiii", 0, 0, 0, 0)), emf_record(59, b"")]
    again = lines[:n(60000, 3000)] + [emf_record(60, b""), emf_record(67, struct.pack("<I", 5)),
                                      emf_record(43, struct.pack("<iiii", 0, 0, 1000, 1000))]
    return emf_file((100, 100), [emf_record(59, b"")] + lines + tail + again)


def emf_excludes():
    # Holes punched all over the clip, then shapes drawn through it.
    holes = [emf_record(29, struct.pack("<iiii", x, y, x + 1, y + 1)) for y in range(0, 100, 2) for x in range(0, 100, 2)]
    return emf_file((100, 100), holes * n(4, 1) + [emf_record(43, struct.pack("<iiii", 0, 0, 100, 100))] * 1000)


def emf_records():
    return emf_file((100, 100), [emf_record(25, struct.pack("<I", 0x00FF00))] * n(1000000, 50000))


def emf_text():
    chars = 1000
    text = ("日本語のテキスト" * 200)[:chars].encode("utf-16-le")
    dx = struct.pack("<%di" % chars, *([3] * chars))
    font = emf_record(82, struct.pack("<I5i8B", 1, -20, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + b"\0" * 64)
    off_string = 76
    off_dx = off_string + len(text)
    body = struct.pack("<iiiiIff", 0, 0, 100, 100, 1, 1.0, 1.0)
    body += struct.pack("<iiIIIiiiiI", 0, 50, chars, off_string, 0, 0, 0, 0, 0, off_dx)
    rec = emf_record(84, body + text + dx)
    return emf_file((100, 100), [font, emf_record(37, struct.pack("<I", 1))] + [rec] * n(5000, 300))


def emf_dibs():
    # Many stretched bitmaps, each a run-length picture claiming 4000 x 4000.
    w = h = 4000
    runs = (b"\xff\x01" * (w // 255) + bytes([w % 255, 1]) + b"\0\0") * h + b"\0\1"
    table = b"\0\0\0\0" + b"\0\x80\0\0" + b"\0" * (254 * 4)
    bmi = info_header(w, h, 8, compression=1) + table
    off_bmi = 80
    off_bits = off_bmi + len(bmi)
    body = struct.pack("<iiii", 0, 0, 100, 100) + struct.pack("<iiiiII", 0, 0, 0, 0, w, h)
    body += struct.pack("<IIIIII", off_bmi, len(bmi), off_bits, len(runs), 0, 0xCC0020) + struct.pack("<ii", 100, 100)
    rec = emf_record(81, body + bmi + runs)
    return emf_file((100, 100), [rec] * n(12, 2))


def bmp_rle_big():
    w = h = 5600
    row = b"\xff\x01" * (w // 255) + bytes([w % 255, 1]) + b"\0\0"
    table = b"\0\0\0\0" + b"\0\x80\0\0" + b"\0" * (254 * 4)
    return bmp_file(info_header(w, h, 8, compression=1), table, row * n(h, h // 10) + b"\0\1")


def bmp_rle_claim():
    # The largest run-length bitmap there is, ended at once: its size is a claim.
    table = b"\0\0\0\0" + b"\0\x80\0\0"
    return bmp_file(info_header(65536, 65536, 8, compression=1, colors=2), table, b"\0\1")


def bmp_a4_scan():
    # A4 at 600 dpi, one bit a pixel: over 32 M pixels, and a real picture.
    w, h = n((4960, 7016), (1240, 1754))
    stride = ((w + 31) // 32) * 4
    rows = b"".join((b"\x00\xff" * (stride // 2) if y % 64 < 32 else b"\xff" * stride) for y in range(h))
    return bmp_file(info_header(w, h, 1), b"\0\0\0\0\xff\xff\xff\0", rows)


def junk(size):
    # No icon image: fails the check after it has been read.
    return (b"\x28\0\0\0" + b"\xA5" * 60) * (size // 64)


def prog_icons(shared):
    # A group naming 512 icons of 4 MiB: one id over and over, or 512 ids
    # whose data entries all point at the same bytes.
    size = n(4 << 20, 256 << 10)
    blob = junk(size)
    if not shared:
        entries = [(32, 32, 32, size, 1)] * 512
        return pe_file({3: {1: blob}, 14: {1: group_icon(entries)}})
    entries = [(32, 32, 32, size, i + 1) for i in range(512)]
    resources = {3: {i + 1: (blob if i == 0 else b"x") for i in range(512)}, 14: {1: group_icon(entries)}}
    data = bytearray(pe_file(resources))
    _, _, _, data_entries, _, _ = resource_tree(resources)
    first = 0x200 + data_entries[(3, 1)]  # the section's file offset plus the entry's
    rva_size = data[first:first + 8]
    for i in range(2, 513):
        at = 0x200 + data_entries[(3, i)]
        data[at:at + 8] = rva_size
    return bytes(data)


def ico_many():
    # Four 1 MiB images that fail the check, in an icon file.
    img = junk(n(1 << 20, 64 << 10))
    return ico_file([(32, 32, 32, img)] * 4)


def png_file(width, height, depth, colour, rows, interlace=0, idat_piece=0):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    z = zlib.compress(rows, 1)
    pieces = [z[i:i + idat_piece] for i in range(0, len(z), idat_piece)] if idat_piece else [z]
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace))
            + b"".join(chunk(b"IDAT", p) for p in pieces) + chunk(b"IEND", b""))


def png_noise(interlace, piece=0):
    # 16-bit RGBA noise, every row Paeth-filtered: the most work a pixel can
    # ask of the PNG reader, at the most pixels its fuzz target reads.
    side = n(1024, 128)
    noise = random.Random(1)
    passes = ([(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
              if interlace else [(0, 0, 1, 1)])
    rows = b""
    for x0, y0, dx, dy in passes:
        pw, ph = (side - x0 + dx - 1) // dx, (side - y0 + dy - 1) // dy
        rows += b"".join(b"\x04" + noise.randbytes(pw * 8) for _ in range(ph))
    return png_file(side, side, 16, 6, rows, interlace, piece)


FILES = {
    "objects.wmf": wmf_objects,
    "churn.wmf": wmf_churn,
    "rects.wmf": wmf_rects,
    "polygon.emf": emf_polygon,
    "records.emf": emf_records,
    "path.emf": emf_path,
    "excludes.emf": emf_excludes,
    "text.emf": emf_text,
    "dibs.emf": emf_dibs,
    "rle_5600.bmp": bmp_rle_big,
    "rle_claim.bmp": bmp_rle_claim,
    "a4_600dpi.bmp": bmp_a4_scan,
    "icons_one_id.exe": lambda: prog_icons(False),
    "icons_shared.exe": lambda: prog_icons(True),
    "icons_big.ico": ico_many,
    "noise16.png": lambda: png_noise(0),
    "noise16_interlaced.png": lambda: png_noise(1),
    "noise16_small_idats.png": lambda: png_noise(0, 64),
}


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        sys.exit(__doc__)
    os.makedirs(args[0], exist_ok=True)
    for name, make in FILES.items():
        data = make()
        with open(os.path.join(args[0], name), "wb") as f:
            f.write(data)
        print("%-18s %10d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
