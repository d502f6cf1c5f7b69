#pragma once

#include "hitview/GridGeometry.h"
#include "hitview/HitStream.h"
#include "hitview/ItemDelegate.h"
#include "hitview/SearchProgressForm.h"
#include "search/FileItems.h"
#include "search/FileSort.h"
#include "search/SearchJob.h"
#include "search/SearchQuery.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QListView>
#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;
class QMimeData;
class QMouseEvent;
class QScrollBar;

namespace tavolix::hitview {

using search::TFileInfo;
using search::TFileItemList;
using search::TLocaleFormats;
using search::TSortDirection;
using search::TSortOrder;
using search::TWalkOptions;

class TFileListModel;
class TFileListBoxS;

// The items of a list box: each is the name of a record (its text) and the
// record itself (its object). Both are read from the records on demand.
class TListBoxItems {
public:
    explicit TListBoxItems(TFileListBoxS& box) : FBox(box) {}
    int Count() const;
    // "" and nullptr outside 0..Count()-1.
    std::string_view Strings(int index) const;
    const TFileInfo* Objects(int index) const;
    void Clear();

private:
    TFileListBoxS& FBox;
};

// The result list: holds one search and shows one item per shown record,
// top to bottom and then on in the next column. A view over TFileItemList.
//
// The list box and its records outlive a search that runs in it: while
// SearchFiles walks (and lets the event loop run), a second SearchFiles is
// refused, a close of the list box waits for the end of the walk, and a
// deleteLater is carried out after it. If the list box is destroyed anyway
// (its owner deleted during the walk), the walk finishes without it and its
// SearchFiles returns false without touching it. Owners that want to close
// during a search ask IsSearching() and close on SearchFinished.
class TFileListBoxS : public QListView {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TFileListBoxS* sender)>;
    using TDrawItemEvent = hitview::TDrawItemEvent;
    using TStartDragEvent = std::function<QMimeData*(int index)>;
    using TContextPopupEvent = std::function<void(int index, const QPoint& globalPos)>;

    // `items`, when given, is taken over with its records (tools and
    // benchmarks fill one beforehand); otherwise an empty list is made.
    explicit TFileListBoxS(QWidget* parent = nullptr, std::unique_ptr<TFileItemList> items = nullptr);
    ~TFileListBoxS() override;

    // The order asked for last; a long list is sorted on a thread of its
    // own and keeps its order until the sort is done (IsSorting), while the
    // window goes on answering. One sort runs at a time: the last order
    // asked for meanwhile follows it.
    TSortOrder SortOrder() const;
    void SetSortOrder(TSortOrder value);
    bool IsSorting() const;
    // A sort under way is waited for and applied (before the items are
    // handed on as they stand, e.g. to a page).
    void SettleOrder();
    TSortDirection SortDirection() const { return FItems->SortDirection(); }
    void SetSortDirection(TSortDirection value) { FItems->SetSortDirection(value); }
    const std::string& Mask() const { return FItems->Mask(); }
    void SetMask(std::string_view value) { FItems->SetMask(value); }
    // The key, the walk's choices, its threads and its open folders of the
    // next StartSearch (its folder is StartSearch's own).
    void SetQuery(const search::TSearchQuery& query);
    bool ShowHiddenSysFile() const { return FItems->ShowHiddenSysFile(); }
    void SetShowHiddenSysFile(bool value) { FItems->SetShowHiddenSysFile(value); }
    bool SeparateExt() const { return FItems->SeparateExt(); }
    void SetSeparateExt(bool value) { FItems->SetSeparateExt(value); }
    int Gyou() const { return FGyou; }
    // Rows per column; sets the item height so that they fill the list.
    void SetGyou(int value);

