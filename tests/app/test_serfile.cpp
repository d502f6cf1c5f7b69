#include "StallFs.h"
#include "TestDir.h"
#include "TryExpect.h"
#include "WaitForWalks.h"
#include "app/DriveComboBox.h"
#include "app/ExcludeForm.h"
#include "app/FilterRow.h"
#include "app/HelpFile.h"
#include "app/StateDump.h"
#include "app/serfile.h"
#include "dirtree/DirTVS.h"
#include "hitview/FLBoxS.h"
#include "platform/ExecuteFile.h"
#include "platform/Profile.h"
#include "results/DetailsView.h"
#include "results/PictureView.h"
#include "results/findf.h"
#include "settings/ViewSettings.h"
#include "ui/MessageBoxes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

using namespace tavolix::app;
using namespace tavolix::settings;
using namespace tavolix::ui;
using tavolix::platform::TMountTable;
using tavolix::platform::TVolume;
using tavolix::results::TMDIChild;

namespace {

// Walks a folder again under each link that leads to it: a ladder's long walk.
class SerfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        FTree.File("a.gif", "GIF89a");
        FTree.File("b.wav", "RIFF");
        FTree.File("sub/c.gif", "GIF89a");
        FTree.File("pages/old.html", "<html></html>");
        TMessageBoxSeam::SetHandler([this](const TShownMessage& shown) {
            return FAnswer ? FAnswer(shown)
                           : (shown.Buttons & mbOK ? TMessageResult::mrOK : TMessageResult::mrYes);
        });
        tavolix::platform::SetFileOpener(
            [this](const tavolix::platform::TOpenRequest& request) { FOpened.push_back(request); });
        MakeFrame(std::make_unique<TMDIForm>(FTree.Path("settings/TAVOLIX.INI")));
    }

    void MakeFrame(std::unique_ptr<TMDIForm> frame) {
        FFrame = std::move(frame);
        FFrame->DirectoryListBox2->SetDrive(FTree.Root());
        FFrame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FFrame.get()));
    }

    void TearDown() override {
        FFrame.reset();
        TMessageBoxSeam::Reset();
        tavolix::platform::SetFileOpener({});
    }

    QAction* QuickKey(const QString& caption) const {
        for (QAction* item : FFrame->QuickKeys)
            if (item->text() == caption)
                return item;
        return nullptr;
    }

    // Starts a search with `key` and returns the windows open afterwards.
    int Search(const QString& key) {
        FFrame->KeyWordEditCB->setEditText(key);
        FFrame->SearchFind1Click();
        WaitForWalks(*FFrame);
        return FFrame->ResultWindowCount();
    }

    std::vector<QMenu*> BarMenus() const {
        std::vector<QMenu*> menus;
        for (QAction* action : FFrame->MainMenu1->actions())
            menus.push_back(action->menu());
        return menus;
    }

    TTestDir FTree;
    std::unique_ptr<TMDIForm> FFrame;
    std::function<TMessageResult(const TShownMessage&)> FAnswer;
    std::vector<tavolix::platform::TOpenRequest> FOpened;
};

TEST_F(SerfileTest, FrameIsThreeQuartersOfTheScreenWithItsCaptionAndInitialKey) {
    // Three quarters of the screen with its borders, centred.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect placed(0, 0, screen.width() * 3 / 4, screen.height() * 3 / 4);
    placed.moveCenter(screen.center());
    TRY_EXPECT_EQ(FFrame->frameGeometry(), placed);
    EXPECT_EQ(FFrame->windowTitle(), QStringLiteral(" Tavolix ヌバロ"));
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QStringLiteral("*.gif"));
    EXPECT_FALSE(FFrame->Windows1->menuAction()->isEnabled());
    EXPECT_EQ(FFrame->StatusPanels[0]->text(),
              QStringLiteral("概要：①指定に基づき検索、②HTML形式のファイル作成・保存、③WWWブラウザで閲覧"));
    // The list's own eighteen, then today's formats.
    ASSERT_EQ(FFrame->QuickKeys.size(), 25u);
    EXPECT_EQ(FFrame->QuickKeys[17]->text(), QStringLiteral("*.mid"));
    EXPECT_EQ(FFrame->QuickKeys[18]->text(), QStringLiteral("*.jpg"));
    EXPECT_EQ(FFrame->QuickKeys[24]->text(), QStringLiteral("*.mp4"));
    EXPECT_EQ(FFrame->QuickKeys[23]->statusTip(), QStringLiteral("文書 ファイル （ *.pdf ） を対象"));
}

TEST_F(SerfileTest, HintsAreComposedAndReachTheStatusLine) {
    EXPECT_EQ(QuickKey("*.*")->statusTip(), QStringLiteral("全てのファイルを対象"));
    EXPECT_EQ(QuickKey("*.gif")->statusTip(),
              QStringLiteral("（インターネット関係）  ＧＩＦ イメージ・ファイルを対象"));
    EXPECT_EQ(QuickKey("*.mid")->statusTip(), QStringLiteral("ＭＩＤＩ シーケンス・ファイルを対象"));

    // A control under the mouse: its long hint; leaving it empties the panel.
    QStatusTipEvent enter(FFrame->SerchSB->statusTip());
    QCoreApplication::sendEvent(FFrame->SerchSB, &enter);
    EXPECT_EQ(FFrame->StatusPanels[0]->text(),
              QStringLiteral(" 指定に基づき、検索を開始 （ サブ・ディレクトリーも検索 ）"));
    EXPECT_EQ(FFrame->SerchSB->toolTip(), QStringLiteral("指定に基づき、検索を開始 "));
    QStatusTipEvent leave{QString()};
    QCoreApplication::sendEvent(FFrame->SerchSB, &leave);
    EXPECT_EQ(FFrame->StatusPanels[0]->text(), QString());

    // A highlighted menu item.
    FFrame->Tile1->showStatusText(FFrame->MainMenu1);
    EXPECT_EQ(FFrame->StatusPanels[0]->text(),
              QStringLiteral("検索結果を、タイル表示 （ 続けて選択すると、横表示・縦表示を切替え ）"));
}

