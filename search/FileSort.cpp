#include "search/FileSort.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <system_error>
#include <thread>

namespace tavolix::search {

namespace {

inline unsigned char KeyByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
}

// Eight key bytes of `s` from `from`, big-endian, zero-padded, a..z mapped
// to A..Z all eight at once (bytes from 0x80 stay as they are).
inline std::uint64_t KeyBytes8(std::string_view s, std::size_t from) {
    std::uint64_t x = 0;
    if (from + 8 <= s.size()) {
        std::memcpy(&x, s.data() + from, 8);
    } else {
        unsigned char b[8] = {};
        for (std::size_t i = from; i < s.size(); ++i)
            b[i - from] = static_cast<unsigned char>(s[i]);
        std::memcpy(&x, b, 8);
    }
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
    const std::uint64_t low7 = x & kLow7;
    const std::uint64_t atLeastA = low7 + 0x1F1F1F1F1F1F1F1Full; // 0x61 + 0x1F = 0x80
    const std::uint64_t aboveZ = low7 + 0x0505050505050505ull;   // 0x7B + 0x05 = 0x80
    x -= (atLeastA & ~aboveZ & ~x & kHigh) >> 2;
    if constexpr (std::endian::native == std::endian::little)
        x = __builtin_bswap64(x);
    return x;
}

// The first eight key bytes, big-endian, zero-padded. File names never hold a
// zero byte, so equal prefixes with a zero tell the texts are equal as far as
// the shorter one goes, and comparing prefixes agrees with CompareKeyText.
inline std::uint64_t TextPrefix(std::string_view s, std::size_t from = 0) {
    return KeyBytes8(s, from);
}

// Seven key bytes of `s` from `from`, then a flag byte: 1 when `s` goes on
// beyond them (the full comparison must decide), 0 when it does not.
inline std::uint64_t TailKey(std::string_view s, std::size_t from) {
    return (KeyBytes8(s, from) & ~std::uint64_t{0xFF}) | (s.size() > from + 7 ? 1u : 0u);
}

constexpr std::uint64_t kNeedsFull = 1;

inline std::uint64_t Biased(std::int64_t v) {
    return static_cast<std::uint64_t>(v) ^ (1ull << 63);
}

// A record with two 8-byte keys that decide most comparisons without
// touching the record; equal keys fall back to the full comparator, so the
// sign of every comparison is the comparator's own.
struct TKeyed {
    std::uint64_t Key1, Key2, Key3;
    TFileInfo* Rec;
};

struct TKeyedCompare {
    TFileCompare Full;
    int operator()(const TKeyed& a, const TKeyed& b) const {
        if (a.Key1 != b.Key1)
            return a.Key1 < b.Key1 ? -1 : 1;
        if (a.Key2 != b.Key2)
            return a.Key2 < b.Key2 ? -1 : 1;
        if (a.Key3 != b.Key3)
            return a.Key3 < b.Key3 ? -1 : 1;
        // Key3 ends in a flag byte: 0 when the keys hold the whole name, so
        // equal keys mean equal texts; the pivot also meets itself here.
        if ((a.Key3 & 0xFF) == 0 || a.Rec == b.Rec)
            return 0;
        return Full(*a.Rec, *b.Rec);
    }
};

// The distinct directory texts met in one slice of the items, each with an id
// in the order first met. Open addressing on the pointer: in any order but
// the walk's, neighbours seldom share a directory, and a record then costs
// one probe of a flat table.
class TDirIds {
public:
    TDirIds() { Resize(1024); }
    void Prefetch(const std::string* dir) const {
        const std::size_t s = Home(dir);
        __builtin_prefetch(&FSlots[s]);
        __builtin_prefetch(&FIds[s]);
    }
    std::uint32_t Id(const std::string* dir) {
        for (std::size_t s = Home(dir);; s = (s + 1) & FMask) {
            if (FSlots[s] == dir)
                return FIds[s];
            if (FSlots[s] == nullptr) {
                const auto id = static_cast<std::uint32_t>(FDirs.size());
                FSlots[s] = dir;
                FIds[s] = id;
                FDirs.push_back(dir);
                if (FDirs.size() * 4 > FSlots.size() * 3)
                    Resize(FSlots.size() * 2);
                return id;
            }
        }
    }
    // By id.
    const std::vector<const std::string*>& Dirs() const { return FDirs; }

private:
    std::size_t Home(const std::string* dir) const {
        return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(dir) * 0x9E3779B97F4A7C15ull) >>
                                        FShift);
    }
    void Resize(std::size_t slots) {
        FSlots.assign(slots, nullptr);
        FIds.assign(slots, 0);
        FMask = slots - 1;
        FShift = 64 - std::countr_zero(slots);
        for (std::size_t id = 0; id < FDirs.size(); ++id) {
            std::size_t s = Home(FDirs[id]);
            while (FSlots[s] != nullptr)
                s = (s + 1) & FMask;
            FSlots[s] = FDirs[id];
            FIds[s] = static_cast<std::uint32_t>(id);
        }
    }
    std::vector<const std::string*> FSlots;
    std::vector<std::uint32_t> FIds;
    std::vector<const std::string*> FDirs;
    std::size_t FMask = 0;
    int FShift = 0;
};

