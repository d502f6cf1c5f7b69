#include "results/DetailsView.h"

#include "hitview/FLBoxS.h"
#include "hitview/ListBoxModel.h"
#include "platform/Directory.h"
#include "results/ItemPainter.h"
#include "search/FieldText.h"
#include "ui/NameText.h"
#include "ui/ScreenMetrics.h"

#include <algorithm>
#include <cmath>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDrag>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeDatabase>
#include <QPainter>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

namespace tavolix::results {

using hitview::TFileListBoxS;
using hitview::TFileListModel;
using search::TFileInfo;
using search::TSortDirection;
using search::TSortOrder;

namespace {

constexpr const char* kContext = "tavolix::results::TDetailsView";
// The picture before a name in the pictures view, in pixels.
constexpr int kPictureBox = 32;
// What a cell's text leaves beside it: 4 pixels a side as painted, and 2
// for fractional widths.
constexpr int kCellMargins = 10;
// A folder column that fits gives way to the name down to this.
constexpr int kFolderAtLeast = 160;
// The widest texts measured of each column, and the types kept apart.
constexpr std::size_t kWidestKept = 16;
constexpr std::size_t kTypeKeysKept = 4096;
constexpr int kPlainNamesKept = 256;
// Rows a fit reads before the window takes its events again, and how often
// hits streaming in are fitted.
constexpr int kRowsReadAtOnce = 50000;
constexpr int kFitEveryMs = 200;

QString Title(int column) {
    return QCoreApplication::translate(kContext,
                                       hitview::HitColumns()[static_cast<std::size_t>(column)].Title);
}

// "/a/b" for "/a/b/"; the root stays "/".
QString FolderText(std::string_view dir) {
    if (dir.size() > 1 && dir.back() == '/')
        dir.remove_suffix(1);
    return ui::ToVisibleText(dir);
}

// The type, and whether the hit is a link to a file of it.
QString TypeText(const TFileInfo& record) {
    const QString type = FileTypeText(record.Name());
    return record.Attr & platform::faLink
               ? QCoreApplication::translate("tavolix::results::TDetailsView", "%1 へのリンク").arg(type)
               : type;
}

Qt::Alignment AlignmentOf(int column) {
    const bool right =
        column >= 0 && column < dcColumnCount &&
        hitview::HitColumns()[static_cast<std::size_t>(column)].Align == hitview::TColumnAlign::Right;
    return (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

QVariant CellData(const TFileListBoxS& list, const TFileInfo& record, int row, int column, int role) {
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(AlignmentOf(column));
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case dcFolder:
        return FolderText(record.Dir());
    case dcSize:
        return ui::ToText(list.FileItems().GetSizeText(row));
    case dcModified:
        return ui::ToText(list.FileItems().GetScreenTimeText(row));
    case dcType:
        return TypeText(record);
    default:
        return {};
    }
}

QVariant TitleData(int section, int role) {
    if (section < 0 || section >= dcColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return Title(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(AlignmentOf(section));
    return {};
}

// The list's items, a row each, with their folder, size, date and type
// beside the name: read from the records when asked, the list model's rows
// followed as they change (appended while a walk runs, or refilled). The
// grid keeps a model of one column: screen readers count its cells.
class TDetailsModel final : public QAbstractTableModel {
public:
    TDetailsModel(const TFileListBoxS& list, QObject* parent)
        : QAbstractTableModel(parent), FList(list), FSource(list.Model()) {
        connect(FSource, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
            if (FFollowing)
                beginResetModel();
        });
        connect(FSource, &QAbstractItemModel::modelReset, this, [this] {
            if (!FFollowing)
                return;
            FRows = SourceRows();
            endResetModel();
        });
        connect(FSource, &QAbstractItemModel::rowsAboutToBeInserted, this,
                [this](const QModelIndex&, int first, int last) {
                    if (FFollowing)
                        beginInsertRows({}, first, last);
                });
        connect(FSource, &QAbstractItemModel::rowsInserted, this, [this] {
            if (!FFollowing)
                return;
            FRows = SourceRows();
            endInsertRows();
        });
        connect(FSource, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex&, int first, int last) {
                    if (FFollowing)
                        beginRemoveRows({}, first, last);
                });
        connect(FSource, &QAbstractItemModel::rowsRemoved, this, [this] {
            if (!FFollowing)
                return;
            FRows = SourceRows();
            endRemoveRows();
        });
    }

    // The rows are the list's while the view shows, and none while it is
    // hidden: its header keeps a section for each row, 8 bytes a hit. Rows
    // come and go as inserted and removed, so the columns keep their widths.
    void SetFollowing(bool following) {
        if (following == FFollowing)
            return;
        if (following) {
            FFollowing = true;
            if (const int rows = SourceRows(); rows > 0) {
                beginInsertRows({}, 0, rows - 1);
                FRows = rows;
                endInsertRows();
            }
            return;
        }
        if (FRows > 0) {
            beginRemoveRows({}, 0, FRows - 1);
            FRows = 0;
            endRemoveRows();
        }
        FFollowing = false;
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : FRows; }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : dcColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!FSource || !index.isValid() || index.row() >= FRows)
            return {};
        const QModelIndex item = FSource->index(index.row(), 0);
        if (index.column() == dcName || role == TFileListModel::RecordRole)
            return item.data(role);
        const auto* record = item.data(TFileListModel::RecordRole).value<const TFileInfo*>();
        return record ? CellData(FList, *record, index.row(), index.column(), role) : QVariant();
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        return orientation == Qt::Horizontal ? TitleData(section, role) : QVariant();
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        const Qt::ItemFlags f = QAbstractTableModel::flags(index);
        return index.isValid() ? f | Qt::ItemIsDragEnabled : f;
    }

private:
    int SourceRows() const { return FSource ? FSource->rowCount() : 0; }

