#include "platform/FileFilter.h"

#include <algorithm>
#include <array>
#include <limits>

namespace tavolix::platform {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
// The longest duration taken: far beyond any file's age, and no overflow below it.
constexpr std::int64_t kMaxDuration = 10000LL * 31557600;

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Leading digits of `text` as a number (removed from it); nothing without
// digits or past `limit`.
std::optional<std::int64_t> TakeNumber(std::string_view& text, std::int64_t limit) {
    std::size_t i = 0;
    std::int64_t n = 0;
    while (i < text.size() && IsDigit(text[i])) {
        const int digit = text[i] - '0';
        if (n > (limit - digit) / 10)
            return std::nullopt;
        n = n * 10 + digit;
        ++i;
    }
    if (i == 0)
        return std::nullopt;
    text.remove_prefix(i);
    return n;
}

std::optional<int> Fixed(std::string_view text, std::size_t at, std::size_t digits) {
    if (at + digits > text.size())
        return std::nullopt;
    int n = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (!IsDigit(text[i]))
            return std::nullopt;
        n = n * 10 + (text[i] - '0');
    }
    return n;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// "YYYY-MM-DD", optionally followed by " HH:MM[:SS]" or "THH:MM[:SS]", local time.
std::optional<std::int64_t> ParseLocalDate(std::string_view text) {
    const auto year = Fixed(text, 0, 4), month = Fixed(text, 5, 2), day = Fixed(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-' || *year < 1000)
        return std::nullopt;
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*month < 1 || *month > 12 || *day < 1)
        return std::nullopt;
    const int days = kDays[static_cast<std::size_t>(*month - 1)] + (*month == 2 && IsLeapYear(*year) ? 1 : 0);
    if (*day > days)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = *year - 1900;
    tm.tm_mon = *month - 1;
    tm.tm_mday = *day;
    if (text.size() > 10) {
        const auto hour = Fixed(text, 11, 2), minute = Fixed(text, 14, 2);
        if ((text[10] != ' ' && text[10] != 'T') || !hour || !minute || text[13] != ':' || *hour > 23 ||
            *minute > 59)
            return std::nullopt;
        tm.tm_hour = *hour;
        tm.tm_min = *minute;
        if (text.size() > 16) {
            const auto second = Fixed(text, 17, 2);
            if (text.size() != 19 || text[16] != ':' || !second || *second > 59)
                return std::nullopt;
            tm.tm_sec = *second;
        }
    }
    tm.tm_isdst = -1;
    std::tm asked = tm;
    const std::time_t t = std::mktime(&tm);
    // -1 is also a moment (a second before the epoch, in UTC): told apart by going back.
    if (t == static_cast<std::time_t>(-1)) {
        std::tm back{};
        if (!localtime_r(&t, &back) || back.tm_year != asked.tm_year || back.tm_mon != asked.tm_mon ||
            back.tm_mday != asked.tm_mday)
            return std::nullopt;
    }
    return static_cast<std::int64_t>(t);
}

struct TUnit {
    std::string_view Name;
    std::int64_t Seconds;
};

// humantime's units, as fd reads them (case counts: "M" months, "m" minutes).
constexpr std::array kUnits = {
    TUnit{"s", 1},          TUnit{"sec", 1},         TUnit{"secs", 1},         TUnit{"second", 1},
    TUnit{"seconds", 1},    TUnit{"m", 60},          TUnit{"min", 60},         TUnit{"mins", 60},
    TUnit{"minute", 60},    TUnit{"minutes", 60},    TUnit{"h", 3600},         TUnit{"hr", 3600},
    TUnit{"hrs", 3600},     TUnit{"hour", 3600},     TUnit{"hours", 3600},     TUnit{"d", 86400},
    TUnit{"day", 86400},    TUnit{"days", 86400},    TUnit{"w", 604800},       TUnit{"week", 604800},
    TUnit{"weeks", 604800}, TUnit{"M", 2630016},     TUnit{"month", 2630016},  TUnit{"months", 2630016},
    TUnit{"y", 31557600},   TUnit{"year", 31557600}, TUnit{"years", 31557600},
};

// One or more "<number><unit>" terms, blanks allowed between them.
std::optional<std::int64_t> ParseDuration(std::string_view text) {
    std::int64_t total = 0;
    bool any = false;
    while (!text.empty()) {
        if (any && text.front() == ' ') {
            text.remove_prefix(1);
            if (text.empty() || text.front() == ' ')
                return std::nullopt;
        }
        const auto n = TakeNumber(text, kMaxDuration);
        if (!n)
            return std::nullopt;
        std::size_t len = 0;
        while (len < text.size() &&
               ((text[len] >= 'a' && text[len] <= 'z') || (text[len] >= 'A' && text[len] <= 'Z')))
            ++len;
        const std::string_view name = text.substr(0, len);
        const auto unit =
            std::find_if(kUnits.begin(), kUnits.end(), [&](const TUnit& u) { return u.Name == name; });
        if (unit == kUnits.end() || *n > (kMaxDuration - total) / unit->Seconds)
            return std::nullopt;
        total += *n * unit->Seconds;
        text.remove_prefix(len);
        any = true;
    }
    if (!any)
        return std::nullopt;
    return total;
}

} // namespace