TEST_F(SerfileTest, MenusMergeWithTheActiveResultWindow) {
    const std::vector<QMenu*> own{FFrame->File1,          FFrame->SetEdit1, FFrame->Utilety1,
                                  FFrame->SearchOptions1, FFrame->SaveData, FFrame->Windows1};
    EXPECT_EQ(BarMenus(), own);

    ASSERT_EQ(Search("*.gif"), 1);
    TMDIChild* child = FFrame->ResultWindows().back();
    TRY_EXPECT_EQ(FFrame->MDIArea->activeSubWindow(), FFrame->SubWindowOf(child));
    const std::vector<QMenu*> merged{child->File1,           FFrame->SetEdit1, child->ChildOP,
                                     FFrame->SearchOptions1, FFrame->SaveData, child->Sort1,
                                     child->GyouRetsu,       FFrame->Windows1};
    EXPECT_EQ(BarMenus(), merged);
    EXPECT_TRUE(FFrame->Windows1->menuAction()->isEnabled());
    // Inside the area, at its top left.
    EXPECT_EQ(FFrame->SubWindowOf(child)->pos(), QPoint(0, 0));
    if (const char* dir = std::getenv("TAVOLIX_SHOT_DIR"))
        FFrame->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/serfile_frame.png"));

    // The window menu lists the open result window after its own items.
    emit FFrame->Windows1->aboutToShow();
    const QList<QAction*> items = FFrame->Windows1->actions();
    ASSERT_FALSE(items.isEmpty());
    EXPECT_TRUE(items.back()->isChecked());
    EXPECT_TRUE(items.back()->text().startsWith(QStringLiteral("&1 ")));

    // F4 closes the active result window, not the frame. (The progress
    // window took the activation; no window manager hands it back here.)
    FFrame->activateWindow();
    TRY_EXPECT(FFrame->isActiveWindow());
    QTest::keyClick(FFrame->MDIArea->activeSubWindow(), Qt::Key_F4);
    TRY_EXPECT_EQ(FFrame->ResultWindowCount(), 0);
    EXPECT_TRUE(FFrame->isVisible());
    for (const TShownMessage& box : TMessageBoxSeam::Shown())
        EXPECT_NE(box.Kind, TMessageKind::Plain);
    TRY_EXPECT_EQ(BarMenus(), own);
    EXPECT_FALSE(FFrame->Windows1->menuAction()->isEnabled());
    emit FFrame->Windows1->aboutToShow();
    EXPECT_EQ(FFrame->Windows1->actions().back(), FFrame->Arrange);
}

// The walk's choices: the check marks as the settings file holds them now,
// each change written at once, the exclusions edited in their box; every
// search takes them as they are.
TEST_F(SerfileTest, SearchOptionsLiveInTheSettingsFile) {
    FTree.File(".hidden/h.gif", "GIF89a");
    FTree.File("node_modules/n.gif", "GIF89a");
    const std::string ini = FTree.Path("settings/TAVOLIX.INI");
    ASSERT_EQ(Search("*.gif"), 1);
    TMDIChild* first = FFrame->ResultWindows().back();
    EXPECT_EQ(first->ListBox1->GetFileCount(), 3);
    EXPECT_EQ(first->NotSearchedPanel->text(),
              QStringLiteral("検索しなかったフォルダ 1 （ ドットで始まる名前 1 ）"));

    // Another program (tavolix-page's user, a second frame) turned one on.
    ASSERT_FALSE(tavolix::platform::MakeParentDirectories(ini));
    ASSERT_FALSE(tavolix::platform::WriteProfileString(ini, "Search", "HiddenFolders", "1"));
    emit FFrame->SearchOptions1->aboutToShow();
    EXPECT_TRUE(FFrame->HiddenFolders1->isChecked());
    EXPECT_FALSE(FFrame->OneFileSystem1->isChecked());
    FFrame->OneFileSystem1->trigger();
    EXPECT_EQ(tavolix::platform::GetProfileString(ini, "Search", "OneFileSystem"), "1");

    const std::size_t boxes = TMessageBoxSeam::Shown().size();
    std::vector<QString> seen;
    QTimer::singleShot(0, FFrame.get(), [&] {
        auto* form = qobject_cast<TExcludeForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        seen.push_back(form->Memo1->toPlainText());
        form->Memo1->setPlainText(QStringLiteral("node_modules\n a;b \n"));
        form->OKButton->click(); // refused: ";" separates the patterns in the file
        seen.push_back(form->isVisible() ? QStringLiteral("open") : QStringLiteral("closed"));
        form->Memo1->setPlainText(QStringLiteral(" node_modules \n\n*/cache\n"));
        form->OKButton->click();
    });
    FFrame->ExcludeFolders1->trigger();
    EXPECT_EQ(seen, (std::vector<QString>{QString(), QStringLiteral("open")}));
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), boxes + 1);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Warning);
    EXPECT_EQ(tavolix::platform::GetProfileString(ini, "Search", "Exclude"), "node_modules;*/cache");

    ASSERT_EQ(Search("*.gif"), 2);
    TMDIChild* second = FFrame->ResultWindows().back();
    EXPECT_EQ(second->ListBox1->GetFileCount(), 3); // a.gif, sub/c.gif, .hidden/h.gif
    EXPECT_EQ(second->NotSearchedPanel->text(), QStringLiteral("検索しなかったフォルダ 1 （ 除外 1 ）"));

    // A choice that can't be written is told, and its mark stays as the file has it.
    ASSERT_EQ(chmod(ini.c_str(), 0444), 0);
    FFrame->HiddenFolders1->trigger();
    EXPECT_TRUE(FFrame->HiddenFolders1->isChecked());
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), boxes + 2);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Error);
    EXPECT_TRUE(FFrame->WalkOptions().HiddenFolders);
}

TEST_F(SerfileTest, SearchesOpenOneWindowEachAndAlwaysEmptyTheLabel) {
    FFrame->DirectoryListBox2Change();
    ASSERT_FALSE(FFrame->Label1->text().isEmpty());
    EXPECT_EQ(Search("*.gif"), 1);
    EXPECT_EQ(FFrame->Label1->text(), QString());
    EXPECT_EQ(Search("*.gif"), 2);                // same key and directory: a window of its own
    EXPECT_EQ(FFrame->KeyWordEditCB->count(), 1); // a key searched again moves to the history's end
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QStringLiteral("*.gif"));

    // Nothing found: the window goes again after its box.
    const std::size_t shown = TMessageBoxSeam::Shown().size();
    EXPECT_EQ(Search("*.none"), 2);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), shown + 1);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Information);

    // Empty key: nothing but the label.
    FFrame->DirectoryListBox2Change();
    EXPECT_EQ(Search(QString()), 2);
    EXPECT_EQ(FFrame->Label1->text(), QString());
}

TEST_F(SerfileTest, ThePicturesViewChosenInAWindowIsKeptForNewOnes) {
    const std::string settings = FTree.Path("settings/TAVOLIX.INI");
    ASSERT_EQ(Search("*.gif"), 1);
    TMDIChild* first = FFrame->ResultWindows().back();
    EXPECT_FALSE(first->Pictures().Shown());
    first->PictureView1->trigger();
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "Pictures"), "1");
    ASSERT_EQ(Search("*.gif"), 2);
    TMDIChild* second = FFrame->ResultWindows().back();
    EXPECT_TRUE(second->Pictures().Shown());
    EXPECT_TRUE(second->PictureView1->isChecked());
    second->PictureView1->trigger(); // this window only; the first keeps its pictures
    EXPECT_TRUE(first->Pictures().Shown());
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "Pictures"), "0");
    // A program started later reads the choice.
    ASSERT_TRUE(tavolix::settings::WritePicturesShown(settings, true) == std::nullopt);
    EXPECT_TRUE(TMDIForm(settings).ViewChoices().Pictures);
}

