#!/usr/bin/env python3
"""Writes the small picture, icon, metafile and program files the reader and
painter tests use (and the fuzzers start from). Run from anywhere:
    python3 tests/data/gen/make_files.py
The output is committed; run again only to change it."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pictures")

# Colours the pixel tests look for (r, g, b).
GREEN = (0, 128, 0)
ORANGE = (255, 128, 0)
ICON32 = (10, 200, 30)
ICON16 = (200, 10, 200)
BLUE = (0, 0, 255)


def write(name, data):
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


# ---- bitmaps ---------------------------------------------------------------

def rows24(w, h, color):
    r, g, b = color
    row = bytes([b, g, r]) * w
    row += b"\0" * ((4 - len(row) % 4) % 4)
    return row * h


def bmp_file(header, table, bits):
    off = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", off + len(bits), 0, 0, off) + header + table + bits


def info_header(w, h, bits, compression=0, size=40, colors=0, image=0):
    hdr = struct.pack("<IiiHHIIiiII", size, w, h, 1, bits, compression, image, 2835, 2835, colors, 0)
    return hdr + b"\0" * (size - 40)


def bmp24(w, h, color):
    return bmp_file(info_header(w, h, 24), b"", rows24(w, h, color))


def bmp_core24(w, h, color):
    return bmp_file(struct.pack("<IHHHH", 12, w, h, 1, 24), b"", rows24(w, h, color))


def bmp1(w, h):
    table = bytes([0, 0, 0, 0]) + bytes([GREEN[2], GREEN[1], GREEN[0], 0])
    stride = ((w + 31) // 32) * 4
    return bmp_file(info_header(w, h, 1), table, b"\xff" * stride * h)


def bmp8(w, h):
    table = bytes([GREEN[2], GREEN[1], GREEN[0], 0]) + b"\0\0\0\0" * 255
    stride = (w + 3) & ~3
    return bmp_file(info_header(w, h, 8), table, b"\0" * stride * h)


def bmp_rle8(w, h):
    table = bytes([GREEN[2], GREEN[1], GREEN[0], 0]) + b"\0\0\0\0"
    data = b""
    for _ in range(h):
        data += bytes([w, 0]) + b"\0\0"  # a run of colour 0, end of line
    data += b"\0\1"
    return bmp_file(info_header(w, h, 8, compression=1, colors=2, image=len(data)), table, data)


def bmp_rle4(w, h):
    table = bytes([GREEN[2], GREEN[1], GREEN[0], 0]) * 16
    data = b""
    for _ in range(h):
        data += bytes([w, 0x00]) + b"\0\0"
    data += b"\0\1"
    return bmp_file(info_header(w, h, 4, compression=2, colors=16, image=len(data)), table, data)


def bmp16_bitfields_v4(w, h):
    r, g, b = GREEN
    px = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
    stride = (w * 2 + 3) & ~3
    row = struct.pack("<H", px) * w + b"\0" * (stride - 2 * w)
    hdr = struct.pack("<IiiHHIIiiII", 108, w, h, 1, 16, 3, stride * h, 2835, 2835, 0, 0)
    hdr += struct.pack("<IIII", 0xF800, 0x07E0, 0x001F, 0) + b"\0" * (108 - 56)
    return bmp_file(hdr, b"", row * h)


def bmp32_v5_topdown(w, h):
    r, g, b = GREEN
    hdr = struct.pack("<IiiHHIIiiII", 124, w, -h, 1, 32, 0, w * 4 * h, 2835, 2835, 0, 0) + b"\0" * (124 - 40)
    return bmp_file(hdr, b"", bytes([b, g, r, 255]) * w * h)


def bmp_huge_claim():
    # Claims 60000 x 60000 pixels but holds a few bytes.
    return bmp_file(info_header(60000, 60000, 24), b"", b"\0" * 64)


def bmp_truncated():
    return bmp24(20, 20, GREEN)[:200]


# ---- icons and cursors -----------------------------------------------------

def icon_dib(w, h, color):
    r, g, b = color
    hdr = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytes([b, g, r, 255]) * w * h
    mask = b"\0" * (((w + 31) // 32) * 4) * h
    return hdr + xor + mask


def png(w, h, color):
    raw = b"".join(b"\0" + bytes(color) * w for _ in range(h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def ico_file(images, kind=1, hotspots=None):
    out = struct.pack("<HHH", 0, kind, len(images))
    off = 6 + 16 * len(images)
    body = b""
    for i, (w, h, bits, data) in enumerate(images):
        a, b = (1, bits) if kind == 1 else hotspots[i]
        out += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, 0, 0, a, b, len(data), off + len(body))
        body += data
    return out + body


def riff_chunk(kind, data):
    return kind + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def ani_file(frames):
    anih = struct.pack("<IIIIIIIII", 36, len(frames), len(frames), 0, 0, 0, 0, 10, 1)
    fram = b"fram" + b"".join(riff_chunk(b"icon", f) for f in frames)
    body = b"ACON" + riff_chunk(b"anih", anih) + riff_chunk(b"LIST", b"INFO" + riff_chunk(b"INAM", b"t\0")) + \
        riff_chunk(b"LIST", fram)
    return b"RIFF" + struct.pack("<I", len(body)) + body


# ---- program files ---------------------------------------------------------

def resource_tree(resources):
    """resources: {type: {id: bytes}} -> (section bytes, fixups) laid out at rva."""
    # Directories, then data entries, then data.
    types = sorted(resources)
    dirs = []  # (offset placeholder) built in order: root, per type, per id
    layout = []

    def dir_size(n):
        return 16 + 8 * n
    off = dir_size(len(types))
    type_dirs = {}
    for t in types:
        type_dirs[t] = off
        off += dir_size(len(resources[t]))
    lang_dirs = {}
    for t in types:
        for i in sorted(resources[t]):
            lang_dirs[(t, i)] = off
            off += dir_size(1)
    data_entries = {}
    for t in types:
        for i in sorted(resources[t]):
            data_entries[(t, i)] = off
            off += 16
    data_off = {}
    for t in types:
        for i in sorted(resources[t]):
            data_off[(t, i)] = off
            off += (len(resources[t][i]) + 3) & ~3
    return types, type_dirs, lang_dirs, data_entries, data_off, off


def build_rsrc(resources, rva):
    types, type_dirs, lang_dirs, data_entries, data_off, size = resource_tree(resources)
    sec = bytearray(size)

    def put_dir(at, ids, targets, subdir=True):
        struct.pack_into("<IIHHHH", sec, at, 0, 0, 0, 0, 0, len(ids))
        for k, (i, t) in enumerate(zip(ids, targets)):
            struct.pack_into("<II", sec, at + 16 + 8 * k, i, t | (0x80000000 if subdir else 0))
    put_dir(0, types, [type_dirs[t] for t in types])
    for t in types:
        ids = sorted(resources[t])
        put_dir(type_dirs[t], ids, [lang_dirs[(t, i)] for i in ids])
        for i in ids:
            put_dir(lang_dirs[(t, i)], [0x409], [data_entries[(t, i)]], subdir=False)
            data = resources[t][i]
            struct.pack_into("<IIII", sec, data_entries[(t, i)], rva + data_off[(t, i)], len(data), 0, 0)
            sec[data_off[(t, i)]:data_off[(t, i)] + len(data)] = data
    return bytes(sec)


def group_icon(entries):
    out = struct.pack("<HHH", 0, 1, len(entries))
    for (w, h, bits, size, rid) in entries:
        out += struct.pack("<BBBBHHIH", w & 0xFF, h & 0xFF, 0, 0, 1, bits, size, rid)
    return out


def pe_file(resources, pe64=False):
    rva, raw = 0x1000, 0x200
    rsrc = build_rsrc(resources, rva) if resources else b""
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x40)
    opt_size = 240 if pe64 else 224
    coff = struct.pack("<HHIIIHH", 0x8664 if pe64 else 0x14C, 1, 0, 0, 0, opt_size, 0x0102)
    opt = bytearray(opt_size)
    struct.pack_into("<H", opt, 0, 0x20B if pe64 else 0x10B)
    dirs = 112 if pe64 else 96
    struct.pack_into("<I", opt, dirs - 4, 16)
    if rsrc:
        struct.pack_into("<II", opt, dirs + 16, rva, len(rsrc))
    vsize = max(len(rsrc), 1)
    rawsize = (len(rsrc) + 0x1FF) & ~0x1FF
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", vsize, rva, rawsize, raw, 0, 0, 0, 0, 0x40000040)
    head = bytes(dos) + b"PE\0\0" + coff + bytes(opt) + section
    head += b"\0" * (raw - len(head))
    return head + rsrc + b"\0" * (rawsize - len(rsrc))


def icon_resources(first_group_id=1):
    big, small = icon_dib(32, 32, ICON32), icon_dib(16, 16, ICON16)
    group = group_icon([(16, 16, 32, len(small), 1), (32, 32, 32, len(big), 2)])
    other = group_icon([(16, 16, 32, len(small), 1)])
    return {3: {1: small, 2: big}, 14: {first_group_id: group, first_group_id + 1: other}}


def ne_file():
    shift = 4
    small, big = icon_dib(16, 16, ICON16), icon_dib(32, 32, ICON32)
    group = group_icon([(16, 16, 32, len(small), 1), (32, 32, 32, len(big), 2)])
    ne_at = 0x40
    table = 0x40  # resource table, relative to the NE header
    items = [(0x8003, [(0x8001, small), (0x8002, big)]), (0x800E, [(0x8001, group)])]
    tsize = 2 + sum(8 + 12 * len(r) for _, r in items) + 2
    data_at = (ne_at + table + tsize + 15) & ~15
    tab = struct.pack("<H", shift)
    blobs = b""
    pos = data_at
    for kind, res in items:
        tab += struct.pack("<HHI", kind, len(res), 0)
        for rid, data in res:
            padded = (len(data) + 15) & ~15
            tab += struct.pack("<HHHHHH", pos >> shift, padded >> shift, 0x1C30, rid, 0, 0)
            blobs += data + b"\0" * (padded - len(data))
            pos += padded
    tab += b"\0\0"
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, ne_at)
    ne = bytearray(64)
    ne[0:2] = b"NE"
    struct.pack_into("<HH", ne, 0x24, table, table + len(tab))
    out = bytes(dos) + bytes(ne) + tab
    out += b"\0" * (data_at - len(out))
    return out + blobs


# ---- metafiles -------------------------------------------------------------

def wmf_record(func, *words, raw=b""):
    params = b"".join(struct.pack("<h" if w < 0 else "<H", w) for w in words) + raw
    if len(params) % 2:
        params += b"\0"
    return struct.pack("<IH", 3 + len(params) // 2, func) + params


def colorref(c):
    return struct.pack("<I", c[0] | (c[1] << 8) | (c[2] << 16))


def placeable(box, inch, records, objects=4, checksum_ok=True):
    left, top, right, bottom = box
    head = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0)
    words = struct.unpack("<10H", head)
    check = 0
    for w in words:
        check ^= w
    if not checksum_ok:
        check ^= 0x5555
    body = b"".join(records) + wmf_record(0x0000)
    meta = struct.pack("<HHHIHIH", 1, 9, 0x300, 9 + len(body) // 2, objects, 100, 0)
    return head + struct.pack("<H", check) + meta + body


def wmf_fill(box, inch, color, objects=1):
    left, top, right, bottom = box
    return placeable(box, inch, [
        wmf_record(0x020B, top, left), wmf_record(0x020C, bottom - top, right - left),
        wmf_record(0x02FC, 0, raw=colorref(color) + b"\0\0"),        # solid brush
        wmf_record(0x012D, 0),
        wmf_record(0x02FA, 5, 0, 0, raw=colorref((0, 0, 0))),          # null pen
        wmf_record(0x012D, 1),
        wmf_record(0x041B, bottom, right, top, left),
    ], objects=2)


def wmf_shapes():
    font = struct.pack("<hhhhhBBBBBBBB", -12, 0, 0, 0, 700, 0, 0, 0, 128, 0, 0, 0, 0) + b"Sans\0".ljust(32, b"\0")
    dib = struct.pack("<IiiHHIIiiII", 40, 4, 4, 1, 24, 0, 0, 0, 0, 0, 0) + rows24(4, 4, ORANGE)
    text = b"Ab\x83e"  # Shift-JIS katakana "テ" after two Latin letters
    return placeable((0, 0, 200, 100), 1440, [
        wmf_record(0x020B, 0, 0), wmf_record(0x020C, 100, 200),
        wmf_record(0x001E),
        wmf_record(0x02FA, 0, 2, 0, raw=colorref(BLUE)),
        wmf_record(0x012D, 0),
        wmf_record(0x02FC, 2, raw=colorref(GREEN) + struct.pack("<H", 4)),
        wmf_record(0x012D, 1),
        wmf_record(0x0418, 60, 60, 10, 10),
        wmf_record(0x0817, 90, 190, 50, 110, 95, 195, 5, 105),
        wmf_record(0x0325, 3, 0, 0, 100, 50, 200, 0),
        wmf_record(0x0324, 3, 10, 90, 30, 70, 50, 90),
        wmf_record(0x0538, 2, 3, 3, 60, 60, 70, 60, 65, 70, 80, 60, 90, 60, 85, 70),
        wmf_record(0x0214, 5, 5), wmf_record(0x0213, 95, 195),
        wmf_record(0x061C, 10, 10, 95, 150, 70, 120),
        wmf_record(0x02FB, raw=font), wmf_record(0x012D, 2),
        wmf_record(0x0209, raw=colorref((255, 0, 0))),
        wmf_record(0x0521, len(text), raw=text + struct.pack("<hh", 40, 70)),
        wmf_record(0x0A32, 20, 70, 2, 0, raw=b"Hi" + struct.pack("<hh", 6, 6)),
        wmf_record(0x0F43, 0x0020, 0x00CC, 0, 4, 4, 0, 0, 20, 20, 75, 160, raw=dib),
        wmf_record(0x01F0, 0),
        wmf_record(0x0127, -1),
    ], objects=3)


def emf_record(kind, payload):
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def emf_file(frame_px, records, dev=(1024, 768), mm=(320, 240)):
    w, h = frame_px
    # Frame in 0.01 mm at the reference device's resolution.
    fr = (0, 0, round(w * mm[0] * 100 / dev[0]), round(h * mm[1] * 100 / dev[1]))
    body = b"".join(records) + emf_record(14, struct.pack("<III", 0, 16, 20))
    header_size = 108
    n_records = len(records) + 2
    header = struct.pack("<II", 1, header_size) + struct.pack("<iiii", 0, 0, w - 1, h - 1) + struct.pack("<iiii", *fr)
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, header_size + len(body), n_records, 4, 0, 0, 0, 0)
    header += struct.pack("<iiii", dev[0], dev[1], mm[0], mm[1])
    header += struct.pack("<III", 0, 0, 0) + struct.pack("<ii", mm[0] * 1000, mm[1] * 1000)
    assert len(header) == header_size
    return header + body


def emf_fill(px, color):
    w, h = px
    # A reference device of 96 pixels per inch: 1920 pixels over 508 mm.
    return emf_file(px, dev=(1920, 1080), mm=(508, 286), records=[
        emf_record(39, struct.pack("<II", 1, 0) + colorref(color) + struct.pack("<I", 0)),
        emf_record(37, struct.pack("<I", 1)),
        emf_record(37, struct.pack("<I", 0x80000008)),  # NULL_PEN
        emf_record(43, struct.pack("<iiii", 0, 0, w, h)),
    ])


def emf_shapes():
    dib = struct.pack("<IiiHHIIiiII", 40, 4, 4, 1, 24, 0, 0, 0, 0, 0, 0)
    bits = rows24(4, 4, ORANGE)
    text = "Tx\u30c6".encode("utf-16-le")
    stretch = struct.pack("<iiii", 0, 0, 0, 0) + struct.pack("<iiiiii", 600, 100, 0, 0, 4, 4)
    stretch += struct.pack("<IIII", 80, len(dib), 80 + len(dib), len(bits)) + struct.pack("<II", 0, 0x00CC0020)
    stretch += struct.pack("<ii", 300, 300)
    font = struct.pack("<I", 3) + struct.pack("<iiiii", -160, 0, 0, 0, 700) + bytes([0, 0, 0, 1, 0, 0, 0, 0])
    font += "Sans".encode("utf-16-le").ljust(64, b"\0")
    ext_text = struct.pack("<iiii", 0, 0, 0, 0) + struct.pack("<Iff", 1, 1.0, 1.0)
    ext_text += struct.pack("<iiIII", 100, 800, 3, 76, 0) + struct.pack("<iiii", 0, 0, -1, -1) + struct.pack("<I", 0)
    ext_text += text + b"\0\0"
    return emf_file((100, 100), [
        emf_record(17, struct.pack("<I", 8)),                       # MM_ANISOTROPIC
        emf_record(9, struct.pack("<ii", 1000, 1000)),              # window ext
        emf_record(11, struct.pack("<ii", 100, 100)),               # viewport ext
        emf_record(33, b""),
        emf_record(38, struct.pack("<IIii", 1, 0, 20, 0) + colorref(BLUE)),
        emf_record(37, struct.pack("<I", 1)),
        emf_record(39, struct.pack("<II", 2, 0) + colorref(GREEN) + struct.pack("<I", 0)),
        emf_record(37, struct.pack("<I", 2)),
        emf_record(42, struct.pack("<iiii", 100, 100, 500, 500)),
        emf_record(45, struct.pack("<iiiiiiii", 500, 500, 900, 900, 900, 700, 700, 500)),
        emf_record(86, struct.pack("<iiii", 0, 0, 0, 0) + struct.pack("<I", 3) + struct.pack("<hhhhhh", 100, 900, 300, 600, 500, 900)),
        emf_record(4, struct.pack("<iiii", 0, 0, 0, 0) + struct.pack("<I", 2) + struct.pack("<iiii", 0, 0, 1000, 1000)),
        emf_record(27, struct.pack("<ii", 0, 1000)), emf_record(54, struct.pack("<ii", 1000, 0)),
        emf_record(59, b""), emf_record(27, struct.pack("<ii", 600, 100)), emf_record(54, struct.pack("<ii", 900, 100)),
        emf_record(54, struct.pack("<ii", 900, 400)), emf_record(61, b""), emf_record(60, b""), emf_record(63, b""),
        emf_record(36, struct.pack("<ffffff", 1, 0, 0, 1, 0, 0) + struct.pack("<I", 1)),
        emf_record(82, font), emf_record(37, struct.pack("<I", 3)),
        emf_record(24, colorref((255, 0, 0))),
        emf_record(84, ext_text),
        emf_record(81, stretch + dib + bits),
        emf_record(34, struct.pack("<i", -1)),
        emf_record(40, struct.pack("<I", 1)),
    ])


def fuzz_reproducers():
    """Inputs the fuzzers found trouble with, kept for the unit tests and for
    scripts/fuzz.sh, which replays them before fuzzing."""
    out = os.path.join(os.path.dirname(OUT), "fuzz", "fuzz_metafile_play")
    os.makedirs(out, exist_ok=True)
    # Pen widths past what the toolkit takes (it refuses 32768 and more).
    wmf = placeable((0, 0, 100, 100), 96, [
        wmf_record(0x02FA, 0, 0x8000, 0, raw=colorref(BLUE)), wmf_record(0x012D, 0),
        wmf_record(0x0418, 90, 90, 10, 10)], objects=1)
    emf = emf_file((100, 100), [
        emf_record(95, struct.pack("<IIIIIIIII", 1, 0, 0, 0, 0, 0, 0xF0000000, 0, 0xFF)),
        emf_record(37, struct.pack("<I", 1)), emf_record(42, struct.pack("<iiii", 10, 10, 90, 90))])
    for name, data in (("wide_pen.wmf", wmf), ("wide_pen.emf", emf)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


def main():
    fuzz_reproducers()
    write("green_10x10.bmp", bmp24(10, 10, GREEN))
    write("green_30x12.bmp", bmp24(30, 12, GREEN))
    write("green_20x60.bmp", bmp24(20, 60, GREEN))
    write("green_300x20.bmp", bmp24(300, 20, GREEN))
    write("core24_7x5.bmp", bmp_core24(7, 5, GREEN))
    write("mono_16x8.bmp", bmp1(16, 8))
    write("pal8_12x10.bmp", bmp8(12, 10))
    write("rle8_10x6.bmp", bmp_rle8(10, 6))
    write("rle4_9x6.bmp", bmp_rle4(9, 6))
    write("v4_565_8x8.bmp", bmp16_bitfields_v4(8, 8))
    write("v5_topdown_6x4.bmp", bmp32_v5_topdown(6, 4))
    write("huge_claim.bmp", bmp_huge_claim())
    write("truncated.bmp", bmp_truncated())
    write("not_a_picture.bmp", b"hello, this is text\n")
    big, small = icon_dib(32, 32, ICON32), icon_dib(16, 16, ICON16)
    write("two_sizes.ico", ico_file([(16, 16, 32, small), (32, 32, 32, big)]))
    write("png_entry.ico", ico_file([(32, 32, 32, png(32, 32, ICON32))]))
    write("arrow.cur", ico_file([(32, 32, 32, big)], kind=2, hotspots=[(3, 4)]))
    write("spin.ani", ani_file([ico_file([(32, 32, 32, big)], kind=2, hotspots=[(0, 0)]),
                                ico_file([(16, 16, 32, small)], kind=2, hotspots=[(0, 0)])]))
    write("blue_10px.wmf", wmf_fill((0, 0, 10, 10), 96, BLUE))
    write("blue_inch0.wmf", wmf_fill((0, 0, 20, 10), 0, BLUE))
    write("blue_1440.wmf", wmf_fill((-720, -360, 720, 360), 1440, BLUE))
    write("shapes.wmf", wmf_shapes())
    bad = bytearray(wmf_fill((0, 0, 10, 10), 96, BLUE))
    bad[20] ^= 0xFF
    write("bad_checksum.wmf", bytes(bad))
    write("plain_old.wmf", wmf_fill((0, 0, 10, 10), 96, BLUE)[22:])  # no placeable header
    write("blue_10px.emf", emf_fill((10, 10), BLUE))
    write("enhanced_10px.wmf", emf_fill((10, 10), BLUE))  # the reader goes by content
    write("shapes.emf", emf_shapes())
    write("prog_icon.exe", pe_file(icon_resources()))
    write("prog64_icon.dll", pe_file(icon_resources(), pe64=True))
    write("prog_noicon.exe", pe_file({16: {1: b"version stand-in"}}))
    # A group naming one broken icon 512 times: it is read once.
    write("prog_same_icon.exe", pe_file({3: {1: b"\x28\0\0\0" + b"\xA5" * 4092},
                                         14: {1: group_icon([(32, 32, 32, 4096, 1)] * 512)}}))
    write("prog_nores.scr", pe_file({}))
    write("prog16_icon.exe", ne_file())
    write("dos_only.exe", b"MZ" + b"\0" * 62 + b"\xb4\x4c\xcd\x21")
    write("help.hlp", b"?_\x03\0" + b"\0" * 60)
    write("shortcut.lnk", b"L\0\0\0" + b"\1\x14\2\0" + b"\0" * 68)


if __name__ == "__main__":
    main()
