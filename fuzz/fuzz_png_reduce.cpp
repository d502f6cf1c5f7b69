// The helper's PNG reader, both ways of inflating, at a size the input's
// last byte picks (every pixel kept, or averaged into a thumbnail).
#include "FuzzOneInput.h"
#include "thumbnailer/PngReduce.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tavolix::thumbnailer;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int side = data[size - 1] % 2 ? 1 << 20 : 1 + data[size - 1] % 97;
    const auto fit = [side](int width, int height) {
        const double scale = std::min(1.0, double(side) / std::max(width, height));
        return std::pair(std::max(1, int(width * scale)), std::max(1, int(height * scale)));
    };
    for (const std::uint64_t whole : {std::uint64_t(1) << 20, std::uint64_t(0)}) {
        TPngBytes in(data, size);
        TPngLimits limits;
        // Within the time a hostile file may take here.
        limits.MaxPixels = 1 << 20;
        limits.WholeBytes = whole;
        const auto png = ReducePng(in, fit, limits);
        if (!png)
            continue;
        const auto [width, height] = fit(png->Width, png->Height);
        if (png->OutWidth != std::min(width, png->Width) || png->OutHeight != std::min(height, png->Height) ||
            png->Pixels.size() != std::size_t(png->OutWidth) * png->OutHeight)
            std::abort();
        for (const std::uint32_t p : png->Pixels) {
            const std::uint32_t a = p >> 24;
            if ((p & 0xFF) > a || ((p >> 8) & 0xFF) > a || ((p >> 16) & 0xFF) > a)
                std::abort(); // not premultiplied
        }
    }
    return 0;
}