// A new result window takes the frame's area, maximised when the active one
// is; the frame's size and maximised state are kept for the next start, but
// not the frame's own placing.
TEST_F(SerfileTest, NewWindowsFillTheAreaAndTheFrameStaysAsTheUserLeftIt) {
    const std::string settings = FTree.Path("settings/TAVOLIX.INI");
    ASSERT_EQ(Search("*.gif"), 1);
    QMdiSubWindow* first = FFrame->SubWindowOf(FFrame->ResultWindows().back());
    EXPECT_EQ(first->size(), FFrame->MDIArea->viewport()->size());
    first->showMaximized();
    ASSERT_EQ(Search("*.gif"), 2);
    QMdiSubWindow* second = FFrame->SubWindowOf(FFrame->ResultWindows().back());
    EXPECT_NE(second, first);
    EXPECT_TRUE(second->isMaximized());

    QTest::qWait(1200); // the frame's placing, while its borders settle, is over
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "FrameSize"), "");
    FFrame->resize(640, 480);
    TRY_EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "FrameSize"), "640x480");
    FFrame->showMaximized();
    TRY_EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "FrameMaximized"), "1");
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "FrameSize"), "640x480");
    TMDIForm later(settings);
    EXPECT_TRUE(later.StartsMaximized());
    EXPECT_EQ(later.size(), QSize(640, 480));
    // A size the screen can't hold is cut to it.
    ASSERT_FALSE(tavolix::settings::WriteFrameSize(settings, {9000, 7000, false}));
    TMDIForm large(settings);
    EXPECT_FALSE(large.StartsMaximized());
    EXPECT_LE(large.width(), QGuiApplication::primaryScreen()->availableGeometry().width());
    EXPECT_LE(large.height(), QGuiApplication::primaryScreen()->availableGeometry().height());
}

TEST_F(SerfileTest, TheDetailsViewAndItsWidthsAreKeptForNewWindows) {
    const std::string settings = FTree.Path("settings/TAVOLIX.INI");
    ASSERT_EQ(Search("*.gif"), 1);
    TMDIChild* first = FFrame->ResultWindows().back();
    EXPECT_FALSE(first->DetailsShown());
    first->Details1->trigger();
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "Details"), "1");
    first->DetailsView1->horizontalHeader()->resizeSection(1, 333);
    TRY_EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "DetailsColumns"), "0,333,0,0,0");
    ASSERT_EQ(Search("*.gif"), 2);
    TMDIChild* second = FFrame->ResultWindows().back();
    EXPECT_TRUE(second->DetailsShown());
    EXPECT_TRUE(second->DetailsView1->isVisible());
    EXPECT_EQ(second->DetailsView1->ColumnWidths()[1], 333);
    EXPECT_EQ(FFrame->focusWidget(), second->DetailsView1);
    // A program started later reads them.
    TMDIForm later(settings);
    EXPECT_TRUE(later.ViewChoices().Details);
    EXPECT_EQ(later.ViewChoices().ColumnWidths[1], 333);
}

// Rows and columns belong to the default view, the pictures' size to the
// pictures view, whose columns follow the width; each choice is kept.
TEST_F(SerfileTest, TheGridChosenInAWindowIsKeptForNewOnes) {
    const std::string settings = FTree.Path("settings/TAVOLIX.INI");
    ASSERT_EQ(Search("*.gif"), 1);
    TMDIChild* first = FFrame->ResultWindows().back();
    first->N5->actions()[3]->trigger(); // four columns
    EXPECT_EQ(first->ListBox1->Columns(), 4);
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "Columns"), "4");
    EXPECT_FALSE(first->PictureLarger1->isEnabled());

    first->PictureView1->trigger();
    EXPECT_FALSE(first->N5->menuAction()->isEnabled());
    FFrame->SubWindowOf(first)->showMaximized();
    first->PictureLarger1->trigger();
    EXPECT_EQ(first->Pictures().PictureSide(), 256);
    EXPECT_EQ(tavolix::platform::GetProfileString(settings, "View", "PictureSize"), "256");
    EXPECT_GE(first->ListBox1->gridSize().width(), 256); // the picture keeps its room
    const int largeColumns = first->ListBox1->Columns();
    first->PictureSmaller1->trigger();
    first->PictureSmaller1->trigger();
    EXPECT_EQ(first->Pictures().PictureSide(), 96);
    EXPECT_FALSE(first->PictureSmaller1->isEnabled());
    EXPECT_GT(first->ListBox1->Columns(), largeColumns);
    first->PictureView1->trigger(); // back to the columns chosen
    EXPECT_EQ(first->ListBox1->Columns(), 4);

    ASSERT_EQ(Search("*.gif"), 2);
    TMDIChild* second = FFrame->ResultWindows().back();
    EXPECT_EQ(second->ListBox1->Columns(), 4);
    EXPECT_EQ(second->Pictures().PictureSide(), 96);
    EXPECT_TRUE(second->PictureSizes1[0]->isChecked());
    // A value no window writes is not taken.
    tavolix::platform::WriteProfileString(settings, "View", "PictureSize", "100000");
    EXPECT_EQ(TMDIForm(settings).ViewChoices().Grid.PictureSize, 160);
}

TEST_F(SerfileTest, ANoHitWindowClosesWithTheCloseSteps) {
    // The steps of any closing window: hidden bars come back, the tree takes
    // the focus.
    FFrame->KeyWordEditCB->setFocus();
    FFrame->DirectoryShowClick();
    ASSERT_FALSE(FFrame->Panel2->isVisible());
    EXPECT_EQ(Search("*.none"), 0);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Information);
    EXPECT_TRUE(FFrame->Panel1->isVisible());
    EXPECT_TRUE(FFrame->Panel2->isVisible());
    EXPECT_EQ(FFrame->focusWidget(), FFrame->DirectoryListBox2);
    EXPECT_FALSE(FFrame->Windows1->menuAction()->isEnabled());
    // With a window open, the window menu stays for it.
    ASSERT_EQ(Search("*.gif"), 1);
    EXPECT_EQ(Search("*.none"), 1);
    EXPECT_TRUE(FFrame->Windows1->menuAction()->isEnabled());
}

TEST_F(SerfileTest, KeyBoxKeysAsTheSystemDeliversThem) {
    // Keys go to the focus widget, as the window system hands them over.
    FFrame->activateWindow();
    QTest::mouseClick(FFrame->KeyWordEditCB->lineEdit(), Qt::LeftButton);
    TRY_EXPECT(QApplication::focusWidget() != nullptr);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus == FFrame->KeyWordEditCB || FFrame->KeyWordEditCB->isAncestorOf(focus));
    const auto select = [&] { QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier); };

    select();
    QTest::keyClick(focus, Qt::Key_Delete);
    FFrame->DirectoryListBox2Change();
    QTest::keyClick(focus, Qt::Key_Return);
    EXPECT_EQ(FFrame->ResultWindowCount(), 0);
    EXPECT_EQ(FFrame->Label1->text(), QString());

    QTest::keyClicks(focus, "*.wav");
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QString());
    EXPECT_EQ(FFrame->ResultWindowCount(), 0);

    QTest::keyClicks(focus, "*.gif");
    QTest::keyClick(focus, Qt::Key_Return);
    WaitForWalks(*FFrame);
    ASSERT_EQ(FFrame->ResultWindowCount(), 1);
    EXPECT_EQ(FFrame->ResultWindows().back()->ListBox1->Mask(), "*.gif");

    // "*" after a "*.gif" search is "*": the history completes nothing.
    FFrame->activateWindow();
    TRY_EXPECT(FFrame->isActiveWindow());
    QTest::mouseClick(FFrame->KeyWordEditCB->lineEdit(), Qt::LeftButton);
    focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    select();
    QTest::keyClicks(focus, "*");
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QStringLiteral("*"));
    QTest::keyClick(focus, Qt::Key_Return);
    WaitForWalks(*FFrame);
    ASSERT_EQ(FFrame->ResultWindowCount(), 2);
    EXPECT_EQ(FFrame->ResultWindows().back()->ListBox1->Mask(), "*");

    // Cut, paste and copy edit the key box, and in the list they are the
    // list's: the window commands have Shift with them.
    FFrame->activateWindow();
    TRY_EXPECT(FFrame->isActiveWindow());
    FFrame->MAXClick();
    QMdiSubWindow* active = FFrame->MDIArea->activeSubWindow();
    ASSERT_TRUE(active->isMaximized());
    QTest::mouseClick(FFrame->KeyWordEditCB->lineEdit(), Qt::LeftButton);
    focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    select();
    QTest::keyClick(focus, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QString());
    EXPECT_TRUE(active->isMaximized());
    QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QStringLiteral("*"));
    QTest::keyClick(focus, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(active->isMaximized());
    auto* list = FFrame->ResultWindows().back()->ListBox1;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list->SelectedCount(), list->Items().Count());
    QTest::keyClick(list, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(active->isMaximized());
    QApplication::clipboard()->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().split('\n').size(), list->Items().Count());
    EXPECT_TRUE(active->isMaximized());
    QTest::keyClick(list, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(active->isMaximized());
}

