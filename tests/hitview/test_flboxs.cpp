#include "TestDir.h"
#include "hitview/FLBoxS.h"
#include "hitview/ListBoxModel.h"
#include "ui/ScreenMetrics.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <tuple>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTimer>

using namespace tavolix::search;
using namespace tavolix::hitview;
using tavolix::ui::SetHorizontalScrollBarHeightOverride;
using tavolix::ui::SetScreenGeometryOverride;

namespace {

// A ladder's levels are walked under each link that leads to them: a long walk.
const TWalkOptions kLadderWalk = [] {
    TWalkOptions o;
    o.WalkLinkedFoldersAgain = true;
    return o;
}();

struct TRecord {
    std::string Dir;
    std::string Name;
    std::int64_t Size = 0;
    std::uint32_t Attr = 0;
    std::int32_t Time = 0;
};

std::unique_ptr<TFileItemList> MakeItems(const std::vector<TRecord>& records) {
    auto items = std::make_unique<TFileItemList>();
    for (const auto& r : records)
        items->Files().AddFile(items->Files().ShareDir(r.Dir), r.Name, r.Size, r.Time, r.Attr);
    return items;
}

std::unique_ptr<TFileItemList> MakeNumbered(int n) {
    std::vector<TRecord> records;
    for (int i = 0; i < n; ++i)
        records.push_back({"/d/", "f" + std::to_string(1000 + i), i, 0, 0});
    return MakeItems(records);
}

std::string Text(const QLabel* label) {
    return label->text().toStdString();
}

class FlBoxS : public ::testing::Test {
protected:
    void SetUp() override {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        SetHorizontalScrollBarHeightOverride(16);
        SetScreenGeometryOverride(QRect(0, 0, 1000, 800));
    }
    void TearDown() override {
        SetHorizontalScrollBarHeightOverride(std::nullopt);
        SetScreenGeometryOverride(std::nullopt);
    }
};

TEST_F(FlBoxS, StartsAsTheComponentIsCreated) {
    TFileListBoxS box;
    EXPECT_EQ(box.size(), QSize(150, 300));
    EXPECT_EQ(box.ItemHeight(), 40);
    EXPECT_EQ(box.Gyou(), 6);
    EXPECT_TRUE(box.ShowHiddenSysFile());
    EXPECT_FALSE(box.SeparateExt());
    EXPECT_EQ(box.SortDirection(), TSortDirection::sdUpword);
    EXPECT_EQ(box.SortOrder(), TSortOrder::soName);
    EXPECT_EQ(box.Mask(), "*.*");
    EXPECT_EQ(box.Items().Count(), 0);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_FALSE(box.IsSearching());
    EXPECT_EQ(box.ProgressForm(), nullptr);
}

// Rows and item height from the list's outer height, with 16-pixel scroll bars.
TEST_F(FlBoxS, GyouSpreadsTheAvailableHeightOverTheRows) {
    struct TCase {
        int Height, Value, Gyou, ItemHeight;
    } cases[] = {
        {290, 6, 6, 45},  {290, 7, 6, 45},  {290, 2, 2, 135}, {60, 1, 1, 40},  {290, 0, 6, 40},
        {290, -3, 6, 40}, {290, 15, 6, 45}, {100, 2, 2, 40},  {100, 1, 1, 80}, {20, 1, 6, 40}, // A <= 0
        {50, 1, 6, 40}, // 30 px: no 40-pixel row fits
        {61, 1, 1, 41},
    };
    for (const auto& c : cases) {
        TFileListBoxS box;
        box.resize(150, c.Height);
        box.SetGyou(c.Value);
        EXPECT_EQ(box.Gyou(), c.Gyou) << c.Height << " px, " << c.Value;
        EXPECT_EQ(box.ItemHeight(), c.ItemHeight) << c.Height << " px, " << c.Value;
        EXPECT_EQ(box.gridSize().height(), c.ItemHeight);
    }
}

TEST_F(FlBoxS, GyouKeepsTheSelectionAndScrollsItsColumnToTheLeft) {
    SetHorizontalScrollBarHeightOverride(std::nullopt); // the real bar, so the rows really fit
    TFileListBoxS box(nullptr, MakeNumbered(200));
    box.resize(300, 290);
    box.SetColumns(2);
    box.show();
    box.SetItemIndex(77);
    const QModelIndex item = box.model()->index(77, 0);
    box.SetGyou(3);
    EXPECT_EQ(box.Gyou(), 3);
    EXPECT_EQ(box.ItemIndex(), 77);
    EXPECT_EQ(box.Items().Objects(77)->Name(), "f1077");
    const int rows = box.viewport()->height() / box.ItemHeight();
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(box.TopIndex(), 77 / rows * rows);
    EXPECT_EQ(box.visualRect(item).x(), 0);

    // A resize lays the rows out again: several selected hits stay selected.
    box.selectionModel()->select(QItemSelection(box.model()->index(10, 0), box.model()->index(20, 0)),
                                 QItemSelectionModel::Select);
    box.SetGyou(5);
    EXPECT_EQ(box.SelectedCount(), 12);
    EXPECT_EQ(box.ItemIndex(), 77);

    box.SetItemIndex(-1);
    const int top = box.TopIndex();
    box.SetGyou(4);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.TopIndex() / 4, top / 5) << "scrolled although nothing was selected";
}

