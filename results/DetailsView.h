#pragma once

#include "hitview/HitColumns.h"
#include "search/FileInfo.h"

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <QString>
#include <QTableView>

class QItemSelectionModel;
class QMimeData;
class QTimer;

namespace tavolix::hitview {
class TFileListBoxS;
}

namespace tavolix::results {

struct TItemPicture;

using hitview::dcColumnCount;
using hitview::dcFolder;
using hitview::dcModified;
using hitview::dcName;
using hitview::dcSize;
using hitview::dcType;
using hitview::TDetailsColumn;

// A file's type in words, from its name alone (the file is never read): the
// desktop's description of the type the name says, else its extension.
QString FileTypeText(std::string_view name);

// One row a hit, with its folder, size, date and type: another view of the
// result list's items, in their order, sharing their selection.
// Rows are painted on demand from the records; nothing is kept a row, and
// rows the list adds (a walk that streams its hits) simply show.
class TDetailsView : public QTableView {
    Q_OBJECT

public:
    explicit TDetailsView(hitview::TFileListBoxS& list, QWidget* parent = nullptr);

    // The widths shown.
    std::vector<int> ColumnWidths() const;
    // The widths the user has set by dragging an edge, 0 for a column that
    // fits its contents (the name always takes what the others leave).
    std::vector<int> ChosenWidths() const;
    // As ChosenWidths gives them. Widths beyond the columns are left alone,
    // missing ones fit their contents.
    void SetColumnWidths(const std::vector<int>& widths);
    // Fits the columns that follow their contents to every hit the list
    // holds; runs by itself as hits arrive and when the view shows.
    void FitColumns();
    // The titles with their widths, "名前:220|フォルダ:300|…", as shown.
    QString ColumnsText() const;

    // The arrow on the title of the list's order, pointing its way.
    void ShowSortOrder();

    // The pictures view: a small picture before each name, from OnPicture.
    void SetPicturesShown(bool shown);
    bool PicturesShown() const { return FPicturesShown; }
    std::function<const TItemPicture*(int row, const std::string& path)> OnPicture;

    // As the list box's: the data a drag of the selected rows carries, and
    // the context menu of a row (the one under the pointer, or from the
    // keyboard the selected one).
    std::function<QMimeData*(int row)> OnStartDrag;
    std::function<void(int row, const QPoint& globalPos)> OnContextPopup;

    hitview::TFileListBoxS& List() const { return FList; }

signals:
    // The user has set a column's width, or handed it back to its contents.
    void ColumnsChosen();

protected:
    int sizeHintForColumn(int column) const override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // The widest texts the hits hold, followed row by row as they come: the
    // measures a fit takes without painting a million rows.
    struct TKeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    struct TContents {
        int Rows = 0; // rows looked at
        std::int64_t MaxSize = 0;
        std::vector<std::pair<double, std::string>> Names, Folders; // widest guesses
        std::string LastFolder;
        // What tells the types apart, of files and of links to files.
        std::unordered_set<std::string, TKeyHash, std::equal_to<>> FileTypes, LinkTypes;
        int PlainNames = 0;
        int TypeWidth = 0;
    };
    // Reads up to `most` rows not read yet; false when some are left.
    bool ReadNewRows(int most = INT_MAX) const;
    // The width a column's cells need to show every hit whole.
    int ContentWidth(int column) const;
    void UpdateRowHeight();
    // The model's rows follow the list's while shown (none while hidden).
    void FollowRows(bool following);
    // Makes `to` select the rows `from` selects.
    void Mirror(QItemSelectionModel* from, QItemSelectionModel* to);

    hitview::TFileListBoxS& FList;
    bool FPicturesShown = false;
    bool FMirroring = false;
    std::array<bool, dcColumnCount> FFits{};
    bool FFitting = false;
    mutable TContents FContents;
    // A text's width guessed from its bytes, in pixels, in the view's font:
    // the widest few by guess are then measured.
    struct TGuess {
        std::array<double, 128> Ascii{};
        double Wide = 0, Other = 0;
        bool Ready = false;
    };
    mutable TGuess FGuess;
    QTimer* FFitTimer = nullptr;
};

} // namespace tavolix::results