// A distinct directory of one slice, keyed past the start all texts share.
struct TDirKey {
    std::uint64_t Key1, Key2;
    const std::string* Dir;
    std::uint32_t* Rank;
};

inline int CompareDirKeys(const TDirKey& a, const TDirKey& b) {
    if (a.Key1 != b.Key1)
        return a.Key1 < b.Key1 ? -1 : 1;
    if (a.Key2 != b.Key2)
        return a.Key2 < b.Key2 ? -1 : 1;
    return a.Dir == b.Dir ? 0 : CompareKeyText(*a.Dir, *b.Dir);
}

// One partition step of Sort(L, R) as the list has always done it: the left
// part is [l, j], the right part [i, r].
template <class T, class C>
inline void Partition(T* list, long l, long r, const C& compare, long& outI, long& outJ) {
    // Locals, not the references: a store into the list may alias them.
    long i = l, j = r;
    const T p = list[(l + r) >> 1];
    do {
        while (compare(list[i], p) < 0)
            ++i;
        while (compare(list[j], p) > 0)
            --j;
        if (i <= j) {
            T t = list[i];
            list[i] = list[j];
            list[j] = t;
            ++i;
            --j;
        }
    } while (i <= j);
    outI = i;
    outJ = j;
}

// The two parts of a partition are disjoint, so sorting the smaller one
// first (recursively) and looping on the larger, or sorting them at the
// same time, gives the same order; the stack stays shallow.
// A stop ends it early, the list then in no useful order.
template <class T, class C>
void QuickSort(T* list, long l, long r, const C& compare, const std::atomic<bool>* stop = nullptr) {
    while (l < r) {
        if (stop && r - l > 256 && stop->load(std::memory_order_relaxed))
            return;
        long i, j;
        Partition(list, l, r, compare, i, j);
        if (j - l < r - i) {
            if (l < j)
                QuickSort(list, l, j, compare, stop);
            l = i;
        } else {
            if (i < r)
                QuickSort(list, i, r, compare, stop);
            r = j;
        }
    }
}

// Parts below this many records are not worth a thread of their own.
constexpr long kParallelPart = 16384;

