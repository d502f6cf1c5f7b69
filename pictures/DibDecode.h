#pragma once

#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"

#include <QImage>
#include <QSize>

namespace tavolix::pictures {

// Decodes a device-independent bitmap straight to `size` (at most the
// bitmap's own size on each axis, picked by nearest pixel), so the work grows
// with what is shown, not with what the header claims. `head` holds the info
// header and everything up to the pixels (masks, colour table); `pixels` the
// pixel data starting at `pixelOffset`. Uncompressed bitmaps are read one
// shown row at a time; run-length data is read whole and may end early (the
// rest keeps colour 0). Null when the pixels are not all there.
QImage DecodeDib(const TDibInfo& info, TByteView head, const TByteSource& pixels, std::uint64_t pixelOffset,
                 QSize size);

// The biggest size within `limit` on each axis and within kMaxDecodedPixels
// that keeps the bitmap's proportions when it has to shrink.
QSize DecodedSize(const TDibInfo& info, QSize limit);

} // namespace tavolix::pictures