// What the program remembers comes back when it starts again: the folder and
// key searched last, the history, the filter row and the tree's width.
TEST_F(SerfileTest, ARestartBringsBackTheLastSearchAndTheLayout) {
    const std::string ini = FTree.Path("settings/TAVOLIX.INI");
    FTree.File("sub/deeper/d.gif", "GIF89a");
    FFrame->DirectoryListBox2->SelectDir(FTree.Path("sub"));
    TRY_EXPECT_EQ(FFrame->SelectedDirectory(), FTree.Path("sub"));
    for (const char* key : {"*.wav", "*.gif", "*.none"})
        Search(QString::fromUtf8(key));
    EXPECT_EQ(FFrame->KeyWordEditCB->count(), 1) << "only keys that found something";
    FFrame->FilterRowShowClick();
    FFrame->FilterRow1->MinSizeEdit->setText(QStringLiteral("5"));
    emit FFrame->FilterRow1->Changed();
    FFrame->Splitter1->setSizes({333, 500});
    emit FFrame->Splitter1->splitterMoved(333, 1);
    FFrame.reset(); // the last changes reach the file as the frame goes

    TMDIForm again(ini);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.KeyWordEditCB->currentText(), QStringLiteral("*.none"));
    EXPECT_EQ(again.KeyWordEditCB->count(), 1);
    EXPECT_EQ(again.KeyWordEditCB->itemText(0), QStringLiteral("*.gif"));
    TRY_EXPECT_EQ(again.SelectedDirectory(), FTree.Path("sub"));
    EXPECT_TRUE(again.FilterRowShown());
    EXPECT_TRUE(again.FilterRow1->isVisible());
    EXPECT_EQ(again.FilterRow1->Choice().MinSize, "5");
    EXPECT_EQ(again.Panel2->width(), 333);

    // A folder that has gone since: its nearest ancestor.
    std::filesystem::remove_all(FTree.Path("sub"));
    TMDIForm third(ini);
    TRY_EXPECT_EQ(third.SelectedDirectory(), FTree.Root());
}

TEST_F(SerfileTest, TheFirstStartIsInTheHomeFolder) {
    const char* saved = std::getenv("HOME");
    const std::string home = saved ? saved : "";
    setenv("HOME", FTree.Path("sub").c_str(), 1);
    TMDIForm fresh(FTree.Path("fresh/TAVOLIX.INI"));
    EXPECT_EQ(fresh.DriveComboBox1->Drive(), FTree.Path("sub"));
    EXPECT_TRUE(fresh.DriveComboBox1->HomeChosen());
    EXPECT_EQ(fresh.SelectedDirectory(), FTree.Path("sub") + "/");
    EXPECT_EQ(fresh.KeyWordEditCB->currentText(), QStringLiteral("*.gif"));
    EXPECT_FALSE(fresh.FilterRowShown());
    if (saved)
        setenv("HOME", home.c_str(), 1);
    else
        unsetenv("HOME");
}

// F8 shows the filter row; its filters apply while it shows, a value it
// can't read stops the search with a box naming it, and the window's title
// tells what was filtered.
TEST_F(SerfileTest, TheFilterRowFiltersWhileItShows) {
    FTree.File("big.gif", std::string(5000, 'x'));
    FFrame->activateWindow();
    QTest::keyClick(FFrame.get(), Qt::Key_F8);
    ASSERT_TRUE(FFrame->FilterRow1->isVisible());
    EXPECT_EQ(FFrame->focusWidget(), FFrame->FilterRow1->KindButton);
    FFrame->FilterRow1->KindItems[0]->trigger(); // pictures
    FFrame->FilterRow1->MinSizeEdit->setText(QStringLiteral("1k"));
    ASSERT_EQ(Search("*"), 1);
    TMDIChild* window = FFrame->ResultWindows().back();
    EXPECT_EQ(window->ListBox1->GetFileCount(), 1);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("（ 種類 = 画像 ， 1k 以上 ）")))
        << window->windowTitle().toStdString();

    FFrame->FilterRow1->MinSizeEdit->setText(QStringLiteral("lots"));
    const std::size_t boxes = TMessageBoxSeam::Shown().size();
    EXPECT_EQ(Search("*"), 1);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), boxes + 1);
    EXPECT_TRUE(TMessageBoxSeam::Shown().back().Text.contains(QStringLiteral("「 lots 」")));

    FFrame->FilterRowShow1->trigger(); // hidden: no filter, even one it can't read
    EXPECT_FALSE(FFrame->FilterRow1->isVisible());
    ASSERT_EQ(Search("*"), 2);
    EXPECT_GE(FFrame->ResultWindows().back()->ListBox1->GetFileCount(), 5)
        << "the tree's files, settings too";
    EXPECT_FALSE(FFrame->ResultWindows().back()->windowTitle().contains(QStringLiteral("種類")));
}

TEST_F(SerfileTest, KeyListsAreAChoiceOfTheSearchOptions) {
    const std::string ini = FTree.Path("settings/TAVOLIX.INI");
    const std::size_t boxes = TMessageBoxSeam::Shown().size();
    EXPECT_EQ(Search("*.gif;*.wav"), 0);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), boxes + 1);
    EXPECT_TRUE(TMessageBoxSeam::Shown().back().Text.contains(QStringLiteral("複数のキー")))
        << "the no-files box says how to search a list";
    emit FFrame->SearchOptions1->aboutToShow();
    EXPECT_FALSE(FFrame->KeyLists1->isChecked());
    FFrame->KeyLists1->trigger();
    EXPECT_EQ(tavolix::platform::GetProfileString(ini, "Search", "KeyLists"), "1");
    ASSERT_EQ(Search("*.gif;*.wav"), 1);
    EXPECT_EQ(FFrame->ResultWindows().back()->ListBox1->GetFileCount(), 3);
}

