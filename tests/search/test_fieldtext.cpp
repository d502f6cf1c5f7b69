#include "search/FieldText.h"

#include <climits>
#include <gtest/gtest.h>

using namespace tavolix::search;

namespace {

std::int32_t Pack(int y, int mo, int d, int h, int mi, int s) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(y - 1980) << 25 | mo << 21 | d << 16 |
                                     h << 11 | mi << 5 | s / 2);
}

} // namespace

TEST(FileDateText, ValidAndInvalidDates) {
    struct Case {
        std::int32_t Packed;
        const char *Full, *Date;
    } cases[] = {
        {Pack(1998, 8, 1, 13, 5, 0), "98/08/01-13:05", "98/08/01"},
        {Pack(1980, 1, 1, 0, 0, 0), "80/01/01-00:00", "80/01/01"},
        {Pack(2000, 2, 29, 23, 59, 58), "00/02/29-23:59", "00/02/29"},
        {Pack(2107, 12, 31, 9, 7, 0), "07/12/31-09:07", "07/12/31"},
        {0, "00/00/00-00:00", "00/00/00"},
        {Pack(1999, 2, 29, 0, 0, 0), "00/00/00-00:00", "00/00/00"}, // not a leap year
        {Pack(2100, 2, 29, 0, 0, 0), "00/00/00-00:00", "00/00/00"}, // nor is 2100
        {Pack(1998, 13, 1, 0, 0, 0), "00/00/00-00:00", "00/00/00"},
        {Pack(1998, 4, 31, 0, 0, 0), "00/00/00-00:00", "00/00/00"},
        {Pack(1998, 8, 0, 0, 0, 0), "00/00/00-00:00", "00/00/00"},
        {Pack(1998, 8, 1, 24, 0, 0), "00/00/00-00:00", "00/00/00"},
        {Pack(1998, 8, 1, 0, 60, 0), "00/00/00-00:00", "00/00/00"},
        {Pack(1998, 8, 1, 0, 0, 60), "00/00/00-00:00", "00/00/00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileDateToText(c.Packed), c.Full) << std::hex << c.Packed;
        EXPECT_EQ(FileDateToDateText(c.Packed), c.Date) << std::hex << c.Packed;
    }
}

TEST(FileDateText, LocaleSeparators) {
    TLocaleFormats f;
    f.DateSeparator = ".";
    f.TimeSeparator = "h";
    EXPECT_EQ(FileDateToText(Pack(1998, 8, 1, 13, 5, 0), f), "98.08.01-13h05");
    EXPECT_EQ(FileDateToDateText(Pack(1998, 8, 1, 13, 5, 0), f), "98.08.01");
}

TEST(SizeToText, GroupsByThrees) {
    struct Case {
        std::int64_t Value;
        const char* Text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {1234567, "1,234,567"},
        {-1234567, "-1,234,567"},
        {-999, "-999"},
        {5368709120, "5,368,709,120"},
        {INT64_MAX, "9,223,372,036,854,775,807"},
        {INT64_MIN, "-9,223,372,036,854,775,808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeToText(c.Value), c.Text);
    TLocaleFormats f;
    f.ThousandSeparator = "\xE2\x80\xAF"; // a narrow no-break space
    EXPECT_EQ(SizeToText(-1234567, f), "-1\xE2\x80\xAF"
                                       "234\xE2\x80\xAF"
                                       "567");
}

TEST(AttrToText, FourLettersInFixedOrder) {
    EXPECT_EQ(AttrToText(0x27), "SHRA");
    EXPECT_EQ(AttrToText(0x80), "");
    EXPECT_EQ(AttrToText(0x10), "");
    EXPECT_EQ(AttrToText(0x21), "RA");
    EXPECT_EQ(AttrToText(0x06), "SH");
    EXPECT_EQ(AttrToText(0xFFFFFFFF), "SHRA");
}

TEST(SortStatusText, TotalsLine) {
    EXPECT_EQ(SortStatusText("Name", "Upword", 1234, 5678),
              " Sorted by : Name \xE2\x86\x92 Upword ; Total Files = 1,234 ; Size = 5,678 Bytes");
    EXPECT_EQ(SortStatusText("Size", "Down", 0, 5368709120),
              " Sorted by : Size \xE2\x86\x92 Down ; Total Files = 0 ; Size = 5,368,709,120 Bytes");
}
