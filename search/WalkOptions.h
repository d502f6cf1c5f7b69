#pragma once

#include "platform/FileFilter.h"
#include "platform/Wildcard.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavolix::search {

// The walk's choices, the same for the window and tavolix-page. Every
// folder left out by one of them is counted, never skipped in silence.
struct TWalkOptions {
    // Folders whose names begin with "." are searched too.
    bool HiddenFolders = false;
    // Folders on another file system than the base folder are not entered.
    bool OneFileSystem = false;
    // Folders not entered: patterns in the key's wildcard rule, matched
    // against a folder's name or, when the pattern holds a "/", against its
    // path below the base folder ("*" there also spans "/"; a leading "/"
    // only marks a path pattern, a trailing one is dropped).
    std::vector<std::string> Exclude;
    // A folder is walked again under each further link that leads to it
    // (loops are still refused). Not offered to the user: a list would hold
    // the same files many times; tests use it for a long walk of few folders.
    bool WalkLinkedFoldersAgain = false;
    // The key is read as several patterns separated by ";" (else as one).
    bool KeyLists = false;
    // What a file must be besides matching the key, tested as the folder is
    // read (Prepare()d).
    platform::TFileFilter Filter;
    // How the filters and the key's rule read, for a window's title and a
    // page's key line (the caller's words); empty for a plain search.
    std::string FilterText;
};

// Exclusion patterns, compiled once; safe to use from several threads.
class TExclusions {
public:
    explicit TExclusions(const std::vector<std::string>& patterns);

    bool Empty() const { return FNames.empty() && FPaths.empty(); }
    // Whether Excludes looks at `relative` at all.
    bool HasPathPatterns() const { return !FPaths.empty(); }
    // `name`: the folder's name; `relative`: its path below the base folder,
    // without a leading or trailing "/".
    bool Excludes(std::string_view name, std::string_view relative) const;

private:
    std::vector<platform::TWildcard> FNames, FPaths;
};

} // namespace tavolix::search