TEST_F(SerfileTest, QuickKeyReplacesTheTextAndSearchesAtOnce) {
    FFrame->KeyWordEditCB->setEditText(QStringLiteral("typed"));
    QuickKey("*.wav")->trigger();
    WaitForWalks(*FFrame);
    EXPECT_EQ(FFrame->KeyWordEditCB->currentText(), QStringLiteral("*.wav"));
    ASSERT_EQ(FFrame->ResultWindowCount(), 1);
    EXPECT_EQ(FFrame->ResultWindows().back()->ListBox1->GetFileCount(), 1);
}

TEST_F(SerfileTest, BarsHideAndComeBack) {
    struct TStep {
        std::function<void()> Do;
        bool Shown;
    };
    const std::vector<TStep> steps{
        {[&] { FFrame->DirectoryShow->trigger(); }, false},
        {[&] { emit FFrame->Utilety1->aboutToShow(); }, true},
        {[&] { FFrame->DirectoryShow->trigger(); }, false},
        {[&] { FFrame->DirectoryShow->trigger(); }, true},
        {[&] { FFrame->DirectoryShow->trigger(); }, false},
        {[&] { FFrame->MINI->trigger(); }, true},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].Do();
        EXPECT_EQ(FFrame->Panel1->isVisible(), steps[i].Shown) << i;
        EXPECT_EQ(FFrame->Panel2->isVisible(), steps[i].Shown) << i;
    }

    // The shortcut works while the window menu is still disabled.
    ASSERT_FALSE(FFrame->Windows1->menuAction()->isEnabled());
    FFrame->activateWindow();
    QTest::keyClick(FFrame.get(), Qt::Key_F5);
    EXPECT_FALSE(FFrame->Panel1->isVisible());
    QTest::keyClick(FFrame.get(), Qt::Key_F5);
    EXPECT_TRUE(FFrame->Panel1->isVisible());

    // Hidden tree: activation doesn't focus it.
    FFrame->DirectoryShow->trigger();
    FFrame->FormActivate();
    EXPECT_FALSE(FFrame->DirectoryListBox2->hasFocus());
}

TEST_F(SerfileTest, WindowCommands) {
    // F2 searches from the frame's own menu.
    FFrame->activateWindow();
    QTest::keyClick(FFrame.get(), Qt::Key_F2);
    WaitForWalks(*FFrame);
    ASSERT_EQ(FFrame->ResultWindowCount(), 1);
    FFrame->SubWindowOf(FFrame->ResultWindows().back())->close();
    TRY_EXPECT_EQ(FFrame->ResultWindowCount(), 0);

    FFrame->MAXClick(); // no window: nothing happens
    EXPECT_EQ(FFrame->ResultWindowCount(), 0);

    ASSERT_EQ(Search("*.gif"), 1);
    ASSERT_EQ(Search("*.gif"), 2);
    const auto windows = FFrame->ResultWindows();
    QMdiSubWindow* a = FFrame->SubWindowOf(windows[0]);
    QMdiSubWindow* b = FFrame->SubWindowOf(windows[1]);
    const QRect area = FFrame->MDIArea->viewport()->rect();

    FFrame->Tile1->trigger(); // side by side
    EXPECT_EQ(a->height(), area.height());
    EXPECT_EQ(b->height(), area.height());
    EXPECT_NE(a->x(), b->x());
    EXPECT_EQ(a->width() + b->width(), area.width());

    FFrame->Tile1->trigger(); // stacked
    EXPECT_EQ(a->width(), area.width());
    EXPECT_EQ(b->width(), area.width());
    EXPECT_NE(a->y(), b->y());

    FFrame->Tile1->trigger(); // side by side again
    EXPECT_EQ(a->height(), area.height());

    FFrame->MAXClick();
    EXPECT_TRUE(FFrame->MDIArea->activeSubWindow()->isMaximized());
    FFrame->MINIClick();
    EXPECT_TRUE(a->isMinimized());
    EXPECT_TRUE(b->isMinimized());
    // Icons moved about by hand come back in a row along the bottom.
    a->move(area.width() / 2, 10);
    b->move(area.width() / 3, area.height() / 2);
    FFrame->ArrangeClick();
    EXPECT_EQ(a->y() + a->height(), area.height());
    EXPECT_EQ(b->y() + b->height(), area.height());
    EXPECT_EQ(std::min(a->x(), b->x()), 0);
    EXPECT_EQ(std::abs(a->x() - b->x()), a->width());
    FFrame->NORMALClick();
    EXPECT_FALSE(a->isMinimized());
    EXPECT_FALSE(b->isMinimized());
}

TEST_F(SerfileTest, NewWindowsOpenWhollyInsideTheArea) {
    const QRect area = FFrame->MDIArea->viewport()->rect();
    for (int n = 1; n <= 9; ++n) {
        ASSERT_EQ(Search("*.gif"), n);
        const QRect window = FFrame->SubWindowOf(FFrame->ResultWindows().back())->geometry();
        EXPECT_TRUE(area.contains(window)) << n << ": " << window.x() << "," << window.y() << " "
                                           << window.width() << "x" << window.height();
    }
}

TEST_F(SerfileTest, HelpCommandOpensTheFirstTopicF1TheFocusedControlsAndNoDocumentIsTold) {
    FFrame->activateWindow();
    TRY_EXPECT(FFrame->isActiveWindow());
    FFrame->FormActivate();
    FFrame->DirectoryListBox2->setFocus();
    TRY_EXPECT(FFrame->DirectoryListBox2->hasFocus());
    FFrame->Help1->trigger();
    QTest::keyClick(FFrame->DirectoryListBox2, Qt::Key_F1);
    ASSERT_EQ(FOpened.size(), 2u);
    EXPECT_TRUE(FOpened[0].FileName.ends_with("/tavolix-help.html")) << FOpened[0].FileName;
    EXPECT_TRUE(FOpened[1].FileName.ends_with("/tavolix-help-1200.html")) << FOpened[1].FileName;

    SetHelpFilePath(QString());
    FFrame->Help1->trigger();
    SetHelpFilePath(std::nullopt);
    EXPECT_EQ(FOpened.size(), 2u);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Warning);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Text,
              QStringLiteral("ヘルプファイル tavolix-help.html が見つかりません。"));
}

// A result list is its window's only control: Tab and Shift+Tab go on to
// the frame's; Ctrl+Q quits from there as from the frame.
TEST_F(SerfileTest, TabLeavesTheResultListAndCtrlQAsksToQuit) {
    ASSERT_EQ(Search("*.gif"), 1);
    TMDIChild* child = FFrame->ResultWindows().back();
    FFrame->activateWindow();
    TRY_EXPECT(FFrame->isActiveWindow());
    for (const auto key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        child->ListBox1->setFocus();
        TRY_EXPECT(child->ListBox1->hasFocus());
        QTest::keyClick(child->ListBox1, key);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_TRUE(FFrame->Panel1->isAncestorOf(focus) || FFrame->Panel2->isAncestorOf(focus))
            << focus->metaObject()->className();
    }
    FAnswer = [](const TShownMessage&) { return TMessageResult::mrNo; };
    for (QWidget* where :
         {static_cast<QWidget*>(child->ListBox1), static_cast<QWidget*>(FFrame->DirectoryListBox2)}) {
        const std::size_t before = TMessageBoxSeam::Shown().size();
        where->setFocus();
        QTest::keyClick(where, Qt::Key_Q, Qt::ControlModifier);
        ASSERT_EQ(TMessageBoxSeam::Shown().size(), before + 1);
        EXPECT_EQ(TMessageBoxSeam::Shown().back().Text, QStringLiteral("お疲れさま !!  終了しますか ? "));
    }
    EXPECT_TRUE(FFrame->isVisible());
}

