#include "Gate.h"
#include "TestDir.h"
#include "TryExpect.h"
#include "dirtree/DirTVS.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <sys/stat.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace tavolix;
using tavolix::dirtree::TDirTreeViewS;

namespace {

using TCalls = std::vector<std::string>;

// The directories listed, in any order: listings run on several threads.
struct TCallLog {
    std::mutex Lock;
    TCalls Calls;
    void Add(const std::string& dir) {
        std::lock_guard<std::mutex> hold(Lock);
        Calls.push_back(dir);
    }
    TCalls Sorted() {
        std::lock_guard<std::mutex> hold(Lock);
        TCalls sorted = Calls;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
    bool Empty() {
        std::lock_guard<std::mutex> hold(Lock);
        return Calls.empty();
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(Lock);
        Calls.clear();
    }
};

// Wraps the real listing and records every directory it is asked for.
dirtree::TDirLister CountingLister(TCallLog& log) {
    return [&log](const std::string& dir, std::vector<platform::TFindData>& out) {
        log.Add(dir);
        return platform::FindFiles(dir, "*.*", out, platform::TFindWhat::DirectoriesOnly);
    };
}

// Long enough that a listing of a local folder is always back in time.
constexpr int kPatientWaitMs = 20000;

// An in-memory volume: directory path -> its subdirectory names.
dirtree::TDirLister FakeLister(std::map<std::string, std::vector<std::string>> dirs) {
    return [dirs](const std::string& dir, std::vector<platform::TFindData>& out) {
        out.clear();
        auto it = dirs.find(dir);
        for (const std::string& name : it == dirs.end() ? std::vector<std::string>{} : it->second)
            out.push_back({name, platform::faDirectory, 0, {}});
        return it != dirs.end();
    };
}

std::vector<std::string> Names(const QStandardItem* parent) {
    if (!parent)
        return {"<no such node>"};
    std::vector<std::string> names;
    for (int i = 0; i < parent->rowCount(); ++i)
        names.push_back(
            parent->child(i)->data(dirtree::TDirTreeModel::RawNameRole).toByteArray().toStdString());
    return names;
}

// The node at a "/"-separated path of raw names below `from` (the drive node by default).
QStandardItem* Node(const TDirTreeViewS& tree, std::string_view rel, QStandardItem* from = nullptr) {
    QStandardItem* node = from ? from : tree.Model()->item(0);
    while (node && !rel.empty()) {
        const std::size_t slash = rel.find('/');
        const std::string head(rel.substr(0, slash));
        rel = slash == std::string_view::npos ? std::string_view() : rel.substr(slash + 1);
        QStandardItem* parent = node;
        node = nullptr;
        for (int i = 0; i < parent->rowCount(); ++i)
            if (Names(parent)[static_cast<std::size_t>(i)] == head)
                node = parent->child(i);
    }
    return node;
}

class DirTree : public ::testing::Test {
protected:
    DirTree() {
        Tree.OnChange = [this](TDirTreeViewS* sender, const std::string& dir) {
            EXPECT_EQ(sender, &Tree);
            Changes.push_back(dir);
        };
        Tree.SetLister(CountingLister(Calls));
        Tree.SetAnswerWait(kPatientWaitMs);
        Tree.resize(400, 600);
    }
    void Select(std::string_view rel) {
        QStandardItem* node = Node(Tree, rel);
        ASSERT_NE(node, nullptr) << rel;
        Tree.setCurrentIndex(node->index());
    }

    TTestDir Vol;
    TCallLog Calls;
    std::vector<std::string> Changes;
    TDirTreeViewS Tree;
};

TEST_F(DirTree, ImagesAreFiveMaskedSquares) {
    ASSERT_EQ(Tree.DirImages().size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const QImage image = Tree.DirImages()[i].toImage();
        ASSERT_EQ(image.size(), QSize(16, 16)) << i;
        int opaque = 0, yellow = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 0)
                    continue;
                ++opaque;
                EXPECT_NE(c.rgb(), qRgb(128, 128, 0)) << "olive left opaque in image " << i;
                yellow += c.rgb() == qRgb(255, 255, 0);
            }
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << i;
        EXPECT_GT(opaque, 60) << i;
        EXPECT_EQ(yellow > 0, i < 2) << "folders are yellow, drives are not: " << i;
    }
}

