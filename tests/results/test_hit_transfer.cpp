// Hits leaving the result window: the drag's data, the context menu, and the
// folder shown through a file manager on a private session bus (a dbus-daemon
// of the test's own, with a fake org.freedesktop.FileManager1 beside it).
#include "FakeResultHost.h"
#include "TestDir.h"
#include "TryExpect.h"
#include "WaitForWalk.h"
#include "hitview/FLBoxS.h"
#include "pages/PathFunctions.h"
#include "platform/ExecuteFile.h"
#include "results/HitTransfer.h"
#include "results/findf.h"
#include "ui/NameText.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tavolix;
using results::TMDIChild;

namespace {

// The hostile names, as bytes.
const std::vector<std::string> kNames = {"a b.txt",    "#x.txt",          "100%.txt",     "what?.txt",
                                         "日本語.txt", "bad\xff\xfe.txt", "a%20b#c?d.txt"};

// A file manager that records its ShowItems calls and answers them, or
// answers with an error.
class TFakeFileManager : public QDBusVirtualObject {
public:
    bool Fail = false;
    std::vector<QDBusMessage> Calls;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        Calls.push_back(m);
        bus.send(Fail ? m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), "no")
                      : m.createReply());
        return true;
    }
};

// The test's own session bus: a dbus-daemon that knows no services to start.
class TPrivateBus : public ::testing::Environment {
public:
    static inline QString Address;
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        const QString config = FDir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<busconfig><type>session</type><listen>unix:tmpdir=" + FDir.path().toUtf8() +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
                "own=\"*\"/></policy></busconfig>");
        f.close();
        FDaemon.start(QStringLiteral(TAVOLIX_DBUS_DAEMON),
                      {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        ASSERT_TRUE(FDaemon.waitForStarted());
        while (!FDaemon.canReadLine())
            ASSERT_TRUE(FDaemon.waitForReadyRead(10000)) << "dbus-daemon printed no address";
        Address = QString::fromUtf8(FDaemon.readLine().trimmed());
        // Before anything asks for the session bus: it is connected once.
        qputenv("DBUS_SESSION_BUS_ADDRESS", Address.toUtf8());
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    }
    void TearDown() override {
        FDaemon.terminate();
        FDaemon.waitForFinished();
    }

private:
    QTemporaryDir FDir;
    QProcess FDaemon;
};

class HitTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetFileOpener([this](const platform::TOpenRequest& r) { Opens.push_back(r); });
        Fake = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(TPrivateBus::Address, QStringLiteral("fake-file-manager")));
        ASSERT_TRUE(Fake->isConnected());
    }
    void TearDown() override {
        Fake->unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
        Fake->unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        Fake.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-file-manager"));
        platform::SetFileOpener({});
    }
    void OfferFileManager() {
        ASSERT_TRUE(Fake->registerService(QStringLiteral("org.freedesktop.FileManager1")));
        ASSERT_TRUE(Fake->registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &Manager));
    }

    std::unique_ptr<TMDIChild> Window() {
        for (const std::string& n : kNames)
            Tree.File(n, "x");
        Host.Dir = Tree.Root();
        Host.Key = "*.txt";
        auto c = std::make_unique<TMDIChild>(Host);
        EXPECT_TRUE(SearchToTheEnd(*c));
        c->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(c.get()));
        return c;
    }
    static QPoint ItemCenter(TMDIChild& c, int row) {
        return c.ListBox1->visualRect(c.ListBox1->model()->index(row, 0)).center();
    }
    static void ContextMenu(QWidget* target, QContextMenuEvent::Reason reason, const QPoint& pos) {
        QContextMenuEvent e(reason, pos, target->mapToGlobal(pos));
        QApplication::sendEvent(target, &e);
    }

    TTestDir Tree;
    TFakeHost Host;
    TFakeFileManager Manager;
    std::unique_ptr<QDBusConnection> Fake;
    std::vector<platform::TOpenRequest> Opens;
};

TEST(HitMimeData, UriListAndTextKeepEveryByteOfHostileNames) {
    for (const std::string& name : kNames) {
        const std::string path = "/tmp/hits dir/" + name;
        std::unique_ptr<QMimeData> data(results::HitMimeData(path));
        const QByteArray list = data->data(QStringLiteral("text/uri-list"));
        ASSERT_TRUE(list.endsWith("\r\n")) << name;
        const QByteArray uri = list.chopped(2);
        EXPECT_FALSE(uri.contains('\n') || uri.contains(' ') || uri.contains('#') || uri.contains('?'))
            << uri.constData();
        const QUrl url = QUrl::fromEncoded(uri, QUrl::StrictMode);
        ASSERT_TRUE(url.isValid()) << uri.constData();
        EXPECT_EQ(url.scheme(), QStringLiteral("file"));
        EXPECT_TRUE(url.host().isEmpty() && !url.hasQuery() && !url.hasFragment()) << uri.constData();
        EXPECT_EQ(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString(),
                  path);
        EXPECT_EQ(data->urls().size(), 1);
        EXPECT_EQ(data->text(), ui::ToText(path));
        if (name.find('\xff') == std::string::npos) {
            EXPECT_EQ(url.toLocalFile(), QString::fromStdString(path));
        }
    }
    // All of them at once: a URI a line, the same for the file managers
    // that paste only theirs, and the paths a line each as text.
    std::vector<std::string> paths;
    QByteArray list, gnome("copy");
    QStringList lines;
    for (const std::string& name : kNames) {
        paths.push_back("/tmp/hits dir/" + name);
        const QByteArray uri = QByteArray::fromStdString(results::FileUri(paths.back()));
        list += uri + "\r\n";
        gnome += '\n' + uri;
        lines << ui::ToText(paths.back());
    }
    std::unique_ptr<QMimeData> all(results::HitsMimeData(paths));
    EXPECT_EQ(all->data(QStringLiteral("text/uri-list")), list);
    EXPECT_EQ(all->data(QStringLiteral("x-special/gnome-copied-files")), gnome);
    EXPECT_EQ(all->urls().size(), static_cast<int>(kNames.size()));
    EXPECT_EQ(all->text(), lines.join('\n'));
}

