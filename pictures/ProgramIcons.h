#pragma once

#include "pictures/ByteView.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavolix::pictures {

// What asking a file for its first icon gives, after the shell's convention:
// 0 for a program that holds no icon, 1 for a file of a type that holds no
// icons at all, otherwise an icon the caller owns.
struct TProgramIcon {
    enum THandle : int { kNoIcon = 0, kNotAnIconFile = 1, kIcon = 2 };
    THandle Handle = kNotAnIconFile;
    // A one-image .ico (set only for kIcon), for the toolkit's icon reader.
    std::vector<std::uint8_t> IcoBytes;
};

// Icon number 0 of a file, read from its bytes whatever its name says:
// Windows programs (PE and NE: the first icon group, its best image for the
// wanted size), icon and cursor files, and animated cursors (first frame).
TProgramIcon ExtractFirstIcon(const TByteSource& file, int wantWidth = 32, int wantHeight = 32);
TProgramIcon ExtractFirstIcon(const std::string& path, int wantWidth = 32, int wantHeight = 32);

// Limits on what a resource reader looks at in one file.
inline constexpr int kMaxResourceEntries = 4096;
inline constexpr int kMaxSections = 96;
inline constexpr std::uint32_t kMaxWholeIconFile = 16u << 20;

} // namespace tavolix::pictures
