#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tavolix::platform {

// A date and time as the locale writes them: its short date, a blank and its
// time with seconds; at exactly midnight the blank and the time are left out.
// Time-zone conversions (%Z, %z) are dropped from the formats. `dateFormat`
// and `timeFormat` are strftime formats.
std::string DateTimeText(const std::tm& when, std::string_view dateFormat, std::string_view timeFormat);

// The formats of the process's LC_TIME locale: its short date and medium time
// (ICU), as strftime formats. The C and POSIX locales (C.UTF-8 included) give
// "%Y/%m/%d" and "%H:%M:%S": a four-digit year reads unambiguously where no
// locale was chosen.
std::string LocaleDateFormat();
std::string LocaleTimeFormat();

// DateTimeText of a moment in local time, in the process's locale.
std::string LocalDateTimeText(std::time_t when);

} // namespace tavolix::platform
