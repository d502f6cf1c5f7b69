#include "search/FileInfo.h"
#include "search/FileSort.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace tavolix::search;

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// The list's procedure written out plainly, on the record pointers and with
// the full comparators: the fast sort must give exactly this order.
void ReferenceSort(std::vector<TFileInfo*>& a, long l, long r, TFileCompare cmp) {
    do {
        long i = l, j = r;
        TFileInfo* p = a[(l + r) / 2];
        do {
            while (cmp(*a[i], *p) < 0)
                ++i;
            while (cmp(*a[j], *p) > 0)
                --j;
            if (i <= j) {
                std::swap(a[i], a[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j)
            ReferenceSort(a, l, j, cmp);
        l = i;
    } while (l < r);
}

constexpr TSortOrder kOrders[] = {TSortOrder::soDirectory, TSortOrder::soName, TSortOrder::soExt,
                                  TSortOrder::soSize, TSortOrder::soTime};

} // namespace

TEST(CompareKeyText, MapsOnlyLowerCaseLettersAndComparesUnsigned) {
    struct Case {
        const char *A, *B;
        int Sign;
    } cases[] = {
        {"abc", "abcd", -1},
        {"abcd", "abc_", -1},
        {"abc", "abc_", -1},
        {"readme", "README", 0},
        {"A.gif", "b.GIF", -1},
        {"", "", 0},
        {"", "a", -1},
        {"[", "a", 1}, // 0x5B > 'A'
        {"`", "A", 1},
        {"{", "z", 1},
        {"\x80", "z", 1},
        {"\xE9t\xE9", "\xC9T\xC9", 1},
        {"\x82\xA0", "\x82\x80", 1},
        {"\xFF", "\x7F", 1},
        {"a\x61", "A\x41", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sign(CompareKeyText(c.A, c.B)), c.Sign) << c.A << " vs " << c.B;
        EXPECT_EQ(Sign(CompareKeyText(c.B, c.A)), -c.Sign) << c.B << " vs " << c.A;
    }
}

TEST(Comparators, PrimaryKeyThenNameOnly) {
    TFileInfoList list;
    const std::string *x = list.ShareDir("/x/"), *y = list.ShareDir("/y/");
    const TFileInfo &a = *list.AddFile(y, "a.txt", 7, 5, 0), &b = *list.AddFile(x, "B.txt", 7, 5, 0),
                    &big = *list.AddFile(x, "a.txt", 5LL << 30, -9, 0),
                    &upper = *list.AddFile(x, "A.TXT", 0, 0, 0);
    EXPECT_LT(CompareBySize(a, b), 0); // equal sizes: by name
    EXPECT_LT(CompareBySize(a, big), 0);
    EXPECT_LT(CompareByTime(big, a), 0); // signed packed times
    EXPECT_GT(CompareByDir(a, b), 0);
    EXPECT_EQ(CompareByName(a, big), 0); // no tie-break beyond the name
    EXPECT_EQ(CompareByExt(a, upper), 0);
    EXPECT_EQ(ComparatorOf(static_cast<TSortOrder>(9)), &CompareByDir);
    EXPECT_STREQ(SortOrderName(TSortOrder::soExt), "Ext");
    EXPECT_STREQ(SortOrderName(static_cast<TSortOrder>(9)), "Directory");
    EXPECT_STREQ(SortDirectionName(TSortDirection::sdUpword), "Upword");
    EXPECT_STREQ(SortDirectionName(TSortDirection::sdDownword), "Down");
}

// Random records with many ties and long common starts (around the 8-byte
// steps the fast sort keys on), every order, several sizes and seeds.
TEST(SortFileInfos, SameOrderAsThePlainProcedure) {
    // With the neighbours of a..z, also with the high bit set.
    static const char kAlphabet[] = {'a', 'A', 'b', '.',    '_',    '\x80', '\xE9',
                                     '`', '{', 'z', '\xE1', '\xFA', '\xDB'};
    static const char* const kStarts[] = {
        "", "aaaaaaa", "aAaAaAaA", "aaaaaaaaaaaaaaa", "AAAAAAAAAAAAAAAAAAAAAAA", "x.aaaaaaa", "x.aaaaaaaaaa"};
    const std::int64_t sizes[] = {0, 1, 7, -3, (5LL << 30)};
    const std::int32_t times[] = {0, 0x21000000, 0x7FFFFFFF, INT32_MIN, -5};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        // The largest is sorted on threads.
        for (std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{9}, std::size_t{60},
                              std::size_t{700}, std::size_t{3000}, std::size_t{seed == 1 ? 120000u : 1u}}) {
            std::mt19937 rng(seed * 7919 + static_cast<unsigned>(n));
            TFileInfoList list;
            std::vector<const std::string*> dirs;
            // Texts equal but for case, and the same text as two shared strings.
            for (const char* d : {"/base/dir_aaaaaa/", "/BASE/DIR_AAAAAA/", "/base/dir_aaaaab/", "/base/",
                                  "/base/dir_aaaaaa/"})
                dirs.push_back(list.ShareDir(d));
            for (std::size_t i = 0; i < n; ++i) {
                std::string name = kStarts[rng() % 7];
                for (std::size_t t = rng() % 4; t > 0 || name.empty(); t -= t > 0)
                    name += kAlphabet[rng() % (rng() % 4 == 0 ? sizeof kAlphabet : 3)];
                list.AddFile(dirs[rng() % dirs.size()], name, sizes[rng() % 5], times[rng() % 5], 0);
            }
            for (TSortOrder order : kOrders) {
                SCOPED_TRACE(testing::Message() << "seed " << seed << " n " << n << " order " << int(order));
                std::vector<TFileInfo*> fast(list.Items()), plain(list.Items());
                SortFileInfos(fast, order, n > 100000 ? 5 : 1);
                ReferenceSort(plain, 0, static_cast<long>(plain.size()) - 1, ComparatorOf(order));
                ASSERT_EQ(fast, plain);
                for (std::size_t i = 1; i < plain.size(); ++i)
                    ASSERT_LE(ComparatorOf(order)(*plain[i - 1], *plain[i]), 0);
            }
        }
    }
    std::vector<TFileInfo*> none;
    SortFileInfos(none, TSortOrder::soName);
    EXPECT_TRUE(none.empty());
}

