#pragma once

#include "pages/PageWriter.h"
#include "search/FileItems.h"

namespace tavolix::pages {

// The page's inputs from a result list in its display order, so the result
// window and tavolix-page write the same bytes for the same hits. The key
// line tells the filters the list was searched with (its walk options).
TPageInput MakePageInput(const search::TFileItemList& list, std::string pageFileName, std::string baseDir,
                         std::string key, std::int64_t totalSize, bool network, platform::TMountTable volumes,
                         std::string creationText, TPageTexts texts);

} // namespace tavolix::pages
