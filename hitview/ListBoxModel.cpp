#include "hitview/ListBoxModel.h"

#include "hitview/HitColumns.h"
#include "platform/FileFilter.h"
#include "search/FieldText.h"
#include "ui/NameText.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>

namespace tavolix::hitview {

using namespace search;

namespace {

// The details view's words: its titles and types.
constexpr const char* kContext = "tavolix::results::TDetailsView";

} // namespace

QString FolderText(std::string_view dir) {
    if (dir.size() > 1 && dir.back() == '/')
        dir.remove_suffix(1);
    return ui::ToVisibleText(dir);
}

// The type, and whether the hit is a link to a file of it.
QString TypeText(const TFileInfo& record) {
    const QString type = FileTypeText(record.Name());
    return record.Attr & platform::faLink ? QCoreApplication::translate(kContext, "%1 へのリンク").arg(type)
                                          : type;
}

QString FileTypeText(std::string_view name) {
    static const QMimeDatabase database;
    const QList<QMimeType> types = database.mimeTypesForFileName(ui::ToText(name));
    if (!types.isEmpty() && !types.front().comment().isEmpty())
        return types.front().comment();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return QCoreApplication::translate(kContext, "ファイル");
    return QCoreApplication::translate(kContext, "%1 ファイル")
        .arg(ui::ToVisibleText(name.substr(dot + 1)).toUpper());
}

Qt::Alignment AlignmentOfColumn(int column) {
    const bool right = column >= 0 && column < dcColumnCount &&
                       HitColumns()[static_cast<std::size_t>(column)].Align == TColumnAlign::Right;
    return (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

TFileListModel::TFileListModel(const TFileItemList* items, QObject* parent)
    : QAbstractTableModel(parent), FItems(items), FRows(items ? items->Count() : 0) {
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FRows;
}

int TFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : dcColumnCount;
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= dcColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QCoreApplication::translate(kContext, HitColumns()[static_cast<std::size_t>(section)].Title);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(AlignmentOfColumn(section));
    return {};
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!FItems || !index.isValid() || index.row() >= FRows)
        return {};
    const TFileInfo* r = FItems->Item(index.row());
    if (!r)
        return {};
    if (index.column() != dcName) {
        if (role == RecordRole)
            return QVariant::fromValue(r);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(AlignmentOfColumn(index.column()));
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case dcFolder:
            return FolderText(r->Dir());
        case dcSize:
            return ui::ToText(FItems->GetSizeText(index.row()));
        case dcModified:
            return ui::ToText(FItems->GetScreenTimeText(index.row()));
        case dcType:
            return TypeText(*r);
        default:
            return {};
        }
    }
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
    const Qt::ItemFlags f = QAbstractTableModel::flags(index);
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
