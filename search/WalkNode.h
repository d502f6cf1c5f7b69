#pragma once

#include "platform/Directory.h"
#include "search/FolderIdentities.h"
#include "search/ListingStore.h"
#include "search/WalkOptions.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tavolix::search::walk {

inline bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

enum class TOutcome : std::uint8_t {
    Read,
    Unreadable,
    NoDescriptors,
    Loop,
    Pseudo,
    OtherFileSystem,
    ReachedAgain, // read, but walked before under another path
    Vanished,
    Stopped
};
enum class TState : std::uint8_t { Queued, Running, Done, Taken };

// One directory of the walk: where it is, what reading it gave and, when the
// pool reads ahead, its subdirectories handed to the pool.
struct TNode {
    std::string Path; // ends in "/"
    // Outlives the reading of this node: a parent leaves the walk only after
    // all of its children have been read.
    TNode* Parent = nullptr;
    std::vector<std::uint32_t> Key; // position in the walk order (pool only)
    TState State = TState::Queued;
    TOutcome Outcome = TOutcome::Read;
    int Error = 0;
    // Read, but only in part (the listing broke off, or entries could not be
    // looked at): why. 0 when read whole.
    int PartError = 0;
    // Opened and none of the walk's own ancestors nor left out: a folder the
    // walk has now met (it may still fail to list).
    bool Met = false;
    // Matching files read so far, while a pool thread reads it.
    std::atomic<std::size_t> FilesSoFar{0};
    platform::TDirIdentity Id;
    platform::TDirContents Contents;
    // By subdirectory index; a missing entry was not handed to the pool.
    std::vector<std::shared_ptr<TNode>> Children;
    // Kept open for opening the children handed to the pool, while the
    // budget allows: cheaper than a path from the base. Closed by the last.
    platform::TDirectory Dir;
    std::atomic<std::uint32_t> Unopened{0};
};

// What a subdirectory entry is to the walk. A link is walked after every
// folder reached without one: a folder is listed under its own path, not
// under a link that the directory happens to list first.
enum class TEntry : std::uint8_t { Walk, Special, DotFolder, Excluded, Link };

// The walk's choices, as the walking thread and the pool apply them alike.
struct TRules {
    explicit TRules(const TWalkOptions& options) : Options(options), Exclusions(options.Exclude) {}

    // The subdirectory entry `name` of the directory at `parent` (ending in "/").
    TEntry Classify(const std::string& parent, std::string_view name, bool isLink) const {
        if (name.empty())
            return TEntry::Special;
        if (name[0] == '.') {
            if (name.size() == 1 || (name.size() == 2 && name[1] == '.'))
                return TEntry::Special;
            if (!Options.HiddenFolders)
                return TEntry::DotFolder;
        }
        const TEntry entry = Exclusions.Empty() ? TEntry::Walk : ClassifyExcluded(parent, name);
        return entry == TEntry::Walk && isLink && !Options.WalkLinkedFoldersAgain ? TEntry::Link : entry;
    }

    TEntry ClassifyExcluded(const std::string& parent, std::string_view name) const;

    const TWalkOptions Options;
    const TExclusions Exclusions;
    std::size_t BaseLength = 0; // of the base folder's path, "/" included
    dev_t BaseDevice = 0;
    // Where listings read before are looked up and those read whole kept.
    TListingStore* Listings = nullptr;
};

// Classifies a directory just opened and reads it, unless it is one of its
// own ancestors (`isAncestor` tells), a kernel pseudo file system below a
// real one, on another file system when the walk stays on one, or met before
// (when `met` is given, it is added there; ancestors are asked about only
// then). What a broken-off read got is kept.
void ReadOpened(TNode& n, platform::TDirectory& d, const platform::TWildcard& mask, const TRules& rules,
                platform::TReadWatch& watch,
                const std::function<bool(const platform::TDirIdentity&)>& isAncestor,
                TIdentityTable* met = nullptr);

} // namespace tavolix::search::walk
