#pragma once

#include "search/ContentChoice.h"
#include "search/DirWalker.h"
#include "search/WalkOptions.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tavolix::search {

// The filters as a person gives them, in the grammar of tavolix-page's
// options: kinds by name ("pictures"), sizes as "10M", moments as "7d" or
// "2024-01-01". settings/FilterChoice reads, writes and resolves them.
struct TFilterChoice {
    std::vector<std::string> Kinds;
    std::string MinSize, MaxSize;             // "" for none
    std::string ChangedWithin, ChangedBefore; // "" for none
    bool Empty() const {
        return Kinds.empty() && MinSize.empty() && MaxSize.empty() && ChangedWithin.empty() &&
               ChangedBefore.empty();
    }
    bool operator==(const TFilterChoice&) const = default;
};

// One search as the user started it: made once, where the search is
// started, and handed on whole to the window that shows it and its walk.
struct TSearchQuery {
    std::string BaseDir; // bytes, as the file system has them
    std::string Key;     // the wildcard key as typed
    // The walk's choices. Its filter is made from Filters at the start of
    // each walk ("within 1h" counts back from there); with no Filters, the
    // one given here stands.
    TWalkOptions Walk;
    TFilterChoice Filters;
    // What the files must hold; empty: names alone.
    TContentChoice Contents;
    int Threads = DefaultWalkThreads();
    std::size_t OpenDirectoryLimit = 256;
};

} // namespace tavolix::search
