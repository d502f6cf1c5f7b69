#include "search/FolderIdentities.h"

#include <algorithm>
#include <utility>

namespace tavolix::search::walk {

using platform::TDirIdentity;

bool TIdentityTable::Insert(const TDirIdentity& id) {
    if (IsZero(id))
        return !std::exchange(FHasZero, true);
    if ((FSize + 1) * 2 > FSlots.size())
        Grow();
    TDirIdentity& slot = FSlots[Find(id)];
    if (!IsZero(slot))
        return false;
    slot = id;
    ++FSize;
    return true;
}

std::size_t TIdentityTable::Find(const TDirIdentity& id) const {
    std::uint64_t h = static_cast<std::uint64_t>(id.Inode) * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(id.Device) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    const std::size_t mask = FSlots.size() - 1;
    std::size_t i = h & mask;
    while (!IsZero(FSlots[i]) && !(FSlots[i] == id))
        i = (i + 1) & mask;
    return i;
}

void TIdentityTable::Grow() {
    std::vector<TDirIdentity> old(FSlots.empty() ? 8192 : FSlots.size() * 2);
    old.swap(FSlots);
    for (const TDirIdentity& id : old)
        if (!IsZero(id))
            FSlots[Find(id)] = id;
}

bool TClaimTable::Claim(const TDirIdentity& id) {
    std::uint64_t h = static_cast<std::uint64_t>(id.Inode) * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(id.Device) * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 31)) | 1;
    for (std::size_t i = h, probes = 0; probes < 32; ++i, ++probes) {
        std::atomic<std::uint64_t>& slot = FSlots[i % FSlots.size()];
        std::uint64_t seen = slot.load(std::memory_order_relaxed);
        if (seen == 0 && slot.compare_exchange_strong(seen, h, std::memory_order_relaxed))
            return true;
        if (seen == h)
            return false;
    }
    return true;
}

bool ComesBefore(const TDeferredLink& a, const TDeferredLink& b) {
    const auto key = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
    return std::lexicographical_compare(a.Path.begin(), a.Path.end(), b.Path.begin(), b.Path.end(),
                                        [&](char x, char y) { return key(x) < key(y); });
}

} // namespace tavolix::search::walk
