#include "FakeResultHost.h"
#include "StallFs.h"
#include "TestDir.h"
#include "TestPictures.h"
#include "TryExpect.h"
#include "WaitForWalk.h"
#include "cli/PageCommand.h"
#include "hitview/FLBoxS.h"
#include "pages/PageWriter.h"
#include "pages/PathFunctions.h"
#include "platform/ExecuteFile.h"
#include "results/DetailsView.h"
#include "results/PageSaver.h"
#include "results/findf.h"
#include "search/SearchJob.h"
#include "thumbs/ThumbnailPool.h"
#include "ui/MessageBoxes.h"

#include <array>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace tavolix;
using results::TMDIChild;
using search::TSortDirection;
using search::TSortOrder;
using ui::TMessageBoxSeam;
using ui::TMessageKind;
using ui::TMessageResult;

namespace {

class FindfTest : public ::testing::Test {
protected:
    void SetUp() override {
        TMessageBoxSeam::SetNextAnswers({});
        platform::SetFileOpener([this](const platform::TOpenRequest& r) { Opens.push_back(r); });
        Host.Dir = Tree.Root();
        Host.Key = "*.txt";
    }
    void TearDown() override {
        TMessageBoxSeam::Reset();
        platform::SetFileOpener({});
        TMDIChild::SetSaveFileNameProvider({});
    }

    // Three hits: a.txt (1234 bytes), sub/b.txt (10), z/c.txt (100).
    void MakeThree() {
        Tree.File("a.txt", std::string(1234, 'a'));
        Tree.File("sub/b.txt", std::string(10, 'b'));
        Tree.File("z/c.txt", std::string(100, 'c'));
        Tree.File("z/other.dat", "x");
    }

    static void WaitForWalk(TMDIChild& c) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !c.Searching(); }, 60000));
    }
    static bool Found(TMDIChild& c) { return SearchToTheEnd(c); }

    std::unique_ptr<TMDIChild> Create(bool show = true) {
        auto child = std::make_unique<TMDIChild>(Host);
        EXPECT_TRUE(Found(*child));
        if (show) {
            child->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(child.get()));
        }
        return child;
    }

    static QString Names(TMDIChild& c) {
        QStringList names;
        for (int i = 0; i < c.ListBox1->Items().Count(); ++i)
            names << QString::fromStdString(std::string(c.ListBox1->Items().Strings(i)));
        return names.join(',');
    }

    static void ClickSection(TMDIChild& c, int section) {
        QHeaderView* h = c.HeaderControl1;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(section) + 5, h->height() / 2));
    }

    static QPoint ItemCenter(TMDIChild& c, int row) {
        return c.ListBox1->visualRect(c.ListBox1->model()->index(row, 0)).center();
    }

    static QString Panel(TMDIChild& c, int i) { return c.StatusPanels[i]->text(); }

    TTestDir Tree;
    TFakeHost Host;
    std::vector<platform::TOpenRequest> Opens;
};