TEST_F(DirTree, EmptyUntilAVolumeIsSet) {
    Tree.SetDrive("");
    EXPECT_EQ(Tree.Model()->rowCount(), 0);
    EXPECT_EQ(Tree.GetSelDirName(), "");
    EXPECT_TRUE(Calls.Empty());
}

TEST_F(DirTree, ChildrenSortedIgnoringCaseWithoutDotNames) {
    for (const char* d : {"beta", "GAMMA", "Alpha", ".config", ".hidden/x", "locked"})
        Vol.Dir(d);
    Vol.File("afile");
    Vol.Chmod("locked", 0);
    Tree.SetDrive(Vol.Root());
    ASSERT_EQ(Tree.Model()->rowCount(), 1);
    QStandardItem* drive = Tree.Model()->item(0);
    EXPECT_EQ(drive->text(), QString::fromStdString(Vol.Root()));
    EXPECT_EQ(drive->data(dirtree::TDirTreeModel::ImageRole).toInt(), 2);
    EXPECT_EQ(Names(drive), (std::vector<std::string>{"Alpha", "beta", "GAMMA", "locked"}));
    EXPECT_EQ(Node(Tree, "Alpha")->data(dirtree::TDirTreeModel::SelectedImageRole).toInt(), 1);
    EXPECT_EQ(Changes, TCalls{Vol.Root() + "/"});
}

TEST_F(DirTree, SelDirNameForms) {
    struct TCase {
        std::string Mount;
        bool ShowDrive;
        std::string Select; // "" = first node, "-" = none
        std::string Expected;
    };
    const TCase cases[] = {
        {"/", true, "", "/"},
        {"/", true, "Alpha", "/Alpha"},
        {"/", true, "Alpha/Sub", "/Alpha/Sub"},
        {"/", false, "Alpha", "/Alpha/"},
        {"/", false, "Beta", "/Beta"},
        {"/", false, "-", "/"},
        {"/media/usb/", true, "", "/media/usb/"},
        {"/media/usb", true, "Alpha/Sub", "/media/usb/Alpha/Sub"},
        {"/media/usb", false, "Alpha", "/media/usb/Alpha/"},
        {"/media/usb", false, "Alpha/Sub", "/media/usb/Alpha/Sub"},
        {"/media/usb", false, "Beta", "/media/usb/Beta"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mount + " " + c.Select + (c.ShowDrive ? "" : " without drive node"));
        std::string root = c.Mount;
        while (!root.empty() && root.back() == '/')
            root.pop_back();
        TDirTreeViewS tree;
        tree.SetAnswerWait(kPatientWaitMs);
        tree.SetLister(FakeLister({{root.empty() ? "/" : root, {"Beta", "Alpha"}},
                                   {root + "/Alpha", {"Sub"}},
                                   {root + "/Beta", {}}}));
        tree.SetShowDrive(c.ShowDrive);
        tree.SetDrive(c.Mount);
        QStandardItem* top = c.ShowDrive ? nullptr : tree.Model()->invisibleRootItem();
        if (c.Select == "-")
            tree.setCurrentIndex({});
        else if (!c.Select.empty())
            tree.setCurrentIndex(Node(tree, c.Select, top)->index());
        EXPECT_EQ(tree.GetSelDirName(), c.Expected);
    }
}

TEST_F(DirTree, RebuildOnAnotherVolumeReselectsTheSamePath) {
    TTestDir b, c;
    Vol.Dir("Work/Sub/Deep");
    Vol.Dir("Other");
    b.Dir("Work/Sub/Deep/Deeper");
    c.Dir("work/Sub");
    Tree.SetDrive(Vol.Root());
    Select("Work/Sub");
    Tree.SetDrive(b.Root());
    EXPECT_EQ(Tree.GetSelDirName(), b.Root() + "/Work/Sub");
    EXPECT_EQ(Changes.back(), b.Root() + "/Work/Sub");
    EXPECT_TRUE(Tree.isExpanded(Node(Tree, "Work/Sub")->index()));
    EXPECT_EQ(Names(Node(Tree, "Work/Sub/Deep")), TCalls{"Deeper"}) << "one level ahead of what is shown";

    Tree.SetDrive(c.Root()); // names compare with case: "Work" is not "work"
    EXPECT_EQ(Tree.GetSelDirName(), c.Root() + "/");
    EXPECT_EQ(Changes.back(), c.Root() + "/");
}

