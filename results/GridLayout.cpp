#include "results/GridLayout.h"

#include "settings/ViewSettings.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include <QFontMetrics>

namespace tavolix::results {

int PictureCellWidth(int side) {
    return side + 2 * kTileMargin;
}

int PictureCellHeight(int side, int lineHeight) {
    return kTileMargin + side + kTileMargin / 2 + 2 * lineHeight + kTileMargin;
}

TPictureGrid PictureGrid(int width, int height, int side, int lineHeight) {
    TPictureGrid grid;
    if (width <= 0 || height <= 0 || side <= 0)
        return grid;
    grid.Columns = std::max(1, width / PictureCellWidth(side));
    grid.Rows = std::max(1, height / PictureCellHeight(side, lineHeight));
    grid.ItemHeight = std::max(1, height / grid.Rows);
    return grid;
}

int StepPictureSize(int current, int steps) {
    const auto* begin = std::begin(settings::kPictureSizes);
    const auto* end = std::end(settings::kPictureSizes);
    // The nearest size at or above `current` is where the steps start.
    const auto* at = std::lower_bound(begin, end, current);
    std::ptrdiff_t index = at == end ? std::distance(begin, end) - 1 : std::distance(begin, at);
    index = std::clamp<std::ptrdiff_t>(index + steps, 0, std::distance(begin, end) - 1);
    return begin[index];
}

thumbs::TThumbSize GridThumbSize(int side, double pixelRatio) {
    const int need = static_cast<int>(std::lround(side * std::max(1.0, pixelRatio)));
    return std::min(thumbs::ThumbSizeFor(need), thumbs::TThumbSize::Large);
}

QString ElideName(const QString& name, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        const QString ext = name.mid(dot);
        const int extWidth = metrics.horizontalAdvance(ext);
        if (extWidth <= width / 2) {
            const QString stem = metrics.elidedText(name.left(dot), Qt::ElideMiddle, width - extWidth);
            if (!stem.isEmpty())
                return stem + ext;
        }
    }
    return metrics.elidedText(name, Qt::ElideMiddle, width);
}

} // namespace tavolix::results