void TFileFilter::Prepare() {
    for (std::string& e : Extensions)
        std::transform(e.begin(), e.end(), e.begin(), AsciiUpper);
    std::sort(Extensions.begin(), Extensions.end());
    Extensions.erase(std::unique(Extensions.begin(), Extensions.end()), Extensions.end());
}

bool TFileFilter::PassesName(std::string_view name) const {
    if (!ByExtension)
        return true;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::array<char, 32> upper{};
    const std::string_view ext = name.substr(dot);
    if (ext.size() > upper.size())
        return false;
    std::transform(ext.begin(), ext.end(), upper.begin(), AsciiUpper);
    return std::binary_search(Extensions.begin(), Extensions.end(),
                              std::string_view(upper.data(), ext.size()),
                              [](std::string_view a, std::string_view b) { return a < b; });
}

bool TFileFilter::PassesStat(std::int64_t size, const TFileTime& written) const {
    if ((MinSize && size < *MinSize) || (MaxSize && size > *MaxSize))
        return false;
    if (ChangedFrom && written.Seconds < *ChangedFrom)
        return false;
    // A moment past the bound's second is after it.
    if (ChangedBefore && written.Seconds >= *ChangedBefore)
        return false;
    return true;
}

std::optional<std::int64_t> ParseSize(std::string_view text) {
    const auto n = TakeNumber(text, kMax);
    if (!n)
        return std::nullopt;
    std::string unit;
    for (char c : text)
        unit.push_back(AsciiLower(c));
    std::int64_t factor = 1;
    if (unit != "b" && !unit.empty()) {
        if (unit.back() == 'b')
            unit.pop_back();
        const std::size_t power = std::string_view("kmgt").find(unit[0]) + 1;
        const bool binary = unit.size() == 2 && unit[1] == 'i';
        if (power == 0 || (unit.size() != 1 && !binary))
            return std::nullopt;
        for (std::size_t i = 0; i < power; ++i)
            factor *= binary ? 1024 : 1000;
    }
    if (*n > kMax / factor)
        return std::nullopt;
    return *n * factor;
}

std::optional<TSizeBound> ParseSizeBound(std::string_view text) {
    TSizeBound bound;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        bound.Kind = text.front() == '+' ? TSizeBound::AtLeast : TSizeBound::AtMost;
        text.remove_prefix(1);
    }
    const auto bytes = ParseSize(text);
    if (!bytes)
        return std::nullopt;
    bound.Bytes = *bytes;
    return bound;
}

bool NamesADate(std::string_view text) {
    return text.size() >= 5 && IsDigit(text[0]) && IsDigit(text[1]) && IsDigit(text[2]) && IsDigit(text[3]) &&
           text[4] == '-';
}

std::optional<std::int64_t> ParseTimePoint(std::string_view text, std::time_t now) {
    if (NamesADate(text))
        return ParseLocalDate(text);
    const auto back = ParseDuration(text);
    if (!back)
        return std::nullopt;
    return static_cast<std::int64_t>(now) - *back;
}

} // namespace tavolix::platform
