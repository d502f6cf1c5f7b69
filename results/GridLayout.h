#pragma once

#include "thumbs/ThumbnailCache.h"

#include <QString>

class QFontMetrics;

namespace tavolix::results {

// The pictures view's grid: cells of one picture side with the name and the
// pixel size below, as many columns as the list's width holds and as many
// rows as its height holds, the spare room spread over them.
inline constexpr int kTileMargin = 6;
int PictureCellWidth(int side);
int PictureCellHeight(int side, int lineHeight);

struct TPictureGrid {
    int Columns = 1;
    int Rows = 1;
    int ItemHeight = 1;
    bool operator==(const TPictureGrid&) const = default;
};
// For a list with `width` x `height` pixels of room for its items.
TPictureGrid PictureGrid(int width, int height, int side, int lineHeight);

// The picture side `steps` sizes up (positive) or down from `current`,
// staying within small, medium and large.
int StepPictureSize(int current, int steps);

// The thumbnail size that draws a picture of `side` pixels sharp on a
// screen of `pixelRatio` device pixels a pixel.
thumbs::TThumbSize GridThumbSize(int side, double pixelRatio);

// A name that fits `width`: cut in the middle with "…", its extension kept
// whole while it takes at most half the room.
QString ElideName(const QString& name, const QFontMetrics& metrics, int width);

} // namespace tavolix::results
