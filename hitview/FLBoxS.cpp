#include "hitview/FLBoxS.h"

#include "hitview/HitStream.h"
#include "hitview/ItemDelegate.h"
#include "hitview/ListBoxModel.h"
#include "search/SearchJob.h"
#include "ui/NameText.h"
#include "ui/ScreenMetrics.h"
#include "ui/UiFonts.h"

#include <algorithm>
#include <chrono>

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDrag>
#include <QEventLoop>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

namespace tavolix::hitview {

using namespace search;

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------

int TListBoxItems::Count() const {
    return FBox.FItems->Count();
}

std::string_view TListBoxItems::Strings(int index) const {
    const TFileInfo* r = FBox.FItems->Item(index);
    return r ? r->Name() : std::string_view();
}

const TFileInfo* TListBoxItems::Objects(int index) const {
    return FBox.FItems->Item(index);
}

void TListBoxItems::Clear() {
    FBox.FItems->ClearItems();
    FBox.FModel->ItemsChanged();
}

// ---------------------------------------------------------------------------

// Lives on the stack of SearchFiles; tells it whether the list box went
// during the walk.
struct TFileListBoxS::TSearchRun {
    bool WidgetGone = false;
    bool Stop = false;
};

TFileListBoxS::TFileListBoxS(QWidget* parent, std::unique_ptr<TFileItemList> items) : QListView(parent) {
    ui::InstallFontSubstitutes();
    if (items) {
        FItems = std::move(items);
    } else {
        FItems = std::make_shared<TFileItemList>();
        FItems->StoreSortDirection(TSortDirection::sdUpword);
    }
    FModel = new TFileListModel(FItems.get(), this);
    FItems->OnClearing = [this] { FModel->ItemsClearing(); };
    FItems->OnChange = [this] {
        FModel->ItemsChanged();
        if (OnChange)
            OnChange(this);
    };

    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setLayoutMode(QListView::SinglePass);
    setUniformItemSizes(true);
    setSpacing(0);
    // Ctrl- and Shift-clicks, Shift with the arrows and Ctrl+A select several;
    // a selected item is its whole row for views that show more columns.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Sideways by whole columns, as a multi-column list box scrolls.
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setItemDelegate(new TDrawItemDelegate(this, &OnDrawItem));
    setModel(FModel);
    // Items can be dragged out to other programs; the list takes no drops.
    setDragDropMode(QAbstractItemView::DragOnly);

    THitView view;
    view.Model = FModel;
    view.Selection = [this] { return selectionModel(); };
    view.TopIndex = [this] { return TopIndex(); };
    view.SetTopIndex = [this](int index) { SetTopIndex(index); };
    FHits = std::make_unique<THitStream>(std::move(view), FItems);
    connect(FHits.get(), &THitStream::SearchStep, this, &TFileListBoxS::SearchStep);
    connect(FHits.get(), &THitStream::SearchEnding, this, &TFileListBoxS::SearchEnding);
    connect(FHits.get(), &THitStream::SearchFinished, this, &TFileListBoxS::SearchFinished);

    resize(150, 300);
    UpdateGrid();
    RefreshItems();
}

TFileListBoxS::~TFileListBoxS() {
    if (FRun)
        FRun->WidgetGone = true;
    FHits.reset();
    FItems->OnClearing = nullptr;
    FItems->OnChange = nullptr;
    FModel->Detach();
}

int TFileListBoxS::ColumnsWidth() const {
    const int width = contentsRect().width();
    return FRowsFirst ? width - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) : width;
}