    int Columns() const { return FColumns; }
    void SetColumns(int value);
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value);
    // Items along the rows, scrolled down, as a file manager's icons; else
    // down the columns, scrolled sideways (the list box's own way).
    bool RowsFirst() const { return FRowsFirst; }
    void SetRowsFirst(bool rowsFirst);
    // The width the columns share: a list of rows leaves room for its
    // scroll bar, so that it never hides the last column.
    int ColumnsWidth() const;

    TListBoxItems Items() { return TListBoxItems(*this); }
    // The model of the items, for other views of them (which may share its
    // selection).
    TFileListModel* Model() const { return FModel; }
    // The selected item: the current one when it is selected, else the
    // first selected; -1 when nothing is selected. Setting it selects that
    // item alone; -1 or an index out of range clears the selection.
    int ItemIndex() const;
    void SetItemIndex(int index);
    // Several items may be selected: as ascending, disjoint ranges of
    // indexes (first, last).
    std::vector<std::pair<int, int>> SelectedRanges() const;
    int SelectedCount() const;
    // What the selected items add up to; Folder is their folder when they
    // share one, else empty.
    struct TSelectionTotals {
        std::int64_t Count = 0;
        std::int64_t Bytes = 0;
        std::string_view Folder;
    };
    TSelectionTotals SelectionTotals() const;
    // One range, however many items.
    void selectAll() override;
    // The first item of the leftmost shown column; setting it scrolls that
    // item's column to the left edge as far as the list allows.
    int TopIndex() const;
    void SetTopIndex(int index);
    // The item under a point of the viewport, or -1.
    int ItemAtPos(const QPoint& pos) const;
    void BeginUpdate();
    void EndUpdate();

    // Called at the end of every fill.
    TNotifyEvent OnChange;
    // Paints one item. The painter comes prepared with the list's font, the
    // text and background colours (highlight colours for a selected item)
    // and an opaque background for text; without a handler the name is drawn.
    TDrawItemEvent OnDrawItem;
    // The data a drag of the selected items carries out of the list (the drag
    // takes it over); `index` is the selected item. Without a handler, or
    // when it gives nullptr, the press and move stay a selection. Nothing is
    // dropped on the list itself.
    TStartDragEvent OnStartDrag;
    // A context menu is asked for an item: with the mouse, the item under the
    // pointer; from the keyboard, the selected item. `globalPos` is where the
    // menu goes. Not called when there is no such item.
    TContextPopupEvent OnContextPopup;

    void SetFormats(const TLocaleFormats& formats) { FItems->SetFormats(formats); }
    const TLocaleFormats& Formats() const { return FItems->Formats(); }
    void SetScreenDateForm(const platform::TScreenDateForm& form) { FItems->SetScreenDateForm(form); }

    // Walks `baseDir` with the progress window and fills the items. The walk
    // runs on a thread of its own while the event loop runs here; a stopped
    // walk that does not end at once (stuck on a share that stopped
    // answering) is left behind, and the records found so far are shown.
    // Returns false, doing nothing, while a search already runs in this list
    // box, and also when the list box was destroyed during the walk.
    bool SearchFiles(const std::string& baseDir);
    // Starts walking `baseDir` and returns at once, the progress window
    // unused: the hits are appended to the items in the order found, at
    // each SearchStep, never waiting on the file system. When the walk ends
    // (or StopSearch ends it) the rest is taken, the sort order applied with
    // the selected items and the top item kept (many hits are sorted on a
    // thread of their own meanwhile), and SearchFinished emitted;
    // a walk that ended at once has done so before this returns. Destroying
    // the list box stops the walk. False, doing nothing, while a search runs.
    // `walk`, when given, runs in place of the walk of `baseDir`.
    bool StartSearch(const std::string& baseDir, search::TSearchJob::TWalkRun walk = {});
    // The entry a running StartSearch walk looks at; "" when none runs.
    std::string SearchPath() const;
    // The choices of the next searches (dot folders, exclusions, one file system).
    void SetWalkOptions(TWalkOptions options) { FItems->Files().SetWalkOptions(std::move(options)); }
    bool IsSearching() const;
    // Ends a running walk at its next entry, as closing the progress window
    // does; the records found so far are kept and shown. A StartSearch walk
    // has ended when this returns, and SearchFinished has been emitted
    // unless the hits are many: their order comes from a thread of its own.
    void StopSearch();
    // The last search was stopped before the walk was through.
    bool SearchStopped() const { return FItems->Files().Stats().Stopped; }
    TSearchProgressForm* ProgressForm() const { return FProgressForm; }
    // The progress labels are set at most every `intervalMs` of the clock
    // (milliseconds; a steady clock unless one is given), at a tick of the
    // search, to the latest entry.
    void SetProgressRefresh(int intervalMs, std::function<std::int64_t()> clockMs = {});

    void RefreshItems() { FItems->RefreshItems(); }
    void FillItems() { FItems->FillItems(); }
    bool IsFileShown(std::uint32_t attr) const { return FItems->IsFileShown(attr); }
    const TFileItemList& FileItems() const { return *FItems; }

    virtual std::string GetSelectedPath() const;
    virtual std::string GetSelectedAttrText() const;
    virtual std::string GetSelectedTimeText() const;
    virtual std::string GetSelectedSizeText() const;
    virtual std::int32_t GetFileCount() const;
    virtual std::int64_t GetTotalSize() const;
    virtual void AdjustFileCount(std::int64_t delta);
    virtual void AdjustTotalSize(std::int64_t delta);
    virtual void SelectFileName(std::string_view path);

    std::string GetSelectedDir() const;
    std::string GetFilePath(int index) const;
    std::string GetDateText(int index) const;
    // The date and time as the windows write them: the locale's order with
    // the year in four digits ("08.12.2026 13:05"); "" for -1.
    std::string GetScreenTimeText(int index) const { return FItems->GetScreenTimeText(index); }
    std::string GetSizeText(int index) const;
    const char* GetSortOrderName() const { return search::SortOrderName(SortOrder()); }
    const char* GetSortDirectionName() const { return FItems->GetSortDirectionName(); }

signals:
    // A StartSearch walk has ended; the items are about to be sorted.
    void SearchEnding();
    // A search has ended and the items are filled.
    void SearchFinished();
    // At each tick of a running walk (every few milliseconds), after the
    // records found so far were taken and the labels set.
    void SearchStep();

public:
    // Items are placed by arithmetic, not laid out one by one (GridGeometry.h):
    // a list of millions costs no more to show, grow or scroll than a short one.
    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    void paintEvent(QPaintEvent* e) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool event(QEvent* e) override;
    // Only the items on the screen are looked at, however many are selected.
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    bool viewportEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    struct TSearchRun;
    friend class TListBoxItems;

    TGridGeometry Geometry() const;
    // The scroll bar that moves the lines, and whether it counts lines or pixels.
    QScrollBar* LineBar() const;
    bool ScrollsByLine() const;
    int ViewAcross() const;
    void UpdateGrid();

    std::shared_ptr<TFileItemList> FItems;
    TFileListModel* FModel;
    int FGyou = 6;
    int FColumns = 0;
    int FItemHeight = 40;
    bool FRowsFirst = false;
    int FUpdateCount = 0;
    TSearchRun* FRun = nullptr;
    // StartSearch's walks and the sorts of long lists.
    std::unique_ptr<THitStream> FHits;
    QPointer<TSearchProgressForm> FProgressForm;
    bool FCloseRequested = false;
    bool FDeleteRequested = false;
    int FProgressIntervalMs = 33;
    std::function<std::int64_t()> FProgressClock;
};

} // namespace tavolix::hitview