TEST_F(FindfTest, SearchWithHitsShowsTotalsSizesWindowAndRecordsKey) {
    MakeThree();
    auto c = Create(false);
    EXPECT_EQ(c->windowTitle(), QStringLiteral(" 検索ディレクトリ = ") + QString::fromStdString(Tree.Root()) +
                                    QStringLiteral(" , 指定キー = *.txt"));
    EXPECT_EQ(c->PanelLabel->text(),
              QStringLiteral(" Sorted by : Name → Upword ; Total Files = 3 ; Size = 1,344 Bytes"));
    EXPECT_EQ(c->PanelLabel->statusTip(), QStringLiteral(" Sorted by : Name → Upword ; Total Files = 3 ; "
                                                         "Size = 1,344 Bytes"));
    EXPECT_EQ(c->size(), QSize((1000 - 220) * 5 / 6, 600 * 5 / 6));
    EXPECT_EQ(Host.History, std::vector<std::string>{"*.txt"});
    EXPECT_EQ(Names(*c), QStringLiteral("a.txt,b.txt,c.txt"));
    EXPECT_TRUE(TMessageBoxSeam::Shown().empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FindfTest, InsideASubwindowTheSubwindowTakesTheSize) {
    MakeThree();
    QMdiArea area;
    area.resize(1200, 900);
    auto* c = new TMDIChild(Host);
    QMdiSubWindow* sub = area.addSubWindow(c);
    ASSERT_TRUE(Found(*c));
    EXPECT_EQ(sub->size(), QSize((1000 - 220) * 5 / 6, 600 * 5 / 6));
    EXPECT_TRUE(sub->windowTitle().endsWith(QStringLiteral(" , 指定キー = *.txt")));
}

TEST_F(FindfTest, HintsSplitIntoTipAndStatusText) {
    MakeThree();
    auto c = Create(false);
    EXPECT_EQ(c->Close1->statusTip(), QStringLiteral("検索結果の表示フォームを閉じます。"));
    EXPECT_EQ(c->Help1->statusTip(), QStringLiteral("使用方法などの説明を行います。"));
    EXPECT_EQ(c->HTMLH1->statusTip(), QStringLiteral(" 検索結果は、ＨＴＭＬ形式で作成して保存しないと、"
                                                     "ＷＷＷブラウザで閲覧できません。"));
    EXPECT_EQ(c->HeaderControl1->statusTip(),
              QStringLiteral(" 検索結果をＨＴＭＬ形式で作成・保存する前に、処理して下さい。"));
    EXPECT_EQ(
        c->N5->menuAction()->statusTip(),
        QStringLiteral("検索結果を見易くする場合などに、使用して下さい （ 作成するＨＴＭＬとは無関係 ）。"));
    EXPECT_EQ(c->HeaderControl1->sectionSize(1), 90);
    EXPECT_EQ(c->HeaderControl1->model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("Directrory"));
}

TEST_F(FindfTest, NoHitShowsTheBoxAndKeepsTheHistory) {
    MakeThree();
    Host.Key = "*.zzz";
    TMDIChild c(Host);
    EXPECT_FALSE(Found(c));
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    const ui::TShownMessage& box = TMessageBoxSeam::Shown()[0];
    EXPECT_EQ(box.Kind, TMessageKind::Information);
    EXPECT_EQ(box.Buttons, ui::TButtons(ui::mbOK));
    EXPECT_EQ(box.Text,
              QStringLiteral("指定キー  *.zzz  に\r\n\r\n該当するファイルは見つかりませんでした。"));
    EXPECT_TRUE(Host.History.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Folders the walk could not read are told on a line of their own, not in
// the sort line; an unreadable base folder has a box that says why.
TEST_F(FindfTest, UnreadFoldersAreToldAndAnUnreadableBaseHasItsOwnBox) {
    MakeThree();
    Tree.File("locked/hidden.txt");
    Tree.File("only/locked/hidden.txt");
    Tree.Chmod("locked", 0);
    Tree.Chmod("only/locked", 0);
    TWithoutDacOverride asUser;
    if (int probe = open(Tree.Path("locked").c_str(), O_RDONLY); probe >= 0 && close(probe) == 0)
        GTEST_SKIP() << "cannot drop the permission override here";
    auto c = Create(false);
    EXPECT_EQ(c->ListBox1->GetFileCount(), 3);
    EXPECT_FALSE(c->UnreadPanel->isHidden());
    EXPECT_EQ(c->UnreadPanel->text(), QStringLiteral("読み込めなかったフォルダ 2 （ アクセス拒否 2 ）"));
    for (const char* dir : {"locked/", "only/locked/"})
        EXPECT_TRUE(c->UnreadPanel->toolTip().contains(QString::fromStdString(Tree.Path(dir)) +
                                                       QStringLiteral(" （ アクセス拒否 : ")))
            << c->UnreadPanel->toolTip().toStdString();
    EXPECT_FALSE(c->PanelLabel->text().contains(QStringLiteral("読み込めなかった")));

    // Nothing found where a folder was left unread: the box says so too.
    Host.Dir = Tree.Path("only");
    TMDIChild none(Host);
    EXPECT_FALSE(Found(none));
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    EXPECT_EQ(TMessageBoxSeam::Shown()[0].Kind, TMessageKind::Information);
    EXPECT_TRUE(TMessageBoxSeam::Shown()[0].Text.endsWith(
        QStringLiteral("見つかりませんでした。\r\n\r\n読み込めなかったフォルダ 1 （ アクセス拒否 1 ）")));

    Host.Dir = Tree.Path("locked");
    TMDIChild base(Host);
    EXPECT_FALSE(Found(base));
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 2u);
    const ui::TShownMessage& box = TMessageBoxSeam::Shown()[1];
    EXPECT_EQ(box.Kind, TMessageKind::Error);
    EXPECT_EQ(box.Text, QStringLiteral("検索ディレクトリ  ") + QString::fromStdString(Tree.Path("locked")) +
                            QStringLiteral("  を読み込めません。\r\n\r\n") +
                            QString::fromLocal8Bit(std::strerror(EACCES)));
}

// Folders the walk's choices left out are counted beside the unread ones,
// in the window and in the box of a search without hits.
TEST_F(FindfTest, FoldersLeftOutAreCountedBesideTheUnreadOnes) {
    MakeThree();
    Tree.File(".config/app/d.txt");
    Tree.File("node_modules/m.txt");
    Tree.File("only/.git/g.txt");
    Host.Options.Exclude = {"node_modules"};
    auto c = Create();
    EXPECT_EQ(c->ListBox1->GetFileCount(), 3);
    EXPECT_TRUE(c->UnreadPanel->isHidden());
    EXPECT_TRUE(c->NotSearchedPanel->isVisible());
    EXPECT_EQ(c->NotSearchedPanel->text(),
              QStringLiteral("検索しなかったフォルダ 3 （ ドットで始まる名前 2 ， 除外 1 ）"));
    EXPECT_GT(c->NotSearchedPanel->y(), c->StatusBar1->y());

    Host.Options.HiddenFolders = true;
    Host.Options.Exclude.clear();
    auto all = Create();
    EXPECT_EQ(all->ListBox1->GetFileCount(), 6);
    EXPECT_TRUE(all->NotSearchedPanel->isHidden());

    Host.Options = {};
    Host.Dir = Tree.Path("only");
    TMDIChild none(Host);
    EXPECT_FALSE(Found(none));
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    EXPECT_TRUE(TMessageBoxSeam::Shown()[0].Text.endsWith(
        QStringLiteral("見つかりませんでした。\r\n\r\n検索しなかったフォルダ 1 （ ドットで始まる名前 1 ）")))
        << TMessageBoxSeam::Shown()[0].Text.toStdString();
}

TEST_F(FindfTest, HeaderClicksSortOrToggleAndSortByExplains) {
    MakeThree();
    auto c = Create();
    struct TStep {
        int Section;
        TSortOrder Order;
        TSortDirection Direction;
        const char* Line;
    };
    const TStep steps[] = {
        {2, TSortOrder::soName, TSortDirection::sdDownword, " Sorted by : Name → Down"},
        // Another column starts smallest first, whichever way the last one went.
        {4, TSortOrder::soSize, TSortDirection::sdUpword, " Sorted by : Size → Upword"},
        {4, TSortOrder::soSize, TSortDirection::sdDownword, " Sorted by : Size → Down"},
        {1, TSortOrder::soDirectory, TSortDirection::sdUpword, " Sorted by : Directory → Upword"},
    };
    for (const TStep& s : steps) {
        ClickSection(*c, s.Section);
        EXPECT_EQ(c->ListBox1->SortOrder(), s.Order) << s.Line;
        EXPECT_EQ(c->ListBox1->SortDirection(), s.Direction) << s.Line;
        EXPECT_TRUE(c->PanelLabel->text().startsWith(QString::fromUtf8(s.Line)))
            << c->PanelLabel->text().toStdString();
    }
    EXPECT_TRUE(TMessageBoxSeam::Shown().empty());

    QTest::mouseClick(c->ListBox1->viewport(), Qt::LeftButton, {}, ItemCenter(*c, 0));
    ASSERT_FALSE(Panel(*c, 0).isEmpty());
    const QString before = Names(*c);
    ClickSection(*c, 0);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    const ui::TShownMessage& box = TMessageBoxSeam::Shown()[0];
    EXPECT_EQ(box.Kind, TMessageKind::Plain);
    const QStringList lines = box.Text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], QStringLiteral("クリックは、右の項目から選択して下さい。"));
    EXPECT_EQ(lines[5], QStringLiteral(" Name      : 名前でソート"));
    EXPECT_EQ(lines[10], QStringLiteral("続けて同じ項目をクリックすると、昇順・降順表示が切り替わります。"));
    EXPECT_EQ(Names(*c), before);
    EXPECT_EQ(c->ListBox1->SortOrder(), TSortOrder::soDirectory);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Panel(*c, i).isEmpty()) << i;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The order menu: an order keeps the way round, which has its own item.
    c->SortBy1[3]->trigger();
    EXPECT_EQ(c->ListBox1->SortOrder(), TSortOrder::soSize);
    EXPECT_EQ(c->ListBox1->SortDirection(), TSortDirection::sdUpword);
    EXPECT_TRUE(c->SortBy1[3]->isChecked());
    c->Reverse1->trigger();
    c->SortBy1[3]->trigger();
    EXPECT_EQ(c->ListBox1->SortDirection(), TSortDirection::sdDownword);
    EXPECT_TRUE(c->Reverse1->isChecked());
    EXPECT_TRUE(c->PanelLabel->text().startsWith(QStringLiteral(" Sorted by : Size → Down")));
    EXPECT_EQ(Names(*c), QStringLiteral("a.txt,c.txt,b.txt"));
}

