#pragma once

#include "search/FileItems.h"

#include <QAbstractListModel>

namespace tavolix::hitview {

using search::TFileInfo;
using search::TFileItemList;

// The shown items of a TFileItemList as a list model. Rows are read from the
// records when asked; nothing is copied. The row count is the one last
// announced, so the item list may change first and the views hear of it
// afterwards in the order the model contract wants.
class TFileListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum { RecordRole = Qt::UserRole + 1 }; // const TFileInfo*

    explicit TFileListModel(const TFileItemList* items, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
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
    bool FResetting = false;
};

} // namespace tavolix::hitview

Q_DECLARE_METATYPE(const tavolix::search::TFileInfo*)