    const TFileListBoxS& FList;
    QPointer<TFileListModel> FSource;
    int FRows = 0;
    bool FFollowing = false;
};

// Paints a row's cells from its record; reads no file.
class TDetailsDelegate final : public QStyledItemDelegate {
public:
    explicit TDetailsDelegate(TDetailsView* view) : QStyledItemDelegate(view), FView(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        // The selection keeps its colours when the view has no focus.
        const QPalette::ColorGroup group =
            option.state.testFlag(QStyle::State_Enabled) ? QPalette::Active : QPalette::Disabled;
        if (selected)
            painter->fillRect(option.rect, option.palette.color(group, QPalette::Highlight));
        else if (option.features.testFlag(QStyleOptionViewItem::Alternate))
            painter->fillRect(option.rect, option.palette.color(group, QPalette::AlternateBase));

        QRect room = option.rect.adjusted(4, 0, -4, 0);
        QString text;
        Qt::TextElideMode elide = Qt::ElideRight;
        if (index.column() == dcName) {
            const auto* record = index.data(TFileListModel::RecordRole).value<const TFileInfo*>();
            if (!record)
                return;
            text = ui::ToVisibleText(record->Name());
            elide = Qt::ElideMiddle; // the extension stays in sight
            if (FView->PicturesShown()) {
                const QRect box(room.left(), option.rect.top() + (option.rect.height() - kPictureBox) / 2,
                                kPictureBox, kPictureBox);
                DrawPicture(*painter, box, index.row(), record->Path());
                room.setLeft(box.right() + 7);
            }
        } else {
            text = index.data(Qt::DisplayRole).toString();
            if (index.column() == dcFolder)
                elide = Qt::ElideMiddle;
        }
        painter->save();
        painter->setFont(option.font);
        painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(room, AlignmentOf(index.column()) | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(text, elide, room.width()));
        painter->restore();

        if (option.state.testFlag(QStyle::State_HasFocus)) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor =
                option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
            FView->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, FView);
        }
    }

private:
    // What the pictures view has made of the file, scaled into the box with
    // its aspect kept; nothing while there is nothing.
    void DrawPicture(QPainter& painter, const QRect& box, int row, const std::string& path) const {
        const TItemPicture* picture = FView->OnPicture ? FView->OnPicture(row, path) : nullptr;
        if (!picture || picture->State != TItemPicture::TState::Ready || picture->Image.isNull())
            return;
        const qreal ratio = painter.device()->devicePixelRatioF();
        QSize size = picture->Image.size();
        if (size.width() > box.width() || size.height() > box.height())
            size = size.scaled(box.size(), Qt::KeepAspectRatio);
        const QSize device = (QSizeF(size) * ratio).toSize();
        if (device.isEmpty())
            return;
        // Scaled once for the box, as the grid does for its own.
        if (picture->Scaled.size() != device)
            picture->Scaled = picture->Image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        picture->Scaled.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(box.left() + (box.width() - size.width()) / 2.0,
                                  box.top() + (box.height() - size.height()) / 2.0),
                          picture->Scaled);
    }

    TDetailsView* FView;
};

