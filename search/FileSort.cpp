#include "search/FileSort.h"

#include <cstring>

namespace tavolix::search {

namespace {

inline unsigned char KeyByte(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 0x20 : c; }

// The first eight key bytes, big-endian, zero-padded. File names never hold a
// zero byte, so equal prefixes with a zero tell the texts are equal as far as
// the shorter one goes, and comparing prefixes agrees with CompareKeyText.
inline std::uint64_t TextPrefix(std::string_view s) {
    std::uint64_t k = 0;
    const std::size_t n = s.size() < 8 ? s.size() : 8;
    for (std::size_t i = 0; i < 8; ++i)
        k = (k << 8) | (i < n ? KeyByte(static_cast<unsigned char>(s[i])) : 0u);
    return k;
}

inline std::uint64_t Biased(std::int64_t v) { return static_cast<std::uint64_t>(v) ^ (1ull << 63); }

struct TKeyed {
    std::uint64_t Key;
    TFileInfo* Rec;
};

// Sign-exact comparison: the prefix decides where it can, the full
// comparator where it can't.
struct TKeyedCompare {
    TFileCompare Full;
    int operator()(const TKeyed& a, const TKeyed& b) const {
        if (a.Key != b.Key)
            return a.Key < b.Key ? -1 : 1;
        return Full(*a.Rec, *b.Rec);
    }
};

// Sort(L, R) as the list has always done it. The two parts of a partition
// are disjoint, so sorting the smaller one first (recursively) and looping
// on the larger gives the same order while keeping the stack shallow.
template <class T, class C> void QuickSort(T* list, long l, long r, const C& compare) {
    while (l < r) {
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
        // Left part [l, j], right part [i, r].
        if (j - l < r - i) {
            if (l < j)
                QuickSort(list, l, j, compare);
            l = i;
        } else {
            if (i < r)
                QuickSort(list, i, r, compare);
            r = j;
        }
    }
}

} // namespace

int CompareKeyText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int x = KeyByte(static_cast<unsigned char>(a[i]));
        const int y = KeyByte(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x - y;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareByName(const TFileInfo& a, const TFileInfo& b) { return CompareKeyText(a.Name(), b.Name()); }

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
    if (a.Time != b.Time)
        return a.Time < b.Time ? -1 : 1;
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

void SortFileInfos(std::vector<TFileInfo*>& items, TSortOrder order) {
    if (items.empty())
        return;
    std::vector<TKeyed> keyed(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TFileInfo& r = *items[i];
        std::uint64_t k = 0;
        switch (order) {
        case TSortOrder::soName:
            k = TextPrefix(r.Name());
            break;
        case TSortOrder::soExt:
            k = TextPrefix(r.Ext());
            break;
        case TSortOrder::soSize:
            k = Biased(r.Size);
            break;
        case TSortOrder::soTime:
            k = Biased(r.Time);
            break;
        default:
            k = TextPrefix(r.Dir());
        }
        keyed[i] = {k, items[i]};
    }
    QuickSort(keyed.data(), 0, static_cast<long>(keyed.size()) - 1, TKeyedCompare{ComparatorOf(order)});
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i] = keyed[i].Rec;
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
