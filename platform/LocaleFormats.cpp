#include "platform/LocaleFormats.h"

#include <algorithm>
#include <clocale>
#include <memory>
#include <unicode/udat.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

namespace tavolix::platform {

namespace {

std::string Utf8(const UChar* text, int32_t length) {
    if (length <= 0)
        return {};
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strToUTF8(nullptr, 0, &needed, text, length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), needed, nullptr, text, length, &status);
    return U_SUCCESS(status) ? out : std::string();
}

struct TCloseFormat {
    void operator()(UDateFormat* f) const { udat_close(f); }
};

std::string DatePattern(const std::string& locale, UDateFormatStyle date, UDateFormatStyle time) {
    if (locale.empty())
        return {};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UDateFormat, TCloseFormat> format(
        udat_open(time, date, locale.c_str(), nullptr, 0, nullptr, 0, &status));
    if (U_FAILURE(status) || !format)
        return {};
    UChar buffer[128];
    const int32_t length = udat_toPattern(format.get(), false, buffer, 128, &status);
    return U_SUCCESS(status) ? Utf8(buffer, length) : std::string();
}

// A day period's name (AM or PM) in the locale.
std::string AmPmOf(const std::string& locale, int which) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UDateFormat, TCloseFormat> format(
        udat_open(UDAT_SHORT, UDAT_NONE, locale.c_str(), nullptr, 0, nullptr, 0, &status));
    if (U_FAILURE(status) || !format)
        return {};
    UChar buffer[64];
    const int32_t length = udat_getSymbols(format.get(), UDAT_AM_PMS, which, buffer, 64, &status);
    return U_SUCCESS(status) ? Utf8(buffer, length) : std::string();
}

std::string GroupingSeparatorOf(const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    UNumberFormat* format = unum_open(UNUM_DECIMAL, nullptr, 0, locale.c_str(), nullptr, &status);
    if (U_FAILURE(status) || !format) {
        if (format)
            unum_close(format);
        return {};
    }
    UChar buffer[16];
    const int32_t length = unum_getSymbol(format, UNUM_GROUPING_SEPARATOR_SYMBOL, buffer, 16, &status);
    unum_close(format);
    return U_SUCCESS(status) ? Utf8(buffer, length) : std::string();
}

