#include "TestDir.h"
#include "platform/Profile.h"
#include "settings/FilterChoice.h"
#include "settings/SearchMemory.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tavolix::settings;
using tavolix::platform::TProfileText;

namespace {

TSearchMemory MemoryOf(const std::string& file) {
    TProfileText profile;
    EXPECT_FALSE(tavolix::platform::ReadProfileFile(file, profile));
    return SearchMemoryOf(profile);
}

} // namespace

TEST(SearchMemory, TheLastFolderAndKeyComeBackAsTheyWere) {
    TTestDir t;
    const std::string file = t.Path("cfg/TAVOLIX.INI");
    EXPECT_FALSE(MemoryOf(file).LastFolder) << "nothing before the first search";
    const std::string folder = t.Path("写真 & <a>/;%41");
    ASSERT_FALSE(RememberSearch(file, folder, "*.jpg;*.png"));
    TSearchMemory memory = MemoryOf(file);
    EXPECT_EQ(memory.LastFolder, folder);
    EXPECT_EQ(memory.LastKey, "*.jpg;*.png");
    // What would not read back the same is not remembered; the rest is.
    ASSERT_FALSE(RememberSearch(file, folder + "\nx", " *.gif"));
    memory = MemoryOf(file);
    EXPECT_EQ(memory.LastFolder, folder);
    EXPECT_EQ(memory.LastKey, "*.jpg;*.png");
}

TEST(SearchMemory, TheHistoryKeepsTheLastTwentyKeysAndWhatOthersAdded) {
    TTestDir t;
    const std::string file = t.Path("TAVOLIX.INI");
    std::vector<std::string> history;
    for (int i = 1; i <= 25; ++i)
        ASSERT_FALSE(RememberKey(file, "*." + std::to_string(i), history));
    ASSERT_EQ(history.size(), 20u);
    EXPECT_EQ(history.front(), "*.6");
    EXPECT_EQ(history.back(), "*.25");
    // A key searched again moves to the end, once.
    ASSERT_FALSE(RememberKey(file, "*.10", history));
    EXPECT_EQ(history.back(), "*.10");
    EXPECT_EQ(std::count(history.begin(), history.end(), "*.10"), 1);
    EXPECT_EQ(history.size(), 20u);
    // Another program added one meanwhile: it stays.
    ASSERT_FALSE(tavolix::platform::WriteProfileString(file, "Search", "History20", "*.other"));
    ASSERT_FALSE(RememberKey(file, "*.mine", history));
    EXPECT_EQ(history[history.size() - 2], "*.other");
    EXPECT_EQ(history.back(), "*.mine");
    EXPECT_EQ(MemoryOf(file).History, history);
    // A key the file can't hold leaves the file's history as it is.
    const std::vector<std::string> before = history;
    ASSERT_FALSE(RememberKey(file, "a\nb", history));
    EXPECT_EQ(history, before);
}

TEST(FilterChoice, StoredAndResolved) {
    TTestDir t;
    const std::string file = t.Path("TAVOLIX.INI");
    TFilterChoice choice;
    choice.Kinds = {"pictures", "music"};
    choice.MinSize = "10k";
    choice.MaxSize = "1Mi";
    choice.ChangedWithin = "2024-01-01";
    choice.ChangedBefore = "7d";
    ASSERT_FALSE(WriteFilterChoice(file, choice, true));
    TProfileText profile;
    ASSERT_FALSE(tavolix::platform::ReadProfileFile(file, profile));
    EXPECT_EQ(FilterChoiceOf(profile), choice);
    EXPECT_TRUE(FilterRowShownIn(profile));

    tavolix::platform::TFileFilter filter;
    ASSERT_FALSE(ResolveFilter(choice, 1'800'000'000, filter));
    EXPECT_EQ(filter.MinSize, 10'000);
    EXPECT_EQ(filter.MaxSize, 1 << 20);
    EXPECT_EQ(filter.ChangedBefore, 1'800'000'000 - 7 * 86400);
    EXPECT_TRUE(filter.PassesName("a.MP3"));
    EXPECT_TRUE(filter.PassesName("a.jpg"));
    EXPECT_FALSE(filter.PassesName("a.pdf"));

    // The first value that can't be read is named.
    for (const auto& [field, bad] : std::vector<std::pair<TFilterError::TField, TFilterChoice>>{
             {TFilterError::Kind, {{"pictures", "photos"}, "", "", "", ""}},
             {TFilterError::MinSize, {{}, "lots", "", "", ""}},
             {TFilterError::MaxSize, {{}, "1k", "1.5G", "", ""}},
             {TFilterError::ChangedWithin, {{}, "", "", "yesterdayish", ""}},
             {TFilterError::ChangedBefore, {{}, "", "", "", "2024-02-30"}},
         }) {
        const auto error = ResolveFilter(bad, 0, filter);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Field, field);
    }
    EXPECT_EQ(ResolveFilter({{"photos"}, "", "", "", ""}, 0, filter)->Value, "photos");

    choice.MinSize = "1\n2";
    EXPECT_TRUE(WriteFilterChoice(file, choice, false)) << "a line break would not read back";
    ASSERT_FALSE(tavolix::platform::ReadProfileFile(file, profile));
    EXPECT_EQ(FilterChoiceOf(profile).MinSize, "10k") << "nothing was written";
}

TEST(SearchMemory, TreeWidth) {
    TTestDir t;
    const std::string file = t.Path("TAVOLIX.INI");
    ASSERT_FALSE(WriteTreeWidth(file, 320));
    TProfileText profile;
    ASSERT_FALSE(tavolix::platform::ReadProfileFile(file, profile));
    EXPECT_EQ(TreeWidthIn(profile), 320);
    for (const char* bad : {"0", "-5", "wide", "100001", ""})
        EXPECT_FALSE(TreeWidthIn(TProfileText(std::string("[View]\nTreeWidth=") + bad + "\n"))) << bad;
}
