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

// How the windows write a date and time: the locale's short date with the
// year in four digits, so that no field reads as another, and its short
// time (ICU patterns, Gregorian calendar). Without a locale, ISO 8601.
// The page and tavolix-page keep the forms above.
struct TScreenDateForm {
    std::string DatePattern = "yyyy-MM-dd";
    std::string TimePattern = "HH:mm";
    std::string Am = "AM", Pm = "PM";
    bool operator==(const TScreenDateForm&) const = default;
};
TScreenDateForm ScreenDateFormOf(const std::string& icuLocale);
// Of the process's LC_TIME locale.
TScreenDateForm SystemScreenDateForm();

// A calendar date and time of day (month 1-12, hour 0-23).
struct TDateFields {
    int Year = 1980, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
};
// An ICU pattern filled in from `when`: "dd.MM.yyyy" -> "08.12.2026",
// "h:mm a" -> "1:05 PM". Fields other than years, months, days, hours,
// minutes, seconds and day periods are left out.
std::string PatternText(std::string_view pattern, const TDateFields& when, std::string_view am = "AM",
                        std::string_view pm = "PM");
// The screen's date, a blank and its time: "08.12.2026 13:05".
std::string ScreenDateTimeText(const TDateFields& when, const TScreenDateForm& form);

} // namespace tavolix::platform