TEST_F(FlBoxS, ItemsFlowTopToBottomThenIntoTheNextColumn) {
    TFileListBoxS box(nullptr, MakeNumbered(100));
    box.resize(404, 260);
    box.SetColumns(2);
    box.show();
    const int width = box.contentsRect().width();
    const int rows = box.viewport()->height() / 40;
    ASSERT_GE(rows, 2);
    for (int columns : {2, 3, 7}) {
        box.SetColumns(columns);
        const int cw = width / columns;
        for (int i : {0, 1, rows - 1, rows, rows + 1, 2 * rows - 1}) {
            EXPECT_EQ(box.visualRect(box.model()->index(i, 0)), QRect(i / rows * cw, i % rows * 40, cw, 40))
                << columns << " columns, item " << i;
        }
    }
    box.SetColumns(2);
    EXPECT_GT(box.horizontalScrollBar()->maximum(), 0) << "100 items do not fit two columns";
    box.SetTopIndex(4 * rows + 1);
    EXPECT_EQ(box.TopIndex(), 4 * rows);
    EXPECT_EQ(box.visualRect(box.model()->index(4 * rows, 0)).topLeft(), QPoint(0, 0));
    EXPECT_EQ(box.ItemAtPos(QPoint(width / 2 + 3, 41)), 5 * rows + 1);
    // Rows first: each row holds the columns asked for, also where they
    // divide the width exactly.
    box.SetRowsFirst(true);
    for (int w = 400; w < 408; ++w) {
        box.resize(w, 260);
        for (int columns : {2, 3, 4}) {
            box.SetColumns(columns);
            box.SetTopIndex(0);
            EXPECT_EQ(box.visualRect(box.model()->index(columns - 1, 0)).top(), 0) << w << " px, " << columns;
            EXPECT_EQ(box.visualRect(box.model()->index(columns, 0)).topLeft(), QPoint(0, 40)) << w << " px";
        }
    }
}

TEST_F(FlBoxS, PropertyWritesRefillAsTheyShould) {
    struct TCase {
        const char* What;
        std::function<void(TFileListBoxS&)> Write;
        int Fills;
    } cases[] = {
        {"same direction", [](TFileListBoxS& b) { b.SetSortDirection(TSortDirection::sdUpword); }, 0},
        {"other direction", [](TFileListBoxS& b) { b.SetSortDirection(TSortDirection::sdDownword); }, 1},
        {"same order", [](TFileListBoxS& b) { b.SetSortOrder(TSortOrder::soName); }, 0},
        {"other order", [](TFileListBoxS& b) { b.SetSortOrder(TSortOrder::soSize); }, 1},
        {"same mask", [](TFileListBoxS& b) { b.SetMask("*.*"); }, 1},
        {"other mask", [](TFileListBoxS& b) { b.SetMask("*.gif"); }, 1},
        {"same hidden", [](TFileListBoxS& b) { b.SetShowHiddenSysFile(true); }, 0},
        {"other hidden", [](TFileListBoxS& b) { b.SetShowHiddenSysFile(false); }, 1},
        {"same ext", [](TFileListBoxS& b) { b.SetSeparateExt(false); }, 0},
        {"other ext", [](TFileListBoxS& b) { b.SetSeparateExt(true); }, 1},
        {"refresh", [](TFileListBoxS& b) { b.RefreshItems(); }, 1},
        {"rows", [](TFileListBoxS& b) { b.SetGyou(3); }, 0},
    };
    for (const auto& c : cases) {
        TFileListBoxS box(nullptr,
                          MakeItems({{"/a/", "x.gif", 3}, {"/a/", "y.gif", 2}, {"/b/", "z.txt", 1}}));
        int fills = 0;
        box.OnChange = [&](TFileListBoxS* sender) {
            EXPECT_EQ(sender, &box);
            ++fills;
        };
        box.SetItemIndex(1);
        c.Write(box);
        EXPECT_EQ(fills, c.Fills) << c.What;
        EXPECT_EQ(box.ItemIndex(), c.Fills ? -1 : 1) << c.What;
        EXPECT_EQ(box.Items().Count(), 3) << c.What << ": the mask applies to the next search only";
    }
}

TEST_F(FlBoxS, DownwordShowsTheLastRecordFirstWithoutResorting) {
    auto items = MakeItems({{"/a/", "b.GIF", 5}, {"/a/", "A.gif", 5}, {"/a/", "c.gif", 1}});
    items->Files().SortFiles();
    TFileListBoxS box(nullptr, std::move(items));
    box.SetSortOrder(TSortOrder::soSize);
    auto names = [&] {
        std::vector<std::string> v;
        for (int i = 0; i < box.Items().Count(); ++i)
            v.emplace_back(box.Items().Strings(i));
        return v;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"c.gif", "A.gif", "b.GIF"}));
    box.SetSortDirection(TSortDirection::sdDownword);
    EXPECT_EQ(names(), (std::vector<std::string>{"b.GIF", "A.gif", "c.gif"}));
    EXPECT_EQ(box.Items().Objects(0), box.FileItems().Files().Item(2));
    EXPECT_STREQ(box.GetSortDirectionName(), "Down");
    EXPECT_STREQ(box.GetSortOrderName(), "Size");
    box.SetSortDirection(TSortDirection::sdUpword);
    EXPECT_EQ(names(), (std::vector<std::string>{"c.gif", "A.gif", "b.GIF"}));
}

