#include "pictures/BitmapInfo.h"

namespace tavolix::pictures {

std::uint64_t TDibInfo::PixelBytes() const {
    if (Compression == kBiRle8 || Compression == kBiRle4)
        return 0;
    return RowBytes * static_cast<std::uint64_t>(Height);
}

namespace {

enum : std::uint32_t { kCoreHeader = 12, kOs2ShortHeader = 16, kInfoHeader = 40, kOs2Header = 64 };
enum : std::uint32_t { kOs2Huffman = 3, kOs2Rle24 = 4 };

// The fields every header variant has, in its own layout.
struct TDibFields {
    std::int64_t Width = 0, Height = 0;
    std::uint16_t Planes = 0;
    std::uint32_t ColorsUsed = 0;
};

bool ReadFields(TByteView dib, TDibInfo& info, TDibFields& f) {
    switch (info.HeaderSize) {
    case kCoreHeader:
        if (!dib.Has(0, kCoreHeader))
            return false;
        f.Width = dib.U16(4);
        f.Height = dib.U16(6);
        f.Planes = dib.U16(8);
        info.BitCount = dib.U16(10);
        return true;
    case kOs2ShortHeader: // the fields of the long headers, up to the bit count
        if (!dib.Has(0, kOs2ShortHeader))
            return false;
        f.Width = dib.I32(4);
        f.Height = dib.I32(8);
        f.Planes = dib.U16(12);
        info.BitCount = dib.U16(14);
        return true;
    case kOs2Header:
        if (!dib.Has(0, kOs2Header) || dib.U32(16) == kOs2Huffman || dib.U32(16) == kOs2Rle24)
            return false;
        [[fallthrough]];
    case kInfoHeader:
    case 52: // with the colour masks
    case 56: // and the alpha mask
    case 108:
    case 124:
        if (!dib.Has(0, info.HeaderSize))
            return false;
        f.Width = dib.I32(4);
        f.Height = dib.I32(8);
        f.Planes = dib.U16(12);
        info.BitCount = dib.U16(14);
        info.Compression = dib.U32(16);
        f.ColorsUsed = dib.U32(32);
        return true;
    default:
        return false;
    }
}

bool DepthAndCompressionFit(const TDibInfo& info, bool iconImage) {
    switch (info.BitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        break;
    case 16:
    case 32:
        if (info.HeaderSize == kCoreHeader)
            return false;
        break;
    default:
        return false;
    }
    switch (info.Compression) {
    case kBiRgb:
        return true;
    case kBiRle8:
        return info.BitCount == 8 && !iconImage;
    case kBiRle4:
        return info.BitCount == 4 && !iconImage;
    case kBiBitFields:
    case kBiAlphaBitFields:
        return (info.BitCount == 16 || info.BitCount == 32) && info.HeaderSize != kOs2Header;
    default: // JPEG, PNG, CMYK: nothing we decode
        return false;
    }
}

bool SetTable(TDibInfo& info, std::uint32_t colorsUsed) {
    std::uint64_t table = 0;
    if (info.HeaderSize == kInfoHeader) { // the masks follow the short header
        if (info.Compression == kBiBitFields)
            table += 12;
        else if (info.Compression == kBiAlphaBitFields)
            table += 16;
    }
    const std::uint32_t entryBytes = info.HeaderSize == kCoreHeader ? 3 : 4;
    if (info.BitCount <= 8) {
        const std::uint32_t maxColors = 1u << info.BitCount;
        if (colorsUsed > maxColors)
            return false;
        info.Colors = colorsUsed ? colorsUsed : maxColors;
        table += std::uint64_t{info.Colors} * entryBytes;
    } else {
        if (colorsUsed > 256)
            return false;
        table += std::uint64_t{colorsUsed} * entryBytes;
    }
    info.TableBytes = static_cast<std::uint32_t>(table);
    return true;
}

// The masks sit right after the 40 fields of the long header, inside it
// (52, 56, 108, 124 bytes) or just after it (40).
bool SetMasks(TByteView dib, TDibInfo& info) {
    if (info.Compression == kBiRgb) {
        if (info.BitCount == 16) {
            info.RedMask = 0x7C00, info.GreenMask = 0x03E0, info.BlueMask = 0x001F;
        } else if (info.BitCount == 32) {
            info.RedMask = 0xFF0000, info.GreenMask = 0xFF00, info.BlueMask = 0xFF;
        }
        return true; // the alpha byte of plain 32-bit pixels is unused
    }
    if (info.Compression != kBiBitFields && info.Compression != kBiAlphaBitFields)
        return true;
    const bool alpha = info.Compression == kBiAlphaBitFields || info.HeaderSize >= 56;
    if (!dib.Has(kInfoHeader, alpha ? 16 : 12))
        return false;
    info.RedMask = dib.U32(40);
    info.GreenMask = dib.U32(44);
    info.BlueMask = dib.U32(48);
    info.AlphaMask = alpha ? dib.U32(52) : 0;
    return true;
}

} // namespace

std::optional<TDibInfo> ParseDibHeader(TByteView dib, bool iconImage) {
    TDibInfo info;
    info.HeaderSize = dib.U32(0);
    TDibFields f;
    if (!ReadFields(dib, info, f) || f.Planes != 1 || !DepthAndCompressionFit(info, iconImage))
        return std::nullopt;
    std::int64_t width = f.Width, height = f.Height;
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
    // Any size up to the side limit: big pictures are decoded scaled down.
    if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide)
        return std::nullopt;
    info.Width = static_cast<std::int32_t>(width);
    info.Height = static_cast<std::int32_t>(height);
    if (!SetTable(info, f.ColorsUsed) || !SetMasks(dib, info))
        return std::nullopt;
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
    if (!PixelsFit(*info, fileSize - pixelOffset))
        return std::nullopt; // truncated
    return info;
}

bool PixelsFit(const TDibInfo& info, std::uint64_t available) {
    // Run-length data can't promise its size: deltas and an end-of-bitmap
    // code leave any number of pixels unwritten.
    if (info.Compression == kBiRle8 || info.Compression == kBiRle4)
        return available >= 2;
    return info.PixelBytes() <= available;
}

std::optional<TByteView> DibPixels(const TDibInfo& info, TByteView packed, TByteView bits) {
    const std::size_t head = std::size_t{info.HeaderSize} + info.TableBytes;
    if (!packed.Has(0, head))
        return std::nullopt;
    const TByteView pixels = bits.Size() ? bits : packed.From(head);
    if (!PixelsFit(info, pixels.Size()))
        return std::nullopt;
    return pixels;
}

} // namespace tavolix::pictures
