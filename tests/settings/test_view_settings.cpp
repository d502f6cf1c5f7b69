#include "TestDir.h"
#include "platform/Profile.h"
#include "settings/ViewSettings.h"
#include "settings/ViewState.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace tavolix::settings;

namespace {

// The widths come from a file anyone may have edited: only a plain list of
// widths is taken, anything else leaves the view's own.
TEST(ViewSettings, ColumnWidthsAreTakenOnlyAsAPlainList) {
    EXPECT_EQ(ParseColumnWidths("240,300,90,130,150"), (std::vector<int>{240, 300, 90, 130, 150}));
    EXPECT_EQ(ParseColumnWidths("0,1"), (std::vector<int>{0, 1}));
    EXPECT_EQ(ParseColumnWidths("10000,7"), (std::vector<int>{10000, 7}));
    for (const char* bad :
         {"", ",", "240,", ",240", "240,,300", "10001", "99999999999999999999", "-5,10", "+5", " 240", "240 ",
          "24O", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17", "\xef\xbc\x91\xef\xbc\x92", "240;300"})
        EXPECT_TRUE(ParseColumnWidths(bad).empty()) << bad;
    EXPECT_EQ(ParseColumnWidths("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16").size(), 16u);
}

TEST(ViewSettings, TheDetailsViewAndItsWidthsReadBackAsWritten) {
    TTestDir dir;
    const std::string file = dir.Path("conf/TAVOLIX.INI");
    EXPECT_FALSE(ReadDetailsShown(file));
    EXPECT_TRUE(ReadColumnWidths(file).empty());
    ASSERT_FALSE(WriteDetailsShown(file, true));
    ASSERT_FALSE(WriteColumnWidths(file, {240, -3, 20000}));
    EXPECT_TRUE(ReadDetailsShown(file));
    EXPECT_EQ(ReadColumnWidths(file), (std::vector<int>{240, 0, kMaxColumnWidth}));
    EXPECT_EQ(tavolix::platform::GetProfileString(file, kViewSection, kDetailsColumnsKey, ""), "240,0,10000");
    ASSERT_FALSE(WriteDetailsShown(file, false));
    EXPECT_FALSE(ReadDetailsShown(file));
}

// A change writes the keys it changed and no others: what another program
// wrote meanwhile of the rest stays. A write that fails is told, and the
// choice still holds for this run.
TEST(ViewSettings, TheViewStateWritesOnlyWhatChangedAndTellsAFailedWrite) {
    TTestDir dir;
    const std::string file = dir.Path("conf/TAVOLIX.INI");
    ASSERT_FALSE(WritePicturesShown(file, true));
    TViewState state(file);
    EXPECT_TRUE(state.Choices().Pictures);
    ASSERT_FALSE(WritePicturesShown(file, false)); // another program
    TViewChoices next = state.Choices();
    next.Details = true;
    next.Grid.Rows = 3;
    EXPECT_FALSE(state.Change(next));
    EXPECT_FALSE(ReadPicturesShown(file));
    EXPECT_TRUE(ReadDetailsShown(file));
    EXPECT_EQ(ReadViewGrid(file).Rows, 3);
    EXPECT_EQ(tavolix::platform::GetProfileString(file, kViewSection, kColumnsKey, "none"), "none");

    // Its folder is a file now: nothing can be written there.
    const std::string blocked = dir.Path("blocked");
    std::ofstream(blocked) << "x";
    TViewState nowhere(blocked + "/TAVOLIX.INI");
    next = nowhere.Choices();
    next.PageThumbnails = true;
    const tavolix::platform::TIoResult failed = nowhere.Change(next);
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->Path.find("blocked"), std::string::npos) << failed->Path;
    EXPECT_TRUE(nowhere.Choices().PageThumbnails);
}

} // namespace
