// The header check that stands before every bitmap decode.
#include "FuzzOneInput.h"
#include "pictures/BitmapInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::pictures;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const TByteView bytes(data, size);
    if (const auto info = CheckBitmapFile(bytes, size)) {
        // What it lets through must be within the caps and within the file.
        if (info->Width > kMaxBitmapSide || info->Height > kMaxBitmapSide || info->PixelBytes() > size)
            std::abort();
    }
    for (bool icon : {false, true}) {
        if (const auto dib = ParseDibHeader(bytes, icon)) {
            if (dib->Width <= 0 || dib->Height <= 0 || dib->Width > kMaxBitmapSide ||
                dib->Height > kMaxBitmapSide)
                std::abort();
        }
    }
    return 0;
}
