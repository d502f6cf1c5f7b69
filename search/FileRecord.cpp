#include "search/FileRecord.h"

namespace tavolix::search {

std::string TFileInfo::Path() const {
    std::string p(Dir());
    p.append(Name());
    return p;
}

} // namespace tavolix::search