void TFileListBoxS::SetRowsFirst(bool rowsFirst) {
    if (rowsFirst == FRowsFirst)
        return;
    FRowsFirst = rowsFirst;
    const int top = TopIndex();
    setFlow(rowsFirst ? QListView::LeftToRight : QListView::TopToBottom);
    setHorizontalScrollBarPolicy(rowsFirst ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(rowsFirst ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    // By whole rows, or whole columns.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    UpdateGrid();
    SetTopIndex(top);
}

void TFileListBoxS::UpdateGrid() {
    // Rows wrap where a cell would reach the viewport's last pixel column:
    // cells that fill the width exactly would leave one column out.
    const int columnWidth = std::max(1, (ColumnsWidth() - (FRowsFirst ? 1 : 0)) / std::max(1, FColumns));
    const QSize grid(columnWidth, FItemHeight);
    if (gridSize() != grid)
        setGridSize(grid);
}

void TFileListBoxS::resizeEvent(QResizeEvent* e) {
    UpdateGrid();
    QListView::resizeEvent(e);
}

void TFileListBoxS::SetColumns(int value) {
    FColumns = std::max(0, value);
    UpdateGrid();
}

void TFileListBoxS::SetItemHeight(int value) {
    if (value <= 0)
        return;
    FItemHeight = value;
    UpdateGrid();
}

void TFileListBoxS::SetGyou(int value) {
    if (value <= 0)
        return;
    BeginUpdate();
    const int selected = ItemIndex();
    const int available = height() - ui::HorizontalScrollBarHeight() - 4;
    if (available <= 0) {
        EndUpdate();
        return;
    }
    const int h = available / value;
    if (h > 40) {
        FGyou = value;
        SetItemHeight(h);
    } else {
        const int rows = available / 40;
        if (rows == 0) {
            EndUpdate();
            return;
        }
        FGyou = rows;
        SetItemHeight(available / rows);
    }
    // Only scrolled to: a selection of several hits is the user's, and a
    // resize or a tiling comes here too.
    SetTopIndex(selected);
    EndUpdate();
}

// Asked on every key and mouse move: never by listing a million selected indexes.
int TFileListBoxS::ItemIndex() const {
    const QItemSelectionModel* model = selectionModel();
    const QModelIndex current = model->currentIndex();
    if (current.isValid() && model->isSelected(current.siblingAtColumn(0)))
        return current.row();
    int first = -1;
    for (const QItemSelectionRange& range : model->selection())
        if (range.isValid() && (first < 0 || range.top() < first))
            first = range.top();
    return first;
}

void TFileListBoxS::SetItemIndex(int index) {
    if (index < 0 || index >= FModel->rowCount()) {
        selectionModel()->clear();
        return;
    }
    selectionModel()->setCurrentIndex(FModel->index(index, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::vector<std::pair<int, int>> TFileListBoxS::SelectedRanges() const {
    return SelectedRows(*selectionModel());
}

int TFileListBoxS::SelectedCount() const {
    int count = 0;
    for (const auto& [first, last] : SelectedRanges())
        count += last - first + 1;
    return count;
}

TFileListBoxS::TSelectionTotals TFileListBoxS::SelectionTotals() const {
    TSelectionTotals totals;
    const TFileInfo* first = nullptr;
    bool oneFolder = true;
    for (const auto& [from, to] : SelectedRanges())
        for (int i = from; i <= to; ++i) {
            // The records lie scattered in memory: the ones ahead are asked for now.
            if (i + 16 <= to)
                __builtin_prefetch(FItems->Item(i + 16));
            const TFileInfo* r = FItems->Item(i);
            if (!r)
                continue;
            ++totals.Count;
            totals.Bytes += r->Size;
            if (!first)
                first = r;
            else if (oneFolder && r->FDir != first->FDir && r->Dir() != first->Dir())
                oneFolder = false;
        }
    if (first && oneFolder)
        totals.Folder = first->Dir();
    return totals;
}

void TFileListBoxS::selectAll() {
    const int rows = FModel->rowCount();
    if (rows == 0 || selectionMode() != QAbstractItemView::ExtendedSelection)
        return;
    selectionModel()->select(QItemSelection(FModel->index(0, 0), FModel->index(rows - 1, 0)),
                             QItemSelectionModel::ClearAndSelect);
}

QRegion TFileListBoxS::visualRegionForSelection(const QItemSelection& selection) const {
    const int count = FModel->rowCount();
    if (count == 0)
        return {};
    // The items on the screen: from the top one, as many as the shown
    // columns (and one in part) hold.
    const int rows = std::max(1, viewport()->height() / std::max(1, FItemHeight) + 1);
    const int columns = viewport()->width() / std::max(1, gridSize().width()) + 2;
    const int first = TopIndex();
    const int last = std::min(count - 1, first + rows * columns);
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid() || range.left() > 0)
            continue;
        for (int row = std::max(first, range.top()); row <= std::min(last, range.bottom()); ++row)
            region += visualRect(FModel->index(row, 0));
    }
    return region;
}

int TFileListBoxS::TopIndex() const {
    const QModelIndex top = indexAt(QPoint(0, 0));
    return top.isValid() ? top.row() : 0;
}

void TFileListBoxS::SetTopIndex(int index) {
    if (index < 0 || index >= FModel->rowCount())
        return;
    scrollTo(FModel->index(index, 0), QAbstractItemView::PositionAtTop);
}

// ---------------------------------------------------------------------------

TGridGeometry TFileListBoxS::Geometry() const {
    // The room a list view lays its items out in: as if the scroll bar that
    // may come were there, so that it never makes the items move.
    QSize room = maximumViewportSize();
    int frame = 0;
    if (style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, this))
        frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) * 2;
    if (FRowsFirst)
        room.rwidth() -=
            style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar()) + frame;
    else
        room.rheight() -=
            style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar()) + frame;
    const QSize cell = gridSize();
    return {FModel->rowCount(),
            std::max(1, cell.width()),
            std::max(1, cell.height()),
            room.width(),
            room.height(),
            FRowsFirst};
}

