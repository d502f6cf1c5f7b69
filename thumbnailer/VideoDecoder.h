#pragma once

#include "thumbnailer/Decoded.h"

#include <optional>

namespace tavolix::thumbnailer {

// A video: the key frame at or before a tenth of its length (the first
// frame when its length is not known), turned as its display matrix says,
// with a film mark so that it is told from a photo.
std::optional<TDecoded> DecodeVideo(int fd, int side);

// The film mark, drawn into the lower left corner of a video's picture.
void DrawFilmMark(QImage& image);

} // namespace tavolix::thumbnailer
