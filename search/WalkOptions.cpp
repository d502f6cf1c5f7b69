#include "search/WalkOptions.h"

namespace tavolix::search {

TExclusions::TExclusions(const std::vector<std::string>& patterns) {
    for (std::string_view p : patterns) {
        while (!p.empty() && (p.front() == ' ' || p.front() == '\t'))
            p.remove_prefix(1);
        while (!p.empty() && (p.back() == ' ' || p.back() == '\t' || p.back() == '/'))
            p.remove_suffix(1);
        const bool anchored = !p.empty() && p.front() == '/';
        while (!p.empty() && p.front() == '/')
            p.remove_prefix(1);
        if (p.empty())
            continue;
        (anchored || p.find('/') != std::string_view::npos ? FPaths : FNames).emplace_back(p);
    }
}

bool TExclusions::Excludes(std::string_view name, std::string_view relative) const {
    for (const platform::TWildcard& w : FNames)
        if (w.Matches(name))
            return true;
    for (const platform::TWildcard& w : FPaths)
        if (w.Matches(relative))
            return true;
    return false;
}

} // namespace tavolix::search