TEST_F(FlBoxS, HiddenAndSystemFilesAreCountedButNotShown) {
    TFileListBoxS box(nullptr, MakeItems({{"/a/", "plain", 1, 0x00},
                                          {"/a/", "readonly", 10, 0x01},
                                          {"/a/", "hidden", 100, 0x02},
                                          {"/a/", "system", 1000, 0x04},
                                          {"/a/", "both", 10000, 0x26}}));
    box.SetShowHiddenSysFile(false);
    ASSERT_EQ(box.Items().Count(), 2);
    EXPECT_EQ(box.Items().Strings(0), "plain");
    EXPECT_EQ(box.Items().Strings(1), "readonly");
    EXPECT_EQ(box.GetFileCount(), 5);
    EXPECT_EQ(box.GetTotalSize(), 11111);
    EXPECT_TRUE(box.IsFileShown(0x21));
    EXPECT_FALSE(box.IsFileShown(0x02));
    box.SetShowHiddenSysFile(true);
    EXPECT_EQ(box.Items().Count(), 5);
    EXPECT_TRUE(box.IsFileShown(0x06));
}

TEST_F(FlBoxS, AccessorsReadTheSelectedOrIndexedRecord) {
    const std::int32_t august1998 = (((18 << 9) | (8 << 5) | 1) << 16) | (13 << 11) | (5 << 5);
    TFileListBoxS box(
        nullptr, MakeItems({{"/x/y/", "photo.gif", 1234567, 0x27, august1998}, {"/x/", "zero", 0, 0x80, 0}}));
    TLocaleFormats formats;
    formats.DateSeparator = "-";
    formats.TimeSeparator = ".";
    formats.ThousandSeparator = "'";
    box.SetFormats(formats);

    for (const auto& text : {box.GetSelectedPath(), box.GetSelectedAttrText(), box.GetSelectedTimeText(),
                             box.GetSelectedSizeText(), box.GetSelectedDir(), box.GetFilePath(-1),
                             box.GetDateText(-1), box.GetSizeText(-1)})
        EXPECT_EQ(text, "");

    box.SetItemIndex(0);
    EXPECT_EQ(box.GetSelectedPath(), "/x/y/photo.gif");
    EXPECT_EQ(box.GetSelectedDir(), "/x/y/");
    EXPECT_EQ(box.GetSelectedAttrText(), "SHRA");
    EXPECT_EQ(box.GetSelectedTimeText(), "98-08-01-13.05");
    EXPECT_EQ(box.GetSelectedSizeText(), "1'234'567");
    EXPECT_EQ(box.GetDateText(0), "98-08-01");
    EXPECT_EQ(box.GetFilePath(1), "/x/zero");
    EXPECT_EQ(box.GetDateText(1), "00/00/00") << "the zero texts are fixed";
    EXPECT_EQ(box.GetSizeText(1), "0");
    box.SetItemIndex(1);
    EXPECT_EQ(box.GetSelectedAttrText(), "");
    EXPECT_EQ(box.GetSelectedTimeText(), "00/00/00-00:00");
}

TEST_F(FlBoxS, SelectFileNameMatchesTheNameExactly) {
    TFileListBoxS box(nullptr, MakeItems({{"/a/", "Photo.GIF"}, {"/b/", "photo.gif"}, {"/c/", "photo.gif"}}));
    box.SelectFileName("/somewhere/else/photo.gif");
    EXPECT_EQ(box.ItemIndex(), 1);
    box.SelectFileName("/a/PHOTO.GIF");
    EXPECT_EQ(box.ItemIndex(), 1) << "a name differing in case selects nothing";
    box.SelectFileName("Photo.GIF");
    EXPECT_EQ(box.ItemIndex(), 0);
    box.SelectFileName("/a/");
    EXPECT_EQ(box.ItemIndex(), 0);
}

TEST_F(FlBoxS, AdjustedCountsStopAtZero) {
    TFileListBoxS box(nullptr, MakeItems({{"/a/", "1", 10}, {"/a/", "2", 20}, {"/a/", "3", 30}}));
    box.AdjustFileCount(0);
    EXPECT_EQ(box.GetFileCount(), 3);
    box.AdjustFileCount(-5);
    EXPECT_EQ(box.GetFileCount(), 0);
    box.AdjustFileCount(2);
    EXPECT_EQ(box.GetFileCount(), 2);
    box.AdjustTotalSize(-59);
    EXPECT_EQ(box.GetTotalSize(), 1);
    box.AdjustTotalSize(-1);
    EXPECT_EQ(box.GetTotalSize(), 0);
    EXPECT_EQ(box.Items().Count(), 3) << "the counts are the search's, not the items'";
}