TEST_F(HitTransferTest, ShowInFolderAsksTheFileManagerElseOpensTheFolder) {
    const std::string path = Tree.Path("日本 #1?.txt");
    QObject context;

    // No file manager on the bus: the folder goes to the desktop opener.
    results::ShowInFolder(path, &context);
    TRY_EXPECT_EQ(Opens.size(), 1u);
    EXPECT_EQ(Opens[0].FileName, pages::FileFolder(path));

    OfferFileManager();
    results::ShowInFolder(path, &context);
    TRY_EXPECT_EQ(Manager.Calls.size(), 1u);
    const QDBusMessage& call = Manager.Calls[0];
    EXPECT_EQ(call.interface(), QStringLiteral("org.freedesktop.FileManager1"));
    EXPECT_EQ(call.member(), QStringLiteral("ShowItems"));
    ASSERT_EQ(call.arguments().size(), 2);
    EXPECT_EQ(call.arguments()[0].toStringList(),
              QStringList{QString::fromStdString(results::FileUri(path))});
    EXPECT_EQ(call.arguments()[1].toString(), QString());
    QTest::qWait(200); // the answer has come: nothing more is opened
    EXPECT_EQ(Opens.size(), 1u);

    Manager.Fail = true;
    results::ShowInFolder(path, &context);
    TRY_EXPECT_EQ(Opens.size(), 2u);
    EXPECT_EQ(Opens[1].FileName, pages::FileFolder(path));
}

TEST_F(HitTransferTest, RightClickSelectsTheHitAndItsMenuActsOnIt) {
    OfferFileManager();
    auto c = Window();
    ASSERT_EQ(c->ListBox1->Items().Count(), static_cast<int>(kNames.size()));
    c->ListBox1->SetItemIndex(0);
    const int row = 3;
    const std::string path = c->ListBox1->GetFilePath(row);
    const std::string name(c->ListBox1->Items().Strings(row));

    // Over no item: no menu, nothing changes.
    ContextMenu(c->ListBox1->viewport(), QContextMenuEvent::Mouse,
                QPoint(c->ListBox1->viewport()->width() - 2, c->ListBox1->viewport()->height() - 2));
    EXPECT_FALSE(c->PopupMenu1->isVisible());
    EXPECT_EQ(c->ListBox1->ItemIndex(), 0);

    ContextMenu(c->ListBox1->viewport(), QContextMenuEvent::Mouse, ItemCenter(*c, row));
    EXPECT_EQ(c->ListBox1->ItemIndex(), row);
    EXPECT_EQ(c->StatusPanels[0]->text(), QStringLiteral("4 / %1").arg(kNames.size()));
    EXPECT_EQ(Host.Status, QStringLiteral(" ") + ui::ToText(path));
    EXPECT_TRUE(c->PopupMenu1->isVisible());
    QStringList captions;
    for (QAction* a : c->PopupMenu1->actions())
        if (!a->isSeparator()) {
            captions << a->text() + ' ' + a->shortcut().toString();
            EXPECT_FALSE(a->statusTip().isEmpty()) << a->text().toStdString();
        }
    // The list's own keys show beside their items.
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("開く Return"), QStringLiteral("格納フォルダを開く "),
                           QStringLiteral("パスをコピー Ctrl+C"), QStringLiteral("名前をコピー ")}));
    c->PopupMenu1->hide();

    c->Open1->trigger();
    ASSERT_EQ(Opens.size(), 1u);
    EXPECT_EQ(Opens[0].FileName, path);
    EXPECT_EQ(Opens[0].ShowCmd, 1);

    QClipboard* clipboard = QGuiApplication::clipboard();
    c->CopyPath1->trigger();
    EXPECT_EQ(clipboard->text(), ui::ToText(path));
    if (clipboard->supportsSelection()) {
        EXPECT_EQ(clipboard->text(QClipboard::Selection), ui::ToText(path));
    }
    c->CopyName1->trigger();
    EXPECT_EQ(clipboard->text(), ui::ToText(name));
    if (clipboard->supportsSelection()) {
        EXPECT_EQ(clipboard->text(QClipboard::Selection), ui::ToText(name));
    }

    c->OpenFolder1->trigger();
    TRY_EXPECT_EQ(Manager.Calls.size(), 1u);
    EXPECT_EQ(Manager.Calls[0].arguments()[0].toStringList(),
              QStringList{QString::fromStdString(results::FileUri(path))});
    EXPECT_EQ(Opens.size(), 1u);

    // On a hit of a selection the menu acts on the whole selection.
    QTest::mouseClick(c->ListBox1->viewport(), Qt::LeftButton, Qt::ControlModifier, ItemCenter(*c, 5));
    ASSERT_EQ(c->ListBox1->SelectedCount(), 2);
    ContextMenu(c->ListBox1->viewport(), QContextMenuEvent::Mouse, ItemCenter(*c, row));
    c->PopupMenu1->hide();
    EXPECT_EQ(c->ListBox1->SelectedCount(), 2);
    c->CopyName1->trigger();
    EXPECT_EQ(clipboard->text(), ui::ToText(name) + '\n' + ui::ToText(c->ListBox1->Items().Strings(5)));
}

