#pragma once

#include "platform/Directory.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The walk's own parts, for DirWalker.cpp only.
namespace tavolix::search::walk {

// A set of identities that only grows, one for every directory of a walk:
// open addressing in one array, nothing allocated per directory.
class TIdentityTable {
public:
    // False when it was there already.
    bool Insert(const platform::TDirIdentity& id);

private:
    static bool IsZero(const platform::TDirIdentity& id) { return id.Inode == 0 && id.Device == 0; }
    // The slot holding `id`, or the empty one where it goes.
    std::size_t Find(const platform::TDirIdentity& id) const;
    void Grow();

    std::vector<platform::TDirIdentity> FSlots; // a power of two long; zero: empty
    std::size_t FSize = 0;
    bool FHasZero = false;
};

// Which folders the pool has read, told apart by a 64-bit digest of their
// identity, without a lock: a read-ahead hint only. A digest that collides,
// or a table that is full, can only make the pool leave a folder's children
// to the walk, or read below a folder the walk then drops.
class TClaimTable {
public:
    // False when a folder of this digest was claimed already.
    bool Claim(const platform::TDirIdentity& id);

private:
    std::array<std::atomic<std::uint64_t>, 1 << 15> FSlots{};
};

// A link to a folder, left for after the folders reached without one.
struct TDeferredLink {
    std::string Path;                          // ends in "/"
    std::vector<platform::TDirIdentity> Chain; // of the folders from the base down to the link's
};

// Paths by their names, folder by folder: "/" comes before every other byte.
bool ComesBefore(const TDeferredLink& a, const TDeferredLink& b);

} // namespace tavolix::search::walk