TEST_F(SerfileTest, ExitQuestionOnlyNoOrEscapeKeepsEverything) {
    ASSERT_EQ(Search("*.gif"), 1);
    for (TMessageResult answer : {TMessageResult::mrNo, EscapeResult(mbYes | mbNo)}) {
        FAnswer = [answer](const TShownMessage&) { return answer; };
        EXPECT_FALSE(FFrame->close());
        EXPECT_TRUE(FFrame->isVisible());
        EXPECT_EQ(FFrame->ResultWindowCount(), 1);
        const TShownMessage& box = TMessageBoxSeam::Shown().back();
        EXPECT_EQ(box.Kind, TMessageKind::Plain);
        EXPECT_EQ(box.Text, QStringLiteral("お疲れさま !!  終了しますか ? "));
        EXPECT_EQ(box.Buttons, mbYes | mbNo);
    }
    // The box closed by its title bar answers none of its buttons: it ends.
    FAnswer = [](const TShownMessage&) { return TMessageResult::mrNone; };
    EXPECT_TRUE(FFrame->close());
    EXPECT_EQ(FFrame->ResultWindowCount(), 0);
}

// The frame with its base folder elsewhere (a share that stops answering).
class TStallFrame : public TMDIForm {
public:
    TStallFrame(const std::string& settingsFile, std::string base)
        : TMDIForm(settingsFile), FBase(std::move(base)) {}
    tavolix::search::TSearchQuery SearchQuery() const override {
        tavolix::search::TSearchQuery query = TMDIForm::SearchQuery();
        query.BaseDir = FBase;
        return query;
    }

private:
    std::string FBase;
};

// A walk held by a folder that never answers: its window shows at once and
// the state file tells its hits while it waits; quitting stops every walk.
TEST_F(SerfileTest, AHeldWalkShowsInTheStateFileAndQuittingStopsIt) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    FFrame.reset();
    MakeFrame(std::make_unique<TStallFrame>(FTree.Path("settings/TAVOLIX.INI"), fs.Root()));
    auto* dump = new TStateDump(*FFrame, QString::fromStdString(FTree.Path("state"))); // the frame's
    const auto has = [&](const char* line) {
        return dump->StateText().split(QLatin1Char('\n')).contains(QString::fromUtf8(line));
    };
    FFrame->KeyWordEditCB->setEditText(QStringLiteral("*.gif"));
    FFrame->SearchFind1Click();
    ASSERT_EQ(FFrame->ResultWindowCount(), 1);
    TRY_EXPECT(has("window.0.count=2"));
    EXPECT_TRUE(has("searching=1"));
    EXPECT_TRUE(has("window.0.searching=1"));

    // No keeps it walking; another search runs meanwhile.
    FAnswer = [](const TShownMessage& box) {
        return box.Kind == TMessageKind::Plain ? TMessageResult::mrNo : TMessageResult::mrOK;
    };
    EXPECT_FALSE(FFrame->close());
    FFrame->KeyWordEditCB->setEditText(QStringLiteral("*.wav"));
    FFrame->SearchFind1Click();
    EXPECT_EQ(FFrame->ResultWindowCount(), 2);
    EXPECT_TRUE(has("searching=2"));

    // Yes: the walks stop where they are and the frame closes, with no box
    // about what they found.
    FAnswer = [](const TShownMessage&) { return TMessageResult::mrYes; };
    const std::size_t boxes = TMessageBoxSeam::Shown().size();
    FFrame->close();
    TRY_EXPECT(!FFrame->isVisible());
    EXPECT_EQ(FFrame->ResultWindowCount(), 0);
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), boxes + 1);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Plain); // the question alone
    FFrame.reset();
    fs.Release();
}

TEST_F(SerfileTest, SaveButtonWithoutAWindowExplains) {
    FFrame->SaveFileMSB->click();
    ASSERT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    const TShownMessage& box = TMessageBoxSeam::Shown().back();
    EXPECT_EQ(box.Kind, TMessageKind::Confirmation);
    EXPECT_EQ(box.Buttons, TButtons(mbOK));
    EXPECT_EQ(
        box.Text,
        QStringLiteral("保存すべきデータがありません。\r\n\r\n検索を行った後で、ボタンを押下して下さい。"));
}

TEST_F(SerfileTest, SaveButtonWritesThePageOfTheWindowActivatedLast) {
    ASSERT_EQ(Search("*.gif"), 1);
    ASSERT_EQ(Search("*.wav"), 2);
    const auto windows = FFrame->ResultWindows();
    TMDIChild* gifs = windows[0]->ListBox1->GetFileCount() == 2 ? windows[0] : windows[1];
    FFrame->MDIArea->setActiveSubWindow(FFrame->SubWindowOf(gifs));
    const std::string page = FTree.Path("out/gifs.html");
    TMDIChild::SetSaveFileNameProvider(
        [&](QWidget*, const QString&) { return QString::fromStdString(page); });
    FAnswer = [](const TShownMessage& shown) {
        return shown.Buttons & mbNo ? TMessageResult::mrNo : TMessageResult::mrOK;
    };
    FTree.Dir("out");
    FFrame->SaveFileMSB->click();
    TMDIChild::SetSaveFileNameProvider({});
    EXPECT_EQ(FFrame->SavedPages().Page(FFrame->SavedPages().SavedOrder()[0])[0], page);
    EXPECT_TRUE(FFrame->FSavedMenuItems[0]->text().startsWith(QStringLiteral("(&1) gifs.html ( ")));
    EXPECT_EQ(FFrame->FSavedMenuItems[0]->statusTip().contains(QStringLiteral("; キー = *.gif")), true);
}

TEST_F(SerfileTest, SavedPagesMenuShowsRegistrationsAndOpensThem) {
    EXPECT_EQ(FFrame->FSavedMenuItems[2]->text(), QStringLiteral("(&3)  (  )"));
    const std::string page = FTree.Path("pages/old.html");
    EXPECT_EQ(
        FFrame->RegisterSavedPage({page, FTree.Root() + "/", "*.gif", "2", "12", "2026/12/08 10:00:00"}),
        QString());
    EXPECT_EQ(FFrame->FSavedMenuItems[0]->text(), QStringLiteral("(&1) old.html ( 2026/12/08 10:00:00 )"));
    EXPECT_EQ(FFrame->FSavedMenuItems[0]->statusTip(),
              QString::fromStdString(" 検索ベース = " + FTree.Root() + "/  ; キー = *.gif  ; 検索数 = 2"));

    FFrame->FSavedMenuItems[0]->trigger();
    ASSERT_EQ(FOpened.size(), 1u);
    EXPECT_EQ(FOpened[0].FileName, page);
    EXPECT_EQ(FOpened[0].Folder, FTree.Path("pages"));
    EXPECT_EQ(FOpened[0].ShowCmd, 1);

    FFrame->FSavedMenuItems[1]->trigger(); // empty slot
    ASSERT_FALSE(TMessageBoxSeam::Shown().empty());
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Warning);

    std::remove(page.c_str());
    FFrame->FSavedMenuItems[0]->trigger();
    EXPECT_EQ(FOpened.size(), 1u);
    EXPECT_EQ(TMessageBoxSeam::Shown().back().Kind, TMessageKind::Confirmation);
    EXPECT_TRUE(TMessageBoxSeam::Shown().back().Text.contains(QStringLiteral(" が見つかりません。 ")));

    // A new frame reads the registration back.
    TMDIForm again(FTree.Path("settings/TAVOLIX.INI"));
    EXPECT_EQ(again.FSavedMenuItems[0]->text(), QStringLiteral("(&1) old.html ( 2026/12/08 10:00:00 )"));
}

