#include "search/FieldText.h"

#include "platform/Directory.h"

namespace tavolix::search {

namespace {

struct TUnpacked {
    int Year, Month, Day, Hour, Minute, Second;
};

TUnpacked Unpack(std::int32_t packed) {
    const auto v = static_cast<std::uint32_t>(packed);
    return {static_cast<int>(1980 + (v >> 25)), static_cast<int>((v >> 21) & 0x0F),
            static_cast<int>((v >> 16) & 0x1F), static_cast<int>((v >> 11) & 0x1F),
            static_cast<int>((v >> 5) & 0x3F),  static_cast<int>((v & 0x1F) * 2)};
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

void Two(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

std::string DatePart(const TUnpacked& u, const TLocaleFormats& f) {
    std::string s;
    Two(s, u.Year % 100);
    s += f.DateSeparator;
    Two(s, u.Month);
    s += f.DateSeparator;
    Two(s, u.Day);
    return s;
}

} // namespace

bool IsValidFileDate(std::int32_t packed) {
    const TUnpacked u = Unpack(packed);
    return u.Month >= 1 && u.Month <= 12 && u.Day >= 1 && u.Day <= DaysInMonth(u.Year, u.Month) &&
           u.Hour < 24 && u.Minute < 60 && u.Second < 60;
}

std::string FileDateToText(std::int32_t packed, const TLocaleFormats& f) {
    if (!IsValidFileDate(packed))
        return "00/00/00-00:00";
    const TUnpacked u = Unpack(packed);
    std::string s = DatePart(u, f);
    s.push_back('-');
    Two(s, u.Hour);
    s += f.TimeSeparator;
    Two(s, u.Minute);
    return s;
}

std::string FileDateToDateText(std::int32_t packed, const TLocaleFormats& f) {
    if (!IsValidFileDate(packed))
        return "00/00/00";
    return DatePart(Unpack(packed), f);
}

std::string FileDateToScreenText(std::int32_t packed, const platform::TScreenDateForm& form) {
    if (!IsValidFileDate(packed))
        return "00/00/00-00:00";
    const TUnpacked u = Unpack(packed);
    return platform::ScreenDateTimeText({u.Year, u.Month, u.Day, u.Hour, u.Minute, u.Second}, form);
}

std::string SizeToText(std::int64_t value, const TLocaleFormats& f) {
    // Via the unsigned magnitude, so the most negative value works too.
    std::uint64_t mag = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(mag);
    std::string s;
    if (value < 0)
        s.push_back('-');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            s += f.ThousandSeparator;
        s.push_back(digits[i]);
    }
    return s;
}

std::string AttrToText(std::uint32_t attr) {
    std::string s;
    if (attr & platform::faSysFile)
        s += 'S';
    if (attr & platform::faHidden)
        s += 'H';
    if (attr & platform::faReadOnly)
        s += 'R';
    if (attr & platform::faArchive)
        s += 'A';
    return s;
}

std::string SortStatusText(std::string_view orderName, std::string_view directionName, std::int64_t fileCount,
                           std::int64_t totalSize, const TLocaleFormats& f, std::string_view countMark) {
    std::string s = " Sorted by : ";
    s += orderName;
    s += " → ";
    s += directionName;
    s += " ; Total Files = ";
    s += SizeToText(fileCount, f);
    s += countMark;
    s += " ; Size = ";
    s += SizeToText(totalSize, f);
    s += " Bytes";
    return s;
}

} // namespace tavolix::search
