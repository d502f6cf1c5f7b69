// The whole road as a user walks it: a quick key, the result window, a header
// click, F3 with the save dialog, the question answered No, the page on disk
// with working links, the saved-pages menu and its click, and the menu again
// after the frame is started anew.
#include "TestDir.h"
#include "WaitForWalks.h"
#include "app/serfile.h"
#include "dirtree/DirTVS.h"
#include "hitview/FLBoxS.h"
#include "platform/ExecuteFile.h"
#include "results/findf.h"
#include "ui/MessageBoxes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

using namespace tavolix;
using ui::TMessageKind;
using ui::TShownMessage;

namespace {

// The smallest GIF: one transparent pixel.
const char kGif[] =
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
    "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

TEST(Road, FromAQuickKeyToAReopenedPage) {
    TTestDir tree;
    tree.File("pics/a #1.gif", std::string(kGif, sizeof kGif - 1));
    QImage jpeg(12, 8, QImage::Format_RGB32);
    jpeg.fill(Qt::darkGreen);
    tree.Dir("pics/日本");
    ASSERT_TRUE(jpeg.save(QString::fromStdString(tree.Path("pics/日本/b&b.jpg")), "JPG"));
    tree.File("docs/read me.txt", "hello");
    tree.File("docs/100%.html", "<p>x</p>");
    tree.Dir("out");
    const std::string settings = tree.Path("config/TAVOLIX.INI");

    std::vector<TShownMessage> boxes;
    ui::TMessageBoxSeam::SetHandler([&](const TShownMessage& shown) {
        boxes.push_back(shown);
        return shown.Buttons & ui::mbNo ? ui::TMessageResult::mrNo : ui::TMessageResult::mrOK;
    });
    std::vector<platform::TOpenRequest> opened;
    platform::SetFileOpener([&](const platform::TOpenRequest& r) { opened.push_back(r); });
    QString dialogStart;
    results::TMDIChild::SetSaveFileNameProvider([&](QWidget*, const QString& last) {
        dialogStart = last;
        return QString::fromStdString(tree.Path("out/index")); // typed without an extension
    });

    auto frame = std::make_unique<app::TMDIForm>(settings);
    frame->DirectoryListBox2->SetDrive(tree.Root());
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));

    // The quick key "*.*" replaces the typed key and searches at once.
    frame->KeyWordEditCB->setEditText(QStringLiteral("typed"));
    QAction* all = nullptr;
    for (QAction* a : frame->QuickKeys)
        if (a->text() == QStringLiteral("*.*"))
            all = a;
    ASSERT_NE(all, nullptr);
    all->trigger();
    WaitForWalks(*frame);
    ASSERT_EQ(frame->ResultWindowCount(), 1);
    EXPECT_EQ(frame->KeyWordEditCB->currentText(), QStringLiteral("*.*"));
    results::TMDIChild* child = frame->ResultWindows().back();
    EXPECT_EQ(child->ListBox1->Items().Count(), 4);

    // A header click sorts by size.
    emit child->HeaderControl1->sectionClicked(4);
    EXPECT_TRUE(child->PanelLabel->text().startsWith(QStringLiteral(" Sorted by : Size → Upword")));

    // F3 in the result window: the page, the question (No), the information box.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(child->ListBox1, Qt::Key_F3);
    const std::string page = tree.Path("out/index.html");
    ASSERT_TRUE(Exists(page));
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[boxes.size() - 2].Kind, TMessageKind::Confirmation);
    EXPECT_TRUE(boxes[boxes.size() - 2].Text.contains(QStringLiteral("index.html")));
    EXPECT_EQ(boxes.back().Kind, TMessageKind::Information);
    EXPECT_TRUE(boxes.back().Text.contains(QStringLiteral("作成データ")));
    EXPECT_TRUE(opened.empty()); // No: nothing opened

    // Every link and picture of the page names a file that is there.
    QFile file(QString::fromStdString(page));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(html.startsWith(QStringLiteral("<HTML>\r\n<HEAD>\r\n")));
    const QRegularExpression link(QStringLiteral("(?:HREF|SRC)=\"([^\"]*)\""));
    int links = 0;
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString target = QUrl::fromPercentEncoding(it.next().captured(1).toUtf8());
        EXPECT_TRUE(Exists(tree.Path("out/") + target.toStdString())) << target.toStdString();
        ++links;
    }
    EXPECT_EQ(links, 4);
    EXPECT_EQ(html.count(QStringLiteral("<IMG SRC=")), 2);

    // The saved-pages menu shows the page as item 1; a click opens it.
    const QString caption = frame->FSavedMenuItems[0]->text();
    EXPECT_TRUE(caption.startsWith(QStringLiteral("(&1) index.html ( "))) << caption.toStdString();
    frame->FSavedMenuItems[0]->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].FileName, page);
    EXPECT_EQ(opened[0].Folder, tree.Path("out"));

    // After a restart the settings file still holds it.
    ui::TMessageBoxSeam::SetHandler([](const TShownMessage&) { return ui::TMessageResult::mrYes; });
    frame->close();
    frame.reset();
    app::TMDIForm again(settings);
    EXPECT_EQ(again.FSavedMenuItems[0]->text(), caption);
    EXPECT_TRUE(again.FSavedMenuItems[1]->text().startsWith(QStringLiteral("(&2)  (")));

    ui::TMessageBoxSeam::Reset();
    platform::SetFileOpener({});
    results::TMDIChild::SetSaveFileNameProvider({});
}

} // namespace