QScrollBar* TFileListBoxS::LineBar() const {
    return FRowsFirst ? verticalScrollBar() : horizontalScrollBar();
}

bool TFileListBoxS::ScrollsByLine() const {
    return (FRowsFirst ? verticalScrollMode() : horizontalScrollMode()) == QAbstractItemView::ScrollPerItem;
}

int TFileListBoxS::ViewAcross() const {
    return FRowsFirst ? viewport()->height() : viewport()->width();
}

void TFileListBoxS::doItemsLayout() {
    // Nothing to lay out: the scroll bar and a repaint.
    QAbstractItemView::doItemsLayout();
}

void TFileListBoxS::updateGeometries() {
    const TGridGeometry g = Geometry();
    QScrollBar* bar = LineBar();
    (FRowsFirst ? horizontalScrollBar() : verticalScrollBar())->setRange(0, 0);
    const int across = ViewAcross();
    if (ScrollsByLine()) {
        bar->setSingleStep(1);
        bar->setPageStep(g.LinesShown(across));
        bar->setRange(0, g.LastFirstLine(across));
    } else {
        bar->setSingleStep(g.CellAcross());
        bar->setPageStep(across);
        bar->setRange(0, std::max(0, g.Lines() * g.CellAcross() - across));
    }
    QAbstractItemView::updateGeometries();
}

int TFileListBoxS::horizontalOffset() const {
    if (FRowsFirst)
        return 0;
    const int value = horizontalScrollBar()->value();
    return ScrollsByLine() ? value * std::max(1, gridSize().width()) : value;
}

int TFileListBoxS::verticalOffset() const {
    if (!FRowsFirst)
        return 0;
    const int value = verticalScrollBar()->value();
    return ScrollsByLine() ? value * std::max(1, gridSize().height()) : value;
}

void TFileListBoxS::scrollContentsBy(int dx, int dy) {
    if (ScrollsByLine()) {
        dx *= std::max(1, gridSize().width());
        dy *= std::max(1, gridSize().height());
    }
    viewport()->scroll(FRowsFirst ? 0 : dx, FRowsFirst ? dy : 0);
}

QRect TFileListBoxS::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != FModel || index.row() >= FModel->rowCount())
        return {};
    const TGridGeometry::TCell cell = Geometry().CellOf(index.row());
    const QSize size = gridSize();
    return {cell.X - horizontalOffset(), cell.Y - verticalOffset(), size.width(), size.height()};
}

QModelIndex TFileListBoxS::indexAt(const QPoint& point) const {
    const int row = Geometry().ItemAt(point.x() + horizontalOffset(), point.y() + verticalOffset());
    return row >= 0 ? FModel->index(row, 0) : QModelIndex();
}