// As QuickSort, with parts of at least `minPart` records handed to threads
// of their own while `spare` allows.
template <class T, class C>
void ParallelQuickSort(T* list, long l, long r, const C& compare, long minPart, std::atomic<int>& spare,
                       std::vector<std::thread>& started, std::mutex& startedMutex,
                       const std::atomic<bool>* stop) {
    while (l < r) {
        if (r - l < minPart || spare.load(std::memory_order_relaxed) <= 0) {
            QuickSort(list, l, r, compare, stop);
            return;
        }
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        long i, j;
        Partition(list, l, r, compare, i, j);
        // The smaller part goes to a new thread, this one goes on with the larger.
        long sl = l, sr = j;
        if (j - l < r - i)
            l = i;
        else
            sl = i, sr = r, r = j;
        if (sl >= sr)
            continue;
        if (sr - sl >= kParallelPart && spare.fetch_sub(1, std::memory_order_relaxed) > 0) {
            try {
                std::lock_guard lock(startedMutex);
                started.emplace_back([=, &compare, &spare, &started, &startedMutex] {
                    ParallelQuickSort(list, sl, sr, compare, minPart, spare, started, startedMutex, stop);
                });
                continue;
            } catch (const std::system_error&) {
            }
        }
        QuickSort(list, sl, sr, compare, stop);
    }
}

template <class T, class C>
void SortOnThreads(T* list, long count, const C& compare, int threads,
                   const std::atomic<bool>* stop = nullptr) {
    if (threads <= 1 || count < 2 * kParallelPart) {
        QuickSort(list, 0, count - 1, compare, stop);
        return;
    }
    // Several parts per core: the partitions are seldom even.
    std::atomic<int> spare(4 * threads - 1);
    std::vector<std::thread> started;
    started.reserve(static_cast<std::size_t>(4 * threads));
    std::mutex startedMutex;
    ParallelQuickSort(list, 0, count - 1, compare, std::max<long>(kParallelPart, count / (8 * threads)),
                      spare, started, startedMutex, stop);
    // Threads start threads: join until none is left.
    for (;;) {
        std::thread t;
        {
            std::lock_guard lock(startedMutex);
            if (started.empty())
                break;
            t = std::move(started.back());
            started.pop_back();
        }
        t.join();
    }
}

struct TFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Left uninitialised, in whole huge pages where the system grants them: an
// array of hundreds of megabytes costs fewer faults and TLB misses so.
template <class T> std::unique_ptr<T[], TFreeDeleter> BigArray(std::size_t n) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const std::size_t bytes = std::max<std::size_t>(1, n * sizeof(T));
    void* p = nullptr;
    if (bytes >= kHugePage) {
        p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
#ifdef MADV_HUGEPAGE
        if (p != nullptr)
            madvise(p, (bytes + kHugePage - 1) / kHugePage * kHugePage, MADV_HUGEPAGE);
#endif
    } else {
        p = std::malloc(bytes);
    }
    if (p == nullptr)
        throw std::bad_alloc();
    return std::unique_ptr<T[], TFreeDeleter>(static_cast<T*>(p));
}

// Runs fn(slice, begin, end) over [0, n) in at most `threads` slices at once;
// the same n and threads give the same slices.
template <class F> void ForSlices(std::size_t n, int threads, const F& fn) {
    if (threads <= 1 || n < 2 * static_cast<std::size_t>(kParallelPart)) {
        fn(std::size_t{0}, std::size_t{0}, n);
        return;
    }
    std::vector<std::thread> pool;
    const std::size_t slice = (n + static_cast<std::size_t>(threads) - 1) / static_cast<std::size_t>(threads);
    for (std::size_t b = slice; b < n; b += slice) {
        try {
            pool.emplace_back([&fn, b, k = b / slice, e = std::min(n, b + slice)] { fn(k, b, e); });
        } catch (const std::system_error&) {
            fn(b / slice, b, std::min(n, b + slice));
        }
    }
    fn(std::size_t{0}, std::size_t{0}, std::min(n, slice));
    for (auto& t : pool)
        t.join();
}

