#pragma once

#include "search/FileItems.h"

#include <string_view>

#include <QAbstractTableModel>
#include <QString>

namespace tavolix::hitview {

using search::TFileInfo;
using search::TFileItemList;

// The shown items of a TFileItemList as one model for every view: a row a
// hit, with the columns of HitColumns() (the grid shows the first, the
// details view all), and one selection shared by the views. Rows are read
// from the records when asked; nothing is copied. The row count is the one last
// announced, so the item list may change first and the views hear of it
// afterwards in the order the model contract wants.
class TFileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum { RecordRole = Qt::UserRole + 1 }; // const TFileInfo*

    explicit TFileListModel(const TFileItemList* items, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
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

// A file's type in words, from its name alone (the file is never read): the
// desktop's description of the type the name says, else its extension.
QString FileTypeText(std::string_view name);
// A folder as its column shows it: "/a/b" for "/a/b/"; the root stays "/".
QString FolderText(std::string_view dir);
// The type, and whether the hit is a link to a file of it.
QString TypeText(const TFileInfo& record);
// A column's alignment as the views draw it.
Qt::Alignment AlignmentOfColumn(int column);

} // namespace tavolix::hitview

Q_DECLARE_METATYPE(const tavolix::search::TFileInfo*)
