#include "hitview/ListBoxModel.h"

#include "ui/NameText.h"

#include <QFile>

namespace tavolix::hitview {

using namespace search;

TFileListModel::TFileListModel(const TFileItemList* items, QObject* parent)
    : QAbstractListModel(parent), FItems(items), FRows(items ? items->Count() : 0) {
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!FItems || !index.isValid() || index.row() >= FRows)
        return {};
    const TFileInfo* r = FItems->Item(index.row());
    if (!r)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const std::string_view name = r->Name();
        return ui::ToText(name);
    }
    // What a screen reader says of a hit, and its tip: name, folder, size, date.
    case Qt::AccessibleTextRole:
        return tr("%1 ， フォルダ %2 ， %3 バイト ， 更新日時 %4")
            .arg(ui::ToVisibleText(r->Name()), ui::ToVisibleText(r->Dir()),
                 ui::ToText(SizeToText(r->Size, FItems->Formats())),
                 ui::ToText(FItems->GetScreenTimeText(index.row())));
    case Qt::ToolTipRole:
        return ui::ToVisibleText(r->Name()) + QLatin1Char('\n') + ui::ToVisibleText(r->Dir()) +
               QLatin1Char('\n') + ui::ToText(SizeToText(r->Size, FItems->Formats())) +
               QStringLiteral(" Bytes\n") + ui::ToText(FItems->GetScreenTimeText(index.row()));
    case RecordRole:
        return QVariant::fromValue(r);
    default:
        return {};
    }
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags f = QAbstractListModel::flags(index);
    return index.isValid() ? f | Qt::ItemIsDragEnabled : f;
}

void TFileListModel::ItemsClearing() {
    if (FResetting)
        return;
    beginResetModel();
    FResetting = true;
}

void TFileListModel::ItemsChanged() {
    const int live = FItems ? FItems->Count() : 0;
    if (FResetting) {
        FRows = live;
        FResetting = false;
        endResetModel();
    } else if (live > FRows) {
        beginInsertRows(QModelIndex(), FRows, live - 1);
        FRows = live;
        endInsertRows();
    } else if (live < FRows) {
        // Not reached through the item list's hooks; kept consistent anyway.
        beginResetModel();
        FRows = live;
        endResetModel();
    }
}

void TFileListModel::Detach() {
    if (!FResetting)
        beginResetModel();
    FItems = nullptr;
    FRows = 0;
    FResetting = false;
    endResetModel();
}

} // namespace tavolix::hitview