// Keeps the texts of the widest guesses, widest first, each once.
void OfferWidest(std::vector<std::pair<double, std::string>>& widest, double guess, std::string_view text) {
    if (widest.size() == kWidestKept && guess <= widest.back().first)
        return;
    for (const auto& kept : widest)
        if (kept.second == text)
            return;
    const auto at =
        std::find_if(widest.begin(), widest.end(), [guess](const auto& kept) { return kept.first < guess; });
    widest.emplace(at, guess, std::string(text));
    if (widest.size() > kWidestKept)
        widest.pop_back();
}

// What tells a name's type: from the last dot but one ("x.tar.gz" has
// ".tar.gz"), the whole name when it has no dot.
std::string_view TypeKey(std::string_view name) {
    const std::size_t last = name.rfind('.');
    if (last == std::string_view::npos || last == 0)
        return name;
    const std::size_t before = name.rfind('.', last - 1);
    return name.substr(before == std::string_view::npos ? last : before);
}

} // namespace

QString FileTypeText(std::string_view name) {
    static const QMimeDatabase database;
    const QList<QMimeType> types = database.mimeTypesForFileName(ui::ToText(name));
    if (!types.isEmpty() && !types.front().comment().isEmpty())
        return types.front().comment();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return QCoreApplication::translate("tavolix::results::TDetailsView", "ファイル");
    return QCoreApplication::translate("tavolix::results::TDetailsView", "%1 ファイル")
        .arg(ui::ToVisibleText(name.substr(dot + 1)).toUpper());
}

TDetailsView::TDetailsView(TFileListBoxS& list, QWidget* parent) : QTableView(parent), FList(list) {
    auto* model = new TDetailsModel(list, this);
    setModel(model);
    // One selection for both views, the list's: each follows the other, so
    // switching keeps it.
    QItemSelectionModel* grid = list.selectionModel();
    QItemSelectionModel* mine = selectionModel();
    connect(grid, &QItemSelectionModel::selectionChanged, this, [this, grid, mine] { Mirror(grid, mine); });
    connect(mine, &QItemSelectionModel::selectionChanged, this, [this, grid, mine] { Mirror(mine, grid); });
    connect(grid, &QItemSelectionModel::currentChanged, this, [this, mine](const QModelIndex& current) {
        if (!FMirroring && current.isValid() && current.row() < mine->model()->rowCount() &&
            mine->currentIndex().row() != current.row())
            mine->setCurrentIndex(mine->model()->index(current.row(), 0), QItemSelectionModel::NoUpdate);
    });
    connect(mine, &QItemSelectionModel::currentChanged, this, [this, grid](const QModelIndex& current) {
        if (!FMirroring && current.isValid() && current.row() < grid->model()->rowCount() &&
            grid->currentIndex().row() != current.row())
            grid->setCurrentIndex(grid->model()->index(current.row(), 0), QItemSelectionModel::NoUpdate);
    });
    // The titles show no selection. Asked of the view's, they would look at
    // each of a million rows at every repaint after a change.
    horizontalHeader()->setSelectionModel(new QItemSelectionModel(model, horizontalHeader()));

    setItemDelegate(new TDetailsDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::DragOnly);
    // Tab goes on to the next control, as in the grid.
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setAlternatingRowColors(true);
    setCornerButtonEnabled(false);
    setFont(list.font());

    QHeaderView* rows = verticalHeader();
    rows->hide();
    // A million rows of one height: no row is measured.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    QHeaderView* titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setStretchLastSection(false);
    titles->setSectionsClickable(true);
    titles->setSectionsMovable(false);
    titles->setHighlightSections(false);
    titles->setSortIndicatorShown(true);
    titles->setMinimumSectionSize(24);
    // The name takes the room the others leave; they fit their contents
    // until the user drags an edge.
    titles->setSectionResizeMode(dcName, QHeaderView::Stretch);
    FFits.fill(true);
    connect(titles, &QHeaderView::sectionResized, this, [this](int column) {
        if (FFitting || column == dcName || column >= dcColumnCount)
            return;
        FFits[static_cast<std::size_t>(column)] = false;
        emit ColumnsChosen();
    });
    // After the view's own fit: the columns other than the folder keep
    // fitting the hits to come. A fitted folder could be wider than the
    // name leaves it: kept as the user's width.
    connect(titles, &QHeaderView::sectionHandleDoubleClicked, this, [this](int column) {
        if (column != dcFolder && column > dcName && column < dcColumnCount) {
            FFits[static_cast<std::size_t>(column)] = true;
            FitColumns();
        }
        emit ColumnsChosen();
    });
    FFitTimer = new QTimer(this);
    FFitTimer->setSingleShot(true);
    connect(FFitTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            FitColumns();
    });
    // Hits streamed in are read once; a refill (another order, another
    // walk) is read anew.
    connect(model, &QAbstractItemModel::rowsInserted, FFitTimer, [this] {
        if (!FFitTimer->isActive())
            FFitTimer->start(kFitEveryMs);
    });
    // The list's own: a hidden view's model follows no rows.
    connect(list.Model(), &QAbstractItemModel::modelReset, FFitTimer, [this] {
        // As many rows as before: the same hits in another order.
        if (FList.FileItems().Count() != FContents.Rows)
            FContents = TContents();
        FFitTimer->start(kFitEveryMs);
    });
    UpdateRowHeight();
    ShowSortOrder();
}