void TFileListBoxS::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != FModel)
        return;
    const TGridGeometry g = Geometry();
    const int line = g.LineOf(index.row());
    const int shown = g.LinesShown(ViewAcross());
    QScrollBar* bar = LineBar();
    const int unit = ScrollsByLine() ? 1 : g.CellAcross();
    int first = bar->value() / unit;
    switch (hint) {
    case PositionAtTop:
        first = line;
        break;
    case PositionAtBottom:
        first = line - shown + 1;
        break;
    case PositionAtCenter:
        first = line - shown / 2;
        break;
    case EnsureVisible:
        if (line < first)
            first = line;
        else if (line >= first + shown)
            first = line - shown + 1;
        break;
    }
    bar->setValue(std::max(0, first) * unit);
}

QModelIndex TFileListBoxS::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const TGridGeometry g = Geometry();
    if (g.Count == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return FModel->index(0, 0);
    using TMove = TGridGeometry::TMove;
    const int row = current.row();
    int to = row;
    const int across = ViewAcross();
    switch (action) {
    case MoveUp:
        to = g.Moved(row, FRowsFirst ? TMove::PreviousLine : TMove::Back, across);
        break;
    case MoveDown:
        to = g.Moved(row, FRowsFirst ? TMove::NextLine : TMove::Forth, across);
        break;
    case MoveLeft:
        to = g.Moved(row, FRowsFirst ? TMove::Back : TMove::PreviousLine, across);
        break;
    case MoveRight:
        to = g.Moved(row, FRowsFirst ? TMove::Forth : TMove::NextLine, across);
        break;
    case MovePageUp:
        // A page of a list of columns is its column.
        to = FRowsFirst ? g.Moved(row, TMove::PageBack, across) : row - g.PlaceOf(row);
        break;
    case MovePageDown:
        to = FRowsFirst ? g.Moved(row, TMove::PageForth, across)
                        : std::min(g.Count - 1, row - g.PlaceOf(row) + g.PerLine() - 1);
        break;
    case MoveHome:
        to = 0;
        break;
    case MoveEnd:
        to = g.Count - 1;
        break;
    case MoveNext:
        to = std::min(row + 1, g.Count - 1);
        break;
    case MovePrevious:
        to = std::max(row - 1, 0);
        break;
    }
    return FModel->index(to, 0);
}

void TFileListBoxS::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    // The items a rectangle of the viewport touches: whole lines between
    // its ends, the ends' lines in part.
    const QRect r = rect.normalized().translated(horizontalOffset(), verticalOffset());
    const TGridGeometry g = Geometry();
    QItemSelection selection;
    if (g.Count > 0 && r.right() >= 0 && r.bottom() >= 0) {
        const int alongFrom = std::max(0, FRowsFirst ? r.left() : r.top()) / g.CellAlong();
        const int alongTo = std::min(g.PerLine() - 1, (FRowsFirst ? r.right() : r.bottom()) / g.CellAlong());
        const int lineFrom = std::max(0, FRowsFirst ? r.top() : r.left()) / g.CellAcross();
        const int lineTo = std::min(g.Lines() - 1, (FRowsFirst ? r.bottom() : r.right()) / g.CellAcross());
        for (int line = lineFrom; line <= lineTo && alongFrom <= alongTo; ++line) {
            const int first = line * g.PerLine() + alongFrom;
            const int last = std::min(g.Count - 1, line * g.PerLine() + alongTo);
            if (first <= last)
                selection.select(FModel->index(first, 0), FModel->index(last, 0));
        }
    }
    selectionModel()->select(selection, command);
}

void TFileListBoxS::paintEvent(QPaintEvent* e) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State base = option.state;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const TGridGeometry g = Geometry();
    const QRect r = e->rect().translated(horizontalOffset(), verticalOffset());
    if (g.Count == 0 || r.right() < 0 || r.bottom() < 0)
        return;
    const int alongFrom = std::max(0, FRowsFirst ? r.left() : r.top()) / g.CellAlong();
    const int alongTo = std::min(g.PerLine() - 1, (FRowsFirst ? r.right() : r.bottom()) / g.CellAlong());
    const int lineFrom = std::max(0, FRowsFirst ? r.top() : r.left()) / g.CellAcross();
    const int lineTo = std::min(g.Lines() - 1, (FRowsFirst ? r.bottom() : r.right()) / g.CellAcross());
    const QItemSelectionModel* selected = selectionModel();
    for (int line = lineFrom; line <= lineTo; ++line)
        for (int along = alongFrom; along <= alongTo; ++along) {
            const int row = line * g.PerLine() + along;
            if (row >= g.Count)
                break;
            const QModelIndex index = FModel->index(row, 0);
            option.rect = visualRect(index);
            option.state = base;
            if (selected->isSelected(index))
                option.state |= QStyle::State_Selected;
            if (base & QStyle::State_Enabled) {
                if (!(FModel->flags(index) & Qt::ItemIsEnabled))
                    option.state &= ~QStyle::State_Enabled;
                option.palette.setCurrentColorGroup(
                    option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled);
            }
            if (focus && index == current)
                option.state |= QStyle::State_HasFocus;
            itemDelegateForIndex(index)->paint(&painter, option, index);
        }
}

