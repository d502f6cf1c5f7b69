#pragma once

#include "search/FileRecord.h"

#include <atomic>
#include <string_view>
#include <vector>

namespace tavolix::search {

// Byte-wise comparison with a..z mapped to A..Z (every other byte as it is);
// on a common start the shorter text comes first.
int CompareKeyText(std::string_view a, std::string_view b);

int CompareByName(const TFileInfo& a, const TFileInfo& b);
int CompareByDir(const TFileInfo& a, const TFileInfo& b);
int CompareByExt(const TFileInfo& a, const TFileInfo& b);
int CompareBySize(const TFileInfo& a, const TFileInfo& b);
int CompareByTime(const TFileInfo& a, const TFileInfo& b);

using TFileCompare = int (*)(const TFileInfo&, const TFileInfo&);
TFileCompare ComparatorOf(TSortOrder order);

// The list's quicksort. Not stable: equal records end up where this very
// procedure puts them, so it must not be replaced by another sort. The parts
// of a partition are sorted on up to `threads` threads (0: one per core),
// which changes nothing in the order. A stop ends it soon, the items as they
// were; false then.
bool SortFileInfos(std::vector<TFileInfo*>& items, TSortOrder order, int threads = 0,
                   const std::atomic<bool>* stop = nullptr);
int DefaultSortThreads();

// "Directory", "Name", "Ext", "Size", "Time" ("Directory" for anything else).
const char* SortOrderName(TSortOrder order);
// "Upword" or "Down".
const char* SortDirectionName(TSortDirection direction);

} // namespace tavolix::search
