#include "platform/DateTimeText.h"
#include "platform/LocaleFormats.h"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <utility>

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

// Sets LC_ALL and TZ for the scope of a test and puts back what was there.
class TScopedLocale {
public:
    TScopedLocale(const char* locale, const char* zone) {
        const char* l = std::setlocale(LC_ALL, nullptr);
        FLocale = l ? l : "C";
        const char* z = std::getenv("TZ");
        FHadZone = z != nullptr;
        FZone = z ? z : "";
        FOk = std::setlocale(LC_ALL, locale) != nullptr;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TScopedLocale() {
        std::setlocale(LC_ALL, FLocale.c_str());
        if (FHadZone)
            setenv("TZ", FZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool Ok() const { return FOk; }

private:
    std::string FLocale, FZone;
    bool FHadZone = false, FOk = false;
};

} // namespace

TEST(DateTimeText, DateBlankTimeAndNoTimeAtMidnight) {
    // The formats are given; %r and the like still read LC_TIME.
    TScopedLocale plain("C.UTF-8", "Asia/Tokyo");
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

TEST(DateTimeText, LocalTimeOfAMomentInTheUsersLocale) {
    // Tokyo: UTC+9, no summer time; Berlin in July: UTC+2.
    struct Case {
        const char *Locale, *Zone;
        std::time_t When;
        const char* Expected;
        TLocaleFormats Formats;
    } cases[] = {
        {"C.UTF-8", "Asia/Tokyo", 1796706185, "2026/12/08 14:03:05", {"/", ":", ","}},
        {"C.UTF-8", "Asia/Tokyo", 1796655600, "2026/12/08", {"/", ":", ","}}, // 00:00:00 in Tokyo
        {"ja_JP.UTF-8", "Asia/Tokyo", 1796706185, "2026/12/08 14:03:05", {"/", ":", ","}},
        {"de_DE.UTF-8", "Europe/Berlin", 1783083785, "03.07.26 15:03:05", {".", ":", "."}},
    };
    for (const Case& c : cases) {
        TScopedLocale scope(c.Locale, c.Zone);
        if (!scope.Ok()) {
            ADD_FAILURE() << c.Locale << " is not installed (scripts/setup.sh generates it)";
            continue;
        }
        EXPECT_EQ(LocalDateTimeText(c.When), c.Expected) << c.Locale;
        EXPECT_EQ(SystemLocaleFormats(), c.Formats) << c.Locale;
    }
}

TEST(LocaleFormats, SeparatorsComeFromTheShortPatterns) {
    struct Case {
        const char* Posix;
        TLocaleFormats Expected;
    } cases[] = {
        {"ja_JP.UTF-8", {"/", ":", ","}},
        {"de_DE.UTF-8", {".", ":", "."}},
        {"de_DE@euro", {".", ":", "."}},
        {"fi_FI.UTF-8", {".", ".", "\xC2\xA0"}}, // no-break space groups the digits
        {"C.UTF-8", {"/", ":", ","}},
        {"POSIX", {"/", ":", ","}},
        {"", {"/", ":", ","}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocaleFormatsOf(IcuLocaleOf(c.Posix)), c.Expected) << c.Posix;

    struct Pattern {
        const char *Icu, *Separator, *Strftime;
    } patterns[] = {
        {"y/MM/dd", "/", "%Y/%m/%d"},
        {"dd.MM.yy", ".", "%d.%m.%y"},
        {"H:mm:ss", ":", "%H:%M:%S"},
        {"h:mm:ss a", ":", "%I:%M:%S %p"},
        {"y. M. d.", ".", "%Y. %m. %d."},
        {"HH 'h' mm", "h", "%H h %M"},
        {"d 'de' MMMM", "de", "%d de %B"},
        {"'100%' y", "", "100%% %Y"},
        {"H:mm:ss z", ":", "%H:%M:%S "},
        {"y", "", "%Y"},
        {"", "", ""},
    };
    for (const Pattern& p : patterns) {
        EXPECT_EQ(PatternSeparator(p.Icu), p.Separator) << p.Icu;
        EXPECT_EQ(PatternToStrftime(p.Icu), p.Strftime) << p.Icu;
    }
}

// The windows write a date with its year in four digits, in the locale's
// order: "26.12.08" would read as 26 December 2008.
TEST(ScreenDateForm, FourDigitYearsInTheLocalesOrder) {
    struct Case {
        const char *Locale, *Afternoon, *Morning;
    } cases[] = {
        {"ja_JP.UTF-8", "2026/12/08 13:05", "2026/01/02 9:07"},
        {"en_US.UTF-8", "12/8/2026 1:05 PM", "1/2/2026 9:07 AM"},
        {"de_DE.UTF-8", "08.12.2026 13:05", "02.01.2026 09:07"},
        {"bg_BG.UTF-8", "8.12.2026 г. 13:05 ч.", "2.01.2026 г. 9:07 ч."}, // literals kept
        {"C.UTF-8", "2026-12-08 13:05", "2026-01-02 09:07"},
        {"", "2026-12-08 13:05", "2026-01-02 09:07"},
    };
    for (const Case& c : cases) {
        const TScreenDateForm form = ScreenDateFormOf(IcuLocaleOf(c.Locale));
        for (const auto& [when, expected] : {std::pair{TDateFields{2026, 12, 8, 13, 5, 0}, c.Afternoon},
                                             std::pair{TDateFields{2026, 1, 2, 9, 7, 30}, c.Morning}}) {
            std::string text = ScreenDateTimeText(when, form);
            // Newer ICU puts a narrow no-break space before AM and PM.
            for (std::size_t at; (at = text.find("\xE2\x80\xAF")) != std::string::npos;)
                text.replace(at, 3, " ");
            EXPECT_EQ(text, expected) << c.Locale;
        }
    }
    // The process's own locale decides when none is named.
    TScopedLocale german("de_DE.UTF-8", "Europe/Berlin");
    ASSERT_TRUE(german.Ok()) << "de_DE.UTF-8 is not installed (scripts/setup.sh generates it)";
    EXPECT_EQ(SystemScreenDateForm().DatePattern, "dd.MM.yyyy");
    EXPECT_EQ(PatternText("HH 'h' mm, yy", {2026, 12, 8, 13, 5, 0}), "13 h 05, 26");
}
