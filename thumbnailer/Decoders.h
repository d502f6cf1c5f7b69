#pragma once

#include "thumbnailer/Decoded.h"
#include "thumbs/FileKinds.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QImage>

namespace tavolix::thumbnailer {

// A one-image .ico (an icon file's image, a program's icon) as an image,
// also when it holds a PNG.
QImage IconImage(const std::vector<std::uint8_t>& ico);

// Decodes a file of the given kind from `fd`, an open regular file read
// from its start (a decoder names no file: the helper has none to name).
// `format`: the name's extension in lower case, for a format whose content
// has no signature; `dpi` sizes metafiles and PDF pages in pixels.
std::optional<TDecoded> DecodeForThumbnail(int fd, std::string_view format, thumbs::TDecoder decoder,
                                           int side, int dpi);

} // namespace tavolix::thumbnailer
