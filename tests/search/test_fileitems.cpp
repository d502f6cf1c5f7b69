#include "search/FileItems.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tavolix::search;

namespace {

class FileItemsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string* a = Items.Files().ShareDir("/a/");
        const std::string* b = Items.Files().ShareDir("/b c/");
        Items.Files().AddFile(b, "same.txt", 10, 0x25010000, 0x20);
        Items.Files().AddFile(a, "readme", 10, 0, 0);
        Items.Files().AddFile(a, ".hidden", 3, 0, tavolix::platform::faHidden);
        Items.Files().AddFile(b, "dev", 1, 0, tavolix::platform::faSysFile);
        Items.Files().AddFile(a, "big.iso", 5LL << 30, 0, tavolix::platform::faReadOnly);
        Items.Files().AddFile(a, "Same.txt", 2, 0, 0);
        Items.Files().SortFiles();
        Items.OnChange = [this] { ++Changes; };
        Items.RefreshItems();
        Changes = 0;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < Items.Count(); ++i)
            names.emplace_back(Items.Item(i)->Name());
        return names;
    }
    TFileItemList Items;
    int Changes = 0;
};

using V = std::vector<std::string>;

} // namespace

TEST_F(FileItemsTest, RefillsAndOnChange) {
    EXPECT_EQ(Names(), (V{".hidden", "big.iso", "dev", "readme", "Same.txt", "same.txt"}));
    Items.SetSortDirection(TSortDirection::sdUpword);
    EXPECT_EQ(Changes, 0);
    Items.SetSortOrder(TSortOrder::soName);
    EXPECT_EQ(Changes, 0);
    Items.SetShowHiddenSysFile(true);
    EXPECT_EQ(Changes, 0);
    Items.SetMask(Items.Mask()); // the same mask refills all the same
    EXPECT_EQ(Changes, 1);
    Items.SetSeparateExt(true);
    EXPECT_EQ(Changes, 2);
    EXPECT_EQ(Names(), (V{".hidden", "big.iso", "dev", "readme", "Same.txt", "same.txt"}));

    // Equal sizes by name; the other direction reverses without a new sort.
    Items.SetSortOrder(TSortOrder::soSize);
    EXPECT_EQ(Changes, 3);
    EXPECT_EQ(Names(), (V{"dev", "Same.txt", ".hidden", "readme", "same.txt", "big.iso"}));
    Items.SetSortDirection(TSortDirection::sdDownword);
    EXPECT_EQ(Changes, 4);
    EXPECT_EQ(Names(), (V{"big.iso", "same.txt", "readme", ".hidden", "Same.txt", "dev"}));
    EXPECT_EQ(Items.Item(0), Items.Files().Item(Items.Files().Count() - 1));
    EXPECT_STREQ(Items.GetSortOrderName(), "Size");
    EXPECT_STREQ(Items.GetSortDirectionName(), "Down");
    Items.SetSortDirection(TSortDirection::sdUpword);
    EXPECT_EQ(Names(), (V{"dev", "Same.txt", ".hidden", "readme", "same.txt", "big.iso"}));
}

TEST_F(FileItemsTest, HiddenAndSystemFilterKeepsTheCounts) {
    Items.SetShowHiddenSysFile(false);
    EXPECT_EQ(Changes, 1);
    EXPECT_EQ(Names(), (V{"big.iso", "readme", "Same.txt", "same.txt"}));
    EXPECT_EQ(Items.GetFileCount(), 6);
    EXPECT_EQ(Items.GetTotalSize(), 26 + (5LL << 30));
    EXPECT_FALSE(Items.IsFileShown(0x02));
    EXPECT_FALSE(Items.IsFileShown(0x06));
    EXPECT_TRUE(Items.IsFileShown(0x21));
}

TEST_F(FileItemsTest, AccessorsByItemIndex) {
    const int sameInB = Items.Count() - 1, sameInA = sameInB - 1;
    EXPECT_EQ(Items.GetFilePath(sameInB), "/b c/same.txt");
    EXPECT_EQ(Items.GetDir(sameInB), "/b c/");
    EXPECT_EQ(Items.GetDateText(sameInB), "98/08/01");
    EXPECT_EQ(Items.GetTimeText(sameInB), "98/08/01-00:00");
    EXPECT_EQ(Items.GetAttrText(sameInB), "A");
    EXPECT_EQ(Items.GetSizeText(1), "5,368,709,120");
    EXPECT_EQ(Items.GetTimeText(sameInA), "00/00/00-00:00");
    for (int bad : {-1, Items.Count()}) {
        EXPECT_EQ(Items.Item(bad), nullptr);
        EXPECT_EQ(Items.GetFilePath(bad), "");
        EXPECT_EQ(Items.GetDir(bad), "");
        EXPECT_EQ(Items.GetDateText(bad), "");
        EXPECT_EQ(Items.GetTimeText(bad), "");
        EXPECT_EQ(Items.GetSizeText(bad), "");
        EXPECT_EQ(Items.GetAttrText(bad), "");
    }
}

TEST_F(FileItemsTest, FindFileNameIsExactAndFirst) {
    EXPECT_EQ(Items.FindFileName("/elsewhere/same.txt"), 5);
    EXPECT_EQ(Items.FindFileName("/a/Same.txt"), 4);
    EXPECT_EQ(Items.FindFileName("Same.txt"), 4);
    EXPECT_EQ(Items.FindFileName("/a/README"), -1);
    EXPECT_EQ(Items.FindFileName("/a/"), -1);
    Items.SetSortDirection(TSortDirection::sdDownword);
    EXPECT_EQ(Items.FindFileName("/x/readme"), 2);
}

TEST_F(FileItemsTest, AdjustCountsNeverBelowZero) {
    Items.AdjustFileCount(0);
    EXPECT_EQ(Items.GetFileCount(), 6);
    Items.AdjustFileCount(-9);
    EXPECT_EQ(Items.GetFileCount(), 0);
    Items.AdjustFileCount(3);
    Items.AdjustFileCount(-5);
    EXPECT_EQ(Items.GetFileCount(), 0);
    Items.AdjustFileCount(2);
    EXPECT_EQ(Items.GetFileCount(), 2);
    Items.AdjustTotalSize(-(5LL << 30));
    EXPECT_EQ(Items.GetTotalSize(), 26);
    Items.AdjustTotalSize(-27);
    EXPECT_EQ(Items.GetTotalSize(), 0);
}
