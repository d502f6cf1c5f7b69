#pragma once

#include "app/CaptionClock.h"
#include "app/FramePlacement.h"
#include "app/about.h"
#include "results/ResultWindowHost.h"
#include "settings/SavedPages.h"

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QString>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenuBar;
class QMenu;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolButton;

namespace tavolix::dirtree {
class TDirTreeViewS;
}
namespace tavolix::results {
class TMDIChild;
}
namespace tavolix::thumbs {
class TThumbnailPool;
}

namespace tavolix::app {

class TDriveComboBox;
class TFilterRow;
class TFrameMemory;
class TSavedPagesMenu;
class TSearchBar;
class TWalkChoices;
class TWindowArranger;

// The main frame: search bars, directory panel, saved pages, and the result
// windows as MDI children.
class TMDIForm : public QMainWindow, public results::TResultWindowHost {
    Q_OBJECT
public:
    // Without a settings file name: settings::SettingsFilePath() ($TAVOLIX_SETTINGS
    // when set).
    explicit TMDIForm(std::optional<std::string> settingsFile = std::nullopt, QWidget* parent = nullptr);
    ~TMDIForm() override;

    // The box About1Click shows; without one the frame makes its own.
    void SetAboutBox(TAboutBox* box) { FAboutBox = box; }
    TAboutBox* AboutBox() const { return FAboutBox; }

    // TResultWindowHost
    search::TSearchQuery SearchQuery() const override;
    std::string SelectedDirectory() const;
    std::string KeyText() const;
    void AddKeyToHistory(const std::string& key) override;
    int FrameWidth() const override;
    int DirectoryPanelWidth() const override;
    int DirectoryPanelHeight() const override;
    void ShowPanels() override;
    void SetQuickKeysEnabled(bool enabled) override;
    void SetWindowMenuEnabled(bool enabled) override;
    void SetStatusText(const QString& text) override;
    int ResultWindowCount() const override;
    void FocusDirectoryTree() override;
    void SearchFind1Click() override;
    void QuitClick() override { Close1Click(); }
    void Help1Click() override;
    void ShowHelpTopic(int topic) override;
    void About1Click() override;
    bool IsNetworkDriveSelected() const override;
    QString RegisterSavedPage(const std::array<std::string, 6>& record) override;
    QWidget* DialogParent() override { return this; }
    // Read from the settings file each time: another program may change them;
    // the filter row's filters while it is shown.
    search::TWalkOptions WalkOptions() const;
    settings::TFilterChoice FilterChoice() const;
    settings::TViewChoices ViewChoices() const override { return FViewState->Choices(); }
    void SetViewChoices(const settings::TViewChoices& choices) override;
    thumbs::TThumbnailPool* ThumbnailPool() override;
    // The frame was maximised when the user last left it: a normal start
    // shows it so again.
    bool StartsMaximized() const { return FPlacement.StartsMaximized(); }

    // Commands.
    void Close1Click();
    void allClick(QAction* sender);
    void DirectoryShowClick();
    void Utilety1Click();
    void SaveFileMSBClick();
    void SaveData1Click(QAction* sender);
    void Tile1Click();
    void Cascade1Click();
    void NextChild1Click();
    void MAXClick();
    void NORMALClick();
    void MINIClick();
    void ArrangeClick();
    void Timer1Timer();
    void FormActivate();
    void DirectoryListBox2Change();
    void DriveComboBox1Change();
    void SaveDataClick();
    // The walk's choices: the check marks from the settings file, and each
    // change written there at once.
    void SearchOptions1Click();
    void HiddenFolders1Click();
    void OneFileSystem1Click();
    void KeyLists1Click();
    void ExcludeFolders1Click();
    // F8: shows or hides the filter row; its filters apply while it shows.
    void FilterRowShowClick();
    bool FilterRowShown() const;