TEST_F(HitTransferTest, MenuKeyOpensTheMenuOfTheSelectedHitOnly) {
    auto c = Window();
    c->ListBox1->SetItemIndex(-1);
    ContextMenu(c->ListBox1, QContextMenuEvent::Keyboard, QPoint(1, 1));
    EXPECT_FALSE(c->PopupMenu1->isVisible());

    c->ListBox1->SetItemIndex(2);
    // Shift+F10 as the Menu key.
    c->ListBox1->setFocus();
    QTest::keyClick(c->ListBox1, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(c->PopupMenu1->isVisible());
    EXPECT_EQ(c->ListBox1->ItemIndex(), 2);
    EXPECT_EQ(c->StatusPanels[0]->text(), QStringLiteral("3 / %1").arg(kNames.size()));
    EXPECT_TRUE(c->ListBox1->viewport()->rect().contains(
        c->ListBox1->viewport()->mapFromGlobal(c->PopupMenu1->pos())));
    c->PopupMenu1->hide();
}

TEST_F(HitTransferTest, APressThatTravelsDragsThePressedHitAndOneThatDoesntStaysAClick) {
    auto c = Window();
    QWidget* view = c->ListBox1->viewport();
    // Records what would be dragged; no drag loop runs.
    std::vector<std::string> dragged;
    auto start = c->ListBox1->OnStartDrag;
    c->ListBox1->OnStartDrag = [&](int index) -> QMimeData* {
        std::unique_ptr<QMimeData> data(start(index));
        dragged.push_back(data->data(QStringLiteral("text/uri-list")).toStdString());
        return nullptr;
    };
    const QPoint p = ItemCenter(*c, 1);
    const int far = QApplication::startDragDistance() + 5;

    QTest::mousePress(view, Qt::LeftButton, {}, p);
    QTest::mouseMove(view, p + QPoint(far / 3, 0));
    QTest::mouseRelease(view, Qt::LeftButton, {}, p + QPoint(far / 3, 0));
    EXPECT_TRUE(dragged.empty());
    EXPECT_EQ(c->ListBox1->ItemIndex(), 1);
    EXPECT_EQ(c->StatusPanels[0]->text(), QStringLiteral("2 / %1").arg(kNames.size()));

    const QPoint q = ItemCenter(*c, 4);
    QTest::mousePress(view, Qt::LeftButton, {}, q);
    QTest::mouseMove(view, q + QPoint(far / 2, 0));
    QTest::mouseMove(view, q + QPoint(far, far));
    QTest::mouseRelease(view, Qt::LeftButton, {}, q + QPoint(far, far));
    ASSERT_EQ(dragged.size(), 1u);
    EXPECT_EQ(dragged[0], results::FileUri(c->ListBox1->GetFilePath(4)) + "\r\n");
    EXPECT_EQ(c->ListBox1->ItemIndex(), 4);
    EXPECT_EQ(c->StatusPanels[0]->text(), QStringLiteral("5 / %1").arg(kNames.size()));
    EXPECT_EQ(c->ListBox1->Items().Count(), static_cast<int>(kNames.size()));

    // A drag from a selection carries every selected hit.
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, ItemCenter(*c, 5));
    QTest::mousePress(view, Qt::LeftButton, {}, q);
    QTest::mouseMove(view, q + QPoint(far / 2, 0));
    QTest::mouseMove(view, q + QPoint(far, far));
    QTest::mouseRelease(view, Qt::LeftButton, {}, q + QPoint(far, far));
    ASSERT_EQ(dragged.size(), 2u);
    EXPECT_EQ(dragged[1], results::FileUri(c->ListBox1->GetFilePath(4)) + "\r\n" +
                              results::FileUri(c->ListBox1->GetFilePath(5)) + "\r\n");
}

const auto* const kBus = ::testing::AddGlobalTestEnvironment(new TPrivateBus);

} // namespace