TEST_F(FlBoxS, ModelFollowsEveryChangeOfTheItems) {
    TTestDir tree;
    tree.File("a.gif", "1");
    tree.File("sub/b.gif", "22");
    tree.File("sub/.c.gif", "333");
    TFileListBoxS box(nullptr, MakeItems({{"/a/", "n<1>.gif", 1, 0x02}, {"/a/", "\xff\xfe.gif", 2}}));
    QAbstractItemModelTester tester(box.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto check = [&](const char* what) {
        ASSERT_EQ(box.model()->rowCount(), box.Items().Count()) << what;
        for (int i = 0; i < box.Items().Count(); ++i) {
            const QModelIndex index = box.model()->index(i, 0);
            const std::string_view name = box.Items().Strings(i);
            EXPECT_EQ(index.data().toString(), QFile::decodeName(QByteArray(name.data(), name.size())))
                << what;
            EXPECT_EQ(index.data(TFileListModel::RecordRole).value<const TFileInfo*>(),
                      box.Items().Objects(i));
        }
    };
    check("loaded");
    box.SetShowHiddenSysFile(false);
    check("hidden filtered");
    box.SetShowHiddenSysFile(true);
    box.FillItems(); // without a clear: the items are appended again
    check("appended");
    EXPECT_EQ(box.Items().Count(), 4);
    box.Items().Clear();
    check("cleared");
    box.SetMask("*.gif");
    ASSERT_TRUE(box.SearchFiles(tree.Root()));
    check("searched");
    EXPECT_EQ(box.Items().Count(), 3);
    box.SetSortDirection(TSortDirection::sdDownword);
    check("reversed");
}

// Several items may be selected; the selected item of the accessors is the
// current one when it is among them, else the first.
TEST_F(FlBoxS, SeveralItemsAreSelectedAsRangesAndTheSelectedItemIsTheCurrentOne) {
    TFileListBoxS box(nullptr, MakeNumbered(10));
    QItemSelectionModel* selection = box.selectionModel();
    const auto row = [&](int i) { return box.model()->index(i, 0); };
    selection->select(QItemSelection(row(2), row(4)),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(row(7), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(row(3), QItemSelectionModel::Select | QItemSelectionModel::Rows); // twice is once
    EXPECT_EQ(box.SelectedRanges(), (std::vector<std::pair<int, int>>{{2, 4}, {7, 7}}));
    EXPECT_EQ(box.SelectedCount(), 4);
    EXPECT_EQ(box.ItemIndex(), 7);
    EXPECT_EQ(box.GetSelectedPath(), box.GetFilePath(7));
    selection->setCurrentIndex(row(0), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(box.ItemIndex(), 2);
    selection->select(row(5), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(box.SelectedRanges(), (std::vector<std::pair<int, int>>{{2, 5}, {7, 7}}));
    box.selectAll();
    EXPECT_EQ(box.SelectedRanges(), (std::vector<std::pair<int, int>>{{0, 9}}));
    box.SetItemIndex(6);
    EXPECT_EQ(box.SelectedRanges(), (std::vector<std::pair<int, int>>{{6, 6}}));
    box.SetItemIndex(-1);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.SelectedCount(), 0);
}

TEST_F(FlBoxS, DrawHookPaintsTheVisibleItemsOnAPreparedSurface) {
    TFileListBoxS box(nullptr, MakeNumbered(1000));
    box.resize(400, 300);
    box.SetColumns(2);
    box.SetItemIndex(1);
    box.show();
    struct TCall {
        int Index;
        QRect Rect;
        bool Selected;
        QColor Back;
        QColor Pen;
    };
    std::vector<TCall> calls;
    box.OnDrawItem = [&](QPainter& p, int index, const QRect& rect, bool selected) {
        calls.push_back({index, rect, selected, p.background().color(), p.pen().color()});
        EXPECT_EQ(p.font(), box.font());
        EXPECT_EQ(p.backgroundMode(), Qt::OpaqueMode);
        p.setPen(Qt::magenta); // must not reach the next item
    };
    box.grab();
    ASSERT_FALSE(calls.empty());
    const QRect viewport = box.viewport()->rect();
    int visible = 0;
    for (int i = 0; i < 1000; ++i)
        visible += box.visualRect(box.model()->index(i, 0)).intersects(viewport) ? 1 : 0;
    EXPECT_LE(calls.size(), static_cast<std::size_t>(visible)) << "items out of sight were painted";
    std::set<int> seen;
    for (const auto& c : calls) {
        seen.insert(c.Index);
        EXPECT_EQ(c.Rect, box.visualRect(box.model()->index(c.Index, 0)));
        EXPECT_EQ(c.Selected, c.Index == 1);
        EXPECT_EQ(c.Back,
                  box.palette().color(QPalette::Active, c.Selected ? QPalette::Highlight : QPalette::Base));
        EXPECT_EQ(c.Pen, box.palette().color(QPalette::Active,
                                             c.Selected ? QPalette::HighlightedText : QPalette::Text));
    }
    EXPECT_EQ(static_cast<int>(seen.size()), visible);
}

TEST_F(FlBoxS, PaintsTheNamesOfARealTree) {
    TTestDir tree;
    for (const char* name :
         {"file with spaces.gif", "# hash.gif", "日本語の名前.gif", "<b>&amp;.gif", "\xff\xfe.gif", "z.gif",
          "y.gif", "x.gif", "w.gif", "v.gif", "u.gif", "t.gif", "s.gif"})
        tree.File(std::string("pics/") + name, "x");
    TFileListBoxS box;
    box.resize(456, 300);
    box.SetColumns(2);
    box.SetMask("*.gif");
    ASSERT_TRUE(box.SearchFiles(tree.Root()));
    box.SetGyou(6);
    box.SetItemIndex(2);
    box.show();
    QCoreApplication::processEvents(); // scroll bars follow the layout
    const QImage shot = box.grab().toImage();
    if (const char* dir = std::getenv("TAVOLIX_SHOT_DIR"))
        shot.save(QString::fromLocal8Bit(dir) + "/flboxs.png");
    EXPECT_TRUE(box.horizontalScrollBar()->isVisible()) << "13 items need a third column";
    // Every cell of the first two columns has ink on it.
    const int rows = box.viewport()->height() / box.ItemHeight();
    ASSERT_GE(rows, 2);
    const QPoint offset = box.viewport()->geometry().topLeft();
    for (int i = 0; i < 2 * rows && i < box.Items().Count(); ++i) {
        const QRect cell = box.visualRect(box.model()->index(i, 0)).translated(offset);
        const QColor back = box.palette().color(i == 2 ? QPalette::Highlight : QPalette::Base);
        int inked = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                inked += shot.pixelColor(x, y) != back ? 1 : 0;
        EXPECT_GT(inked, 30) << "item " << i << " " << box.Items().Strings(i);
        EXPECT_EQ(shot.pixelColor(cell.right() - 1, cell.center().y()), back) << "item " << i;
    }
}

// A walk that runs until it is stopped: `ticks` ticks of the search, counted
// from the first with hits (a busy machine may start the walk late), then
// StopSearch (0: never). `each` hears the ticks counted.
void StopAfter(TFileListBoxS& box, int ticks, std::function<void(int)> each = {}) {
    auto count = std::make_shared<int>(0);
    QObject::connect(&box, &TFileListBoxS::SearchStep, &box, [&box, count, ticks, each] {
        if (box.GetFileCount() == 0)
            return;
        ++*count;
        if (each)
            each(*count);
        if (*count == ticks)
            box.StopSearch();
    });
}

TEST_F(FlBoxS, ProgressWindowShowsTheLatestEntryAndTheCountSoFar) {
    TTestDir tree;
    tree.Ladder("日本語 <x>", 22, "1.gif");
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    box.SetMask("*.gif");
    box.SetProgressRefresh(0);
    std::vector<std::pair<std::string, std::int64_t>> seen;
    // Ticks before the walk thread has got going (a busy machine) show the
    // base; the five after it count.
    QObject::connect(&box, &TFileListBoxS::SearchStep, &box, [&] {
        TSearchProgressForm* form = box.ProgressForm();
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->isVisible());
        const std::string kkk = Text(form->kkk), nnn = Text(form->nnn);
        ASSERT_EQ(nnn.rfind("集計数 ： ", 0), 0u) << nnn;
        if (seen.empty() && (kkk == "Select" || kkk == tree.Path("日本語 <x>")))
            return;
        seen.emplace_back(kkk, std::stoll(nnn.substr(std::string("集計数 ： ").size())));
        if (const char* dir = std::getenv("TAVOLIX_SHOT_DIR"))
            form->grab().save(QString::fromLocal8Bit(dir) + "/progress-walk.png");
        if (seen.size() == 5)
            box.StopSearch();
    });
    QSignalSpy finished(&box, &TFileListBoxS::SearchFinished);
    ASSERT_TRUE(box.SearchFiles(tree.Path("日本語 <x>")));
    ASSERT_EQ(seen.size(), 5u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first.rfind(tree.Path("日本語 <x>/"), 0), 0u) << seen[i].first;
        EXPECT_GT(seen[i].second, 0);
        if (i > 0) {
            EXPECT_GE(seen[i].second, seen[i - 1].second);
        }
    }
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(box.ProgressForm(), nullptr);
    EXPECT_TRUE(box.SearchStopped());
    EXPECT_GE(box.GetFileCount(), seen.back().second);
    EXPECT_EQ(box.Items().Count(), box.GetFileCount());
    EXPECT_EQ(box.GetTotalSize(), 0);
}

TEST_F(FlBoxS, CountIsZeroWhileTheFirstSubdirectoryIsLookedAt) {
    TTestDir tree;
    tree.File("top.txt");
    tree.Ladder("first", 22);
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    box.SetMask("*.gif");
    box.SetProgressRefresh(0);
    // Ticks may come while the walk still looks at the base's "." or ".."
    // (on a busy machine, many): three inside the first subdirectory count.
    std::set<std::string> counts;
    int inside = 0;
    QObject::connect(&box, &TFileListBoxS::SearchStep, &box, [&] {
        if (Text(box.ProgressForm()->kkk).rfind(tree.Path("first"), 0) != 0)
            return;
        counts.insert(Text(box.ProgressForm()->nnn));
        if (++inside == 3)
            box.StopSearch();
    });
    ASSERT_TRUE(box.SearchFiles(tree.Root()));
    EXPECT_EQ(counts, std::set<std::string>{"集計数 ： 0"});
    EXPECT_EQ(box.GetFileCount(), 0);
}

TEST_F(FlBoxS, ProgressWindowLooksAsGiven) {
    TTestDir tree;
    tree.Ladder("a", 22, "x.gif");
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    box.SetProgressRefresh(1 << 30);
    int steps = 0;
    StopAfter(box, 1, [&](int) {
        ++steps;
        TSearchProgressForm* form = box.ProgressForm();
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("一生懸命検索しています。しばらくお待ち下さい。"));
        EXPECT_TRUE(form->isWindow());
        EXPECT_FALSE(form->isModal());
        EXPECT_EQ(form->parentWidget(), &box);
        const Qt::WindowFlags flags = form->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::Dialog));
        EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(form->size(), QSize(500, 200));
        EXPECT_EQ(form->minimumSize(), form->maximumSize());
        EXPECT_EQ(form->pos(), QPoint(250, 300));
        const QImage shot = form->grab().toImage();
        if (const char* dir = std::getenv("TAVOLIX_SHOT_DIR"))
            shot.save(QString::fromLocal8Bit(dir) + "/progress.png");
        EXPECT_EQ(shot.pixelColor(3, 3), QColor(0, 255, 255));

        struct TLabelCase {
            QLabel* Label;
            QPoint Pos;
            const char* Family;
            const char* Resolved;
            const char* ResolvedJa; // the name fontconfig gives in a Japanese locale
            int Pixels;
            bool Fixed;
            QColor Color;
        } labels[] = {
            {form->kkk,
             {12, 66},
             "ＭＳ Ｐゴシック",
             "IPAPGothic",
             "IPA Pゴシック",
             14,
             false,
             QColor(0, 0, 255)},
            {form->nnn, {30, 133}, "ＭＳ ゴシック", "IPAGothic", "IPAゴシック", 16, true, QColor(255, 0, 0)},
        };
        EXPECT_LT(form->children().indexOf(form->kkk), form->children().indexOf(form->nnn));
        for (const auto& l : labels) {
            EXPECT_EQ(l.Label->text(), "Select") << "the interval has not passed yet";
            EXPECT_EQ(l.Label->pos(), l.Pos);
            EXPECT_EQ(l.Label->size(), l.Label->sizeHint());
            EXPECT_FALSE(l.Label->wordWrap());
            EXPECT_EQ(l.Label->font().family(), QString::fromUtf8(l.Family));
            const QString resolved = QFontInfo(l.Label->font()).family();
            EXPECT_TRUE(resolved == QString::fromUtf8(l.Resolved) ||
                        resolved == QString::fromUtf8(l.ResolvedJa))
                << resolved.toStdString();
            EXPECT_EQ(l.Label->font().pixelSize(), l.Pixels);
            EXPECT_EQ(l.Label->font().fixedPitch(), l.Fixed);
            EXPECT_FALSE(l.Label->font().bold());
            EXPECT_FALSE(l.Label->font().italic());
            EXPECT_EQ(l.Label->palette().color(QPalette::WindowText), l.Color);
        }
    });
    ASSERT_TRUE(box.SearchFiles(tree.Path("a")));
    EXPECT_EQ(steps, 1);
}

