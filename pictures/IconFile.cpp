#include "pictures/IconFile.h"

#include <cstdlib>

namespace tavolix::pictures {

namespace {

const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

struct TImageShape {
    int Width = 0, Height = 0, BitCount = 0;
};

std::optional<TImageShape> ShapeOf(TByteView image) {
    if (image.Size() > kMaxIconImageBytes)
        return std::nullopt;
    if (image.Equals(0, kPngSignature, 8)) {
        // The IHDR chunk comes first: length 13, "IHDR", width, height (big-endian).
        if (!image.Has(0, 8 + 8 + 13) || !image.Equals(12, "IHDR", 4))
            return std::nullopt;
        auto be32 = [&](std::size_t off) {
            return (std::uint32_t{image.U8(off)} << 24) | (std::uint32_t{image.U8(off + 1)} << 16) |
                   (std::uint32_t{image.U8(off + 2)} << 8) | std::uint32_t{image.U8(off + 3)};
        };
        const std::uint32_t w = be32(16), h = be32(20);
        if (w == 0 || h == 0 || w > 1024 || h > 1024)
            return std::nullopt;
        return TImageShape{static_cast<int>(w), static_cast<int>(h), 32};
    }
    const auto dib = CheckIconDib(image);
    if (!dib)
        return std::nullopt;
    return TImageShape{dib->Info.Width, dib->Info.Height, dib->Info.BitCount};
}

} // namespace

std::optional<TIconDib> CheckIconDib(TByteView image) {
    const auto info = ParseDibHeader(image, true);
    if (!info || info->HeaderSize == 12 || info->Width > 1024 || info->Height > 1024)
        return std::nullopt;
    TIconDib dib;
    dib.Info = *info;
    dib.PixelsAt = std::size_t{info->HeaderSize} + info->TableBytes;
    dib.MaskAt = dib.PixelsAt + static_cast<std::size_t>(info->PixelBytes());
    dib.MaskRowBytes = ((static_cast<std::size_t>(info->Width) + 31) / 32) * 4;
    if (!image.Has(0, dib.MaskAt))
        return std::nullopt;
    dib.HasMask = image.Has(dib.MaskAt, dib.MaskRowBytes * static_cast<std::size_t>(info->Height));
    if (!dib.HasMask && info->BitCount != 32)
        return std::nullopt;
    return dib;
}

int BestIconEntry(const std::vector<TIconEntry>& entries, int wantWidth, int wantHeight) {
    int best = -1;
    auto sizeOf = [](const TIconEntry& e) { return (e.Width ? e.Width : 256) + (e.Height ? e.Height : 256); };
    auto rank = [&](const TIconEntry& e) {
        const int w = e.Width ? e.Width : 256, h = e.Height ? e.Height : 256;
        if (w == wantWidth && h == wantHeight)
            return 0;
        return (w >= wantWidth && h >= wantHeight) ? 1 : 2;
    };
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        if (best < 0) {
            best = i;
            continue;
        }
        const TIconEntry &e = entries[i], &b = entries[best];
        const int re = rank(e), rb = rank(b);
        if (re != rb) {
            if (re < rb)
                best = i;
            continue;
        }
        const int se = sizeOf(e), sb = sizeOf(b);
        if (re == 1 && se != sb) {
            if (se < sb)
                best = i;
        } else if (re == 2 && se != sb) {
            if (se > sb)
                best = i;
        } else if (e.BitCount > b.BitCount) {
            best = i;
        }
    }
    return best;
}

bool IsSaneIconImage(TByteView image) {
    return ShapeOf(image).has_value();
}

std::vector<std::uint8_t> MakeSingleIcon(TByteView image) {
    const auto shape = ShapeOf(image);
    if (!shape)
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(22 + image.Size());
    auto put16 = [&](unsigned v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0);
    put16(1);
    put16(1);
    out.push_back(static_cast<std::uint8_t>(shape->Width >= 256 ? 0 : shape->Width));
    out.push_back(static_cast<std::uint8_t>(shape->Height >= 256 ? 0 : shape->Height));
    out.push_back(static_cast<std::uint8_t>(shape->BitCount < 8 ? 1u << shape->BitCount : 0));
    out.push_back(0);
    put16(1);
    put16(static_cast<unsigned>(shape->BitCount));
    put32(static_cast<std::uint32_t>(image.Size()));
    put32(22);
    out.insert(out.end(), image.Data(), image.Data() + image.Size());
    return out;
}

std::optional<std::vector<TIconEntry>> ReadIconDirectory(TByteView file) {
    if (!file.Has(0, 6) || file.U16(0) != 0)
        return std::nullopt;
    const unsigned type = file.U16(2), count = file.U16(4);
    if ((type != 1 && type != 2) || count == 0 || count > kMaxIconEntries || !file.Has(6, 16 * count))
        return std::nullopt;
    std::vector<TIconEntry> entries;
    entries.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * i;
        TIconEntry entry;
        entry.Width = file.U8(e);
        entry.Height = file.U8(e + 1);
        // In cursors the planes and bit count fields hold the hot spot.
        entry.BitCount = type == 1 ? file.U16(e + 6) : 0;
        if (entry.BitCount == 0 && file.U8(e + 2) != 0) {
            for (unsigned colors = file.U8(e + 2); colors > 1; colors >>= 1)
                ++entry.BitCount;
        }
        entry.Bytes = file.U32(e + 8);
        entry.Offset = file.U32(e + 12);
        if (!file.Has(entry.Offset, entry.Bytes) || entry.Bytes == 0)
            continue;
        if (entry.BitCount == 0) { // the directory does not say: the image does
            const TByteView image = file.Sub(entry.Offset, entry.Bytes);
            entry.BitCount = image.Equals(0, kPngSignature, 8) ? 32 : image.U16(14);
        }
        entries.push_back(entry);
    }
    if (entries.empty())
        return std::nullopt;
    return entries;
}

std::vector<std::uint8_t> ExtractIconImage(TByteView file, int wantWidth, int wantHeight) {
    auto entries = ReadIconDirectory(file);
    if (!entries)
        return {};
    // The best image that is sound; the others stand in for a broken one.
    while (!entries->empty()) {
        const int best = BestIconEntry(*entries, wantWidth, wantHeight);
        const TIconEntry& e = (*entries)[best];
        auto ico = MakeSingleIcon(file.Sub(e.Offset, e.Bytes));
        if (!ico.empty())
            return ico;
        entries->erase(entries->begin() + best);
    }
    return {};
}

TByteView FirstAniFrame(TByteView file) {
    if (!file.Equals(0, "RIFF", 4) || !file.Equals(8, "ACON", 4))
        return {};
    std::size_t end = std::size_t{file.U32(4)} + 8;
    if (end > file.Size())
        end = file.Size(); // a short RIFF size is common; believe the file
    // Walks chunks at one nesting level; `fram` lists are entered once.
    std::size_t pos = 12;
    bool inFrames = false;
    for (int steps = 0; steps < 65536 && pos + 8 <= end; ++steps) {
        const std::size_t size = file.U32(pos + 4);
        const std::size_t body = pos + 8;
        if (size > end - body)
            return {};
        if (!inFrames && file.Equals(pos, "LIST", 4) && size >= 4 && file.Equals(body, "fram", 4)) {
            inFrames = true;
            end = body + size;
            pos = body + 4;
            continue;
        }
        if (inFrames && file.Equals(pos, "icon", 4))
            return file.Sub(body, size);
        pos = body + size + (size & 1);
    }
    return {};
}

} // namespace tavolix::pictures
