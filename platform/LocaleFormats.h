#pragma once

#include <string>

namespace tavolix::platform {

// The separators the text forms of dates, times and sizes use.
struct TLocaleFormats {
    std::string DateSeparator = "/";
    std::string TimeSeparator = ":";
    std::string ThousandSeparator = ",";
};

// The separators of the process's locale (LC_TIME, LC_NUMERIC as set by
// setlocale); "/", ":" and "," where the locale has none.
TLocaleFormats SystemLocaleFormats();

} // namespace tavolix::platform
