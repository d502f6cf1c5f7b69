#pragma once

#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tavolix::pictures {

// One image of an icon or cursor directory (.ico/.cur files, icon groups of
// program files).
struct TIconEntry {
    int Width = 0; // 0 in the directory means 256
    int Height = 0;
    int BitCount = 0; // colour depth: the directory's, else the image's own
    std::uint32_t Bytes = 0;
    std::uint32_t Offset = 0; // in the file; the resource id in icon groups
};

// The entry that best fits a wanted size: the exact size with the deepest
// colours, else the smallest larger one, else the largest smaller one.
// Returns its index, or -1 for an empty list.
int BestIconEntry(const std::vector<TIconEntry>& entries, int wantWidth, int wantHeight);

// Where the parts of a DIB icon image are, once they have been found to fit
// its bytes: the colour image (header, table, pixels), then the AND mask.
struct TIconDib {
    TDibInfo Info;
    std::size_t PixelsAt = 0;
    std::size_t MaskAt = 0;
    std::size_t MaskRowBytes = 0;
    // 32-bit images carry their own alpha, and favicon writers often leave
    // the mask out.
    bool HasMask = false;
};
std::optional<TIconDib> CheckIconDib(TByteView image);

// Checks that `image` is an icon image Qt may decode: a PNG whose header
// gives sane dimensions, or a DIB with colour and mask images that fit.
bool IsSaneIconImage(TByteView image);

// A one-image .ico file (type 1) holding `image`, which must pass
// IsSaneIconImage; the directory entry is filled in from the image itself.
std::vector<std::uint8_t> MakeSingleIcon(TByteView image);

// The directory of an .ico (type 1) or .cur (type 2) file, without the
// entries whose image lies outside the bytes (as the system's loader skips
// them); nullopt when the bytes are not one, or no entry is left.
std::optional<std::vector<TIconEntry>> ReadIconDirectory(TByteView file);

// The image of `file` (.ico or .cur) that best fits the wanted size, as a
// one-image .ico; empty when there is none that can be decoded safely.
std::vector<std::uint8_t> ExtractIconImage(TByteView file, int wantWidth, int wantHeight);

// The first frame of an animated cursor (RIFF "ACON", "icon" chunks inside
// LIST "fram"), as its own .ico/.cur bytes; empty when there is none.
TByteView FirstAniFrame(TByteView file);

// Icon directories and images larger than this are refused.
inline constexpr std::uint32_t kMaxIconImageBytes = 4u << 20;
inline constexpr int kMaxIconEntries = 512;

} // namespace tavolix::pictures
