#pragma once

#include "search/FileRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavolix::hitview {

// The one list of the orders hits sort in and of the details view's columns.
// The sort menu (Ctrl+1 to Ctrl+5, in this order), the grid's header (after
// its first section), the details view's titles and tavolix-page's --sort all
// read it. A new sortable column is a row here, its field in the record and
// its comparison in search/FileSort.

struct TSortChoice {
    search::TSortOrder Order;
    const char* Option;   // tavolix-page's --sort name
    const char* MenuText; // in the context "Commands"
    const char* MenuHint; // in the context "Commands"
};
inline constexpr int kSortChoiceCount = 5;
const std::array<TSortChoice, kSortChoiceCount>& SortChoices();

// The order --sort names (also "dir"); none for another name.
std::optional<search::TSortOrder> SortOrderNamed(std::string_view name);
// "directory, name, ext, size or time".
std::string SortOptionNames();

// The details view's columns, left to right; the name is the list model's own.
enum TDetailsColumn : int { dcName, dcFolder, dcSize, dcModified, dcType, dcColumnCount };
enum class TColumnAlign : std::uint8_t { Left, Right };

struct THitColumn {
    const char* Title;        // in the context "tavolix::results::TDetailsView"
    search::TSortOrder Order; // what a click on its title sorts by
    TColumnAlign Align;
    int ListedWidth; // its width in lists kept before the columns fitted their contents
};
const std::array<THitColumn, dcColumnCount>& HitColumns();

// The order a column's title sorts by (the type by the extension; the name
// for no column), and the column that shows an order.
search::TSortOrder SortOrderOfColumn(int column);
int ColumnOfSortOrder(search::TSortOrder order);

} // namespace tavolix::hitview
