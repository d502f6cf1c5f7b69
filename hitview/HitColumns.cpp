#include "hitview/HitColumns.h"

#include <algorithm>

#include <QtGlobal>

namespace tavolix::hitview {

using search::TSortOrder;

const std::array<TSortChoice, kSortChoiceCount>& SortChoices() {
    static constexpr std::array<TSortChoice, kSortChoiceCount> choices{{
        {TSortOrder::soDirectory, "directory", QT_TRANSLATE_NOOP("Commands", "フォルダ順 (&D)"),
         QT_TRANSLATE_NOOP("Commands", "ディレクトリーで並べ替えます。")},
        {TSortOrder::soName, "name", QT_TRANSLATE_NOOP("Commands", "名前順 (&N)"),
         QT_TRANSLATE_NOOP("Commands", "名前で並べ替えます。")},
        {TSortOrder::soExt, "ext", QT_TRANSLATE_NOOP("Commands", "拡張子順 (&E)"),
         QT_TRANSLATE_NOOP("Commands", "拡張子で並べ替えます。")},
        {TSortOrder::soSize, "size", QT_TRANSLATE_NOOP("Commands", "サイズ順 (&S)"),
         QT_TRANSLATE_NOOP("Commands", "ファイルサイズで並べ替えます。")},
        {TSortOrder::soTime, "time", QT_TRANSLATE_NOOP("Commands", "更新日時順 (&T)"),
         QT_TRANSLATE_NOOP("Commands", "更新日時で並べ替えます。")},
    }};
    return choices;
}

std::optional<TSortOrder> SortOrderNamed(std::string_view name) {
    if (name == "dir")
        return TSortOrder::soDirectory;
    for (const TSortChoice& c : SortChoices())
        if (name == c.Option)
            return c.Order;
    return std::nullopt;
}

std::string SortOptionNames() {
    std::string names;
    for (int i = 0; i < kSortChoiceCount; ++i) {
        if (i > 0)
            names += i + 1 == kSortChoiceCount ? " or " : ", ";
        names += SortChoices()[static_cast<std::size_t>(i)].Option;
    }
    return names;
}

const std::array<THitColumn, dcColumnCount>& HitColumns() {
    static constexpr std::array<THitColumn, dcColumnCount> columns{{
        {QT_TRANSLATE_NOOP("tavolix::results::TDetailsView", "名前"), TSortOrder::soName, TColumnAlign::Left,
         170},
        {QT_TRANSLATE_NOOP("tavolix::results::TDetailsView", "フォルダ"), TSortOrder::soDirectory,
         TColumnAlign::Left, 220},
        {QT_TRANSLATE_NOOP("tavolix::results::TDetailsView", "サイズ"), TSortOrder::soSize,
         TColumnAlign::Right, 80},
        {QT_TRANSLATE_NOOP("tavolix::results::TDetailsView", "更新日時"), TSortOrder::soTime,
         TColumnAlign::Left, 170},
        {QT_TRANSLATE_NOOP("tavolix::results::TDetailsView", "種類"), TSortOrder::soExt, TColumnAlign::Left,
         150},
    }};
    return columns;
}

TSortOrder SortOrderOfColumn(int column) {
    return column >= 0 && column < dcColumnCount ? HitColumns()[static_cast<std::size_t>(column)].Order
                                                 : TSortOrder::soName;
}

int ColumnOfSortOrder(TSortOrder order) {
    const auto& columns = HitColumns();
    const auto it = std::find_if(columns.begin(), columns.end(),
                                 [order](const THitColumn& c) { return c.Order == order; });
    return static_cast<int>(it - columns.begin());
}

} // namespace tavolix::hitview
