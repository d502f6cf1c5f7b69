#!/usr/bin/env python3
"""Writes a small DNG made at test time: a 16-bit RGGB mosaic whose left
half is dark and right half bright, optionally with a JPEG preview in IFD0
(the raw data then in a SubIFD) and an orientation.

make_dng.py OUT --width W --height H [--preview FILE.jpg] [--orientation N]
           [--claim WxH]   (a hostile file: the raw data claims that size)
"""
import argparse
import struct


def jpeg_size(data):
    """(width, height) from a JPEG's frame header."""
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            raise ValueError("not a JPEG")
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    raise ValueError("no frame header")


SHORT, LONG, RATIONAL, SRATIONAL, BYTE, ASCII = 3, 4, 5, 10, 1, 2


class Ifd:
    def __init__(self):
        self.entries = []  # (tag, type, values)

    def add(self, tag, typ, values):
        if not isinstance(values, (list, tuple, bytes)):
            values = [values]
        self.entries.append((tag, typ, values))


def value_bytes(typ, values):
    if typ == SHORT:
        return b"".join(struct.pack("<H", v) for v in values)
    if typ == LONG:
        return b"".join(struct.pack("<I", v) for v in values)
    if typ == RATIONAL:
        return b"".join(struct.pack("<II", n, d) for n, d in values)
    if typ == SRATIONAL:
        return b"".join(struct.pack("<ii", n, d) for n, d in values)
    if typ in (BYTE, ASCII):
        return bytes(values)
    raise ValueError(typ)


def count_of(typ, values):
    return len(values)


def write(out, ifds, blobs):
    """ifds: list of Ifd, the first is IFD0 and the rest SubIFDs of it.
    blobs: name -> bytes; an entry value ("offset", name) is patched."""
    # Layout: header, blobs, then IFDs with their out-of-line values.
    data = bytearray(b"II*\x00\x00\x00\x00\x00")
    where = {}
    for name, blob in blobs.items():
        if len(data) % 2:
            data += b"\x00"
        where[name] = len(data)
        data += blob
    ifd_offsets = []
    # Two passes: sizes first, so SubIFD offsets are known.
    sizes = []
    for ifd in ifds:
        size = 2 + 12 * len(ifd.entries) + 4
        extra = 0
        for tag, typ, values in ifd.entries:
            n = len(value_bytes(typ, values if not isinstance(values, tuple) else [0]))
            if isinstance(values, tuple):
                n = 4
            if n > 4:
                extra += n + (n % 2)
        sizes.append(size + extra)
    pos = len(data) + (len(data) % 2)
    for s in sizes:
        ifd_offsets.append(pos)
        pos += s + (s % 2)

    def resolve(values):
        if isinstance(values, tuple) and values[0] == "offset":
            return [where[values[1]]]
        if isinstance(values, tuple) and values[0] == "ifd":
            return [ifd_offsets[values[1]]]
        return values

    if len(data) % 2:
        data += b"\x00"
    struct.pack_into("<I", data, 4, ifd_offsets[0])
    for index, ifd in enumerate(ifds):
        assert len(data) == ifd_offsets[index], (len(data), ifd_offsets[index])
        entries = sorted(ifd.entries, key=lambda e: e[0])
        head = bytearray(struct.pack("<H", len(entries)))
        extra_start = len(data) + 2 + 12 * len(entries) + 4
        extra = bytearray()
        for tag, typ, values in entries:
            values = resolve(values)
            raw = value_bytes(typ, values)
            if len(raw) <= 4:
                field = raw.ljust(4, b"\x00")
            else:
                field = struct.pack("<I", extra_start + len(extra))
                extra += raw
                if len(extra) % 2:
                    extra += b"\x00"
            head += struct.pack("<HHI", tag, typ, count_of(typ, values)) + field
        head += struct.pack("<I", 0)
        data += head + extra
        if len(data) % 2:
            data += b"\x00"
    out.write(bytes(data))


