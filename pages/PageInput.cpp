#include "pages/PageInput.h"

namespace tavolix::pages {

TPageInput MakePageInput(const search::TFileItemList& list, std::string pageFileName, std::string baseDir,
                         std::string key, std::int64_t totalSize, bool network, platform::TMountTable volumes,
                         std::string creationText, TPageTexts texts) {
    TPageInput in;
    in.PageFileName = std::move(pageFileName);
    in.BaseDir = std::move(baseDir);
    in.Key = std::move(key);
    in.Filters = list.Files().WalkOptions().FilterText;
    in.TotalSize = totalSize;
    in.Items.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        in.Items.push_back({list.GetFilePath(i), list.GetSizeText(i), list.GetDateText(i)});
    in.SortOrderName = list.GetSortOrderName();
    in.SortDirectionName = list.GetSortDirectionName();
    in.Network = network;
    in.Volumes = std::move(volumes);
    in.CreationText = std::move(creationText);
    in.ThousandSeparator = list.Formats().ThousandSeparator;
    in.Texts = std::move(texts);
    return in;
}

} // namespace tavolix::pages