TEST_F(FlBoxS, ProgressLabelsAreSetAtMostOncePerInterval) {
    TTestDir tree;
    tree.Ladder("d", 22, "f.gif");
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    std::int64_t now = 0;
    box.SetProgressRefresh(33, [&] { return now; });
    std::vector<int> shown;
    std::set<std::string> dirs;
    StopAfter(box, 12, [&](int) {
        shown.push_back(box.ProgressForm()->EntriesShown());
        dirs.insert(Text(box.ProgressForm()->kkk));
        now += 10;
    });
    ASSERT_TRUE(box.SearchFiles(tree.Path("d")));
    ASSERT_EQ(shown.size(), 12u);
    // Tick k (from 0, the first with hits) comes at 10k ms: the labels are
    // set at 40 and 80 ms.
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}));
    dirs.erase("Select");
    // Two settings; the walk (a thread of its own) may not have moved between them.
    ASSERT_GE(dirs.size(), 1u);
    ASSERT_LE(dirs.size(), 2u);
    for (const auto& d : dirs) // the base itself before the walk's first entry
        EXPECT_EQ(d.rfind(tree.Path("d"), 0), 0u) << d;
}

TEST_F(FlBoxS, ClosingTheProgressWindowOrStopSearchEndsTheWalk) {
    TTestDir tree;
    tree.Ladder("walk", 22, "f.gif");
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    QPointer<TSearchProgressForm> form;
    int steps = 0;
    QObject::connect(&box, &TFileListBoxS::SearchStep, [&] {
        if (box.GetFileCount() > 0 && ++steps == 1) {
            form = box.ProgressForm();
            form->close();
        }
    });
    ASSERT_TRUE(box.SearchFiles(tree.Path("walk")));
    EXPECT_EQ(steps, 1);
    EXPECT_TRUE(box.SearchStopped());
    EXPECT_GT(box.GetFileCount(), 0);
    EXPECT_EQ(box.Items().Count(), box.GetFileCount());
    EXPECT_TRUE(form.isNull()) << "destroyed at the end of the search";

    QObject::disconnect(&box, &TFileListBoxS::SearchStep, nullptr, nullptr);
    StopAfter(box, 2);
    ASSERT_TRUE(box.SearchFiles(tree.Path("walk")));
    EXPECT_TRUE(box.SearchStopped());
    EXPECT_GT(box.GetFileCount(), 0);

    // The next search runs to the end.
    QObject::disconnect(&box, &TFileListBoxS::SearchStep, nullptr, nullptr);
    tree.File("small/d0/f.gif");
    tree.File("small/d1/f.gif");
    box.StopSearch(); // no walk: nothing to stop, nothing kept for later
    ASSERT_TRUE(box.SearchFiles(tree.Path("small")));
    EXPECT_FALSE(box.SearchStopped());
    EXPECT_EQ(box.GetFileCount(), 2);
}

