#pragma once

#include <string>
#include <string_view>

namespace tavolix::platform {

// The separators the text forms of dates, times and sizes use.
struct TLocaleFormats {
    std::string DateSeparator = "/";
    std::string TimeSeparator = ":";
    std::string ThousandSeparator = ",";
    bool operator==(const TLocaleFormats&) const = default;
};

// The ICU locale of a POSIX locale name: "ja_JP.UTF-8" -> "ja_JP",
// "de_DE@euro" -> "de_DE"; "" for C, POSIX, C.UTF-8 and "".
std::string IcuLocaleOf(std::string_view posixName);

// ICU's patterns for a locale (UTF-8): the short date ("y/MM/dd") and the
// medium time, which has seconds but no zone ("H:mm:ss"); "" without a locale.
std::string ShortDatePattern(const std::string& icuLocale);
std::string MediumTimePattern(const std::string& icuLocale);

// The literal text between the first two fields of a date or time pattern,
// blanks trimmed: "dd.MM.yy" -> ".", "H:mm" -> ":"; "" when there is none.
std::string PatternSeparator(std::string_view pattern);

// An ICU pattern as a strftime format: "dd.MM.yy" -> "%d.%m.%y",
// "h:mm:ss a" -> "%I:%M:%S %p". Fields strftime can't write (eras, zones)
// are left out.
std::string PatternToStrftime(std::string_view pattern);

// The separators of an ICU locale: from its short date and time patterns and
// its grouping separator; "/", ":" and "," without a locale ("").
TLocaleFormats LocaleFormatsOf(const std::string& icuLocale);

// The separators of the process's locale: dates and times from LC_TIME, the
// thousands separator from LC_NUMERIC (as set by setlocale).
TLocaleFormats SystemLocaleFormats();

} // namespace tavolix::platform
