#pragma once

#include "thumbnailer/Decoded.h"

#include <optional>

namespace tavolix::thumbnailer {

// A camera's raw file: its embedded preview when that is at least `side`
// pixels on its long side, else a half-size decode of the raw data, else a
// smaller preview; turned as the camera says.
std::optional<TDecoded> DecodeRaw(int fd, int side);

} // namespace tavolix::thumbnailer