void TDetailsView::Mirror(QItemSelectionModel* from, QItemSelectionModel* to) {
    if (FMirroring)
        return;
    FMirroring = true;
    // Whole rows, range by range: a million selected are one range.
    const int rows = to->model()->rowCount();
    const int lastColumn = to->model()->columnCount() - 1;
    QItemSelection selection;
    for (const QItemSelectionRange& range : from->selection())
        if (range.isValid() && range.top() < rows)
            selection.append(
                QItemSelectionRange(to->model()->index(range.top(), 0),
                                    to->model()->index(std::min(range.bottom(), rows - 1), lastColumn)));
    to->select(selection, QItemSelectionModel::ClearAndSelect);
    FMirroring = false;
}

std::vector<int> TDetailsView::ColumnWidths() const {
    std::vector<int> widths;
    for (int column = 0; column < dcColumnCount; ++column)
        widths.push_back(horizontalHeader()->sectionSize(column));
    return widths;
}

std::vector<int> TDetailsView::ChosenWidths() const {
    std::vector<int> widths;
    for (int column = 0; column < dcColumnCount; ++column)
        widths.push_back(column == dcName || FFits[static_cast<std::size_t>(column)]
                             ? 0
                             : horizontalHeader()->sectionSize(column));
    return widths;
}

void TDetailsView::SetColumnWidths(const std::vector<int>& widths) {
    const int count = std::min<int>(dcColumnCount, static_cast<int>(widths.size()));
    FFitting = true;
    for (int column = dcName + 1; column < count; ++column) {
        const int width = widths[static_cast<std::size_t>(column)];
        const bool fits =
            width <= 0 || width == hitview::HitColumns()[static_cast<std::size_t>(column)].ListedWidth;
        FFits[static_cast<std::size_t>(column)] = fits;
        if (!fits)
            horizontalHeader()->resizeSection(column,
                                              std::max(horizontalHeader()->minimumSectionSize(), width));
    }
    FFitting = false;
    FitColumns();
}

