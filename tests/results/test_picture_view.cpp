#include "FakeResultHost.h"
#include "PixelChecks.h"
#include "StallFs.h"
#include "TestDir.h"
#include "TestPictures.h"
#include "TryExpect.h"
#include "WaitForWalk.h"
#include "hitview/FLBoxS.h"
#include "results/DetailsView.h"
#include "results/PictureView.h"
#include "results/findf.h"
#include "thumbs/ThumbnailPool.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

using namespace tavolix;
using results::TMDIChild;

namespace {

std::string DataFile(const char* name) {
    std::ifstream in(std::string(std::getenv("TAVOLIX_TEST_DATA")) + "/pictures/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

QImage Solid(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class PictureViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CACHE_HOME", Tree.Path("cache").c_str(), 1);
        Host.Dir = Tree.Path("hits");
        Host.Key = "*.*";
        Host.Mounts = platform::TMountTable::System();
    }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

    void StartPool(bool testDecoders = false) {
        thumbs::TPoolOptions options;
        options.HelperPath = TAVOLIX_THUMBNAILER;
        options.Processes = 1;
        options.BudgetMs = 1000;
        if (testDecoders)
            options.HelperArgs = {"--test-decoders"};
        Pool = std::make_unique<thumbs::TThumbnailPool>(options);
        Host.Pool = Pool.get();
    }

    std::unique_ptr<TMDIChild> Create() {
        auto child = std::make_unique<TMDIChild>(Host);
        EXPECT_TRUE(SearchToTheEnd(*child));
        child->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(child.get()));
        return child;
    }

    static QRect ItemRect(TMDIChild& c, int row) {
        return c.ListBox1->visualRect(c.ListBox1->model()->index(row, 0));
    }
    static QImage Shown(TMDIChild& c) { return c.ListBox1->viewport()->grab().toImage(); }

    // A window whose requests are followed from its first: which picture the
    // helpers finish first is theirs, the order they are asked in the window's.
    std::unique_ptr<TMDIChild> CreateFollowingRequests() {
        auto child = std::make_unique<TMDIChild>(Host);
        QObject::connect(&child->Pictures(), &results::TPictureView::RequestsSent,
                         [this](const std::vector<int>& indexes) { Asked.push_back(indexes); });
        EXPECT_TRUE(SearchToTheEnd(*child));
        child->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(child.get()));
        return child;
    }
    // Each request put the items on the screen before any other.
    void ExpectTheScreenAskedFirst(const std::set<int>& visible) const {
        bool visibleAsked = false;
        for (const std::vector<int>& indexes : Asked) {
            bool other = false;
            for (const int index : indexes) {
                if (!visible.contains(index))
                    other = true;
                else if (other)
                    ADD_FAILURE() << index << " on the screen was asked for after an item off it";
                else
                    visibleAsked = true;
            }
        }
        EXPECT_TRUE(visibleAsked);
    }
    static bool AllArrived(const std::vector<int>& arrivals, const std::set<int>& visible) {
        const std::set<int> arrived(arrivals.begin(), arrivals.end());
        return std::includes(arrived.begin(), arrived.end(), visible.begin(), visible.end());
    }

    TTestDir Tree;
    TFakeHost Host;
    std::unique_ptr<thumbs::TThumbnailPool> Pool;
    std::vector<std::vector<int>> Asked;
};

} // namespace

