#include "pages/PathFunctions.h"

#include <algorithm>

namespace tavolix::pages {

std::string RelativeLink(std::string_view pageFolder, std::string_view filePath) {
    const std::size_t n = std::min(pageFolder.size(), filePath.size());
    if (n == 0)
        return std::string(filePath);
    std::size_t last = 0; // bytes up to and including the last common "/"
    std::size_t k = 0;
    while (k < n && pageFolder[k] == filePath[k]) {
        if (pageFolder[k] == '/')
            last = k + 1;
        ++k;
    }
    if (k == n && filePath.size() >= pageFolder.size())
        return std::string(filePath.substr(last));
    std::string_view restPage = pageFolder.substr(last);
    std::string link;
    for (std::size_t i = 0, ups = std::count(restPage.begin(), restPage.end(), '/'); i < ups; ++i)
        link += "../";
    link += filePath.substr(last);
    return link;
}

std::string NetFolderName(std::string_view folder, const platform::TMountTable& volumes) {
    return NetFileName(AddBackSlash(folder), volumes);
}

} // namespace tavolix::pages