    // The result windows, in activation order (the one activated last at the end).
    std::vector<results::TMDIChild*> ResultWindows() const;
    QMdiSubWindow* SubWindowOf(results::TMDIChild* child) const;
    const settings::TSavedPages& SavedPages() const;
    bool TileVertical() const;
    bool CaptionActive() const { return FCaptionActive; }
    const QString& ClockText() const { return FClockText; }

    // The controls, for tests.
    QMdiArea* MDIArea;
    // The menu bar (the frame's menu widget is the row it shares with the clock).
    QMenuBar* MainMenu1;
    QFrame* Panel1;
    TFilterRow* FilterRow1;
    QSplitter* Splitter1; // the tree pane and the result windows' area
    QComboBox* KeyWordEditCB;
    QToolButton* SerchSB;
    QToolButton* SaveFileMSB;
    QLabel* Label1;
    QFrame* Panel2;
    dirtree::TDirTreeViewS* DirectoryListBox2;
    QFrame* Panel3;
    TDriveComboBox* DriveComboBox1;
    QStatusBar* StatusBar1;
    std::array<QLabel*, 2> StatusPanels{};
    QTimer* Timer1;
    TCaptionClock* FClock;

    QMenu* File1;
    QMenu* SetEdit1;
    QMenu* Utilety1;
    QMenu* SearchOptions1;
    QMenu* SaveData;
    QMenu* Windows1;
    QAction* Close1;
    QAction* Help1;
    QAction* About1;
    QAction* SearchFind1;
    QAction* HTMLSave;
    QAction* HiddenFolders1;
    QAction* OneFileSystem1;
    QAction* KeyLists1;
    QAction* ExcludeFolders1;
    QAction* FilterRowShow1;
    QAction* DirectoryShow;
    QAction* Tile1;
    QAction* Cascade1;
    QAction* NextChild1;
    QAction* MAX;
    QAction* NORMAL;
    QAction* MINI;
    QAction* Arrange;
    std::vector<QAction*> QuickKeys;
    std::array<QAction*, settings::kSavedPageSlots> FSavedMenuItems{};

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const std::string& SettingsFile() const;
    void BuildBars();
    QWidget* BuildSearchBar(QWidget* parent);
    QWidget* BuildTreePanel(QWidget* parent);
    void BuildStatusBar();
    void BuildMenus();
    void AssignHints();
    void RebuildMenuBar();
    void CreateResultWindow(const std::string& dir, const std::string& key);
    void SubWindowActivated(QMdiSubWindow* window);
    void FocusChanged(QWidget* old, QWidget* now);
    bool IsFrameControl(const QWidget* widget) const;
    std::vector<QMdiSubWindow*> ResultSubWindows() const;
    bool FormCloseQuery();
    // The filter row, the tree's width and the frame's size reach the
    // settings file a moment after their last change (at once by
    // WriteMemoryNow, and at the end).
    void RememberLater();
    void WriteMemoryNow();
    // F1: the help topic of the focused control.
    void Help1KeyPress();
    // Closes the frame once the last walk has returned, when the exit was
    // confirmed during a walk.
    void FinishExitAfterWalks();

    // Also the keeper of the settings file's name.
    TSavedPagesMenu* FSavedPagesMenu;
    // How new result windows show their hits; read with the saved pages.
    std::unique_ptr<settings::TViewState> FViewState;
    platform::TIoResult FSettingsReadError; // told once the frame shows
    std::map<int, QMenu*> FOwnMenus;
    QPointer<TAboutBox> FAboutBox;
    QString FTitle;
    QString FClockText;
    bool FCaptionActive = false;
    bool FShownOnce = false;
    int FCreating = 0; // result windows still running their search inside creation
    bool FExitConfirmed = false;
    bool FBackFromElsewhere = false;
    TFrameMemory* FMemory = nullptr;
    TFramePlacement FPlacement{*this};
    TSearchBar* FSearchBar = nullptr;
    TWalkChoices* FWalkChoices = nullptr;
    std::unique_ptr<TWindowArranger> FArranger;
    // Started with the first window that asks for a picture.
    std::unique_ptr<thumbs::TThumbnailPool> FThumbnailPool;
};

} // namespace tavolix::app