// ---------------------------------------------------------------------------

int TFileListBoxS::ItemAtPos(const QPoint& pos) const {
    const QModelIndex i = indexAt(pos);
    return i.isValid() ? i.row() : -1;
}

// Items show no hover state, and each repaint of one decodes its file again:
// the pointer passing over them must not repaint them.
bool TFileListBoxS::viewportEvent(QEvent* e) {
    switch (e->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::HoverLeave:
        return QAbstractScrollArea::viewportEvent(e);
    default:
        return QListView::viewportEvent(e);
    }
}

void TFileListBoxS::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() == Qt::NoButton)
        return; // pointer tracking only (the owner's status text): nothing changes here
    QListView::mouseMoveEvent(e);
}

void TFileListBoxS::BeginUpdate() {
    if (FUpdateCount++ == 0)
        setUpdatesEnabled(false);
}

void TFileListBoxS::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        setUpdatesEnabled(true);
}

void TFileListBoxS::SetProgressRefresh(int intervalMs, std::function<std::int64_t()> clockMs) {
    FProgressIntervalMs = std::max(0, intervalMs);
    FProgressClock = std::move(clockMs);
}

bool TFileListBoxS::SearchFiles(const std::string& baseDir) {
    if (IsSearching())
        return false;
    TSearchRun run;
    FRun = &run;
    // Keeps the records alive should this list box be destroyed mid-walk.
    const std::shared_ptr<TFileItemList> items = FItems;

    // Whatever way this ends, the progress window goes and the search is over
    // (unless the list box itself has gone).
    struct TEndOfSearch {
        TFileListBoxS* Box;
        TSearchRun& Run;
        ~TEndOfSearch() {
            if (Run.WidgetGone)
                return;
            if (Box->FProgressForm) {
                Box->FProgressForm->hide();
                delete Box->FProgressForm.data();
            }
            Box->FRun = nullptr;
        }
    };
    {
        TEndOfSearch end{this, run};
        FProgressForm = new TSearchProgressForm(this);
        FProgressForm->show();
        Items().Clear(); // no item may point at a record about to be released
        TFileInfoList& files = items->Files();
        files.ClearFiles();
        const std::unique_ptr<TSearchJob> job = TSearchJob::Start(files, baseDir);
        {
            TProgressRelay relay([&run] { return run.WidgetGone || run.Stop; }, files, *job, FProgressForm,
                                 FProgressIntervalMs, FProgressClock, [this] { emit SearchStep(); });
            QEventLoop loop;
            QTimer tick;
            tick.setInterval(kSearchTickMs);
            QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
                if (!relay.Tick())
                    loop.quit();
            });
            tick.start();
            // A tiny tree is walked before the first tick.
            if (!job->WaitForEnd(std::chrono::milliseconds(kSearchTickMs)))
                loop.exec();
        }
        // A walk that does not end when asked is stuck in the kernel (a share
        // that stopped answering): it is left behind with what it found.
        if (!job->StopAndWait(std::chrono::milliseconds(kStopGraceMs)))
            job->Abandon();
        job->Finish(files);
        if (run.WidgetGone)
            return false;
        RefreshItems();
    }
    emit SearchFinished();
    if (FCloseRequested) {
        FCloseRequested = false;
        close();
    }
    if (FDeleteRequested) {
        // deleteLater on this object again would be dropped (Qt keeps one
        // request per object); a stand-in carries it with the same timing.
        auto* request = new QObject;
        connect(request, &QObject::destroyed, this, [this] { delete this; });
        request->deleteLater();
    }
    return true;
}