TEST_F(FindfTest, SelectionFillsStatusPanelsAndFrameStatus) {
    for (int i = 1; i <= 12; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.txt", i);
        Tree.File(name, std::string(i == 3 ? 1234 : 1, 'x'));
    }
    // 8 December 2026, 13:05 where the test runs: a year of two digits
    // would read as another date.
    std::tm local{};
    local.tm_year = 126, local.tm_mon = 11, local.tm_mday = 8, local.tm_hour = 13, local.tm_min = 5;
    local.tm_isdst = -1;
    Tree.SetTime("f03.txt", std::mktime(&local));
    auto c = Create();
    QTest::mouseClick(c->ListBox1->viewport(), Qt::LeftButton, {}, ItemCenter(*c, 2));
    ASSERT_EQ(c->ListBox1->ItemIndex(), 2);
    EXPECT_EQ(Panel(*c, 0), QStringLiteral("3 / 12"));
    EXPECT_EQ(Panel(*c, 1), QStringLiteral("1,234 Bytes"));
    const bool japanese = std::string(std::setlocale(LC_TIME, nullptr)).starts_with("ja");
    EXPECT_EQ(Panel(*c, 2),
              japanese ? QStringLiteral("2026/12/08 13:05") : QStringLiteral("2026-12-08 13:05"));
    EXPECT_EQ(Panel(*c, 3), QString::fromStdString(Tree.Root() + "/"));
    EXPECT_EQ(Host.Status, QStringLiteral(" ") + QString::fromStdString(Tree.Path("f03.txt")));

    // A key moves the selection; its release updates the panels.
    QTest::keyClick(c->ListBox1, Qt::Key_Down);
    EXPECT_EQ(Panel(*c, 0), QStringLiteral("4 / 12"));

    // Millions of hits: the counter has room for the last one's number.
    c->ListBox1->AdjustFileCount(2818066 - 12);
    emit c->ListBox1->SearchStep();
    QTest::keyClick(c->ListBox1, Qt::Key_Down);
    EXPECT_EQ(Panel(*c, 0), QStringLiteral("5 / 2818066"));
    const QLabel* counter = c->StatusPanels[0];
    EXPECT_LE(counter->fontMetrics().horizontalAdvance(QStringLiteral("2818066 / 2818066")),
              counter->contentsRect().width());
}