def mosaic(width, height):
    # RGGB: a bright half of a reddish grey, a dark half near black.
    half = width // 2
    even = struct.pack("<HH", 1500, 1500) * (half // 2) + b"\x00\x00" * (half % 2)
    even += (struct.pack("<HH", 60000, 40000) * ((width - half) // 2 + 1))[: 2 * (width - half)]
    odd = struct.pack("<H", 1500) * half + struct.pack("<H", 40000) * (width - half)
    even = even[: 2 * width].ljust(2 * width, b"\x00")
    return (even + odd) * (height // 2) + (even if height % 2 else b"")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("out")
    p.add_argument("--width", type=int, default=256)
    p.add_argument("--height", type=int, default=128)
    p.add_argument("--preview")
    p.add_argument("--orientation", type=int, default=1)
    p.add_argument("--claim")
    a = p.parse_args()
    claimed = tuple(int(v) for v in a.claim.split("x")) if a.claim else (a.width, a.height)

    blobs = {"raw": mosaic(a.width, a.height)}
    raw = Ifd()
    raw.add(254, LONG, 0)
    raw.add(256, LONG, claimed[0])
    raw.add(257, LONG, claimed[1])
    raw.add(258, SHORT, 16)
    raw.add(259, SHORT, 1)
    raw.add(262, SHORT, 32803)  # colour filter array
    raw.add(273, LONG, ("offset", "raw"))
    raw.add(274, SHORT, a.orientation)
    raw.add(277, SHORT, 1)
    raw.add(278, LONG, a.height)
    raw.add(279, LONG, len(blobs["raw"]))
    raw.add(284, SHORT, 1)
    raw.add(33421, SHORT, [2, 2])  # CFARepeatPatternDim
    raw.add(33422, BYTE, bytes([0, 1, 1, 2]))  # CFAPattern: RGGB
    raw.add(50717, LONG, 65535)  # WhiteLevel

    camera = Ifd()
    camera.add(271, ASCII, b"Tavolix\x00")
    camera.add(272, ASCII, b"Test DNG\x00")
    camera.add(274, SHORT, a.orientation)
    camera.add(50706, BYTE, bytes([1, 4, 0, 0]))  # DNGVersion
    camera.add(50708, ASCII, b"Tavolix Test DNG\x00")  # UniqueCameraModel
    camera.add(50721, SRATIONAL, [(1, 1), (0, 1), (0, 1), (0, 1), (1, 1), (0, 1), (0, 1), (0, 1), (1, 1)])
    camera.add(50778, SHORT, 21)  # CalibrationIlluminant1: D65
    camera.add(50728, RATIONAL, [(1, 1), (1, 1), (1, 1)])  # AsShotNeutral

    if a.preview:
        jpeg = open(a.preview, "rb").read()
        w, h = jpeg_size(jpeg)
        blobs["preview"] = jpeg
        camera.add(254, LONG, 1)  # a reduced-resolution image
        camera.add(256, LONG, w)
        camera.add(257, LONG, h)
        camera.add(258, SHORT, [8, 8, 8])
        camera.add(259, SHORT, 7)  # JPEG
        camera.add(262, SHORT, 6)  # YCbCr
        camera.add(273, LONG, ("offset", "preview"))
        camera.add(277, SHORT, 3)
        camera.add(278, LONG, h)
        camera.add(279, LONG, len(jpeg))
        camera.add(284, SHORT, 1)
        camera.add(330, LONG, ("ifd", 1))  # SubIFDs
        ifds = [camera, raw]
    else:
        # The raw data in IFD0 itself, with the camera's tags.
        for tag, typ, values in raw.entries:
            if tag != 274:
                camera.add(tag, typ, values)
        ifds = [camera]
    with open(a.out, "wb") as out:
        write(out, ifds, blobs)


if __name__ == "__main__":
    main()
