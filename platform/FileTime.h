#pragma once

#include <cstdint>

namespace tavolix::platform {

// A POSIX time stamp (UTC).
struct TFileTime {
    std::int64_t Seconds = 0;
    std::int32_t Nanoseconds = 0;
};

} // namespace tavolix::platform