bool TDetailsView::ReadNewRows(int most) const {
    TContents& c = FContents;
    const search::TFileItemList& items = FList.FileItems();
    const int rows = items.Count();
    if (rows < c.Rows)
        c = TContents();
    TGuess& g = FGuess;
    if (!g.Ready) {
        const QFontMetricsF metrics(font());
        for (int ch = 0; ch < 128; ++ch)
            g.Ascii[static_cast<std::size_t>(ch)] =
                ch < 32 || ch == 127 ? metrics.horizontalAdvance(QChar(0xFFFD))
                                     : metrics.horizontalAdvance(QLatin1Char(static_cast<char>(ch)));
        g.Wide = std::max(metrics.horizontalAdvance(QChar(0x6F22)), metrics.horizontalAdvance(QChar(0xFFFD)));
        g.Other =
            std::max(metrics.horizontalAdvance(QChar(0x00C6)), metrics.horizontalAdvance(QChar(0x0416)));
        g.Ready = true;
    }
    auto guess = [&g](std::string_view text) {
        double width = 0;
        for (const unsigned char byte : text)
            if (byte < 0x80)
                width += g.Ascii[byte];
            else if (byte >= 0xE0)
                width += g.Wide; // three or four bytes: CJK, symbols
            else if (byte >= 0xC0)
                width += g.Other; // two bytes; continuations add nothing
        return width;
    };
    const QFontMetrics metrics(font());
    const int end = rows - c.Rows > most ? c.Rows + most : rows;
    for (int row = c.Rows; row < end; ++row) {
        const TFileInfo* record = items.Item(row);
        if (!record)
            continue;
        c.MaxSize = std::max(c.MaxSize, record->Size);
        OfferWidest(c.Names, guess(record->Name()), record->Name());
        // A folder's hits come together: each run is guessed once.
        if (record->Dir() != c.LastFolder) {
            c.LastFolder = record->Dir();
            OfferWidest(c.Folders, guess(record->Dir()), record->Dir());
        }
        // Links are told apart: their type reads longer.
        auto& types = record->Attr & platform::faLink ? c.LinkTypes : c.FileTypes;
        const std::string_view key = TypeKey(record->Name());
        // Names without an extension are told apart by the whole name (a
        // "Makefile" has a type of its own): the first few only.
        const bool plain = key.size() == record->Name().size();
        if (types.size() < kTypeKeysKept && (!plain || c.PlainNames < kPlainNamesKept) &&
            types.find(key) == types.end()) {
            types.emplace(key);
            c.PlainNames += plain ? 1 : 0;
            c.TypeWidth = std::max(c.TypeWidth, metrics.horizontalAdvance(TypeText(*record)));
        }
    }
    c.Rows = end;
    return end == rows;
}

int TDetailsView::ContentWidth(int column) const {
    const QFontMetrics metrics(font());
    int width = 0;
    switch (column) {
    case dcName:
        for (const auto& [guess, name] : FContents.Names)
            width = std::max(width, metrics.horizontalAdvance(ui::ToVisibleText(name)));
        if (FPicturesShown)
            width += kPictureBox + 7;
        break;
    case dcFolder:
        for (const auto& [guess, dir] : FContents.Folders)
            width = std::max(width, metrics.horizontalAdvance(FolderText(dir)));
        break;
    case dcSize:
        width = ui::WidestNumberWidth(ui::ToText(search::SizeToText(FContents.MaxSize, FList.Formats())),
                                      metrics);
        break;
    case dcModified: {
        // Any date of the form: two-digit fields, the day periods of both halves.
        const platform::TScreenDateForm& form = FList.FileItems().ScreenDateForm();
        width = metrics.horizontalAdvance(ui::ToText(search::FileDateToScreenText(0, form)));
        for (const int hour : {8, 20})
            width = std::max(width, ui::WidestNumberWidth(ui::ToText(platform::ScreenDateTimeText(
                                                              {2088, 12, 28, hour, 58, 58}, form)),
                                                          metrics));
        break;
    }
    case dcType:
        width = FContents.TypeWidth;
        break;
    default:
        return 0;
    }
    return width + kCellMargins;
}

int TDetailsView::sizeHintForColumn(int column) const {
    ReadNewRows();
    return ContentWidth(column);
}

void TDetailsView::FitColumns() {
    // A million hits are read in parts, the window answering between them:
    // the columns widen as they are read.
    if (!ReadNewRows(kRowsReadAtOnce))
        FFitTimer->start(0);
    QHeaderView* titles = horizontalHeader();
    auto wanted = [&](int column) { return std::max(titles->sectionSizeHint(column), ContentWidth(column)); };
    FFitting = true;
    int others = 0;
    for (const int column : {dcSize, dcModified, dcType}) {
        if (FFits[static_cast<std::size_t>(column)])
            titles->resizeSection(column, wanted(column));
        others += titles->sectionSize(column);
    }
    if (FFits[static_cast<std::size_t>(dcFolder)]) {
        // The names are what was searched for: when both don't fit, the
        // folder gives way (it is cut in its middle).
        const int folder = wanted(dcFolder);
        const int room = viewport()->width() - others - wanted(dcName);
        titles->resizeSection(dcFolder, std::max(std::min(folder, room), std::min(folder, kFolderAtLeast)));
    }
    FFitting = false;
}

void TDetailsView::showEvent(QShowEvent* e) {
    FollowRows(true);
    QTableView::showEvent(e);
    FitColumns();
}