TEST_F(FlBoxS, SecondSearchWhileOneRunsIsRefused) {
    TTestDir first, second;
    first.Ladder("l", 22, "f.gif");
    second.File("other.gif");
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    QSignalSpy finished(&box, &TFileListBoxS::SearchFinished);
    int refused = 0;
    StopAfter(box, 4, [&](int) {
        EXPECT_TRUE(box.IsSearching());
        refused += box.SearchFiles(second.Root()) ? 0 : 1;
    });
    ASSERT_TRUE(box.SearchFiles(first.Path("l")));
    EXPECT_EQ(refused, 4);
    EXPECT_FALSE(box.IsSearching());
    EXPECT_EQ(finished.count(), 1);
    ASSERT_GT(box.Items().Count(), 0);
    for (int i = 0; i < box.Items().Count(); ++i)
        EXPECT_EQ(box.Items().Strings(i), "f.gif");
    QObject::disconnect(&box, &TFileListBoxS::SearchStep, nullptr, nullptr);
    EXPECT_TRUE(box.SearchFiles(second.Root())) << "after the walk a new search runs";
    EXPECT_EQ(box.GetFilePath(0), second.Path("other.gif"));
}

TEST_F(FlBoxS, DeleteLaterDuringAWalkWaitsForItsEnd) {
    TTestDir tree;
    tree.Ladder("l", 22, "f.gif");
    QPointer<TFileListBoxS> box = new TFileListBoxS;
    box->SetWalkOptions(kLadderWalk);
    int stepsAfterRequest = 0;
    bool requested = false;
    StopAfter(*box, 6, [&](int step) {
        if (requested)
            ++stepsAfterRequest;
        // From inside an event handler, as a window's command would.
        if (step == 1)
            QTimer::singleShot(0, box, [&] {
                requested = true;
                box->deleteLater();
            });
    });
    ASSERT_TRUE(box->SearchFiles(tree.Path("l")));
    ASSERT_FALSE(box.isNull());
    EXPECT_GE(stepsAfterRequest, 3);
    EXPECT_GT(box->GetFileCount(), 0);
    EXPECT_EQ(box->Items().Count(), box->GetFileCount());
    QSignalSpy destroyed(box.data(), &QObject::destroyed);
    EXPECT_TRUE(destroyed.wait(5000));
    EXPECT_TRUE(box.isNull());
}

