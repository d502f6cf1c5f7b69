#pragma once

#include "pictures/ByteView.h"

#include <cstdint>
#include <optional>

namespace tavolix::pictures {

// Decoded pictures are kept below this many pixels (128 MiB as 32-bit pixels),
// whatever a header claims; bigger ones are decoded scaled down.
inline constexpr std::uint64_t kMaxDecodedPixels = 32ull << 20;
inline constexpr std::int32_t kMaxBitmapSide = 1 << 16;

enum : std::uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3, kBiAlphaBitFields = 6 };

// What the header of a device-independent bitmap says, once it has been
// found consistent and within the limits above.
struct TDibInfo {
    std::uint32_t HeaderSize = 0; // 12 (core), 16 or 64 (OS/2 2.x), 40, 52, 56, 108 or 124
    std::int32_t Width = 0;
    std::int32_t Height = 0; // always positive; see TopDown
    bool TopDown = false;
    std::uint16_t BitCount = 0;
    std::uint32_t Compression = kBiRgb;
    // Bytes between the end of the header and the pixels: colour masks and
    // colour table.
    std::uint32_t TableBytes = 0;
    // Bytes per row of an uncompressed bitmap.
    std::uint64_t RowBytes = 0;
    // Where the colours of 16- and 32-bit pixels are; no alpha mask: opaque.
    std::uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0, AlphaMask = 0;
    // The colours are already multiplied by the alpha (AlphaBlend sources).
    bool PremultipliedAlpha = false;
    // Colour table entries (3 bytes in core headers, else 4).
    std::uint32_t Colors = 0;

    // Bytes of pixel data an uncompressed bitmap needs (0 for RLE).
    std::uint64_t PixelBytes() const;
};

// Checks the info header (and colour table size) at the start of `dib`.
// With `iconImage` the height counts the colour and the mask image together,
// as in icon and cursor resources.
std::optional<TDibInfo> ParseDibHeader(TByteView dib, bool iconImage = false);

// Whether `available` bytes hold the pixels the header promises: every row
// of an uncompressed bitmap; for run-length data, at least one code (it may
// end early, with or without an end-of-bitmap code).
bool PixelsFit(const TDibInfo& info, std::uint64_t available);

// The pixels of a device-independent bitmap: those right after the header
// and colour table of `packed`, or `bits` when it is not empty (a header and
// its pixels kept apart). nullopt when the header and table are not all in
// `packed` or the pixels do not fit.
std::optional<TByteView> DibPixels(const TDibInfo& info, TByteView packed, TByteView bits = {});

// Checks a .bmp file from its first bytes (at least the file and info
// headers; 256 bytes are plenty) and its real size: signature, header
// variant, dimensions, bit depth and compression, and that the pixels the
// header promises are there.
std::optional<TDibInfo> CheckBitmapFile(TByteView head, std::uint64_t fileSize);

// Bytes of the file header, the info header and the colour table of a BMP.
inline constexpr std::size_t kBitmapHeadBytes = 14 + 124 + 16;

} // namespace tavolix::pictures
