#include "app/about.h"
#include "ui/ProgramIcon.h"

#include <cstdlib>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using tavolix::ui::ProgramIcon;

using namespace tavolix::app;

namespace {

TEST(AboutBox, FixedLayout) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "ﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(box.size(), QSize(288, 230));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    QPushButton* ok = box.OKButton();
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->size(), QSize(64, 33));
    EXPECT_TRUE(ok->isDefault());
    auto* panel = box.findChild<QFrame*>("Panel1");
    ASSERT_NE(panel, nullptr);
    // The button lies inside the box, below the panel.
    EXPECT_TRUE(QRect(0, 0, 288, 230).contains(ok->geometry()));
    EXPECT_GT(ok->y(), panel->geometry().bottom());
    EXPECT_TRUE(QRect(0, 0, 288, 230).contains(panel->geometry()));

    auto* name = box.findChild<QLabel*>("ProductName");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "Tavolix ヌバロ");
    EXPECT_TRUE(panel->isAncestorOf(name));
    auto* version = box.findChild<QLabel*>("Version");
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().startsWith("バージョン "));
    auto* icon = box.findChild<QLabel*>("ProgramIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
}

TEST(AboutBox, AHelperWithoutItsFullSandboxIsSaidInALineOfItsOwn) {
    TAboutBox box;
    tavolix::thumbs::TSandboxState lacking;
    lacking.Calls = true; // no Landlock
    box.ShowSandbox(lacking);
    EXPECT_TRUE(box.SandboxText().contains("Landlock")) << box.SandboxText().toStdString();
    auto* line = box.findChild<QLabel*>("Sandbox");
    ASSERT_NE(line, nullptr);
    EXPECT_GT(box.height(), 230);
    EXPECT_TRUE(QRect(QPoint(), box.size()).contains(box.OKButton()->geometry()));
    EXPECT_GT(box.OKButton()->y(), box.findChild<QFrame*>("Panel1")->geometry().bottom());
    EXPECT_LT(box.findChild<QLabel*>("Comments")->geometry().bottom(), line->geometry().top());

    lacking.FileSystem = true;
    box.ShowSandbox(lacking);
    EXPECT_EQ(box.SandboxText(), "");
    EXPECT_EQ(box.size(), QSize(288, 230));
}

TEST(AboutBox, ProgramIconHasEverySize) {
    QIcon icon = ProgramIcon();
    QList<QSize> sizes = icon.availableSizes();
    for (int s : {16, 32, 48, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
        EXPECT_EQ(icon.pixmap(s, s).size(), QSize(s, s)) << s;
    }
    // Not blank: the corners are clear, the middle is drawn.
    QImage image = icon.pixmap(256, 256).toImage();
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(140, 130)), 255);
}

TEST(AboutBox, ShownCentredWithOkFocused) {
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.focusWidget(), box.OKButton());
    QRect screen = box.screen()->geometry();
    QPoint offset = box.frameGeometry().center() - screen.center();
    EXPECT_LE(std::abs(offset.x()), 1);
    EXPECT_LE(std::abs(offset.y()), 1);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, OkClosesTheModalBoxAndItCanBeShownAgain) {
    TAboutBox box;
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, &box, [&box] { QTest::mouseClick(box.OKButton(), Qt::LeftButton); });
        EXPECT_EQ(box.exec(), QDialog::Accepted);
        EXPECT_FALSE(box.isVisible());
    }
}

} // namespace
