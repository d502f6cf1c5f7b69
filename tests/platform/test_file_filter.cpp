#include "TestDir.h"
#include "platform/Directory.h"
#include "platform/FileFilter.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace tavolix::platform;

TEST(FileFilter, SizesInFdsUnits) {
    const struct {
        const char* Text;
        std::optional<std::int64_t> Bytes;
    } cases[] = {
        {"0", 0},
        {"512", 512},
        {"512b", 512},
        {"1k", 1000},
        {"1K", 1000},
        {"1kb", 1000},
        {"1ki", 1024},
        {"1KiB", 1024},
        {"10M", 10'000'000},
        {"3mi", 3 << 20},
        {"2G", 2'000'000'000},
        {"1Gi", std::int64_t{1} << 30},
        {"1t", 1'000'000'000'000},
        {"8388607Ti", std::int64_t{8388607} << 40},
        {"8388608Ti", std::nullopt}, // 2^63 bytes
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"k", std::nullopt},
        {"lots", std::nullopt},
        {"1.5M", std::nullopt},
        {"10 M", std::nullopt},
        {"1bb", std::nullopt},
        {"1kib2", std::nullopt},
        {"1x", std::nullopt},
        {"+1k", std::nullopt}, // a sign only in a bound
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSize(c.Text), c.Bytes) << c.Text;

    const auto at = ParseSizeBound("+10M");
    ASSERT_TRUE(at);
    EXPECT_EQ(at->Kind, TSizeBound::AtLeast);
    EXPECT_EQ(at->Bytes, 10'000'000);
    EXPECT_EQ(ParseSizeBound("-1k")->Kind, TSizeBound::AtMost);
    EXPECT_EQ(ParseSizeBound("1k")->Kind, TSizeBound::Exactly);
    EXPECT_FALSE(ParseSizeBound("+lots"));
    EXPECT_FALSE(ParseSizeBound("+-1k"));
    EXPECT_FALSE(ParseSizeBound("+"));
}

TEST(FileFilter, DurationsBackFromNowAndLocalDates) {
    const std::time_t now = 2'000'000'000;
    const struct {
        const char* Text;
        std::optional<std::int64_t> Back; // seconds before now
    } durations[] = {
        {"30s", 30},       {"90min", 5400},
        {"5m", 300},       {"12h", 43200},
        {"7d", 604800},    {"2w", 1209600},
        {"1d12h", 129600}, {"1d 12h", 129600},
        {"2days", 172800}, {"1M", 2630016},
        {"1y", 31557600},  {"0d", 0},
        {"7", {}},         {"d", {}},
        {"7D", {}},        {"yesterdayish", {}},
        {"-7d", {}},       {" 7d", {}},
        {"7d ", {}},       {"1.5h", {}},
        {"10001y", {}},    {"99999999999999d", {}},
    };
    for (const auto& d : durations) {
        const std::optional<std::int64_t> point = ParseTimePoint(d.Text, now);
        EXPECT_EQ(point ? std::optional<std::int64_t>(now - *point) : std::nullopt, d.Back) << d.Text;
    }

    // A date is its local midnight; a date and time is local too.
    std::tm midnight{};
    midnight.tm_year = 2024 - 1900;
    midnight.tm_mon = 1;
    midnight.tm_mday = 29;
    midnight.tm_isdst = -1;
    const std::time_t leapDay = std::mktime(&midnight);
    EXPECT_EQ(ParseTimePoint("2024-02-29", now), leapDay);
    EXPECT_EQ(ParseTimePoint("2024-02-29 10:30:15", now), leapDay + 37815);
    EXPECT_EQ(ParseTimePoint("2024-02-29T10:30", now), leapDay + 37800);
    for (const char* bad :
         {"2023-02-29", "2024-13-01", "2024-00-10", "2024-04-31", "2024-1-1", "24-01-01", "2024-01-01 25:00",
          "2024-01-01 10:60", "2024-01-01 10:00:", "2024-01-01x", "2024-01-01 10:00:00Z", "0999-01-01"})
        EXPECT_FALSE(ParseTimePoint(bad, now)) << bad;
}

TEST(FileFilter, BoundsIncludeTheirSizeAndChangedFromButNotChangedBefore) {
    TFileFilter f;
    EXPECT_TRUE(f.Empty());
    f.MinSize = 10;
    f.MaxSize = 20;
    f.ChangedFrom = 1000;
    f.ChangedBefore = 2000;
    EXPECT_TRUE(f.PassesStat(10, {1000, 0}));
    EXPECT_TRUE(f.PassesStat(20, {1999, 999999999}));
    EXPECT_FALSE(f.PassesStat(9, {1500, 0}));
    EXPECT_FALSE(f.PassesStat(21, {1500, 0}));
    EXPECT_FALSE(f.PassesStat(15, {999, 999999999}));
    EXPECT_FALSE(f.PassesStat(15, {2000, 0}));

    TFileFilter kinds;
    kinds.ByExtension = true;
    EXPECT_FALSE(kinds.Empty());
    EXPECT_FALSE(kinds.PassesName("a.jpg")) << "a kind without extensions takes no name";
    kinds.Extensions = {".jpg", ".TAR.GZ", ".PNG"};
    kinds.Prepare();
    for (const char* name : {"a.JPG", "b.jpg", "写真.Png", ".png"})
        EXPECT_TRUE(kinds.PassesName(name)) << name;
    for (const char* name : {"jpg", "a.jpeg", "a.jpg.bak", "a.tar.gz", "a.", "", "a.jpg\xff"})
        EXPECT_FALSE(kinds.PassesName(name)) << name;
}

// Files the filter refuses are not listed, directories always are; a file
// the key rejects is never let in by the filter.
TEST(FileFilter, AppliedWhileReadingADirectory) {
    TTestDir t;
    t.File("small.jpg", std::string(100, 'x'));
    t.File("big.JPG", std::string(5000, 'x'));
    t.File("big.txt", std::string(5000, 'x'));
    t.File("old.jpg", std::string(5000, 'x'));
    t.SetTime("old.jpg", 1'000'000'000);
    t.Dir("folder.jpg");
    t.Symlink("link.jpg", "big.JPG");

    TFileFilter filter;
    filter.ByExtension = true;
    filter.Extensions = {".JPG"};
    filter.MinSize = 1000;
    filter.ChangedFrom = 1'500'000'000;
    filter.Prepare();
    TDirectory dir = TDirectory::Open(t.Root());
    TDirContents c;
    ASSERT_TRUE(dir.Read(TWildcard("*"), c, nullptr, &filter));
    std::set<std::string> files;
    for (std::size_t i = 0; i < c.FileCount(); ++i)
        files.emplace(c.FileName(i));
    EXPECT_EQ(files, (std::set<std::string>{"big.JPG", "link.jpg"}));
    EXPECT_NE(std::find(c.Subdirs().begin(), c.Subdirs().end(), "folder.jpg"), c.Subdirs().end());

    ASSERT_TRUE(dir.Read(TWildcard("small*"), c, nullptr, &filter));
    EXPECT_EQ(c.FileCount(), 0u);
    // An empty filter is no filter.
    const TFileFilter none;
    ASSERT_TRUE(dir.Read(TWildcard("*.txt"), c, nullptr, &none));
    EXPECT_EQ(c.FileCount(), 1u);
}
