#pragma once

#include "thumbnailer/Decoded.h"

#include <optional>

namespace tavolix::thumbnailer {

// HEIF and AVIF: the primary image turned as the file says, or its
// thumbnail when that is at least `side` pixels on its long side.
std::optional<TDecoded> DecodeHeif(int fd, int side);

} // namespace tavolix::thumbnailer