// Ranks the directories the slices met, equal ranks for texts that compare
// equal (case aside, or two shared copies of one text): ranks[slice][id].
void RankDirs(const std::vector<TDirIds>& ids, std::vector<std::vector<std::uint32_t>>& ranks, int threads,
              const std::atomic<bool>* stop) {
    std::size_t count = 0;
    const std::string* first = nullptr;
    for (const TDirIds& slice : ids) {
        count += slice.Dirs().size();
        if (first == nullptr && !slice.Dirs().empty())
            first = slice.Dirs().front();
    }
    ranks.resize(ids.size());
    if (count == 0)
        return;
    // Raw equal bytes are equal key bytes: skip the start every text shares.
    std::size_t common = first->size();
    for (const TDirIds& slice : ids)
        for (const std::string* d : slice.Dirs()) {
            std::size_t c = 0;
            const std::size_t most = std::min(common, d->size());
            while (c < most && (*first)[c] == (*d)[c])
                ++c;
            common = c;
        }
    auto keys = BigArray<TDirKey>(count);
    std::size_t n = 0;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        ranks[k].resize(ids[k].Dirs().size());
        for (std::size_t id = 0; id < ids[k].Dirs().size(); ++id) {
            const std::string* d = ids[k].Dirs()[id];
            keys[n++] = {TextPrefix(*d, common), TextPrefix(*d, common + 8), d, &ranks[k][id]};
        }
    }
    // Any sort will do here: equal texts get one rank whatever their order.
    SortOnThreads(keys.get(), static_cast<long>(count), CompareDirKeys, threads, stop);
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && CompareDirKeys(keys[i - 1], keys[i]) != 0)
            ++next;
        *keys[i].Rank = next;
    }
}

} // namespace

