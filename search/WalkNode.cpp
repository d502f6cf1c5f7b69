#include "search/WalkNode.h"

namespace tavolix::search::walk {

using platform::TDirectory;
using platform::TDirIdentity;
using platform::TWildcard;

TEntry TRules::ClassifyExcluded(const std::string& parent, std::string_view name) const {
    std::string_view relative;
    thread_local std::string path;
    if (Exclusions.HasPathPatterns() && parent.size() >= BaseLength) {
        path.assign(parent, BaseLength).append(name);
        relative = path;
    }
    return Exclusions.Excludes(name, relative) ? TEntry::Excluded : TEntry::Walk;
}

void ReadOpened(TNode& n, TDirectory& d, const TWildcard& mask, const TRules& rules,
                platform::TReadWatch& watch, const std::function<bool(const TDirIdentity&)>& isAncestor,
                TIdentityTable* met) {
    n.Id = d.Identity();
    if (!met && isAncestor(n.Id)) {
        n.Outcome = TOutcome::Loop;
        return;
    }
    // An ancestor is never on another file system than its walked children.
    if (n.Parent && n.Id.Device != n.Parent->Id.Device) {
        if (d.IsPseudoFileSystem()) {
            n.Outcome = TOutcome::Pseudo;
            return;
        }
        if (rules.Options.OneFileSystem && n.Id.Device != rules.BaseDevice) {
            n.Outcome = TOutcome::OtherFileSystem;
            return;
        }
    }
    n.Met = true;
    if (met && !met->Insert(n.Id)) {
        n.Outcome = isAncestor(n.Id) ? TOutcome::Loop : TOutcome::ReachedAgain;
        return;
    }
    // A kept listing stands for the listing alone: its entries are looked
    // at as those of a listing are.
    TListingStore* const store = rules.Listings;
    thread_local platform::TDirListing listing;
    const bool kept = store && store->Lookup(d, listing);
    const platform::TFileTime readAt = store && !kept ? store->Now() : platform::TFileTime{};
    const platform::TReadResult r = d.Read(mask, n.Contents, &watch, &rules.Options.Filter,
                                           kept ? &listing : nullptr, store && !kept ? &listing : nullptr);
    if (store && !kept && r.End == platform::TReadEnd::Complete && r.Unexamined == 0)
        store->Keep(d, readAt, listing);
    n.Outcome = TOutcome::Read;
    switch (r.End) {
    case platform::TReadEnd::Complete:
        n.PartError = r.Unexamined > 0 ? r.Error : 0;
        break;
    case platform::TReadEnd::Stopped:
        n.Outcome = TOutcome::Stopped;
        break;
    case platform::TReadEnd::Failed:
        if (n.Contents.FileCount() == 0 && n.Contents.Subdirs().empty()) {
            n.Outcome = TOutcome::Unreadable;
            n.Error = r.Error;
        } else {
            n.PartError = r.Error != 0 ? r.Error : EIO;
        }
        break;
    }
}

} // namespace tavolix::search::walk
