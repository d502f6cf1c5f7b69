#pragma once

#include "search/FileItems.h"

#include <functional>

#include <QAbstractTableModel>

namespace tavolix::search {

// The shown items of a TFileItemList as a model: one row an item, its name in
// column 0. Rows are read from the records when asked; nothing is copied. The
// row count is the one last announced, so the item list may change first and
// the views hear of it afterwards in the order the model contract wants.
// Views that show more of a record than its name add columns, whose cells
// and titles their owner gives.
class TFileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum { RecordRole = Qt::UserRole + 1 }; // const TFileInfo*

    // A cell of an added column (1 and up) or a title (0 and up); an invalid
    // QVariant when there is nothing to say.
    using TCellData = std::function<QVariant(const TFileInfo& record, int row, int column, int role)>;
    using THeaderData = std::function<QVariant(int section, int role)>;

    explicit TFileListModel(const TFileItemList* items, QObject* parent = nullptr);

    // Columns beside the name.
    void AddColumns(int count, TCellData cells, THeaderData titles);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Items may be dragged (what a drag carries is the list box's business).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Before the item list drops its items.
    void ItemsClearing();
    // After the items were refilled, appended to, or only cleared.
    void ItemsChanged();
    // The item list is about to go; the model shows nothing from now on.
    void Detach();

private:
    const TFileItemList* FItems;
    int FRows = 0;
    int FColumns = 1;
    TCellData FCells;
    THeaderData FTitles;
    bool FResetting = false;
};

} // namespace tavolix::search

Q_DECLARE_METATYPE(const tavolix::search::TFileInfo*)