int CompareKeyText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    std::size_t i = 0;
    // Equal raw bytes map to equal key bytes: skip common runs eight at a time.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            break;
    }
    for (; i < n; ++i) {
        const int x = KeyByte(static_cast<unsigned char>(a[i]));
        const int y = KeyByte(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x - y;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareByName(const TFileInfo& a, const TFileInfo& b) {
    return CompareKeyText(a.Name(), b.Name());
}

int CompareByDir(const TFileInfo& a, const TFileInfo& b) {
    int c = a.FDir == b.FDir ? 0 : CompareKeyText(a.Dir(), b.Dir());
    return c != 0 ? c : CompareByName(a, b);
}

int CompareByExt(const TFileInfo& a, const TFileInfo& b) {
    int c = CompareKeyText(a.Ext(), b.Ext());
    return c != 0 ? c : CompareByName(a, b);
}

int CompareBySize(const TFileInfo& a, const TFileInfo& b) {
    if (a.Size != b.Size)
        return a.Size < b.Size ? -1 : 1;
    return CompareByName(a, b);
}

int CompareByTime(const TFileInfo& a, const TFileInfo& b) {
    if (a.OrderTime != b.OrderTime)
        return a.OrderTime < b.OrderTime ? -1 : 1;
    return CompareByName(a, b);
}

TFileCompare ComparatorOf(TSortOrder order) {
    switch (order) {
    case TSortOrder::soName:
        return CompareByName;
    case TSortOrder::soExt:
        return CompareByExt;
    case TSortOrder::soSize:
        return CompareBySize;
    case TSortOrder::soTime:
        return CompareByTime;
    case TSortOrder::soDirectory:
    default:
        return CompareByDir;
    }
}

int DefaultSortThreads() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

bool SortFileInfos(std::vector<TFileInfo*>& items, TSortOrder order, int threads,
                   const std::atomic<bool>* stop) {
    const auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };
    if (items.empty())
        return !stopped();
    if (threads <= 0)
        threads = DefaultSortThreads();
    // Ids and ranks of directories are 32 bits wide; this many records
    // would not fit in memory anyway.
    if (items.size() > 0xFFFFFFFFu) {
        const TFileCompare full = ComparatorOf(order);
        std::vector<TFileInfo*> sorted = items;
        QuickSort(
            sorted.data(), 0, static_cast<long>(sorted.size()) - 1,
            [full](const TFileInfo* a, const TFileInfo* b) { return full(*a, *b); }, stop);
        if (stopped())
            return false;
        items.swap(sorted);
        return true;
    }
    // The slices write every key, and touch its pages on their own threads.
    auto keyed = BigArray<TKeyed>(items.size());
    const bool byDir = order == TSortOrder::soDirectory;
    std::vector<TDirIds> dirIds(byDir ? static_cast<std::size_t>(threads) : 0);
    ForSlices(items.size(), threads, [&](std::size_t slice, std::size_t begin, std::size_t end) {
        const std::string* lastDir = nullptr;
        std::uint32_t lastId = 0;
        for (std::size_t i = begin; i < end; ++i) {
            if ((i & 0xFFFF) == 0 && stopped())
                return;
            // The records lie in walk order, the items in the last sort's:
            // fetch ahead, the record first, then its name and directory id.
            if (i + 16 < end)
                __builtin_prefetch(items[i + 16]);
            if (i + 8 < end) {
                __builtin_prefetch(items[i + 8]->FName);
                if (byDir)
                    dirIds[slice].Prefetch(items[i + 8]->FDir);
            }
            const TFileInfo& r = *items[i];
            const std::string_view name = r.Name();
            TKeyed k{0, TextPrefix(name), TailKey(name, 8), items[i]};
            switch (order) {
            case TSortOrder::soName:
                k.Key1 = k.Key2;
                k.Key2 = TextPrefix(name, 8);
                k.Key3 = TailKey(name, 16);
                break;
            case TSortOrder::soExt:
                // Below 8 bytes, equal padded prefixes mean equal extensions and
                // the name decides; longer ones need the full rule.
                k.Key1 = TextPrefix(r.Ext());
                if (r.Ext().size() >= 8) {
                    k.Key2 = 0;
                    k.Key3 = kNeedsFull;
                }
                break;
            case TSortOrder::soSize:
                k.Key1 = Biased(r.Size);
                break;
            case TSortOrder::soTime:
                k.Key1 = Biased(r.OrderTime);
                break;
            default:
                // The slice's id for now, its rank once all are known.
                if (r.FDir != lastDir) {
                    lastDir = r.FDir;
                    lastId = dirIds[slice].Id(r.FDir);
                }
                k.Key1 = lastId;
            }
            keyed[i] = k;
        }
    });
    if (stopped())
        return false;
    if (byDir) {
        std::vector<std::vector<std::uint32_t>> ranks;
        RankDirs(dirIds, ranks, threads, stop);
        if (stopped())
            return false;
        dirIds.clear();
        ForSlices(items.size(), threads, [&](std::size_t slice, std::size_t begin, std::size_t end) {
            const std::uint32_t* rank = ranks[slice].data();
            for (std::size_t i = begin; i < end; ++i) {
                if (i + 16 < end)
                    __builtin_prefetch(rank + keyed[i + 16].Key1);
                keyed[i].Key1 = rank[keyed[i].Key1];
            }
        });
    }
    SortOnThreads(keyed.get(), static_cast<long>(items.size()), TKeyedCompare{ComparatorOf(order)}, threads,
                  stop);
    if (stopped())
        return false;
    ForSlices(items.size(), threads, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            items[i] = keyed[i].Rec;
    });
    return true;
}

const char* SortOrderName(TSortOrder order) {
    switch (order) {
    case TSortOrder::soName:
        return "Name";
    case TSortOrder::soExt:
        return "Ext";
    case TSortOrder::soSize:
        return "Size";
    case TSortOrder::soTime:
        return "Time";
    default:
        return "Directory";
    }
}

const char* SortDirectionName(TSortDirection direction) {
    return direction == TSortDirection::sdDownword ? "Down" : "Upword";
}

} // namespace tavolix::search
