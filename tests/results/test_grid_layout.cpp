#include "results/GridLayout.h"

#include <gtest/gtest.h>
#include <utility>

#include <QFont>
#include <QFontMetrics>

using namespace tavolix::results;
using tavolix::thumbs::TThumbSize;

TEST(GridLayout, ColumnsFollowTheWidthAndThePictureKeepsItsRoom) {
    constexpr int kLine = 18;
    for (const int side : {96, 160, 256}) {
        for (const auto& [width, height] : {std::pair{1270, 900}, std::pair{600, 400}, std::pair{50, 30}}) {
            const TPictureGrid grid = PictureGrid(width, height, side, kLine);
            // As many whole cells as fit, at least one.
            EXPECT_GE(grid.Columns, 1);
            EXPECT_TRUE(grid.Columns == 1 || grid.Columns * PictureCellWidth(side) <= width) << side;
            EXPECT_GT((grid.Columns + 1) * PictureCellWidth(side), width) << side;
            EXPECT_TRUE(grid.Rows == 1 || grid.ItemHeight >= PictureCellHeight(side, kLine)) << side;
            EXPECT_LE(grid.Rows * grid.ItemHeight, height) << side;
        }
    }
    // A maximised window holds more than the default view's 2 x 6.
    EXPECT_GT(PictureGrid(1270, 900, 96, kLine).Columns, 2);

    EXPECT_EQ(StepPictureSize(160, 1), 256);
    EXPECT_EQ(StepPictureSize(256, 1), 256);
    EXPECT_EQ(StepPictureSize(160, -5), 96);
    EXPECT_EQ(StepPictureSize(100, -1), 96); // a size between steps starts at the next one

    // A screen of two device pixels a pixel draws the large thumbnails.
    EXPECT_EQ(GridThumbSize(96, 1.0), TThumbSize::Normal);
    EXPECT_EQ(GridThumbSize(96, 2.0), TThumbSize::Large);
    EXPECT_EQ(GridThumbSize(256, 2.0), TThumbSize::Large);
}

TEST(GridLayout, LongNamesAreCutInTheMiddleKeepingTheExtension) {
    QFont font;
    font.setPixelSize(15);
    const QFontMetrics metrics(font);
    const QString ellipsis(QChar(0x2026));
    struct Case {
        QString Name, Kept;
    } cases[] = {
        {QStringLiteral("a holiday photo taken high in the mountains.jpeg"), QStringLiteral(".jpeg")},
        {QStringLiteral("写真 #2 長い長い長い長い長い長い長い名前.png"), QStringLiteral(".png")},
        {QStringLiteral("no extension at all in this long long name"), QString()},
        {QStringLiteral(".a hidden file with a long long long name"),
         QString()}, // a dot first is no extension
        {QStringLiteral("x.an extension longer than half of the room"), QString()},
    };
    for (const Case& c : cases) {
        const int width = 120;
        const QString shown = ElideName(c.Name, metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(shown), width) << shown.toStdString();
        EXPECT_TRUE(shown.contains(ellipsis)) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith(c.Name.left(2))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(c.Kept)) << shown.toStdString();
    }
    EXPECT_EQ(ElideName(QStringLiteral("short.gif"), metrics, 120), QStringLiteral("short.gif"));
}