bool IsPatternLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Splits a pattern into fields (a run of one letter) and literal text; calls
// `field(letter, count)` and `literal(text)` in order.
template <class Field, class Literal> void WalkPattern(std::string_view p, Field field, Literal literal) {
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if (IsPatternLetter(c)) {
            std::size_t j = i;
            while (j < p.size() && p[j] == c)
                ++j;
            field(c, static_cast<int>(j - i));
            i = j;
        } else if (c == '\'') {
            if (i + 1 < p.size() && p[i + 1] == '\'') {
                literal(std::string_view("'"));
                i += 2;
                continue;
            }
            std::string text;
            ++i;
            while (i < p.size()) {
                if (p[i] == '\'') {
                    if (i + 1 < p.size() && p[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += p[i++];
            }
            literal(std::string_view(text));
        } else {
            literal(p.substr(i, 1));
            ++i;
        }
    }
}

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    while (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    return s;
}

} // namespace

std::string IcuLocaleOf(std::string_view name) {
    const std::size_t end = name.find_first_of(".@");
    std::string_view base = name.substr(0, end);
    if (base.empty() || base == "C" || base == "POSIX")
        return {};
    return std::string(base);
}

std::string ShortDatePattern(const std::string& icuLocale) {
    return DatePattern(icuLocale, UDAT_SHORT, UDAT_NONE);
}

std::string MediumTimePattern(const std::string& icuLocale) {
    return DatePattern(icuLocale, UDAT_NONE, UDAT_MEDIUM);
}

std::string PatternSeparator(std::string_view pattern) {
    int fields = 0;
    std::string between;
    WalkPattern(
        pattern, [&](char, int) { ++fields; },
        [&](std::string_view text) {
            if (fields == 1)
                between += text;
        });
    return fields >= 2 ? Trimmed(between) : std::string();
}

std::string PatternToStrftime(std::string_view pattern) {
    std::string out;
    WalkPattern(
        pattern,
        [&](char c, int n) {
            switch (c) {
            case 'y':
            case 'u':
                out += n == 2 ? "%y" : "%Y";
                break;
            case 'M':
            case 'L':
                out += n <= 2 ? "%m" : n == 3 ? "%b" : "%B";
                break;
            case 'd':
                out += "%d";
                break;
            case 'E':
            case 'c':
                out += n <= 3 ? "%a" : "%A";
                break;
            case 'H':
            case 'k':
                out += "%H";
                break;
            case 'h':
            case 'K':
                out += "%I";
                break;
            case 'm':
                out += "%M";
                break;
            case 's':
                out += "%S";
                break;
            case 'a':
            case 'b':
            case 'B':
                out += "%p";
                break;
            default:
                break; // eras, zones, weeks: nothing strftime writes alike
            }
        },
        [&](std::string_view text) {
            for (char ch : text) {
                if (ch == '%')
                    out += '%';
                out += ch;
            }
        });
    return out;
}

TLocaleFormats LocaleFormatsOf(const std::string& icuLocale) {
    TLocaleFormats f;
    if (icuLocale.empty())
        return f;
    if (std::string s = PatternSeparator(ShortDatePattern(icuLocale)); !s.empty())
        f.DateSeparator = s;
    if (std::string s = PatternSeparator(MediumTimePattern(icuLocale)); !s.empty())
        f.TimeSeparator = s;
    if (std::string s = GroupingSeparatorOf(icuLocale); !s.empty())
        f.ThousandSeparator = s;
    return f;
}

TScreenDateForm ScreenDateFormOf(const std::string& icuLocale) {
    TScreenDateForm form;
    if (icuLocale.empty())
        return form;
    // The file times are Gregorian whatever the locale's own calendar.
    const std::string gregorian = icuLocale + "@calendar=gregorian";
    std::string date, literal;
    // Literal text goes back quoted, in one piece, when it holds letters.
    auto flush = [&] {
        if (literal.find_first_of("'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") ==
            std::string::npos) {
            date += literal;
        } else {
            date += '\'';
            for (char ch : literal)
                date += ch == '\'' ? std::string("''") : std::string(1, ch);
            date += '\'';
        }
        literal.clear();
    };
    WalkPattern(
        ShortDatePattern(gregorian),
        [&](char c, int n) {
            flush();
            // Every year in four digits.
            date.append(c == 'y' || c == 'u' ? 4 : static_cast<std::size_t>(n), c == 'u' ? 'y' : c);
        },
        [&](std::string_view text) { literal += text; });
    flush();
    const std::string time = DatePattern(gregorian, UDAT_NONE, UDAT_SHORT);
    if (!date.empty())
        form.DatePattern = date;
    if (!time.empty())
        form.TimePattern = time;
    if (std::string am = AmPmOf(gregorian, 0); !am.empty())
        form.Am = am;
    if (std::string pm = AmPmOf(gregorian, 1); !pm.empty())
        form.Pm = pm;
    return form;
}

TScreenDateForm SystemScreenDateForm() {
    const char* time = std::setlocale(LC_TIME, nullptr);
    return ScreenDateFormOf(IcuLocaleOf(time ? time : ""));
}

std::string PatternText(std::string_view pattern, const TDateFields& when, std::string_view am,
                        std::string_view pm) {
    std::string out;
    auto number = [&out](int value, int width) {
        std::string digits = std::to_string(value < 0 ? 0 : value);
        if (digits.size() < static_cast<std::size_t>(width))
            out.append(static_cast<std::size_t>(width) - digits.size(), '0');
        out += digits;
    };
    WalkPattern(
        pattern,
        [&](char c, int n) {
            const int width = std::min(n, 2);
            switch (c) {
            case 'y':
            case 'u':
                if (n == 2)
                    number(when.Year % 100, 2);
                else
                    number(when.Year, n);
                break;
            case 'M':
            case 'L':
                number(when.Month, width);
                break;
            case 'd':
                number(when.Day, width);
                break;
            case 'H':
                number(when.Hour, width);
                break;
            case 'k':
                number(when.Hour == 0 ? 24 : when.Hour, width);
                break;
            case 'h':
                number(when.Hour % 12 == 0 ? 12 : when.Hour % 12, width);
                break;
            case 'K':
                number(when.Hour % 12, width);
                break;
            case 'm':
                number(when.Minute, width);
                break;
            case 's':
                number(when.Second, width);
                break;
            case 'a':
            case 'b':
            case 'B':
                out += when.Hour < 12 ? am : pm;
                break;
            default:
                break; // eras, weekdays, zones: not part of these forms
            }
        },
        [&](std::string_view text) { out += text; });
    return Trimmed(out);
}

std::string ScreenDateTimeText(const TDateFields& when, const TScreenDateForm& form) {
    return PatternText(form.DatePattern, when, form.Am, form.Pm) + " " +
           PatternText(form.TimePattern, when, form.Am, form.Pm);
}

TLocaleFormats SystemLocaleFormats() {
    const char* time = std::setlocale(LC_TIME, nullptr);
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    const TLocaleFormats dates = LocaleFormatsOf(IcuLocaleOf(time ? time : ""));
    TLocaleFormats f = dates;
    f.ThousandSeparator = LocaleFormatsOf(IcuLocaleOf(numeric ? numeric : "")).ThousandSeparator;
    return f;
}

} // namespace tavolix::platform