TEST_F(PictureViewTest, VisiblePicturesAreAskedForFirstAndOnlyTheirItemsRepaint) {
    for (int i = 0; i < 60; ++i)
        Tree.File("hits/p" + std::to_string(10 + i) + ".png", PictureBytes(Solid(200, 100, Qt::blue), "png"));
    StartPool();
    Host.Pictures = true;
    auto c = CreateFollowingRequests();
    ASSERT_TRUE(c->PictureView1->isChecked());
    std::set<int> visible;
    for (int i = 0; i < 60; ++i)
        if (ItemRect(*c, i).intersects(c->ListBox1->viewport()->rect()))
            visible.insert(i);
    ASSERT_GE(visible.size(), 4u);
    ASSERT_LT(visible.size(), 40u);

    std::map<int, int> draws, drawsAtArrival;
    std::vector<int> arrivals;
    auto original = c->ListBox1->OnDrawItem;
    c->ListBox1->OnDrawItem = [&, original](QPainter& p, int index, const QRect& rect, bool selected) {
        ++draws[index];
        original(p, index, rect, selected);
    };
    QObject::connect(&c->Pictures(), &results::TPictureView::PictureArrived, [&](int index) {
        drawsAtArrival[index] = draws[index];
        arrivals.push_back(index);
    });
    c->ListBox1->viewport()->update();
    TRY_EXPECT(AllArrived(arrivals, visible) && arrivals.size() >= visible.size() + 2);
    ExpectTheScreenAskedFirst(visible);
    // The first to arrive painted again when it came, and not at the others' arrivals.
    const int first = arrivals.front();
    TRY_EXPECT(draws[first] > drawsAtArrival[first]);
    EXPECT_LE(draws[first] - drawsAtArrival[first], 2);
    TRY_EXPECT(CountOf(Shown(*c), Near(Qt::blue, 10), ItemRect(*c, 0)) > 300);
}

// As a file manager's icons: along the rows, then down, by the arrows too; a
// file without a picture shows its type's icon in its square.
TEST_F(PictureViewTest, PicturesFillTheRowsAndScrollDownAndOtherFilesShowTheirIcon) {
    for (int i = 0; i < 40; ++i)
        Tree.File("hits/p" + std::to_string(10 + i) + ".png", PictureBytes(Solid(60, 40, Qt::blue), "png"));
    Tree.File("hits/zz notes.txt", "some words");
    StartPool();
    Host.Pictures = true;
    auto c = Create();
    hitview::TFileListBoxS* list = c->ListBox1;
    const int columns = list->Columns();
    ASSERT_GE(columns, 2);
    EXPECT_EQ(ItemRect(*c, 1).top(), ItemRect(*c, 0).top());
    EXPECT_GT(ItemRect(*c, 1).left(), ItemRect(*c, 0).left());
    EXPECT_EQ(ItemRect(*c, columns).left(), ItemRect(*c, 0).left());
    EXPECT_GT(ItemRect(*c, columns).top(), ItemRect(*c, 0).top());
    EXPECT_LE(ItemRect(*c, columns - 1).right(), list->viewport()->width()) << "the last column shows whole";
    EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);

    list->setFocus();
    list->SetItemIndex(0);
    QTest::keyClick(list, Qt::Key_Right);
    EXPECT_EQ(list->ItemIndex(), 1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->ItemIndex(), 1 + columns);
    QTest::keyClick(list, Qt::Key_Left);
    EXPECT_EQ(list->ItemIndex(), columns);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->ItemIndex(), 0);

    const int text = list->Items().Count() - 1;
    ASSERT_EQ(std::string(list->Items().Strings(text)), "zz notes.txt");
    list->scrollTo(list->model()->index(text, 0));
    QRect square = ItemRect(*c, text);
    ASSERT_TRUE(list->viewport()->rect().contains(square.center()));
    square.setHeight(square.height() / 2); // above the name
    const QColor base = list->palette().color(QPalette::Base);
    TRY_EXPECT(CountOf(
                   Shown(*c), [&](QColor x) { return x.rgb() != base.rgb(); }, square.adjusted(4, 4, -4, 0)) >
               100);
}

