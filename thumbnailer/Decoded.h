#pragma once

#include <QImage>
#include <QSize>

namespace tavolix::thumbnailer {

// A picture decoded for a thumbnail: at most `side` pixels on its long side,
// its aspect kept and its orientation applied; PictureSize is the original's
// size as shown (invalid when the file doesn't say).
struct TDecoded {
    QImage Image;
    QSize PictureSize;
};

// Limits every decoder keeps, whatever a file claims.
inline constexpr int kAllocationLimitMiB = 160;
// A picture decoded whole (no scaled decoding) may have at most this many pixels.
inline constexpr qint64 kMaxWholePixels = qint64(kAllocationLimitMiB) * 1024 * 1024 / 4;
// A picture that decodes scaled (JPEG's DCT scaling, vector formats).
inline constexpr qint64 kMaxScaledPixels = qint64(1) << 30;
inline constexpr qint64 kMaxVectorFileBytes = 64 << 20;

// The size of `size` scaled to fit `side` x `side`; with `enlarge` false a
// smaller size stays as it is.
QSize FitInto(QSize size, int side, bool enlarge);

} // namespace tavolix::thumbnailer