TEST_F(DirTree, SetDriveWithTheCurrentVolumeDoesNothing) {
    Vol.Dir("A/B");
    Tree.SetDrive(Vol.Root());
    Select("A");
    Calls.Clear();
    Changes.clear();
    Tree.SetDrive(Vol.Root());
    EXPECT_TRUE(Calls.Empty());
    EXPECT_TRUE(Changes.empty());
    EXPECT_EQ(Tree.GetSelDirName(), Vol.Path("A"));

    Tree.SetDrive(Vol.Root() + "/"); // another spelling rebuilds, keeping the selection
    EXPECT_FALSE(Calls.Empty());
    EXPECT_EQ(Tree.Drive(), Vol.Root());
    EXPECT_EQ(Tree.GetSelDirName(), Vol.Path("A"));
}

TEST_F(DirTree, UnreadableVolumeShowsOnlyItsDriveNode) {
    Vol.Dir("A/B");
    Vol.Chmod("", 0);
    TWithoutDacOverride asUser;
    Tree.SetDrive(Vol.Root());
    ASSERT_EQ(Tree.Model()->rowCount(), 1);
    EXPECT_EQ(Tree.Model()->item(0)->rowCount(), 0);
    EXPECT_EQ(Tree.GetSelDirName(), Vol.Root() + "/");
}

TEST_F(DirTree, ClickReportsTheSelectionAndDoubleClickOnlyLeaves) {
    Vol.Dir("Parent/Child");
    Vol.Dir("Leaf");
    std::vector<std::string> clicks, dblClicks;
    Tree.OnClick = [&](TDirTreeViewS*, const std::string& dir) { clicks.push_back(dir); };
    Tree.OnDblClick = [&](TDirTreeViewS*, const std::string& dir) { dblClicks.push_back(dir); };
    Tree.SetDrive(Vol.Root());
    Tree.show();
    auto at = [&](std::string_view rel) { return Tree.visualRect(Node(Tree, rel)->index()).center(); };

    QTest::mouseClick(Tree.viewport(), Qt::LeftButton, {}, at("Leaf"));
    EXPECT_EQ(clicks, TCalls{Vol.Path("Leaf")});
    QTest::mouseDClick(Tree.viewport(), Qt::LeftButton, {}, at("Parent"));
    EXPECT_TRUE(dblClicks.empty());
    QTest::mouseDClick(Tree.viewport(), Qt::LeftButton, {}, at("Leaf"));
    EXPECT_EQ(dblClicks, TCalls{Vol.Path("Leaf")});
}

// Each way the view can expand a node must load the level below its children first.
TEST_F(DirTree, OnlyWhatCanBeSeenIsRead) {
    Vol.Dir("A/A1/A11/A111");
    Vol.Dir("A/A2");
    Vol.Dir("B");
    Tree.SetDrive(Vol.Root());
    EXPECT_EQ(Calls.Sorted(), (TCalls{Vol.Root(), Vol.Path("A"), Vol.Path("B")}));
    Tree.show();

    const std::pair<const char*, std::function<void(const QModelIndex&)>> ways[] = {
        {"expand()", [&](const QModelIndex& i) { Tree.expand(i); }},
        {"Right key",
         [&](const QModelIndex& i) {
             Tree.setCurrentIndex(i);
             QTest::keyClick(&Tree, Qt::Key_Right);
         }},
        {"branch click",
         [&](const QModelIndex& i) {
             const QRect r = Tree.visualRect(i);
             QTest::mouseClick(Tree.viewport(), Qt::LeftButton, {},
                               QPoint(r.left() - Tree.indentation() / 2, r.center().y()));
         }},
        {"selecting a child", [&](const QModelIndex& i) { Tree.setCurrentIndex(i.model()->index(0, 0, i)); }},
    };
    bool first = true;
    for (const auto& [way, expandWith] : ways) {
        SCOPED_TRACE(way);
        const QModelIndex a = Node(Tree, "A")->index();
        Tree.collapse(a);
        Tree.setCurrentIndex(Node(Tree, "B")->index());
        Calls.Clear();
        expandWith(a);
        ASSERT_TRUE(Tree.isExpanded(a));
        // A1 is read at the first expansion only; A2, without child nodes, at every one.
        EXPECT_EQ(Calls.Sorted(),
                  (first ? TCalls{Vol.Path("A/A1"), Vol.Path("A/A2")} : TCalls{Vol.Path("A/A2")}));
        EXPECT_EQ(Names(Node(Tree, "A/A1")), TCalls{"A11"});
        EXPECT_TRUE(Names(Node(Tree, "A/A1/A11")).empty()) << "two levels below the expanded node";
        Calls.Clear();
        Tree.doItemsLayout();
        QCoreApplication::processEvents();
        EXPECT_TRUE(Calls.Empty()) << "laying out an open node again reads nothing";
        first = false;
    }
}