void TDetailsView::hideEvent(QHideEvent* e) {
    QTableView::hideEvent(e);
    // Hidden itself (the grid shown instead), not with its window.
    if (isHidden())
        FollowRows(false);
}

void TDetailsView::FollowRows(bool following) {
    auto* model = static_cast<TDetailsModel*>(this->model());
    QItemSelectionModel* grid = FList.selectionModel();
    {
        // The rows going or coming are no change of the grid's selection.
        const QScopedValueRollback<bool> mirroring(FMirroring, true);
        model->SetFollowing(following);
    }
    if (!following)
        return;
    Mirror(grid, selectionModel());
    const QModelIndex current = grid->currentIndex();
    if (current.isValid() && current.row() < model->rowCount()) {
        const QScopedValueRollback<bool> mirroring(FMirroring, true);
        selectionModel()->setCurrentIndex(model->index(current.row(), 0), QItemSelectionModel::NoUpdate);
    }
}

void TDetailsView::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    if (FFits[static_cast<std::size_t>(dcFolder)] && isVisible())
        FitColumns();
}

QString TDetailsView::ColumnsText() const {
    QStringList columns;
    for (int column = 0; column < dcColumnCount; ++column)
        columns << QStringLiteral("%1:%2").arg(Title(column)).arg(horizontalHeader()->sectionSize(column));
    return columns.join(QLatin1Char('|'));
}

void TDetailsView::ShowSortOrder() {
    horizontalHeader()->setSortIndicator(
        hitview::ColumnOfSortOrder(FList.SortOrder()),
        FList.SortDirection() == TSortDirection::sdUpword ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TDetailsView::SetPicturesShown(bool shown) {
    if (shown == FPicturesShown)
        return;
    FPicturesShown = shown;
    UpdateRowHeight();
    FitColumns();
    viewport()->update();
}

void TDetailsView::UpdateRowHeight() {
    const int text = fontMetrics().height() + 6;
    verticalHeader()->setDefaultSectionSize(FPicturesShown ? std::max(text, kPictureBox + 4) : text);
}

void TDetailsView::changeEvent(QEvent* e) {
    QTableView::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        UpdateRowHeight();
        FContents = TContents();
        FGuess = TGuess();
        FitColumns();
    }
}

QModelIndex TDetailsView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model()->rowCount();
    switch (action) {
    case MoveLeft:
    case MoveRight: {
        // A row has no cells to move between: sideways scrolls.
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() + (action == MoveLeft ? -bar->singleStep() : bar->singleStep()));
        return currentIndex();
    }
    case MoveHome:
        return rows > 0 ? model()->index(0, 0) : QModelIndex();
    case MoveEnd:
        return rows > 0 ? model()->index(rows - 1, 0) : QModelIndex();
    default: {
        const QModelIndex next = QTableView::moveCursor(action, modifiers);
        return next.isValid() ? next.siblingAtColumn(0) : next;
    }
    }
}

void TDetailsView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    // The current item stays in the name column, the one the grid shows and
    // moves from; a click elsewhere in the row puts it there afterwards.
    if (current.isValid() && current.column() != 0)
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QModelIndex now = currentIndex();
                if (now.isValid() && now.column() != 0)
                    selectionModel()->setCurrentIndex(now.siblingAtColumn(0), QItemSelectionModel::NoUpdate);
            },
            Qt::QueuedConnection);
}

void TDetailsView::startDrag(Qt::DropActions) {
    const int row = FList.ItemIndex();
    QMimeData* data = row >= 0 && OnStartDrag ? OnStartDrag(row) : nullptr;
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The receiver copies, moves or links the files itself.
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

void TDetailsView::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    if (!OnContextPopup)
        return;
    if (e->reason() == QContextMenuEvent::Mouse) {
        // Delivered through the viewport: the position is the viewport's.
        const QModelIndex at = indexAt(e->pos());
        if (at.isValid())
            OnContextPopup(at.row(), e->globalPos());
        return;
    }
    const int row = FList.ItemIndex();
    if (row < 0)
        return;
    const QRect item = visualRect(model()->index(row, 0)).intersected(viewport()->rect());
    OnContextPopup(row, viewport()->mapToGlobal(item.isEmpty() ? QPoint(0, 0) : item.center()));
}

} // namespace tavolix::results