// In the details view each name on the screen gets a small picture, its row
// first, made as for the grid.
TEST_F(PictureViewTest, TheDetailsViewsRowsOnTheScreenGetTheirPicturesFirst) {
    for (int i = 0; i < 60; ++i)
        Tree.File("hits/p" + std::to_string(10 + i) + ".png", PictureBytes(Solid(200, 100, Qt::blue), "png"));
    StartPool();
    Host.Pictures = true;
    Host.Details = true;
    auto c = CreateFollowingRequests();
    QAbstractItemView* v = c->DetailsView1;
    ASSERT_TRUE(v->isVisible());
    std::set<int> visible;
    for (int i = 0; i < 60; ++i)
        if (v->visualRect(v->model()->index(i, 0)).intersects(v->viewport()->rect()))
            visible.insert(i);
    ASSERT_GE(visible.size(), 5u);
    ASSERT_LT(visible.size(), 40u);
    std::vector<int> arrivals;
    QObject::connect(&c->Pictures(), &results::TPictureView::PictureArrived,
                     [&](int index) { arrivals.push_back(index); });
    v->viewport()->update();
    TRY_EXPECT(AllArrived(arrivals, visible));
    ExpectTheScreenAskedFirst(visible);
    const QRect name = v->visualRect(v->model()->index(0, 0));
    TRY_EXPECT(CountOf(v->viewport()->grab().toImage(), Near(Qt::blue, 10), name) > 150);
}

TEST_F(PictureViewTest, TheDefaultViewOnALocalVolumeAsksTheHelperNothing) {
    Tree.File("hits/a.png", PictureBytes(Solid(40, 20, Qt::blue), "png"));
    Tree.File("hits/b.bmp", DataFile("green_300x20.bmp"));
    StartPool();
    auto c = Create();
    const QImage shown = Shown(*c);
    EXPECT_EQ(CountOf(shown, Near(Qt::blue, 10), ItemRect(*c, 0)), 0); // a name, as always
    EXPECT_GT(CountOf(shown, Is(QColor(0, 128, 0)), ItemRect(*c, 1)), 100);
    EXPECT_EQ(Pool->Stats().Sent, 0);
}

TEST_F(PictureViewTest, AnIconInPngIsDecodedByTheHelperAndDrawnWhenItArrives) {
    const QColor icon(10, 200, 30);
    Tree.File("hits/a png.ico", DataFile("png_entry.ico"));
    Tree.File("hits/b bmp.ico", DataFile("two_sizes.ico"));
    StartPool();
    TMDIChild c(Host);
    ASSERT_TRUE(SearchToTheEnd(c));
    // What the first item looks like at each of its paints.
    std::vector<QImage> shots;
    auto original = c.ListBox1->OnDrawItem;
    c.ListBox1->OnDrawItem = [&, original](QPainter& p, int index, const QRect& rect, bool selected) {
        original(p, index, rect, selected);
        if (index != 0)
            return;
        QImage shot(rect.size(), QImage::Format_RGB32);
        shot.fill(Qt::white);
        QPainter probe(&shot);
        original(probe, index, shot.rect(), selected);
        shots.push_back(shot);
    };
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    // Its first paint comes before the helper could have answered: the name
    // and an empty box, nothing decoded here.
    ASSERT_FALSE(shots.empty());
    EXPECT_EQ(CountOf(shots.front(), Is(icon)), 0);
    EXPECT_GT(CountOf(shots.front(), Is(QColor(160, 160, 160))), 100);
    TRY_EXPECT(CountOf(shots.back(), Is(icon)) > 500);
    // The icon whose image the window reads itself is drawn as ever, without the helper.
    EXPECT_GT(CountOf(Shown(c), Is(icon), ItemRect(c, 1)), 500);
    EXPECT_EQ(Pool->Stats().Sent, 1);
}

