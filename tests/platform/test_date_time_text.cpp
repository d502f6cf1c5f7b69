#include "platform/DateTimeText.h"

#include <clocale>
#include <gtest/gtest.h>

using namespace tavolix::platform;

namespace {

std::tm At(int year, int month, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    t.tm_isdst = -1;
    std::time_t when = timegm(&t);
    gmtime_r(&when, &t); // fills the weekday
    return t;
}

} // namespace

TEST(DateTimeText, DateBlankTimeAndNoTimeAtMidnight) {
    struct Case {
        std::tm When;
        const char *Date, *Time, *Expected;
    } cases[] = {
        {At(2026, 12, 8, 14, 3, 5), "%m/%d/%y", "%H:%M:%S", "12/08/26 14:03:05"},
        {At(2026, 12, 8, 0, 0, 0), "%m/%d/%y", "%H:%M:%S", "12/08/26"},
        {At(2026, 12, 8, 0, 0, 1), "%Y/%m/%d", "%H:%M:%S", "2026/12/08 00:00:01"},
        {At(2026, 12, 8, 23, 59, 59), "%Y/%m/%d", "%H:%M:%S", "2026/12/08 23:59:59"},
        {At(2026, 1, 2, 14, 3, 5), "%Y年%m月%d日", "%H時%M分%S秒", "2026年01月02日 14時03分05秒"},
        {At(2026, 1, 2, 14, 3, 5), "%m/%d/%Y", "%r", "01/02/2026 02:03:05 PM"},
        // time-zone names are left out, blanks folded
        {At(2026, 1, 2, 14, 3, 5), "%Y-%m-%d", "%T %Z", "2026-01-02 14:03:05"},
        {At(2026, 1, 2, 14, 3, 5), "%Y-%m-%d", "%z %H:%M:%S", "2026-01-02 14:03:05"},
        {At(2026, 1, 2, 14, 3, 5), "%Y-%m-%d", "%H:%M %Z %S", "2026-01-02 14:03 05"},
        {At(2026, 1, 2, 14, 3, 5), "%d.%m.%Y %Z", "%H:%M:%S", "02.01.2026 14:03:05"},
        {At(2026, 1, 2, 14, 3, 5), "%%Z%d", "%H", "%Z02 14"}, // a literal "%" before Z stays
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateTimeText(c.When, c.Date, c.Time), c.Expected) << c.Date << " " << c.Time;
}

TEST(DateTimeText, PlainCLocaleUsesFourDigitYears) {
    const char* saved = std::setlocale(LC_TIME, nullptr);
    std::string keep = saved ? saved : "C";
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        if (!std::setlocale(LC_TIME, name))
            continue;
        EXPECT_EQ(LocaleDateFormat(), "%Y/%m/%d") << name;
        EXPECT_EQ(LocaleTimeFormat(), "%H:%M:%S") << name;
    }
    std::setlocale(LC_TIME, keep.c_str());
}

TEST(DateTimeText, LocalTimeOfAMoment) {
    // The tests run with TZ=Asia/Tokyo (UTC+9, no summer time) in C.UTF-8.
    EXPECT_EQ(LocalDateTimeText(1796706185), "2026/12/08 14:03:05");
    EXPECT_EQ(LocalDateTimeText(1796655600), "2026/12/08"); // 00:00:00 in Tokyo
}