// Several hits: Shift with an arrow and Ctrl+A select them and the panels
// count them; Ctrl+C copies every path, Enter opens every hit.
TEST_F(FindfTest, SeveralHitsAreCountedCopiedAndOpenedTogether) {
    MakeThree();
    Tree.File("sub/b2.txt", std::string(5, 'b'));
    auto c = Create();
    QTest::mouseClick(c->ListBox1->viewport(), Qt::LeftButton, {}, ItemCenter(*c, 1));
    QTest::keyClick(c->ListBox1, Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_EQ(c->ListBox1->SelectedCount(), 2);
    EXPECT_EQ(Panel(*c, 0), QStringLiteral("2 個選択"));
    EXPECT_EQ(Panel(*c, 1), QStringLiteral("15 Bytes"));
    EXPECT_EQ(Panel(*c, 2), QString());
    EXPECT_EQ(Panel(*c, 3), QString::fromStdString(Tree.Path("sub") + "/")) << "one folder for both";

    QTest::keyClick(c->ListBox1, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(c->ListBox1->SelectedCount(), 4);
    TRY_EXPECT_EQ(Panel(*c, 0), QStringLiteral("4 個選択"));
    EXPECT_EQ(Panel(*c, 1), QStringLiteral("1,349 Bytes"));
    EXPECT_EQ(Panel(*c, 3), QString());

    const std::vector<std::string> paths = {Tree.Path("a.txt"), Tree.Path("sub/b.txt"),
                                            Tree.Path("sub/b2.txt"), Tree.Path("z/c.txt")};
    QApplication::clipboard()->clear();
    QTest::keyClick(c->ListBox1, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* copied = QApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    QStringList lines, uris;
    for (const std::string& path : paths) {
        lines << QString::fromStdString(path);
        uris << QStringLiteral("file://") + QString::fromStdString(path) + QStringLiteral("\r\n");
    }
    EXPECT_EQ(copied->text(), lines.join('\n'));
    EXPECT_EQ(QString::fromUtf8(copied->data(QStringLiteral("text/uri-list"))), uris.join(QString()));

    QTest::keyClick(c->ListBox1, Qt::Key_Return);
    ASSERT_EQ(Opens.size(), 4u);
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(Opens[i].FileName, paths[i]);
    EXPECT_TRUE(TMessageBoxSeam::Shown().empty());

    // Nothing selected: the panels are emptied, and Enter opens nothing.
    c->ListBox1->SetItemIndex(-1);
    TRY_EXPECT_EQ(Panel(*c, 0), QString());
    QTest::keyClick(c->ListBox1, Qt::Key_Return);
    EXPECT_EQ(Opens.size(), 4u);

    // Home on the first hit selects it alone, as an arrow does.
    c->ListBox1->SetItemIndex(0);
    QTest::keyClick(c->ListBox1, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(c->ListBox1->SelectedCount(), 4);
    QTest::keyClick(c->ListBox1, Qt::Key_Home);
    TRY_EXPECT_EQ(c->ListBox1->SelectedCount(), 1);
    EXPECT_EQ(c->ListBox1->ItemIndex(), 0);
    TRY_EXPECT_EQ(Panel(*c, 0), QStringLiteral("1 / 4"));
}

TEST_F(FindfTest, MoreThanTenHitsOpenOnlyWhenTheUserSaysSo) {
    for (int i = 10; i < 22; ++i)
        Tree.File("f" + std::to_string(i) + ".txt", "x");
    auto c = Create();
    c->ListBox1->selectAll();
    TMessageBoxSeam::SetNextAnswers({TMessageResult::mrNo});
    QTest::keyClick(c->ListBox1, Qt::Key_Return);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    EXPECT_EQ(TMessageBoxSeam::Shown()[0].Kind, TMessageKind::Confirmation);
    EXPECT_TRUE(TMessageBoxSeam::Shown()[0].Text.contains(QStringLiteral(" 12 ")))
        << TMessageBoxSeam::Shown()[0].Text.toStdString();
    EXPECT_TRUE(Opens.empty());
    TMessageBoxSeam::SetNextAnswers({TMessageResult::mrYes});
    QTest::keyClick(c->ListBox1, Qt::Key_F12);
    EXPECT_EQ(Opens.size(), 12u);
    // Ten are opened without a question.
    c->ListBox1->selectionModel()->select(
        QItemSelection(c->ListBox1->model()->index(0, 0), c->ListBox1->model()->index(9, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(c->ListBox1, Qt::Key_Return);
    EXPECT_EQ(Opens.size(), 22u);
    EXPECT_EQ(TMessageBoxSeam::Shown().size(), 2u);
}

// F7 shows the hits one a row with folder, size, date and type, sharing the
// grid's selection and order; its titles sort as the grid's header does.
TEST_F(FindfTest, TheDetailsViewShowsTheRecordsAndSortsByItsTitles) {
    MakeThree();
    auto c = Create();
    c->ListBox1->SetItemIndex(1);
    c->Details1->trigger();
    EXPECT_EQ(Host.DetailsChoices, std::vector<bool>{true});
    results::TDetailsView* v = c->DetailsView1;
    ASSERT_TRUE(v->isVisible());
    EXPECT_FALSE(c->ListBox1->isVisible());
    EXPECT_FALSE(c->HeaderControl1->isVisible());
    EXPECT_TRUE(v->selectionModel()->isRowSelected(1, {}));
    EXPECT_EQ(c->CurrentView(), v);

    auto cell = [&](int row, int column) { return v->model()->index(row, column).data().toString(); };
    EXPECT_EQ(cell(1, results::dcFolder), QString::fromStdString(Tree.Path("sub")));
    EXPECT_EQ(cell(0, results::dcSize), QStringLiteral("1,234"));
    EXPECT_EQ(cell(2, results::dcModified),
              QString::fromStdString(c->ListBox1->FileItems().GetScreenTimeText(2)));
    EXPECT_FALSE(cell(2, results::dcType).isEmpty());
    EXPECT_EQ(results::FileTypeText("x.weird123"), QStringLiteral("WEIRD123 ファイル"));
    EXPECT_EQ(results::FileTypeText("noextension42"), QStringLiteral("ファイル"));

    QHeaderView* titles = v->horizontalHeader();
    auto click = [&](int column) {
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(column) + 5, titles->height() / 2));
    };
    click(results::dcSize);
    EXPECT_EQ(c->ListBox1->SortOrder(), TSortOrder::soSize);
    EXPECT_EQ(c->ListBox1->SortDirection(), TSortDirection::sdUpword);
    EXPECT_EQ(cell(0, results::dcSize), QStringLiteral("10"));
    click(results::dcSize);
    EXPECT_EQ(c->ListBox1->SortDirection(), TSortDirection::sdDownword);
    EXPECT_EQ(titles->sortIndicatorSection(), int(results::dcSize));
    EXPECT_EQ(titles->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_TRUE(c->PanelLabel->text().startsWith(QStringLiteral(" Sorted by : Size → Down")));
    click(results::dcType);
    EXPECT_EQ(c->ListBox1->SortOrder(), TSortOrder::soExt);
    EXPECT_EQ(c->ListBox1->SortDirection(), TSortDirection::sdUpword);

    // A hidden details view holds no rows: its going keeps the selection.
    v->selectRow(2);
    c->Details1->trigger();
    EXPECT_TRUE(c->ListBox1->isVisible());
    EXPECT_TRUE(c->HeaderControl1->isVisible());
    EXPECT_EQ(Host.DetailsChoices, (std::vector<bool>{true, false}));
    EXPECT_EQ(v->model()->rowCount(), 0);
    EXPECT_EQ(c->ListBox1->SelectedRanges(), (std::vector<std::pair<int, int>>{{2, 2}}));
    c->Details1->trigger();
    EXPECT_TRUE(v->selectionModel()->isRowSelected(2, {}));
}

// Every cell and title shows whole, a gigabyte's size and a phone's long
// names among them, the name taking the room the others leave; a width the
// user drags is kept, and a double click on the edge fits the column again.
TEST_F(FindfTest, TheDetailsColumnsFitTheirHitsAndTheNameTakesTheRest) {
    MakeThree();
    Tree.SparseFile("IMG_20240612_110032_987654321.txt", 1288634112);
    Tree.Symlink("zz link.txt", "a.txt");
    // A list of before: the time's 170 was its default, the type's 77 the user's.
    Host.ColumnWidths = {300, 0, 0, 170, 77};
    auto c = Create();
    c->resize(1200, 500);
    c->Details1->trigger();
    results::TDetailsView* v = c->DetailsView1;
    QHeaderView* titles = v->horizontalHeader();
    QCoreApplication::processEvents();
    EXPECT_EQ(titles->sectionSize(results::dcType), 77);
    EXPECT_TRUE(Host.ColumnWidthChoices.empty()) << "the widths given are not written back";

    const QFontMetrics metrics(v->font());
    auto cut = [&](int column) {
        QStringList cut;
        const int width = titles->sectionSize(column);
        if (width < titles->sectionSizeHint(column))
            cut << QStringLiteral("title");
        for (int row = 0; row < v->model()->rowCount(); ++row) {
            const QString text = column == results::dcName
                                     ? QString::fromStdString(std::string(c->ListBox1->Items().Strings(row)))
                                     : v->model()->index(row, column).data().toString();
            // As the cells paint it: 4 pixels a side.
            if (metrics.elidedText(text, Qt::ElideRight, width - 8) != text)
                cut << text;
        }
        return cut.join(QLatin1Char('|')).toStdString();
    };
    for (const int column : {results::dcName, results::dcFolder, results::dcSize, results::dcModified})
        EXPECT_EQ(cut(column), "") << column;
    EXPECT_NE(cut(results::dcType), "");
    EXPECT_EQ(titles->length(), v->viewport()->width()) << "no room is left unused";
    const int link = c->ListBox1->Items().Count() - 1;
    ASSERT_EQ(std::string(c->ListBox1->Items().Strings(link)), "zz link.txt");
    EXPECT_EQ(v->model()->index(link, results::dcType).data().toString(),
              QStringLiteral("%1 へのリンク").arg(results::FileTypeText("a.txt")));
    EXPECT_EQ(v->model()->index(0, results::dcType).data().toString(), results::FileTypeText("a.txt"));

    titles->resizeSection(results::dcType, 40);
    TRY_EXPECT(!Host.ColumnWidthChoices.empty());
    EXPECT_EQ(Host.ColumnWidthChoices.back(), (std::vector<int>{0, 0, 0, 0, 40}));
    const QPoint edge(titles->sectionViewportPosition(results::dcType) + 39, titles->height() / 2);
    QTest::mouseDClick(titles->viewport(), Qt::LeftButton, {}, edge);
    EXPECT_EQ(cut(results::dcType), "");
    TRY_EXPECT_EQ(Host.ColumnWidthChoices.back(), (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(titles->length(), v->viewport()->width());
}

TEST_F(FindfTest, MouseMoveShowsPathsOnlyWithoutSelection) {
    MakeThree();
    auto c = Create();
    QWidget* vp = c->ListBox1->viewport();
    auto move = [&](QPoint p) {
        QMouseEvent e(QEvent::MouseMove, p, vp->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    move(ItemCenter(*c, 1));
    EXPECT_EQ(Host.Status, QStringLiteral(" ") + QString::fromStdString(Tree.Path("sub/b.txt")));
    move(QPoint(vp->width() - 2, vp->height() - 2));
    EXPECT_EQ(Host.Status, QString());
    c->ListBox1->SetItemIndex(0);
    Host.Status = QStringLiteral("kept");
    move(ItemCenter(*c, 1));
    EXPECT_EQ(Host.Status, QStringLiteral("kept"));
}

TEST_F(FindfTest, F12AndDoubleClickOpenOnlyTheSelectedItem) {
    MakeThree();
    auto c = Create();
    QWidget* vp = c->ListBox1->viewport();
    ASSERT_EQ(c->ListBox1->ItemIndex(), -1);
    QTest::keyClick(c->ListBox1, Qt::Key_F12);
    QTest::mouseDClick(vp, Qt::LeftButton, {}, QPoint(vp->width() - 2, vp->height() - 2));
    EXPECT_TRUE(Opens.empty());

    c->ListBox1->SetItemIndex(2);
    QTest::keyClick(c->ListBox1, Qt::Key_F12);
    ASSERT_EQ(Opens.size(), 1u);
    EXPECT_EQ(Opens[0].FileName, Tree.Path("z/c.txt"));
    EXPECT_EQ(Opens[0].ShowCmd, 5);
    EXPECT_EQ(Opens[0].Folder, "");

    // A double click: the first click selects, the second opens.
    QTest::mouseClick(vp, Qt::LeftButton, {}, ItemCenter(*c, 1));
    QTest::mouseDClick(vp, Qt::LeftButton, {}, ItemCenter(*c, 1));
    ASSERT_EQ(Opens.size(), 2u);
    EXPECT_EQ(Opens[1].FileName, Tree.Path("sub/b.txt"));
    EXPECT_EQ(Opens[1].ShowCmd, 1);
}

TEST_F(FindfTest, RowsAndColumnsChosenAreKeptOnResize) {
    MakeThree();
    auto c = Create();
    c->resize(400, 300);
    QApplication::processEvents();
    auto item = [](QMenu* m, const QString& text) -> QAction* {
        for (QAction* a : m->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    };
    QAction* rows15 = item(c->N4, QStringLiteral("15行"));
    QAction* cols3 = item(c->N5, QStringLiteral("３列"));
    ASSERT_TRUE(rows15 && cols3);
    rows15->trigger();
    cols3->trigger();
    const int rows = c->ListBox1->Gyou();
    EXPECT_LT(rows, 15);
    EXPECT_NE(rows, 6);
    EXPECT_GE(c->ListBox1->ItemHeight(), 40);
    c->resize(400, 330);
    QApplication::processEvents();
    EXPECT_EQ(c->ListBox1->Gyou(), rows);
    EXPECT_GT(c->ListBox1->ItemHeight(), 40);
    EXPECT_EQ(c->ListBox1->Columns(), 3);
}

TEST_F(FindfTest, MenusCarryGroupsItemsTagsAndShortcuts) {
    TMDIChild c(Host);
    const auto groups = c.MenuGroups();
    ASSERT_EQ(groups.size(), 4u);
    const std::pair<int, QString> expected[] = {{0, QStringLiteral("終了 (&F)")},
                                                {3, QStringLiteral("検索・作成＆保存 (&O)")},
                                                {6, QStringLiteral("並べ替え (&R)")},
                                                {7, QStringLiteral("行列数設定 (&G)")}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(groups[i].Group, expected[i].first);
        EXPECT_EQ(groups[i].Menu->title(), expected[i].second);
    }
    auto layout = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text() + "=" + a->data().toString());
        return out.join(',');
    };
    EXPECT_EQ(layout(c.N4), QStringLiteral("１行=1,２行=2,３行=3,４行=4,５行=5,-,６行=6,７行=7,８行=8,９行=9,"
                                           "10行=10,-,11行=11,12行=12,13行=13,14行=14,15行=15"));
    EXPECT_EQ(layout(c.N5), QStringLiteral("１列=1,２列=2,３列=3,４列=4,５列=5,-,６列=6,７列=7"));
    EXPECT_EQ(c.Close1->shortcut(), QKeySequence(Qt::Key_F4));
    EXPECT_EQ(c.Help1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(c.Find1->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(c.HTMLH1->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(c.Quit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(c.Details1->shortcut(), QKeySequence(Qt::Key_F7));
    QStringList sortKeys;
    for (QAction* a : c.Sort1->actions())
        if (!a->isSeparator())
            sortKeys << a->shortcut().toString();
    EXPECT_EQ(sortKeys.join(','), QStringLiteral("Ctrl+1,Ctrl+2,Ctrl+3,Ctrl+4,Ctrl+5,Ctrl+6"));
    EXPECT_EQ(c.File1->actions().size(), 6);
    EXPECT_EQ(c.SearchAgain1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(c.ChildOP->actions().size(), 5);
}

TEST_F(FindfTest, F1OpensTheTopicOfWhereTheUserIsTheCommandTheFrames) {
    MakeThree();
    auto c = Create();
    // The frame's menu bar carries the window's menus and their shortcuts.
    QMenuBar bar(c.get());
    bar.addMenu(c->File1);
    bar.show();
    c->FormActivate();
    EXPECT_EQ(Host.WindowMenu, std::vector<bool>{true});
    c->activateWindow();
    c->ListBox1->setFocus();
    TRY_EXPECT(c->ListBox1->hasFocus());
    // The menu command is the frame's: its first topic, wherever the focus is.
    c->Help1->trigger();
    EXPECT_EQ(Host.Help1Calls, 1);
    EXPECT_TRUE(Host.HelpTopics.empty());
    // F1 in the list: the list's help number.
    QTest::keyClick(c->ListBox1, Qt::Key_F1);
    // In the open menu on the page command: the page's topic.
    c->ChildOP->popup(c->mapToGlobal(QPoint(0, 0)));
    TRY_EXPECT(c->ChildOP->isVisible());
    c->ChildOP->setActiveAction(c->HTMLH1);
    QTest::keyClick(c->ChildOP, Qt::Key_F1);
    EXPECT_FALSE(c->ChildOP->isVisible());
    // In the window menu of the child, on no item with a number of its own.
    c->File1->popup(c->mapToGlobal(QPoint(0, 0)));
    TRY_EXPECT(c->File1->isVisible());
    c->File1->setActiveAction(c->Close1);
    QTest::keyClick(c->File1, Qt::Key_F1);
    EXPECT_EQ(Host.HelpTopics, (std::vector<int>{1200, 1300, 1000}));
    EXPECT_EQ(Host.Help1Calls, 1);
}

TEST_F(FindfTest, EscapeOrStopEndsTheWalkWithTheHitsSoFarInOrder) {
    for (int i = 0; i < 30; ++i)
        Tree.File((i % 2 ? "F" : "f") + std::to_string(130 - i) + ".txt", "e");
    Tree.Ladder("l", 22, "x.txt");
    Host.Options.WalkLinkedFoldersAgain = true; // a long walk
    for (int how : {0, 1}) {
        auto c = std::make_unique<TMDIChild>(Host);
        int steps = 0;
        // Ticks count from the first with hits below the base: a busy machine
        // may start the walk late.
        QObject::connect(c->ListBox1, &hitview::TFileListBoxS::SearchStep, c.get(), [&] {
            if (c->ListBox1->GetFileCount() <= 30 || ++steps != 3)
                return;
            EXPECT_FALSE(c->StopButton->isHidden());
            if (how == 0)
                QTest::keyClick(c->ListBox1, Qt::Key_Escape);
            else
                c->StopButton->click();
            EXPECT_FALSE(c->Searching()) << "the walk ends at once";
        });
        ASSERT_TRUE(Found(*c)) << how;
        EXPECT_TRUE(c->ListBox1->SearchStopped());
        const int count = c->ListBox1->GetFileCount();
        EXPECT_GT(count, 30);
        EXPECT_LT(count, 1 << 23);
        QStringList names = Names(*c).split(',');
        QStringList sorted = names;
        sorted.sort(Qt::CaseInsensitive);
        EXPECT_EQ(names, sorted);
        // The count as the label writes it, with the locale's thousands separator.
        const QRegularExpressionMatch shown =
            QRegularExpression(QStringLiteral("Total Files = ([^ （]+)（中断） ; "))
                .match(c->PanelLabel->text());
        ASSERT_TRUE(shown.hasMatch()) << c->PanelLabel->text().toStdString();
        EXPECT_EQ(shown.captured(1).remove(QRegularExpression(QStringLiteral("[^0-9]"))),
                  QString::number(count));
        EXPECT_TRUE(c->StopButton->isHidden());
        EXPECT_TRUE(c->WalkPanel->isHidden());
        EXPECT_EQ(c->ListBox1->ProgressForm(), nullptr);
    }
}

// A folder that never answers (a share whose server died) holds the walk:
// the hits found before it show while it waits, in the order found; its
// end (Escape, a close, the window's end) comes at once and applies the
// order, keeping the selected hit. The walk stuck in the kernel is left to
// end on its own.
TEST_F(FindfTest, HitsShowWhileAFolderHoldsTheWalkAndItsEndKeepsTheSelection) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    const int before = search::TSearchJob::LeftBehind();
    Host.Dir = fs.Root();
    Host.Key = "*.gif";
    auto held = [&](TMDIChild& c) {
        TRY_EXPECT(c.ListBox1->model()->rowCount() == 2);
        return c.Searching() && c.ListBox1->model()->rowCount() == 2;
    };
    {
        auto c = std::make_unique<TMDIChild>(Host);
        c->ListBox1->SetSortDirection(TSortDirection::sdDownword);
        ASSERT_TRUE(c->FormCreate());
        ASSERT_TRUE(held(*c));
        EXPECT_TRUE(c->PanelLabel->text().contains(QStringLiteral("Total Files = 2 ")))
            << c->PanelLabel->text().toStdString();
        EXPECT_TRUE(c->WalkPanel->text().contains(QString::fromStdString(fs.Root())));
        EXPECT_FALSE(c->HTMLH1->isEnabled());
        // What shows can be used: a hit selected, its status shown.
        const int a = Names(*c).split(',').indexOf(QStringLiteral("a.gif"));
        ASSERT_GE(a, 0);
        QTest::mouseClick(c->ListBox1->viewport(), Qt::LeftButton, {}, ItemCenter(*c, a));
        EXPECT_EQ(Panel(*c, 0), QStringLiteral("%1 / 2").arg(a + 1));
        QTest::keyClick(c->ListBox1, Qt::Key_Escape);
        EXPECT_FALSE(c->Searching());
        EXPECT_EQ(Names(*c), QStringLiteral("c.gif,a.gif"));
        EXPECT_EQ(c->ListBox1->ItemIndex(), 1);
        EXPECT_EQ(Panel(*c, 0), QStringLiteral("2 / 2"));
        EXPECT_TRUE(c->ListBox1->SearchStopped());
        EXPECT_TRUE(c->HTMLH1->isEnabled());
        EXPECT_EQ(c->UnreadPanel->text(), QStringLiteral("読み込めなかったフォルダ 1 （ 応答なし 1 ）"));
        EXPECT_TRUE(c->UnreadPanel->toolTip().contains(QString::fromStdString(fs.Root() + "/dead/")));
    }
    {
        // Closed while it waits: the window goes at once, without a box.
        QMdiArea area;
        auto* c = new TMDIChild(Host);
        QMdiSubWindow* sub = area.addSubWindow(c);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<QMdiSubWindow> subAlive(sub);
        ASSERT_TRUE(c->FormCreate());
        ASSERT_TRUE(held(*c));
        EXPECT_TRUE(sub->close());
        TRY_EXPECT(subAlive.isNull());
        EXPECT_EQ(Host.FocusTreeCalls, 1);
    }
    {
        // Destroyed while it waits (the frame going).
        auto c = std::make_unique<TMDIChild>(Host);
        ASSERT_TRUE(c->FormCreate());
        ASSERT_TRUE(held(*c));
    }
    EXPECT_TRUE(TMessageBoxSeam::Shown().empty());
    EXPECT_EQ(search::TSearchJob::LeftBehind(), before + 3);
    fs.Release();
    TRY_EXPECT_EQ(search::TSearchJob::LeftBehind(), before);
}

// Search again: the window's own folder, key and choices, whatever the
// frame holds now; its view and order stay, and a new file is found.
TEST_F(FindfTest, SearchAgainKeepsTheViewAndTheOrderAndFindsANewFile) {
    MakeThree();
    Host.Options.Exclude = {"z"};
    auto c = Create();
    c->Details1->trigger();
    c->SortBy1[3]->trigger(); // by size
    ASSERT_EQ(Names(*c), QStringLiteral("b.txt,a.txt"));
    Tree.File("sub/new.txt", std::string(500, 'n'));
    Tree.File("z/newer.txt", "excluded still");
    Host.Dir = Tree.Path("sub");
    Host.Key = "*.*";
    Host.Options = {};
    c->SearchAgain1->trigger();
    WaitForWalk(*c);
    EXPECT_EQ(Names(*c), QStringLiteral("b.txt,new.txt,a.txt"));
    EXPECT_TRUE(c->DetailsShown());
    EXPECT_EQ(c->ListBox1->SortOrder(), TSortOrder::soSize);
    EXPECT_TRUE(
        c->PanelLabel->text().startsWith(QStringLiteral(" Sorted by : Size → Upword ; Total Files = 3 ")))
        << c->PanelLabel->text().toStdString();
    EXPECT_EQ(Host.History, std::vector<std::string>{"*.txt"});
}

// "Changed n seconds ago or earlier" counts from each walk's start, so a
// search again an hour later doesn't use the first walk's moment.
TEST_F(FindfTest, ASearchAgainCountsDurationsFromItsOwnStart) {
    Tree.File("old.txt", "o");
    Tree.SetTime("old.txt", std::time(nullptr) - 86400);
    Tree.File("late.txt", "l");
    const std::time_t late = std::time(nullptr) + 1;
    Tree.SetTime("late.txt", late);
    Host.Dir = Tree.Root();
    Host.Key = "*.txt";
    Host.Choice.ChangedBefore = "1s";
    auto c = Create();
    ASSERT_EQ(Names(*c), QStringLiteral("old.txt"));
    while (std::time(nullptr) <= late + 1)
        QTest::qWait(100);
    c->SearchAgain1->trigger();
    WaitForWalk(*c);
    EXPECT_EQ(Names(*c), QStringLiteral("late.txt,old.txt"));
}

TEST_F(FindfTest, CloseCommandRestoresFramePanelsAndMenus) {
    MakeThree();
    for (int count : {1, 2}) {
        Host = TFakeHost();
        Host.Dir = Tree.Root();
        Host.Key = "*.txt";
        Host.WindowCount = count;
        auto c = Create();
        c->Close1->trigger();
        EXPECT_FALSE(c->isVisible());
        EXPECT_EQ(Host.QuickKeys, std::vector<bool>{true});
        EXPECT_GE(Host.ShowPanelsCalls, 1);
        EXPECT_EQ(Host.WindowMenu, count == 1 ? std::vector<bool>{false} : std::vector<bool>{}) << count;
        EXPECT_EQ(Host.FocusTreeCalls, 1);
    }
}

class FindfPageTest : public FindfTest {
protected:
    void SetUp() override {
        FindfTest::SetUp();
        MakeThree();
        Out.Dir("pages");
        TMDIChild::SetSaveFileNameProvider([this](QWidget*, const QString& last) {
            LastNames << last;
            return Answer;
        });
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    TTestDir Out;
    QString Answer;
    QStringList LastNames;
};

TEST_F(FindfPageTest, WritesRegistersAndAsksToView) {
    auto c = Create();
    Answer = QString::fromStdString(Out.Path("pages/hits"));
    const std::string page = Out.Path("pages/hits.html");
    for (const TMessageResult answer : {TMessageResult::mrNo, TMessageResult::mrYes}) {
        TMessageBoxSeam::Reset();
        TMessageBoxSeam::SetNextAnswers({answer});
        Host.Registered.clear();
        c->HTMLH1Click();
        EXPECT_EQ(ReadFile(page).rfind("<HTML>\r\n", 0), 0u);
        ASSERT_EQ(Host.Registered.size(), 1u);
        const auto& rec = Host.Registered[0];
        EXPECT_EQ(rec[0], page);
        EXPECT_EQ(rec[1], Tree.Root() + "/");
        EXPECT_EQ(rec[2], "*.txt");
        EXPECT_EQ(rec[3], "3");
        EXPECT_EQ(rec[4], "1,344");
        EXPECT_FALSE(rec[5].empty());
        const auto& shown = TMessageBoxSeam::Shown();
        ASSERT_GE(shown.size(), 1u);
        EXPECT_EQ(shown[0].Kind, TMessageKind::Confirmation);
        EXPECT_EQ(shown[0].Buttons, ui::mbYes | ui::mbNo);
        EXPECT_EQ(shown[0].Text,
                  QString::fromStdString("作成した " + pages::NamePart(page) +
                                         " ファイルを、\r\n\r\n直ちにブラウザで閲覧しますか ? "));
        if (answer == TMessageResult::mrNo) {
            ASSERT_EQ(shown.size(), 2u);
            EXPECT_EQ(shown[1].Kind, TMessageKind::Information);
            EXPECT_EQ(shown[1].Text,
                      QString::fromStdString(
                          "後で、閲覧する場合は、\r\nメニューバーの「 作成データ（Ｄ）」から、\r\n" +
                          pages::NamePart(page) +
                          " ファイルを選択して下さい。"
                          "\r\n\r\nまた、エクスプローラから、作成ファイルを\r\n"
                          "ダブルクリックしての閲覧も可能です。"));
            EXPECT_TRUE(Opens.empty());
        } else {
            EXPECT_EQ(shown.size(), 1u);
            ASSERT_EQ(Opens.size(), 1u);
            EXPECT_EQ(Opens[0].FileName, page);
            EXPECT_EQ(Opens[0].Folder, Out.Path("pages"));
            EXPECT_EQ(Opens[0].ShowCmd, 1);
        }
    }
    // The dialog starts from the name chosen last time.
    EXPECT_EQ(LastNames, QStringList({QString(), Answer}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FindfPageTest, TavolixPageWritesTheWindowsBytes) {
    Tree.File("odd & <dir>/写真 #1 \"q\".txt", "x");
    Tree.File("pages/here.txt", "yy");
    auto c = Create();
    Answer = QString::fromStdString(Out.Path("pages/window.html"));
    TMessageBoxSeam::SetNextAnswers({TMessageResult::mrNo});
    c->HTMLH1Click();
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunPageCommand({"--no-register", "-o", Out.Path("pages/cli.html"), Tree.Root(), "*.txt"},
                                  out, err),
              0)
        << err.str();
    // Written a moment apart: the creation time in the title may differ.
    auto withoutTitle = [](std::string page) {
        const auto from = page.find("<TITLE>"), to = page.find("</TITLE>");
        return from == std::string::npos || to == std::string::npos ? page : page.erase(from, to - from);
    };
    const std::string window = ReadFile(Out.Path("pages/window.html"));
    EXPECT_NE(window.find("here.txt"), std::string::npos);
    EXPECT_EQ(withoutTitle(ReadFile(Out.Path("pages/cli.html"))), withoutTitle(window));
}

TEST_F(FindfPageTest, FailuresAndCancelRegisterNothing) {
    auto c = Create();
    struct TCase {
        const char* Name;
        QString Chosen;
        QString RegisterAnswer;
        bool ErrorBox;
    };
    const TCase cases[] = {
        {"cancelled", QString(), QString(), false},
        {"missing folder", QString::fromStdString(Out.Path("gone/page.html")), QString(), true},
        {"register refused", QString::fromStdString(Out.Path("pages/p.html")), QStringLiteral("refused"),
         true},
    };
    for (const TCase& k : cases) {
        TMessageBoxSeam::Reset();
        TMessageBoxSeam::SetNextAnswers({});
        Answer = k.Chosen;
        Host.RegisterAnswer = k.RegisterAnswer;
        c->HTMLH1Click();
        EXPECT_TRUE(Host.Registered.empty()) << k.Name;
        EXPECT_TRUE(Opens.empty()) << k.Name;
        const auto& shown = TMessageBoxSeam::Shown();
        ASSERT_EQ(shown.size(), k.ErrorBox ? 1u : 0u) << k.Name;
        if (k.ErrorBox) {
            EXPECT_EQ(shown[0].Kind, TMessageKind::Error) << k.Name;
            EXPECT_FALSE(shown[0].Text.isEmpty()) << k.Name;
            if (!k.RegisterAnswer.isEmpty()) {
                EXPECT_EQ(shown[0].Text, k.RegisterAnswer);
            } else {
                EXPECT_TRUE(shown[0].Text.startsWith(k.Chosen + QStringLiteral(" に書き込めません")))
                    << shown[0].Text.toStdString();
            }
        }
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << k.Name;
    }
    EXPECT_EQ(EntryNames(Out.Path("pages")), std::set<std::string>{"p.html"});
}

// Pages with thumbnails: a choice new windows start with, written off the
// window's thread with the progress window; its Stop leaves nothing behind,
// also when the page's folder never answers.
TEST_F(FindfPageTest, ThumbnailPagesAreWrittenOffTheWindowsThreadAndStop) {
    setenv("XDG_CACHE_HOME", Out.Path("cache").c_str(), 1);
    thumbs::TPoolOptions options;
    options.HelperPath = TAVOLIX_THUMBNAILER;
    thumbs::TThumbnailPool pool(options);
    Host.Pool = &pool;
    Host.PageThumbs = true;
    Host.Key = "*.*";
    Tree.File("photo #1.jpg", PictureBytes(HalvesImage(600, 300), "jpg"));
    auto c = Create();
    ASSERT_TRUE(c->PageThumbnails1->isCheckable());
    EXPECT_TRUE(c->PageThumbnails1->isChecked());

    // The progress window shows while the window's event loop runs on.
    bool progressShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* form = c->findChild<hitview::TSearchProgressForm*>(); form && form->isVisible())
            progressShown = true;
    });
    watch.start(5);
    Answer = QString::fromStdString(Out.Path("pages/photos"));
    TMessageBoxSeam::SetNextAnswers({TMessageResult::mrNo});
    c->HTMLH1Click();
    EXPECT_TRUE(progressShown);
    const std::string page = ReadFile(Out.Path("pages/photos.html"));
    EXPECT_NE(page.find("<A HREF=\"../"), std::string::npos);
    EXPECT_NE(page.find("<IMG SRC=\"photos.files/"), std::string::npos) << page;
    EXPECT_EQ(Host.Registered.size(), 1u);
    EXPECT_EQ(EntryNames(Out.Path("pages/photos.files")).size(), 3u); // 1x, 2x, the folder's mark

    c->PageThumbnails1->trigger();
    EXPECT_EQ(Host.PageThumbsChoices, std::vector<bool>{false});

    // A folder that never answers: the window goes on, and Escape in the
    // progress window ends the wait, with and without thumbnails.
    TAVOLIX_MOUNT_STALL_FS(fs);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* form = c->findChild<hitview::TSearchProgressForm*>(); form && form->isVisible())
            QTest::keyClick(form, Qt::Key_Escape);
    });
    for (const bool thumbnails : {true, false}) {
        c->PageThumbnails1->setChecked(thumbnails);
        TMessageBoxSeam::Reset();
        Host.Registered.clear();
        Answer = QString::fromStdString(fs.Root() + "/hang/stuck/page.html");
        c->HTMLH1Click();
        EXPECT_TRUE(TMessageBoxSeam::Shown().empty()) << thumbnails;
        EXPECT_TRUE(Host.Registered.empty()) << thumbnails;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    fs.Release();
    // The writers left behind end before the test does.
    TRY_EXPECT_EQ(tavolix::results::TPageSaver::WritersRunning(), 0);
    unsetenv("XDG_CACHE_HOME");
}

} // namespace