TEST_F(DirTree, NamesKeepTheirBytes) {
    const std::string odd = "caf\xe9 # & %41", japanese = "日本語 <x>", evil = "evil\xE2\x80\xAEgpj\nx";
    Vol.Dir(odd + "/" + japanese);
    Vol.Dir(evil);
    TTestDir b;
    b.Dir(odd + "/" + japanese);
    Tree.SetDrive(Vol.Root());
    QStandardItem* node = Node(Tree, odd);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(), QFile::decodeName(QByteArray::fromStdString(odd)));
    Select(odd + "/" + japanese);
    const std::string path = Tree.GetSelDirName();
    EXPECT_EQ(path, Vol.Path(odd + "/" + japanese));
    struct stat st;
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    Tree.SetDrive(b.Root());
    EXPECT_EQ(Tree.GetSelDirName(), b.Path(odd + "/" + japanese));
    // An override and a line break are shown, not obeyed; the path keeps them.
    Tree.SetDrive(Vol.Root());
    ASSERT_NE(Node(Tree, evil), nullptr);
    EXPECT_EQ(Node(Tree, evil)->text(), QStringLiteral("evil\\u202Egpj\\u000Ax"));
    Select(evil);
    EXPECT_EQ(Tree.GetSelDirName(), Vol.Path(evil));
}

TEST_F(DirTree, SymlinkedDirectoriesAreShownAndFollowed) {
    Vol.Dir("real/inner");
    Vol.Symlink("link", Vol.Path("real"));
    Vol.Symlink("dangling", Vol.Path("nowhere"));
    Vol.File("file");
    Vol.Symlink("filelink", Vol.Path("file"));
    Tree.SetDrive(Vol.Root());
    EXPECT_EQ(Names(Tree.Model()->item(0)), (TCalls{"link", "real"}));
    EXPECT_EQ(Names(Node(Tree, "link")), TCalls{"inner"});
}

