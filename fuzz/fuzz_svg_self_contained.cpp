// The picture helper's check of an SVG for what it names outside itself:
// whatever the bytes, what it gives is drawn from itself alone, and is left
// as it is when checked again.
#include "FuzzOneInput.h"
#include "thumbnailer/SelfContainedSvg.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using tavolix::thumbnailer::SelfContainedSvg;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr qint64 kMax = 4 << 20;
    const auto own = SelfContainedSvg(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), kMax);
    if (!own)
        return 0;
    const auto again = SelfContainedSvg(*own, kMax);
    if (!again || *again != *own)
        std::abort();
    return 0;
}