TEST_F(FlBoxS, OwnerDeletedDuringAWalkLeavesNothingDangling) {
    TTestDir tree;
    tree.Ladder("l", 22, "f.gif");
    auto* owner = new QWidget;
    QPointer<TFileListBoxS> box = new TFileListBoxS(owner);
    box->SetWalkOptions(kLadderWalk);
    int steps = 0;
    QObject::connect(box, &TFileListBoxS::SearchStep, [&] {
        if (++steps == 2)
            QTimer::singleShot(0, qApp, [owner] { delete owner; });
    });
    EXPECT_FALSE(box->SearchFiles(tree.Path("l")));
    EXPECT_TRUE(box.isNull());
    EXPECT_EQ(steps, 2);
}

TEST_F(FlBoxS, CloseDuringAWalkHappensWhenItEnds) {
    TTestDir tree;
    tree.Ladder("l", 22, "f.gif");
    TFileListBoxS box;
    box.SetWalkOptions(kLadderWalk);
    box.show();
    std::vector<bool> closedAtStep;
    StopAfter(box, 3, [&](int) { closedAtStep.push_back(box.close()); });
    QSignalSpy finished(&box, &TFileListBoxS::SearchFinished);
    ASSERT_TRUE(box.SearchFiles(tree.Path("l")));
    EXPECT_EQ(closedAtStep, std::vector<bool>(3, false));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.Items().Count(), box.GetFileCount());
}

} // namespace

