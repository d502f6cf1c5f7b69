// A session in English: the frame, a result window with its boxes and the
// page speak English (tests/cli/check_language.py runs tavolix-page); the window's own English words that
// read as typos are plain English there, while the page keeps them; in Japanese the toolkit's dialogs speak
// Japanese too.
#include "TestDir.h"
#include "app/serfile.h"
#include "dirtree/DirTVS.h"
#include "platform/ExecuteFile.h"
#include "results/findf.h"
#include "ui/MessageBoxes.h"
#include "ui/UiFonts.h"
#include "words/Language.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>

using namespace tavolix;
using ui::TMessageResult;
using ui::TShownMessage;

QT_BEGIN_NAMESPACE
// Failures show the text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QRegularExpression
    kJapanese(QStringLiteral("[\\x{3000}-\\x{30ff}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

QString ReadText(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every command's caption and hint of a window, and the long hints fit the
// frame's status panel, which doesn't grow.
void ExpectEnglish(const QWidget& window, const QLabel& statusPanel) {
    const QFontMetrics metrics(statusPanel.font());
    for (const QAction* action : window.findChildren<QAction*>()) {
        for (const QString& text : {action->text(), action->statusTip(), action->toolTip()})
            EXPECT_FALSE(text.contains(kJapanese)) << text.toStdString();
        EXPECT_LE(metrics.horizontalAdvance(action->statusTip()), statusPanel.contentsRect().width())
            << action->statusTip().toStdString();
    }
}

class EnglishSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(words::InstallLanguage(QStringLiteral("en")));
        // The program's fonts, as the program has them.
        ui::InstallFontSubstitutes();
        ui::TMessageBoxSeam::SetHandler([this](const TShownMessage& shown) {
            Boxes.push_back(shown);
            return shown.Buttons & ui::mbNo ? TMessageResult::mrNo : TMessageResult::mrOK;
        });
        platform::SetFileOpener([](const platform::TOpenRequest&) {});
        results::TMDIChild::SetSaveFileNameProvider(
            [this](QWidget*, const QString&) { return QString::fromStdString(Tree.Path("out/page")); });
    }
    void TearDown() override {
        words::InstallLanguage(words::kSourceLanguage);
        ui::TMessageBoxSeam::Reset();
        platform::SetFileOpener({});
        results::TMDIChild::SetSaveFileNameProvider({});
    }

    TTestDir Tree;
    std::vector<TShownMessage> Boxes;
};

TEST_F(EnglishSession, FrameResultWindowBoxesAndPage) {
    Tree.File("a.gif", "GIF89a");
    Tree.File("docs/b.txt", "text");
    Tree.Dir("out");
    const QString root = QString::fromStdString(Tree.Root());

    app::TMDIForm frame(Tree.Path("TAVOLIX.INI"));
    frame.DirectoryListBox2->SetDrive(Tree.Root());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral(" Tavolix"));
    frame.DirectoryListBox2Change();
    EXPECT_EQ(frame.Label1->text(), QStringLiteral("Search in = %1/").arg(root));
    EXPECT_EQ(frame.File1->title(), QStringLiteral("&File"));
    EXPECT_EQ(frame.Close1->statusTip(), QStringLiteral(" Quits Tavolix."));
    ExpectEnglish(frame, *frame.StatusPanels[0]);

    frame.KeyWordEditCB->setEditText(QStringLiteral("*.*"));
    frame.SearchFind1Click();
    ASSERT_EQ(frame.ResultWindowCount(), 1);
    results::TMDIChild* child = frame.ResultWindows().back();
    EXPECT_EQ(frame.SubWindowOf(child)->windowTitle(),
              QStringLiteral(" Directory = %1/ , Key = *.*").arg(root));
    EXPECT_EQ(child->ChildOP->title(), QStringLiteral("Search && &Output"));
    EXPECT_EQ(child->HeaderControl1->statusTip(),
              QStringLiteral(" Sort the results before you save them as an HTML page."));
    EXPECT_TRUE(child->PanelLabel->text().startsWith(
        QStringLiteral(" Sorted by : Name → Ascending ; Total Files = 2")))
        << child->PanelLabel->text().toStdString();
    EXPECT_EQ(child->HeaderControl1->model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral("Directory"));
    ExpectEnglish(*child, *frame.StatusPanels[0]);

    child->HTMLH1Click();
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Title, QStringLiteral("Confirm"));
    EXPECT_EQ(Boxes[0].Text,
              QStringLiteral("The page page.html has been written.\r\n\r\nRead it in the web browser now? "));
    EXPECT_EQ(Boxes[1].Title, QStringLiteral("Information"));
    EXPECT_TRUE(Boxes[1].Text.contains(QStringLiteral("page.html in the menu \"Saved Pages\"")))
        << Boxes[1].Text.toStdString();

    const QString page = ReadText(Tree.Path("out/page.html"));
    EXPECT_TRUE(page.contains(QStringLiteral("<TITLE>TAVOLIX: ( "))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("<H2>Directory searched = %1/</H2>").arg(root)));
    EXPECT_TRUE(page.contains(QStringLiteral("<H2>Search key  =  *.*</H2>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<H3>Files in total = 2 ;  Total size = 10 Bytes</H3>")));
    EXPECT_TRUE(page.contains(QStringLiteral("Sorted by : Name → Upword")));
    EXPECT_FALSE(page.contains(kJapanese));
    EXPECT_EQ(frame.FSavedMenuItems[0]->statusTip(),
              QStringLiteral(" Searched in = %1/  ; Key = *.*  ; Found = 2").arg(root));

    // The exit question, answered No.
    Boxes.clear();
    frame.close();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Title, QStringLiteral("Tavolix"));
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Quit Tavolix?"));
    EXPECT_TRUE(frame.isVisible());
}

// The long hints fit the status panel in Japanese too.
TEST(JapaneseSession, LongHintsFitTheStatusPanel) {
    TTestDir tree;
    tree.File("a.gif", "GIF89a");
    ui::InstallFontSubstitutes();
    app::TMDIForm frame(tree.Path("TAVOLIX.INI"));
    frame.DirectoryListBox2->SetDrive(tree.Root());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.KeyWordEditCB->setEditText(QStringLiteral("*.*"));
    frame.SearchFind1Click();
    ASSERT_EQ(frame.ResultWindowCount(), 1);
    const QFontMetrics metrics(frame.StatusPanels[0]->font());
    const int room = frame.StatusPanels[0]->contentsRect().width();
    for (const QWidget* window :
         {static_cast<const QWidget*>(&frame), static_cast<const QWidget*>(frame.ResultWindows().back())})
        for (const QAction* action : window->findChildren<QAction*>())
            EXPECT_LE(metrics.horizontalAdvance(action->statusTip()), room)
                << action->statusTip().toStdString();
}

// The save dialog is the toolkit's: under a Japanese locale it is Japanese too.
TEST(JapaneseSession, TheToolkitsDialogsSpeakJapanese) {
    ASSERT_TRUE(words::InstallLanguage(words::kSourceLanguage, true));
    QFileDialog dialog(nullptr, QString(), QString(), QStringLiteral("HTML (*.html)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        labels << label->text();
    const QString saveAs = QCoreApplication::translate("QFileDialog", "Save As");
    words::InstallLanguage(words::kSourceLanguage);
    EXPECT_EQ(saveAs, QStringLiteral("名前を付けて保存"));
    EXPECT_TRUE(labels.contains(QStringLiteral("ファイル名(&N):"))) << labels.join("|").toStdString();
    // Without it, the toolkit's own English.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("Save As"));
}

} // namespace
