#include "thumbnailer/Decoded.h"

#include <algorithm>
#include <cmath>

namespace tavolix::thumbnailer {

QSize FitInto(QSize size, int side, bool enlarge) {
    if (size.isEmpty() || side <= 0)
        return {};
    if (!enlarge && size.width() <= side && size.height() <= side)
        return size;
    const double scale = double(side) / std::max(size.width(), size.height());
    return QSize(std::max(1, static_cast<int>(std::lround(size.width() * scale))),
                 std::max(1, static_cast<int>(std::lround(size.height() * scale))));
}

} // namespace tavolix::thumbnailer
