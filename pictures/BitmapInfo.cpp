#include "pictures/BitmapInfo.h"

namespace tavolix::pictures {

std::uint64_t TDibInfo::PixelBytes() const {
    if (Compression == kBiRle8 || Compression == kBiRle4)
        return 0;
    return RowBytes * static_cast<std::uint64_t>(Height);
}

std::optional<TDibInfo> ParseDibHeader(TByteView dib, bool iconImage) {
    TDibInfo info;
    info.HeaderSize = dib.U32(0);
    std::int64_t width = 0, height = 0;
    std::uint16_t planes = 0;
    std::uint32_t colorsUsed = 0;
    switch (info.HeaderSize) {
    case 12:
        if (!dib.Has(0, 12))
            return std::nullopt;
        width = dib.U16(4);
        height = dib.U16(6);
        planes = dib.U16(8);
        info.BitCount = dib.U16(10);
        break;
    case 40:
    case 52:
    case 56:
    case 108:
    case 124:
        if (!dib.Has(0, info.HeaderSize))
            return std::nullopt;
        width = dib.I32(4);
        height = dib.I32(8);
        planes = dib.U16(12);
        info.BitCount = dib.U16(14);
        info.Compression = dib.U32(16);
        colorsUsed = dib.U32(32);
        break;
    default:
        return std::nullopt;
    }
    if (planes != 1)
        return std::nullopt;
    switch (info.BitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        break;
    case 16:
    case 32:
        if (info.HeaderSize == 12)
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    switch (info.Compression) {
    case kBiRgb:
        break;
    case kBiRle8:
        if (info.BitCount != 8 || iconImage)
            return std::nullopt;
        break;
    case kBiRle4:
        if (info.BitCount != 4 || iconImage)
            return std::nullopt;
        break;
    case kBiBitFields:
        if (info.BitCount != 16 && info.BitCount != 32)
            return std::nullopt;
        break;
    default: // JPEG, PNG, alpha bit fields, CMYK: nothing we hand to a decoder
        return std::nullopt;
    }
    if (height < 0) {
        if (info.Compression == kBiRle8 || info.Compression == kBiRle4 || iconImage)
            return std::nullopt;
        height = -height;
        info.TopDown = true;
    }
    if (iconImage) {
        if (height % 2 != 0)
            return std::nullopt;
        height /= 2;
    }
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxDecodedPixels)
        return std::nullopt;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);

    std::uint64_t table = 0;
    if (info.Compression == kBiBitFields && info.HeaderSize == 40)
        table += 12; // the three masks follow the short header
    const std::uint32_t entryBytes = info.HeaderSize == 12 ? 3 : 4;
    if (info.BitCount <= 8) {
        const std::uint32_t maxColors = 1u << info.BitCount;
        if (colorsUsed > maxColors)
            return std::nullopt;
        table += std::uint64_t{colorsUsed ? colorsUsed : maxColors} * entryBytes;
    } else {
        if (colorsUsed > 256)
            return std::nullopt;
        table += std::uint64_t{colorsUsed} * entryBytes;
    }
    info.TableBytes = static_cast<std::uint32_t>(table);
    info.RowBytes = ((static_cast<std::uint64_t>(info.Width) * info.BitCount + 31) / 32) * 4;
    return info;
}

std::optional<TDibInfo> CheckBitmapFile(TByteView head, std::uint64_t fileSize) {
    if (!head.Has(0, 14 + 12) || !head.Equals(0, "BM", 2))
        return std::nullopt;
    const std::uint64_t pixelOffset = head.U32(10);
    auto info = ParseDibHeader(head.From(14));
    if (!info)
        return std::nullopt;
    if (pixelOffset < 14 + info->HeaderSize || pixelOffset > fileSize)
        return std::nullopt;
    const std::uint64_t available = fileSize - pixelOffset;
    if (info->Compression == kBiRle8 || info->Compression == kBiRle4) {
        // Run-length data can't promise its size, but it can't be empty, and
        // it can't describe more than 256 pixels per two bytes.
        const std::uint64_t pixels = std::uint64_t(info->Width) * std::uint64_t(info->Height);
        if (available < 2 || pixels / 128 > available + 64)
            return std::nullopt;
    } else if (info->PixelBytes() > available) {
        return std::nullopt; // truncated
    }
    return info;
}

} // namespace tavolix::pictures
