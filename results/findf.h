#pragma once

#include "hitview/HitColumns.h"
#include "platform/AtomicFile.h"
#include "results/ResultWindowHost.h"
#include "search/FileInfo.h"
#include "search/WalkOptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

class QAbstractItemView;
class QAction;
class QFrame;
class QKeyEvent;
class QHeaderView;
class QLayout;
class QLabel;
class QMenu;
class QPainter;
class QStatusBar;
class QStandardItemModel;
class QTimer;
class QToolButton;

namespace tavolix::hitview {
class TFileListBoxS;
} // namespace tavolix::hitview

namespace tavolix::results {

class TDetailsView;
class THitActions;
class TPageSaver;
class TPictureView;
class TResultOrder;
class TResultStatus;
class TResultViews;

// The window that runs one search and shows its hits.
class TMDIChild : public QWidget {
    Q_OBJECT

public:
    explicit TMDIChild(TResultWindowHost& host, QWidget* parent = nullptr);
    ~TMDIChild() override;

    // Starts the search; the hits show as the walk finds them. Returns false
    // when the walk ended at once with nothing found (the information box
    // was shown, unless it was stopped): the caller closes and deletes the
    // window without showing it. A walk that ends later without hits shows
    // the box and closes the window.
    bool FormCreate();
    // Runs this window's search again in place: its folder, key, filters and
    // walk choices; its view and order stay.
    void SearchAgain1Click();
    // The walk runs (hits are still coming).
    bool Searching() const;

    struct TMenuGroup {
        int Group;
        QMenu* Menu;
    };
    // The menus with their merge groups, owned by the window.
    std::vector<TMenuGroup> MenuGroups() const;

    // Help numbers, window menu; the list takes the focus unless `takeFocus`
    // is false (the frame came back from another program).
    void FormActivate(bool takeFocus = true);
    // The help topic F1 opens: the help number of the widget or its nearest
    // ancestor in this window that has one, of a menu's highlighted item, or
    // the window's own.
    int HelpTopicOf(const QWidget* widget) const;
    int HelpTopicOf(const QMenu* menu) const;
    // Writes the page of the hits in their current order.
    void HTMLH1Click();

    hitview::TFileListBoxS* ListBox1;

    // The save dialog's answer (empty = cancelled); an empty function
    // restores the file dialog.
    using TSaveFileNameProvider = std::function<QString(QWidget* parent, const QString& lastName)>;
    static void SetSaveFileNameProvider(TSaveFileNameProvider provider);

    // The components, for the frame and tests.
    QFrame* Panel1;
    QLabel* PanelLabel;
    QHeaderView* HeaderControl1;
    QStatusBar* StatusBar1;
    QLabel* StatusPanels[4];
    // The folders the search could not read, on a line of its own below the
    // panels; hidden when every folder was read.
    QLabel* UnreadPanel;
    // Beside it, the folders the walk's choices left out (dot folders,
    // exclusions, other file systems); hidden when there were none.
    QLabel* NotSearchedPanel;
    // While the walk runs: the folder being read, and the button that stops it.
    QLabel* WalkPanel;
    QToolButton* StopButton;

    QMenu* File1;
    QMenu* ChildOP;
    QMenu* GyouRetsu;
    QMenu* N4;
    QMenu* N5;
    QAction* Close1;
    QAction* Quit1;
    QAction* Help1;
    QAction* About1;
    QAction* Find1;
    QAction* SearchAgain1;
    QAction* HTMLH1;
    // Pages with thumbnails (checkable).
    QAction* PageThumbnails1;
    // The pictures view (checkable).
    QAction* PictureView1;
    // The details view (checkable): one row a hit, with its folder, size,
    // date and type, in place of the grid and its header.
    QAction* Details1;
    TDetailsView* DetailsView1;
    bool DetailsShown() const;
    // The view the hits show in: ListBox1 or DetailsView1.
    QAbstractItemView* CurrentView() const;
    // The order menu: folder, name, extension, size, time, and the way round.
    QMenu* Sort1;
    QAction* SortBy1[hitview::kSortChoiceCount];
    QAction* Reverse1;
    // The pictures' size in the pictures view: small, medium, large
    // (checkable, one at a time), and a step up or down.
    QAction* PictureSizes1[3];
    QAction* PictureLarger1;
    QAction* PictureSmaller1;
    // The status bar's panels as one line ("3 / 12 | 1,234 Bytes | ...").
    QString StatusText() const;

    // The pictures made off this window's thread.
    TPictureView& Pictures() const { return *FPictures; }

    // The hit's context menu on ListBox1 (right click or the Menu key).
    QMenu* PopupMenu1;
    QAction* Open1;
    QAction* OpenFolder1;
    QAction* CopyPath1;
    QAction* CopyName1;

signals:
    // The walk has ended (with or without hits, stopped or not).
    void WalkEnded();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The parts of the window, top to bottom.
    QWidget* BuildHeader();
    QWidget* BuildList();
    QWidget* BuildDetails();
    void BuildMenus();
    void AssignHints();
    void StartWalk();
    void ListBox1SearchEnding();
    void ListBox1SearchFinished();
    // Why nothing was found, in a box of the frame's.
    void ShowNoHitBox();
    // The commands that need every hit wait for the walk's end.
    void UpdateWalkCommands();
    void HeaderControl1SectionClick(int section);
    void ListBox1Click();
    void ListBox1KeyUp();
    bool ListBox1KeyDown(int key);
    void ListBox1MouseMove(const QPoint& pos);
    void ListBox1DblClick();
    void ListBox1DrawItem(QPainter& painter, int index, const QRect& rect, bool selected);
    void Close1Click();
    void PageThumbnails1Click();
    void DetailsView1MouseMove(const QPoint& pos);
    void SaveColumnWidths();
    // Keys both views share: F12, Enter, Ctrl+C, Shift+F10. True when taken.
    bool ViewKeyDown(QAbstractItemView* view, QKeyEvent* key);
    // Tab and Shift+Tab: the frame's next or previous control.
    void FocusNextControl(bool next);
    void SelectionChanged();
    // The window as the frame shows it: the MDI subwindow when there is one.
    QWidget* OuterWindow();
    void CloseWindow();

    TResultWindowHost& FHost;
    // What this window searches, as it was handed to it.
    search::TSearchQuery FQuery;
    // FormCreate waits for a walk that ends at once.
    bool FCreating = false;
    // Closing while the walk runs: its end shows no box.
    bool FClosing = false;
    // A search again: the key is in the history already.
    bool FAgain = false;
    // The details view's top hit while the order changes.
    const search::TFileInfo* FDetailsTop = nullptr;

    QStandardItemModel* FHeaderModel;
    TPictureView* FPictures;
    TPageSaver* FPageSaver;
    // The window's parts with logic of their own.
    std::unique_ptr<TResultStatus> FStatus;
    std::unique_ptr<THitActions> FHits;
    std::unique_ptr<TResultOrder> FOrder;
    std::unique_ptr<TResultViews> FViews;
    bool FCloseRequested = false;
    bool FSelectionStatusQueued = false;
    QTimer* FColumnsTimer;
};

} // namespace tavolix::results