// Moving the pointer over the list (its tracking feeds the status bar) must not
// repaint items: every item paint decodes its file again.
TEST_F(FlBoxS, HoveringRepaintsNoItem) {
    TFileListBoxS box(nullptr, MakeNumbered(40));
    box.resize(404, 260);
    box.SetColumns(2);
    box.setMouseTracking(true);
    box.viewport()->setMouseTracking(true);
    int paints = 0;
    box.OnDrawItem = [&](QPainter&, int, const QRect&, bool) { ++paints; };
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QCoreApplication::processEvents();
    paints = 0;
    for (int i = 0; i < 5; ++i) {
        const QPoint at(10 + 40 * i, 10 + 45 * i);
        QMouseEvent move(QEvent::MouseMove, at, box.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(box.viewport(), &move);
        QHoverEvent hover(QEvent::HoverMove, at, box.viewport()->mapToGlobal(at), at - QPoint(1, 1));
        QApplication::sendEvent(box.viewport(), &hover);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(paints, 0);
}

// Items are placed by arithmetic: where they go, how far the bar scrolls and
// where the arrow keys lead must be what a list view that lays every item
// out gives, in both flows. (Where the columns' width fills a row exactly,
// a list view wraps one column early; the list box shows the columns asked
// for.)
TEST_F(FlBoxS, PlacesScrollsAndMovesAsAListViewThatLaysOutEveryItem) {
    {
        TFileListBoxS box(nullptr, MakeNumbered(47));
        box.SetColumns(3);
        box.SetRowsFirst(true);
        box.resize(400, 244);
        box.show();
        EXPECT_EQ(box.visualRect(box.model()->index(2, 0)).top(), 0) << "three columns in a row";
        EXPECT_GT(box.visualRect(box.model()->index(3, 0)).top(), 0);
    }
    for (const bool rowsFirst : {false, true})
        for (const QSize size : {QSize(404, 260), QSize(333, 187), QSize(392, 300)}) {
            TFileListBoxS box(nullptr, MakeNumbered(47));
            box.SetColumns(3);
            box.SetRowsFirst(rowsFirst);
            box.resize(size);
            box.show();
            QListView plain;
            QStringListModel names;
            QStringList list;
            for (int i = 0; i < 47; ++i)
                list << QString::number(i);
            names.setStringList(list);
            plain.setModel(&names);
            plain.setViewMode(QListView::ListMode);
            plain.setFlow(rowsFirst ? QListView::LeftToRight : QListView::TopToBottom);
            plain.setWrapping(true);
            plain.setUniformItemSizes(true);
            plain.setResizeMode(QListView::Adjust);
            plain.setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
            plain.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
            plain.setHorizontalScrollBarPolicy(box.horizontalScrollBarPolicy());
            plain.setVerticalScrollBarPolicy(box.verticalScrollBarPolicy());
            plain.setGridSize(box.gridSize());
            // Items fill their cells, as the list box's delegate makes them.
            struct TCellSized final : QStyledItemDelegate {
                QSize Cell;
                QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
                    return Cell;
                }
            } cellSized;
            cellSized.Cell = box.gridSize();
            plain.setItemDelegate(&cellSized);
            plain.resize(size);
            plain.show();
            QCoreApplication::processEvents();
            plain.doItemsLayout();
            const std::string where = (rowsFirst ? "rows first, " : "columns first, ") +
                                      std::to_string(size.width()) + "x" + std::to_string(size.height());
            for (int i = 0; i < 47; ++i)
                ASSERT_EQ(box.visualRect(box.model()->index(i, 0)), plain.visualRect(names.index(i, 0)))
                    << where << ", item " << i;
            QScrollBar* ours = rowsFirst ? box.verticalScrollBar() : box.horizontalScrollBar();
            QScrollBar* theirs = rowsFirst ? plain.verticalScrollBar() : plain.horizontalScrollBar();
            EXPECT_EQ(ours->maximum(), theirs->maximum()) << where;
            ours->setValue(ours->maximum());
            theirs->setValue(theirs->maximum());
            EXPECT_EQ(box.indexAt(QPoint(5, 5)).row(), plain.indexAt(QPoint(5, 5)).row()) << where;
            for (const int start : {0, 5, 46})
                for (const Qt::Key key :
                     {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up, Qt::Key_End, Qt::Key_Home}) {
                    box.setCurrentIndex(box.model()->index(start, 0));
                    plain.setCurrentIndex(names.index(start, 0));
                    QTest::keyClick(&box, key);
                    QTest::keyClick(&plain, key);
                    EXPECT_EQ(box.currentIndex().row(), plain.currentIndex().row())
                        << where << ", from " << start << ", key " << key;
                }
        }
}

// A long list is sorted on a thread of its own, at the walk's end and at a
// change of order: the window answers meanwhile, and the order is the one a
// sort on the window's own thread gives.
TEST_F(FlBoxS, ALongListIsSortedAsideIntoTheOrderAShortOneGets) {
    constexpr int kFiles = 150000; // above the count sorted on the window's thread
    const auto walk = [](TWalkVisitor& visitor, const std::atomic<bool>&) {
        for (int d = 0; d < kFiles / 10; ++d) {
            tavolix::platform::TDirContents contents;
            for (int f = 0; f < 10; ++f)
                contents.AddFile("n" + std::to_string((d * 7919 + f * 104729) % 5000) +
                                     (f % 3 ? ".gif" : ".jpg"),
                                 (d * 31 + f) % 977, {1700000000 + (d * 13 + f) % 86400, 0});
            visitor.DirectoryRead("/r/" + std::to_string(d % 97) + "/", contents);
        }
        return TWalkStats{};
    };
    // The same records, in the walk's order, sorted here by name and then
    // by each order in turn, as the window's thread would.
    const auto expected = [&](std::vector<TSortOrder> orders) {
        TFileInfoList list;
        struct TInto final : TWalkVisitor {
            TFileInfoList& L;
            explicit TInto(TFileInfoList& l) : L(l) {}
            void DirectoryRead(const std::string& dir, const tavolix::platform::TDirContents& c) override {
                L.AddDirectory(dir, c);
            }
            void EnteringDirectory(const std::string&, std::string_view) override {}
            void LeftDirectory() override {}
        } into(list);
        std::atomic<bool> stop{false};
        walk(into, stop);
        list.SortFiles();
        for (TSortOrder order : orders)
            list.ChangeSortOrder(order);
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < list.Count(); ++i)
            paths.push_back(list.Item(i)->Path());
        return paths;
    };
    const auto shown = [](const TFileListBoxS& box) {
        std::vector<std::string> paths;
        for (int i = 0; i < box.FileItems().Count(); ++i)
            paths.push_back(box.FileItems().Item(i)->Path());
        return paths;
    };
    TFileListBoxS box;
    QSignalSpy finished(&box, &TFileListBoxS::SearchFinished);
    ASSERT_TRUE(box.StartSearch("/r/", walk));
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(box.IsSearching());
    EXPECT_EQ(shown(box), expected({}));

    box.SetSortOrder(TSortOrder::soSize);
    EXPECT_EQ(box.SortOrder(), TSortOrder::soSize) << "the order asked for shows at once";
    box.SetSortOrder(TSortOrder::soTime); // while the first runs: it follows
    for (int i = 0; i < 6000 && (box.IsSorting() || box.FileItems().SortOrder() != TSortOrder::soTime); ++i)
        QTest::qWait(10);
    ASSERT_FALSE(box.IsSorting());
    EXPECT_EQ(box.FileItems().SortOrder(), TSortOrder::soTime);
    EXPECT_EQ(shown(box), expected({TSortOrder::soSize, TSortOrder::soTime}));
}