// Many folders whose texts share long starts, differ past them, or only in
// case, met in a scattered order (as after another sort): the folders'
// ranking must give the plain procedure's order.
TEST(SortFileInfos, ManyFoldersFromAScatteredOrderAsThePlainProcedure) {
    TFileInfoList list;
    std::mt19937 rng(11);
    std::vector<const std::string*> dirs;
    for (int d = 0; d < 4000; ++d) {
        std::string text = "/home/user/photos/2026/holidays/trip_" + std::to_string(d % 700) + "/";
        if (d % 3 == 1)
            std::transform(text.begin(), text.end(), text.begin(),
                           [](char c) { return char(std::toupper(c)); });
        if (d % 5 == 0)
            text += "raw_" + std::to_string(d) + "/";
        dirs.push_back(list.ShareDir(text));
    }
    for (int i = 0; i < 150000; ++i)
        list.AddFile(dirs[rng() % dirs.size()],
                     "f" + std::to_string(rng() % 50) + (rng() % 2 ? ".JPG" : ".jpg"), 0, 0, 0);
    std::vector<TFileInfo*> scattered(list.Items());
    std::shuffle(scattered.begin(), scattered.end(), rng);
    std::vector<TFileInfo*> fast(scattered), plain(scattered);
    SortFileInfos(fast, TSortOrder::soDirectory, 2);
    ReferenceSort(plain, 0, static_cast<long>(plain.size()) - 1, ComparatorOf(TSortOrder::soDirectory));
    EXPECT_EQ(fast, plain);
    // A sort no longer wanted ends at its stop, the items as they were.
    const std::atomic<bool> stop{true};
    std::vector<TFileInfo*> dropped(scattered);
    EXPECT_FALSE(SortFileInfos(dropped, TSortOrder::soDirectory, 2, &stop));
    EXPECT_EQ(dropped, scattered);
}

TEST(FileInfoList, ChangeSortOrderResortsOnlyOnChange) {
    TFileInfoList list;
    const std::string* d = list.ShareDir("/d/");
    list.AddFile(d, "b", 1, 0, 0);
    list.AddFile(d, "a", 2, 0, 0);
    list.AddFile(d, "c", 0, 0, 0);
    list.ChangeSortOrder(TSortOrder::soName); // unchanged: not sorted
    EXPECT_EQ(list.Item(0)->Name(), "b");
    list.ChangeSortOrder(TSortOrder::soSize);
    EXPECT_EQ(list.Item(0)->Name(), "c");
    EXPECT_EQ(list.Item(2)->Name(), "a");
    list.ChangeSortOrder(TSortOrder::soName);
    EXPECT_EQ(list.Item(0)->Name(), "a");
}

// The sort is not stable, so ties end where the records stood before it: a
// click on a column title while the walk runs must not change the final order.
TEST(FileInfoList, SortsWhileTheWalkRunsLeaveTheFinalOrderAsIfNoneCame) {
    // aside: the last order is asked for on a thread of its own, and the walk
    // ends before it is taken.
    auto walk = [](const std::vector<TSortOrder>& sortsOnTheWay, bool aside = false) {
        TFileInfoList list;
        list.BeginSearch();
        std::size_t sorts = 0;
        for (int i = 0; i < 300; ++i) {
            // Three names in many folders: ties in the name order.
            list.AddFile(list.ShareDir("/d" + std::to_string(i * 7 % 101) + "/"),
                         std::string(1, "cab"[i % 3]), i % 5, 0, 0);
            if (i % 100 == 99 && sorts < sortsOnTheWay.size())
                list.ChangeSortOrder(sortsOnTheWay[sorts++]);
        }
        if (aside) {
            list.StartSort(TSortOrder::soSize);
            list.FinishSearchLater({});
            list.ApplySort();
            EXPECT_EQ(list.SortOrder(), TSortOrder::soSize) << "the order asked for, not the one before it";
        } else {
            list.ChangeSortOrder(sortsOnTheWay.empty() ? TSortOrder::soName : sortsOnTheWay.back());
            list.FinishSearch({});
        }
        std::vector<std::string> paths;
        for (const TFileInfo* r : list.Items())
            paths.push_back(r->Path());
        return paths;
    };
    const std::vector<std::string> alone = walk({});
    EXPECT_EQ(walk({TSortOrder::soSize, TSortOrder::soName}), alone);
    EXPECT_EQ(walk({TSortOrder::soTime, TSortOrder::soName}), alone);
    EXPECT_EQ(walk({TSortOrder::soSize, TSortOrder::soName}, true), walk({TSortOrder::soSize}));
}