TEST_F(SerfileTest, APageIsRegisteredByTheMountTableItWasWrittenWith) {
    // The selector's list was read when a share was mounted over the folder;
    // the system's table, which the page's links come from, says otherwise.
    FFrame->DriveComboBox1->SetVolumes(
        TMountTable(std::vector<TVolume>{{FTree.Root(), "cifs", "//srv/photos", "", "//srv/photos", true}}),
        FTree.Root());
    const std::string page = FTree.Path("pages/old.html");
    ASSERT_EQ(FFrame->RegisterSavedPage({page, FTree.Root(), "*.gif", "1", "1", "d"}), QString());
    std::ifstream file(FTree.Path("settings/TAVOLIX.INI"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("1=" + page), std::string::npos) << text;
    EXPECT_EQ(text.find("//srv/photos"), std::string::npos) << text;
}

TEST_F(SerfileTest, PagesAnotherProgramRegistersAreKeptAndShowWhenTheMenuOpens) {
    TSavedPages script(FTree.Path("settings/TAVOLIX.INI")); // tavolix-page beside the running frame
    auto record = [&](const std::string& name) -> TSavedPageFields {
        return {FTree.Path("pages/" + name), FTree.Root() + "/", "*.gif", "1", "1", "d"};
    };
    ASSERT_FALSE(script.Register(record("a.html"), {}));
    EXPECT_EQ(FFrame->RegisterSavedPage(record("b.html")), QString());
    EXPECT_EQ(FFrame->FSavedMenuItems[0]->text(), QStringLiteral("(&1) b.html ( d )"));
    EXPECT_EQ(FFrame->FSavedMenuItems[1]->text(), QStringLiteral("(&2) a.html ( d )"));

    ASSERT_FALSE(script.Register(record("c.html"), {}));
    emit FFrame->SaveData->aboutToShow();
    EXPECT_EQ(FFrame->FSavedMenuItems[0]->text(), QStringLiteral("(&1) c.html ( d )"));
    EXPECT_EQ(FFrame->FSavedMenuItems[1]->text(), QStringLiteral("(&2) b.html ( d )"));
    EXPECT_EQ(FFrame->FSavedMenuItems[2]->text(), QStringLiteral("(&3) a.html ( d )"));
}

TEST_F(SerfileTest, ASettingsFileThatIsNoFileIsToldStartsEmptyAndIsNeverWritten) {
    const std::string fifo = FTree.Path("settings.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    TMessageBoxSeam::Reset();
    TMessageBoxSeam::SetNextAnswers({});
    TMDIForm frame(fifo); // a blocking open would hang here
    frame.show();
    TRY_EXPECT_EQ(TMessageBoxSeam::Shown().size(), 1u);
    EXPECT_EQ(TMessageBoxSeam::Shown()[0].Kind, TMessageKind::Warning);
    EXPECT_TRUE(
        TMessageBoxSeam::Shown()[0].Text.startsWith(QString::fromStdString(fifo + " を読み込めません (")));
    EXPECT_EQ(frame.FSavedMenuItems[0]->text(), QStringLiteral("(&1)  (  )"));
    EXPECT_NE(frame.RegisterSavedPage({FTree.Path("pages/old.html"), FTree.Root(), "*.gif", "1", "1", "d"}),
              QString());
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SerfileTest, ClockShowsTheTimeOfDay) {
    FFrame->Timer1Timer();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(FFrame->ClockText()).hasMatch());
    EXPECT_EQ(FFrame->FClock->Text(), FFrame->ClockText());
    // Put out of step with the seconds, the clock's next tick is again just
    // after a second begins.
    TRY_EXPECT(QTime::currentTime().msec() >= 300 && QTime::currentTime().msec() < 700);
    FFrame->Timer1->start(1000);
    FFrame->Timer1Timer();
    EXPECT_TRUE(FFrame->Timer1->isActive());
    EXPECT_LT((QTime::currentTime().msec() + FFrame->Timer1->remainingTime()) % 1000, 200);

    // A maximized result window keeps its own buttons: the clock stays.
    FFrame->KeyWordEditCB->setEditText(QStringLiteral("*.gif"));
    FFrame->SearchFind1Click();
    FFrame->MAXClick();
    ASSERT_TRUE(FFrame->MDIArea->activeSubWindow()->isMaximized());
    EXPECT_TRUE(FFrame->FClock->isVisible());
    EXPECT_FALSE(FFrame->FClock->visibleRegion().isEmpty());
    WaitForWalks(*FFrame);

    // Minimized: the time goes on, the clock isn't drawn.
    FFrame->showMinimized();
    TRY_EXPECT(FFrame->isMinimized());
    FFrame->FClock->SetText(QStringLiteral("stale"));
    FFrame->Timer1Timer();
    EXPECT_EQ(FFrame->FClock->Text(), QStringLiteral("stale"));
    FFrame->showNormal();
    TRY_EXPECT_EQ(FFrame->FClock->Text(), FFrame->ClockText());
}

} // namespace