TEST_F(PictureViewTest, OnAFuseVolumeTheDefaultViewsReadsAreMadeOffTheThread) {
    Tree.File("hits/a wide.bmp", DataFile("green_300x20.bmp"));
    Tree.File("hits/b stuck.hang-test.bmp", DataFile("green_300x20.bmp"));
    Host.Mounts =
        platform::TMountTable::FromText("50 1 0:50 / " + Tree.Root() + " rw - fuse.stall stall rw\n");
    StartPool(true);
    auto c = Create();
    c->ListBox1->viewport()->update();
    TRY_EXPECT_EQ(c->Pictures().ReadyCount(), 1);
    TRY_EXPECT_EQ(Pool->Stats().TimedOut, 1);
    const QImage shown = Shown(*c);
    EXPECT_GT(CountOf(shown, Is(QColor(0, 128, 0)), ItemRect(*c, 0)), 100);
    // The read that never came back draws as an unreadable picture.
    EXPECT_EQ(CountOf(shown, Is(QColor(0, 128, 0)), ItemRect(*c, 1)), 0);
}

// Links in a local folder to a share that stopped answering, one to a file
// and one to a folder through another link: their bitmaps are read off the
// window's thread, as for a hit on the share itself. A paint that opened one
// itself would wait there.
TEST_F(PictureViewTest, ALinkToAShareThatStoppedAnsweringIsNotReadOnTheWindowsThread) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    Tree.File("hits/a.bmp", DataFile("green_300x20.bmp"));
    ASSERT_EQ(::symlink((fs.Root() + "/deadfile.bmp").c_str(), Tree.Path("hits/dead.bmp").c_str()), 0);
    ASSERT_EQ(::symlink("../far", Tree.Path("hits/share").c_str()), 0);
    ASSERT_EQ(::symlink(fs.Root().c_str(), Tree.Path("far").c_str()), 0);
    Host.Mounts = platform::TMountTable::System();
    Host.Key = "*.bmp";
    Host.Options.Exclude = {"dead", "hang", "slow"};
    StartPool();
    tavolix::test::TLetGoLater letGo(fs, std::chrono::seconds(60));
    auto c = Create();
    const std::vector<std::string> paths = {Tree.Path("hits/a.bmp"), Tree.Path("hits/dead.bmp"),
                                            Tree.Path("hits/share/deadfile.bmp")};
    ASSERT_EQ(c->ListBox1->Items().Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(c->ListBox1->GetFilePath(i), paths[i]) << i;
    c->ListBox1->viewport()->repaint();
    // The local file is drawn by the window itself; the links go to the helper.
    EXPECT_EQ(c->Pictures().PictureFor(0, paths[0]), nullptr);
    EXPECT_NE(c->Pictures().PictureFor(1, paths[1]), nullptr);
    EXPECT_NE(c->Pictures().PictureFor(2, paths[2]), nullptr);
    EXPECT_GT(CountOf(Shown(*c), Is(QColor(0, 128, 0)), ItemRect(*c, 0)), 100);
    EXPECT_FALSE(letGo.End()) << "the window's thread waited on the share";
}

TEST_F(PictureViewTest, ACrashingDecoderLeavesTheWindowWorking) {
    Tree.File("hits/a.crash-test.png", PictureBytes(Solid(40, 20, Qt::darkCyan), "png"));
    Tree.File("hits/b.png", PictureBytes(Solid(40, 20, Qt::blue), "png"));
    StartPool(true);
    Host.Pictures = true;
    auto c = Create();
    c->ListBox1->viewport()->update();
    TRY_EXPECT_EQ(c->Pictures().ReadyCount(), 1);
    EXPECT_EQ(Pool->Stats().Crashed, 1);
    const QImage shown = Shown(*c);
    EXPECT_EQ(CountOf(shown, Near(Qt::darkCyan, 10), ItemRect(*c, 0)), 0);
    EXPECT_GT(CountOf(shown, Near(Qt::blue, 10), ItemRect(*c, 1)), 100);

    EXPECT_EQ(c->PictureView1->shortcut(), QKeySequence(Qt::Key_F6));
    c->PictureView1->trigger();
    EXPECT_FALSE(c->Pictures().Shown());
    EXPECT_EQ(Host.PicturesChoices, std::vector<bool>{false});
}