TEST_F(DirTree, AListingThatFailsLeavesItsFolderEmpty) {
    Vol.Dir("A/A1");
    Vol.Dir("B/B1");
    Tree.SetLister([&](const std::string& dir, std::vector<platform::TFindData>& out) {
        if (dir == Vol.Path("A"))
            throw std::runtime_error("disk gone");
        return platform::FindFiles(dir, "*.*", out, platform::TFindWhat::DirectoriesOnly);
    });
    Tree.SetDrive(Vol.Root());
    EXPECT_EQ(Names(Tree.Model()->item(0)), (TCalls{"A", "B"}));
    EXPECT_TRUE(Names(Node(Tree, "A")).empty());
    EXPECT_EQ(Names(Node(Tree, "B")), TCalls{"B1"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Tree.updatesEnabled());
}

TEST_F(DirTree, TurningTheDriveNodeBackOnKeepsTheSelection) {
    Vol.Dir("Beta/Sub");
    Vol.Dir("Sub");
    Tree.SetShowDrive(false);
    Tree.SetDrive(Vol.Root());
    Tree.setCurrentIndex(Node(Tree, "Beta/Sub", Tree.Model()->invisibleRootItem())->index());
    Tree.SetShowDrive(true);
    EXPECT_EQ(Tree.GetSelDirName(), Vol.Path("Beta/Sub"));
}

TEST_F(DirTree, DirSpaceFreezesTheTree) {
    TTestDir b;
    Vol.Dir("A");
    b.Dir("B");
    Tree.SetDrive(Vol.Root());
    Tree.SetDirSpace(true);
    Calls.Clear();
    Changes.clear();
    Tree.SetDrive(b.Root());
    Select("A");
    EXPECT_TRUE(Calls.Empty());
    EXPECT_TRUE(Changes.empty());
    Tree.SetDirSpace(false);
    EXPECT_EQ(Names(Tree.Model()->item(0)), TCalls{"B"});
    EXPECT_EQ(Changes.back(), b.Root() + "/");
}

// "/vol/a/dead" never answers until the gate opens; the rest of that
// volume does, and folders elsewhere are read from the disk.
class DirTreeWithDeadFolder : public DirTree {
protected:
    DirTreeWithDeadFolder() {
        auto fake = FakeLister({{"/vol", {"a", "b"}},
                                {"/vol/a", {"dead", "ok"}},
                                {"/vol/a/dead", {"inner"}},
                                {"/vol/a/ok", {"sub"}},
                                {"/vol/a/ok/sub", {"deep"}},
                                {"/vol/b", {}}});
        Tree.SetLister(
            [this, fake, gate = Gate](const std::string& dir, std::vector<platform::TFindData>& out) {
                Calls.Add(dir);
                if (dir == "/vol/a/dead")
                    gate->Pass();
                if (dir.starts_with("/vol"))
                    return fake(dir, out);
                return platform::FindFiles(dir, "*.*", out, platform::TFindWhat::DirectoriesOnly);
            });
        // Long enough for the folders that answer, short enough for a test.
        Tree.SetAnswerWait(1000);
    }
    ~DirTreeWithDeadFolder() override { Gate->Open(); }
    int ListingsOf(const std::string& dir) {
        const TCalls calls = Calls.Sorted();
        return static_cast<int>(std::count(calls.begin(), calls.end(), dir));
    }
    static int StateOf(const QStandardItem* node) {
        return node ? node->data(dirtree::TDirTreeModel::ReadStateRole).toInt() : -1;
    }

    std::shared_ptr<TGate> Gate = std::make_shared<TGate>();
};

TEST_F(DirTreeWithDeadFolder, TheFolderIsMarkedAndTheRestOfTheTreeWorks) {
    Tree.SetDrive("/vol");
    Tree.show();
    Select("a");
    Tree.expand(Node(Tree, "a")->index());
    QStandardItem* dead = Node(Tree, "a/dead");
    ASSERT_NE(dead, nullptr);
    EXPECT_EQ(StateOf(dead), dirtree::TDirTreeModel::Reading);
    EXPECT_EQ(dead->text(), QStringLiteral("dead （読み込み中…）"));
    EXPECT_EQ(StateOf(Node(Tree, "a/ok")), dirtree::TDirTreeModel::Read);

    // Its sibling opens, is chosen and reports as ever.
    Select("a/ok/sub");
    EXPECT_EQ(Tree.GetSelDirName(), "/vol/a/ok/sub");
    EXPECT_EQ(Changes.back(), "/vol/a/ok/sub");
    EXPECT_EQ(Names(Node(Tree, "a/ok/sub")), TCalls{"deep"});
    Select("b");
    EXPECT_EQ(Tree.GetSelDirName(), "/vol/b");

    TRY_EXPECT_EQ(StateOf(Node(Tree, "a/dead")), dirtree::TDirTreeModel::NotAnswering);
    EXPECT_EQ(Node(Tree, "a/dead")->text(), QStringLiteral("dead （応答なし）"));
    // Opening its parent again asks no second thread to wait on it.
    Tree.collapse(Node(Tree, "a")->index());
    Tree.expand(Node(Tree, "a")->index());
    EXPECT_EQ(ListingsOf("/vol/a/dead"), 1);

    Gate->Open();
    TRY_EXPECT_EQ(Names(Node(Tree, "a/dead")), TCalls{"inner"});
    EXPECT_EQ(StateOf(Node(Tree, "a/dead")), dirtree::TDirTreeModel::Read);
    EXPECT_EQ(Node(Tree, "a/dead")->text(), QStringLiteral("dead"));
    EXPECT_EQ(Tree.GetSelDirName(), "/vol/b");
    TRY_EXPECT(!Tree.IsReading());
}

TEST_F(DirTreeWithDeadFolder, AReselectionGoesOnWhenTheFolderAnswersUnlessTheUserChoseMeanwhile) {
    TTestDir other;
    other.Dir("a/dead/inner/x");
    Tree.show();
    Tree.SetDrive(other.Root());
    Select("a/dead");
    Select("a/dead/inner");
    Tree.SetDrive("/vol"); // the same path on a volume where "dead" hangs
    EXPECT_EQ(Tree.GetSelDirName(), "/vol/a/dead");
    Gate->Open();
    TRY_EXPECT_EQ(Tree.GetSelDirName(), "/vol/a/dead/inner");
    EXPECT_EQ(Changes.back(), "/vol/a/dead/inner");

    // Again, but the user picks a folder while "dead" still hangs.
    Gate->Close();
    Tree.SetDrive(other.Root());
    Select("a/dead");
    Select("a/dead/inner");
    Tree.SetDrive("/vol");
    EXPECT_EQ(Tree.GetSelDirName(), "/vol/a/dead");
    Select("b");
    Gate->Open();
    TRY_EXPECT(!Tree.IsReading());
    EXPECT_EQ(Tree.GetSelDirName(), "/vol/b");
}

// The window never waits for a folder on a volume that may stop answering,
// however long a wait it grants others: its listing is added when it comes.
TEST_F(DirTree, TheWindowNeverWaitsForAShare) {
    auto gate = std::make_shared<TGate>();
    const auto fake = FakeLister({{"/share", {"a"}}, {"/share/a", {"b"}}});
    Tree.SetLister(
        [fake, gate](const std::string& dir, std::vector<platform::TFindData>& out) {
            return gate->Pass() && fake(dir, out);
        },
        [](const std::string& dir) { return dir.starts_with("/share"); });
    QElapsedTimer waited;
    waited.start();
    Tree.SetDrive("/share");
    // Waiting, it would have waited the whole of kPatientWaitMs for the gate.
    EXPECT_LT(waited.elapsed(), kPatientWaitMs / 2);
    EXPECT_TRUE(Tree.IsReading());
    gate->Open();
    TRY_EXPECT_EQ(Names(Node(Tree, "")), TCalls{"a"});
    TRY_EXPECT(!Tree.IsReading());
    Select("a");
    Tree.expand(Node(Tree, "a")->index());
    TRY_EXPECT_EQ(Names(Node(Tree, "a")), TCalls{"b"});
}

TEST_F(DirTree, ModelPassesTheTester) {
    Vol.Dir("A/A1/A11/A111");
    Vol.Dir("B/B1");
    TTestDir b;
    b.Dir("A/A1");
    using Mode = QAbstractItemModelTester::FailureReportingMode;
    {
        SCOPED_TRACE("checked at every change, without fetching");
        TDirTreeViewS tree;
        tree.SetLister(CountingLister(Calls)); // waited for, whatever volume holds the test's folders
        tree.SetAnswerWait(kPatientWaitMs);
        QAbstractItemModelTester tester(tree.Model(), Mode::Fatal);
        tester.setUseFetchMore(false);
        tree.SetDrive(Vol.Root());
        tree.expand(Node(tree, "A")->index());
        tree.setCurrentIndex(Node(tree, "A/A1/A11")->index());
        tree.SetDrive(b.Root());
        tree.SetShowDrive(false);
        EXPECT_EQ(Names(tree.Model()->invisibleRootItem()), TCalls{"A"});
    }
    {
        // The tester's own fetchMore inside its change handlers would nest
        // insertions, so with fetching it walks a built tree once.
        SCOPED_TRACE("walked once, fetching");
        TDirTreeViewS tree;
        tree.SetLister(CountingLister(Calls));
        tree.SetAnswerWait(kPatientWaitMs);
        tree.SetDrive(Vol.Root());
        QAbstractItemModelTester tester(tree.Model(), Mode::Fatal);
        EXPECT_EQ(Names(Node(tree, "A/A1/A11")), TCalls{"A111"}) << "fetchMore loads below a node's children";
        EXPECT_EQ(tree.GetSelDirName(), Vol.Root() + "/");
    }
}

} // namespace