namespace {

using tavolix::platform::TMountTable;
using tavolix::platform::TVolume;

TEST(DriveComboBoxTest, StartsOnTheVolumeOfTheCurrentDirectoryAndReportsChoices) {
    const TMountTable table(std::vector<TVolume>{
        {"/", "ext4", "/dev/sda1", "root", "", false},
        {"/media/usb", "vfat", "/dev/sdb1", "", "", false},
        {"/mnt/share", "cifs", "//host/share", "", "//host/share", true},
        {"/run/user/1000", "tmpfs", "tmpfs", "", "", false},
        {"/snap/core22/1380", "squashfs", "/dev/loop1", "", "", false},
    });
    struct TCase {
        std::string CurrentDir;
        int Index;
        std::string Drive;
        bool Network;
    };
    for (const TCase& c : std::vector<TCase>{{"/media/usb/photos", 1, "/media/usb", false},
                                             {"/mnt/share", 2, "/mnt/share", true},
                                             {"/home/u", 0, "/", false},
                                             {"relative/dir", 0, "/", false}}) {
        TDriveComboBox box;
        QSignalSpy changed(&box, &TDriveComboBox::DriveChanged);
        box.SetVolumes(table, c.CurrentDir, "");
        EXPECT_EQ(box.count(), 3) << c.CurrentDir;
        EXPECT_EQ(box.currentIndex(), c.Index) << c.CurrentDir;
        EXPECT_EQ(box.Drive(), c.Drive) << c.CurrentDir;
        EXPECT_EQ(IsNetworkDriveSelected(box.EntryText(), box.Drive()), c.Network) << c.CurrentDir;
        EXPECT_EQ(changed.count(), 0) << "the owner asks for the first volume itself";
    }

    TDriveComboBox box;
    box.SetVolumes(table, "/", "");
    EXPECT_EQ(box.itemText(0), QStringLiteral("/ [root]"));
    QSignalSpy changed(&box, &TDriveComboBox::DriveChanged);
    EXPECT_TRUE(box.SelectDrive("/mnt/share"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toString(), QStringLiteral("/mnt/share"));
    EXPECT_FALSE(box.SelectDrive("/nowhere"));
    EXPECT_EQ(box.Drive(), "/mnt/share");

    TDriveComboBox empty;
    empty.SetVolumes(TMountTable(), "/", "");
    EXPECT_EQ(empty.Drive(), "");
    EXPECT_EQ(empty.EntryText(), "");
}

// The home folder comes first and is chosen for what it holds more closely
// than its volume; a volume mounted inside it holds its own folders.
TEST(DriveComboBoxTest, TheHomeFolderIsAnEntryOfItsOwn) {
    const TMountTable table(std::vector<TVolume>{
        {"/", "ext4", "/dev/sda1", "", "", false},
        {"/home", "ext4", "/dev/sda2", "", "", false},
        {"/home/u/nas", "cifs", "//host/share", "", "//host/share", true},
    });
    struct TCase {
        std::string CurrentDir;
        int Index;
        std::string Drive;
    };
    for (const TCase& c : std::vector<TCase>{{"/home/u/Pictures", 0, "/home/u"},
                                             {"/home/u", 0, "/home/u"},
                                             {"/home/uu", 2, "/home"},
                                             {"/home/u/nas/x", 3, "/home/u/nas"},
                                             {"/usr", 1, "/"}}) {
        TDriveComboBox box;
        box.SetVolumes(table, c.CurrentDir, "/home/u/");
        EXPECT_EQ(box.count(), 4);
        EXPECT_EQ(box.currentIndex(), c.Index) << c.CurrentDir;
        EXPECT_EQ(box.Drive(), c.Drive) << c.CurrentDir;
    }
    TDriveComboBox box;
    box.SetVolumes(table, "/usr", "/home/u");
    EXPECT_EQ(box.itemText(0), QStringLiteral("ホーム （ /home/u ）"));
    EXPECT_TRUE(box.SelectDrive("/home/u"));
    EXPECT_TRUE(box.HomeChosen());
    EXPECT_FALSE(IsNetworkDriveSelected(box.EntryText(), box.Drive()));
    box.setCurrentIndex(3);
    EXPECT_TRUE(IsNetworkDriveSelected(box.EntryText(), box.Drive()));
    TDriveComboBox rootHome;
    rootHome.SetVolumes(table, "/", "/");
    EXPECT_EQ(rootHome.count(), 3) << "a home folder that is the root has no entry";
}

TEST(DriveComboBoxTest, TheListIsReadAgainWhenItOpens) {
    const std::string head = "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                             "2 1 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n";
    std::string table = head;
    TDriveComboBox box;
    box.SetTableSource([&] { return TMountTable::FromText(table); });
    box.SetVolumes(TMountTable::FromText(table), "/media/usb/photos", "");
    QSignalSpy changed(&box, &TDriveComboBox::DriveChanged);

    table += "3 1 0:50 / /mnt/nas rw - cifs //srv/photos rw\n";
    box.showPopup();
    EXPECT_EQ(box.count(), 3);
    EXPECT_EQ(box.itemText(2), QStringLiteral("/mnt/nas //srv/photos"));
    EXPECT_EQ(box.Drive(), "/media/usb");
    EXPECT_EQ(changed.count(), 0);
    box.hidePopup();

    table = "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"; // the stick pulled out
    box.showPopup();
    EXPECT_EQ(box.count(), 1);
    EXPECT_EQ(box.Drive(), "/");
    ASSERT_EQ(changed.count(), 1) << "the tree follows";
    EXPECT_EQ(changed[0][0].toString(), QStringLiteral("/"));
    box.hidePopup();
}

TEST(DriveComboBoxTest, AWheelOverTheUnfocusedSelectorChoosesNothing) {
    QWidget window;
    auto* other = new QLineEdit(&window);
    auto* box = new TDriveComboBox(&window);
    box->move(0, 40);
    box->SetVolumes(TMountTable(std::vector<TVolume>{{"/", "ext4", "/dev/sda1", "", "", false},
                                                     {"/media/usb", "vfat", "/dev/sdb1", "", "", false}}),
                    "/");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    other->setFocus();
    QSignalSpy changed(box, &TDriveComboBox::DriveChanged);
    const QPointF at = box->rect().center();
    QWheelEvent down(at, box->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &down);
    EXPECT_EQ(box->Drive(), "/");
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(SerfileTest, VolumeChoiceRebuildsTheTree) {
    FFrame->DriveComboBox1->SetVolumes(
        TMountTable(std::vector<TVolume>{{"/", "ext4", "/dev/sda1", "", "", false},
                                         {FTree.Root(), "ext4", "/dev/x", "", "", false}}),
        "/", std::filesystem::path(FTree.Root()).parent_path().string()); // in the home folder: listed
    ASSERT_TRUE(FFrame->DriveComboBox1->SelectDrive(FTree.Root()));
    EXPECT_EQ(FFrame->DirectoryListBox2->Drive(), FTree.Root());
    EXPECT_EQ(FFrame->Label1->text(), QString::fromStdString("検索対象 ＝ " + FTree.Root() + "/"));
    EXPECT_FALSE(FFrame->IsNetworkDriveSelected());
}

// A key two commands share fires neither (Qt calls it ambiguous): every key
// live in the frame with a result window active (the menus in the bar, the
// commands of the widgets shown) must be one command's.
TEST_F(SerfileTest, EveryKeyOfTheFrameAndAResultWindowIsOneCommands) {
    ASSERT_EQ(Search("*.gif"), 1);
    std::map<QString, QStringList> owners;
    std::set<QAction*> seen;
    std::function<void(QAction*)> take = [&](QAction* action) {
        if (!seen.insert(action).second || action->shortcutContext() == Qt::WidgetShortcut)
            return;
        for (const QKeySequence& key : action->shortcuts())
            owners[key.toString()] << action->text();
        if (QMenu* menu = action->menu())
            for (QAction* item : menu->actions())
                take(item);
    };
    for (QAction* action : FFrame->MainMenu1->actions())
        take(action);
    for (QWidget* widget : FFrame->findChildren<QWidget*>())
        if (!qobject_cast<QMenu*>(widget) && widget->isVisible())
            for (QAction* action : widget->actions())
                take(action);
    for (int key : {Qt::Key_F2, Qt::Key_F3, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8})
        EXPECT_TRUE(owners.contains(QKeySequence(key).toString())) << key;
    for (const auto& [key, names] : owners)
        EXPECT_EQ(names.size(), 1) << key.toStdString() << ": "
                                   << names.join(QStringLiteral(" | ")).toStdString();
}

} // namespace