void TFileListBoxS::StopSearch() {
    if (FRun)
        FRun->Stop = true;
    FHits->Stop();
}

TSortOrder TFileListBoxS::SortOrder() const {
    return FHits->SortOrder();
}

bool TFileListBoxS::IsSorting() const {
    return FHits->IsSorting();
}

void TFileListBoxS::SetSortOrder(TSortOrder value) {
    FHits->SetSortOrder(value);
}

void TFileListBoxS::SettleOrder() {
    FHits->SettleOrder();
}

void TFileListBoxS::SetQuery(const search::TSearchQuery& query) {
    SetMask(query.Key);
    TFileInfoList& files = FItems->Files();
    files.SetWalkOptions(query.Walk);
    files.SetWalkThreads(query.Threads);
    files.SetOpenDirectoryLimit(query.OpenDirectoryLimit);
}

bool TFileListBoxS::StartSearch(const std::string& baseDir, TSearchJob::TWalkRun walk) {
    return !IsSearching() && FHits->Start(baseDir, std::move(walk));
}

bool TFileListBoxS::IsSearching() const {
    return FRun != nullptr || FHits->Running();
}

std::string TFileListBoxS::SearchPath() const {
    return FHits->Path();
}

bool TFileListBoxS::event(QEvent* e) {
    // Deleting now would pull the list out from under the walk: later.
    if (e->type() == QEvent::DeferredDelete && FRun) {
        FDeleteRequested = true;
        return true;
    }
    return QListView::event(e);
}

void TFileListBoxS::closeEvent(QCloseEvent* e) {
    if (FRun) {
        FCloseRequested = true;
        e->ignore();
        return;
    }
    QListView::closeEvent(e);
}

std::string TFileListBoxS::GetSelectedPath() const {
    return FItems->GetFilePath(ItemIndex());
}
std::string TFileListBoxS::GetSelectedAttrText() const {
    return FItems->GetAttrText(ItemIndex());
}
std::string TFileListBoxS::GetSelectedTimeText() const {
    return FItems->GetTimeText(ItemIndex());
}
std::string TFileListBoxS::GetSelectedSizeText() const {
    return FItems->GetSizeText(ItemIndex());
}
std::int32_t TFileListBoxS::GetFileCount() const {
    return FItems->GetFileCount();
}
std::int64_t TFileListBoxS::GetTotalSize() const {
    return FItems->GetTotalSize();
}
void TFileListBoxS::AdjustFileCount(std::int64_t delta) {
    FItems->AdjustFileCount(delta);
}
void TFileListBoxS::AdjustTotalSize(std::int64_t delta) {
    FItems->AdjustTotalSize(delta);
}

void TFileListBoxS::SelectFileName(std::string_view path) {
    const int index = FItems->FindFileName(path);
    if (index >= 0)
        SetItemIndex(index);
}

std::string TFileListBoxS::GetSelectedDir() const {
    return FItems->GetDir(ItemIndex());
}
std::string TFileListBoxS::GetFilePath(int index) const {
    return FItems->GetFilePath(index);
}
std::string TFileListBoxS::GetDateText(int index) const {
    return FItems->GetDateText(index);
}
std::string TFileListBoxS::GetSizeText(int index) const {
    return FItems->GetSizeText(index);
}

void TFileListBoxS::startDrag(Qt::DropActions) {
    const int index = ItemIndex();
    QMimeData* data = index >= 0 && OnStartDrag ? OnStartDrag(index) : nullptr;
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The receiver copies, moves or links the file itself; the list stays
    // as it is whatever it did.
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

void TFileListBoxS::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    if (!OnContextPopup)
        return;
    if (e->reason() == QContextMenuEvent::Mouse) {
        // Delivered through the viewport: the position is the viewport's.
        const int index = ItemAtPos(e->pos());
        if (index >= 0)
            OnContextPopup(index, e->globalPos());
        return;
    }
    const int index = ItemIndex();
    if (index < 0)
        return;
    const QRect item = visualRect(FModel->index(index, 0)).intersected(viewport()->rect());
    OnContextPopup(index, viewport()->mapToGlobal(item.isEmpty() ? QPoint(0, 0) : item.center()));
}

} // namespace tavolix::hitview
