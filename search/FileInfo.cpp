#include "search/FileInfo.h"

#include "search/FileSort.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>

namespace tavolix::search {

using platform::TDirContents;
using platform::TWildcard;

namespace {

constexpr std::size_t kRecordChunk = 4096;
constexpr std::size_t kNameChunk = 64 * 1024;

} // namespace

std::string DirWithBackslash(std::string_view path) {
    std::string d(path);
    if (!d.empty() && d.back() != '/')
        d.push_back('/');
    return d;
}

namespace {

std::int32_t PackDateTime(const std::tm& tm) {
    const int year = tm.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    const auto date = static_cast<std::uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    const auto time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return static_cast<std::int32_t>((date << 16) | time);
}

} // namespace

std::int32_t FileTimeToFileDate(const platform::TFileTime& fileTime) {
    const auto t = static_cast<std::time_t>(fileTime.Seconds);
    std::tm tm{};
    return localtime_r(&t, &tm) ? PackDateTime(tm) : 0;
}

std::int32_t FileTimeToFileDate(const platform::TFileTime& fileTime, long utcOffset) {
    const auto t = static_cast<std::time_t>(fileTime.Seconds + utcOffset);
    std::tm tm{};
    return gmtime_r(&t, &tm) ? PackDateTime(tm) : 0;
}

TPackedTimes PackTimes(const platform::TFileTime& fileTime, long orderOffset) {
    return {FileTimeToFileDate(fileTime), FileTimeToFileDate(fileTime, orderOffset)};
}

long CurrentUtcOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    return localtime_r(&now, &tm) ? tm.tm_gmtoff : 0;
}

// A sort under way on a thread of its own: it sorts the first Count items
// (copied from the list's items, or handed over in the walk's order).
struct TFileInfoList::TPendingSort {
    TSortOrder Order = TSortOrder::soName;
    std::size_t Count = 0;
    std::vector<TFileInfo*> Sorted;
    std::atomic<bool> Done{false};
    std::atomic<bool> Stop{false}; // dropped: its order is not wanted any more
    std::thread Thread;
};

TFileInfoList::TFileInfoList() = default;
TFileInfoList::~TFileInfoList() {
    ClearFiles();
}

void TFileInfoList::DropSort() {
    if (!FPendingSort)
        return;
    FPendingSort->Stop.store(true, std::memory_order_relaxed);
    if (FPendingSort->Thread.joinable())
        FPendingSort->Thread.join();
    FPendingSort.reset();
    FSortReadsItems = false;
}

void TFileInfoList::StartSortOf(std::vector<TFileInfo*> items, TSortOrder order) {
    DropSort();
    auto sort = std::make_unique<TPendingSort>();
    sort->Order = order;
    FSortReadsItems = items.empty() && !FItems.empty();
    sort->Count = FSortReadsItems ? FItems.size() : items.size();
    sort->Sorted = std::move(items);
    const auto run = [sort = sort.get(), from = FSortReadsItems ? &FItems : nullptr] {
        if (from)
            sort->Sorted.assign(from->begin(), from->begin() + static_cast<std::ptrdiff_t>(sort->Count));
        SortFileInfos(sort->Sorted, sort->Order, 0, &sort->Stop);
        sort->Done.store(true, std::memory_order_release);
    };
    try {
        sort->Thread = std::thread(run);
    } catch (const std::system_error&) {
        run(); // no thread to be had: sorted here
    }
    FPendingSort = std::move(sort);
}

void TFileInfoList::StartSort(TSortOrder order) {
    if (!FWalking) {
        StartSortOf({}, order);
        return;
    }
    // The walk goes on adding: the sort gets a copy, and the walk's order
    // of what it sorts is kept for the final order.
    FWalkOrder.insert(FWalkOrder.end(), FItems.begin() + static_cast<std::ptrdiff_t>(FWalkOrderFrom),
                      FItems.end());
    FWalkOrderFrom = FItems.size();
    StartSortOf(FItems, order);
}

TSortOrder TFileInfoList::WantedSortOrder() const {
    return FPendingSort ? FPendingSort->Order : FSortOrder;
}

bool TFileInfoList::SortDone() const {
    return FPendingSort && FPendingSort->Done.load(std::memory_order_acquire);
}

void TFileInfoList::ApplySort() {
    if (!FPendingSort)
        return;
    if (FPendingSort->Thread.joinable())
        FPendingSort->Thread.join();
    std::vector<TFileInfo*> sorted = std::move(FPendingSort->Sorted);
    const std::size_t count = FPendingSort->Count;
    FSortOrder = FPendingSort->Order;
    FPendingSort.reset();
    FSortReadsItems = false;
    if (count < FItems.size()) {
        sorted.reserve(FItems.size());
        sorted.insert(sorted.end(), FItems.begin() + static_cast<std::ptrdiff_t>(count), FItems.end());
    }
    FItems = std::move(sorted);
}

void TFileInfoList::ClearFiles() {
    DropSort();
    FItems.clear();
    FItems.shrink_to_fit();
    FRecordChunks.clear();
    FRecordsInLastChunk = 0;
    FNameChunks.clear();
    FNameChunkUsed = 0;
    FDirs.clear();
    FAdopted.clear();
    FWalkOrder = {};
    FWalkOrderFrom = 0;
}

void TFileInfoList::ChangeMask(std::string_view value) {
    FFileMask = std::string(value);
}

char* TFileInfoList::StoreName(std::string_view name) {
    if (FNameChunks.empty() || FNameChunkUsed + name.size() > kNameChunk) {
        if (name.size() > kNameChunk) {
            // Only hand-made records get here: names on disk are far shorter.
            FNameChunks.insert(FNameChunks.begin(), std::make_unique<char[]>(name.size()));
            std::memcpy(FNameChunks.front().get(), name.data(), name.size());
            return FNameChunks.front().get();
        }
        FNameChunks.push_back(std::make_unique<char[]>(kNameChunk));
        FNameChunkUsed = 0;
    }
    char* p = FNameChunks.back().get() + FNameChunkUsed;
    std::memcpy(p, name.data(), name.size());
    FNameChunkUsed += name.size();
    return p;
}

const std::string* TFileInfoList::ShareDir(std::string dirWithSlash) {
    FDirs.push_back(std::move(dirWithSlash));
    return &FDirs.back();
}

TFileInfo* TFileInfoList::AddFile(const std::string* dir, std::string_view name, std::int64_t size,
                                  std::int32_t time, std::uint32_t attr) {
    if (FRecordChunks.empty() || FRecordsInLastChunk == kRecordChunk) {
        FRecordChunks.push_back(std::make_unique<TFileInfo[]>(kRecordChunk));
        FRecordsInLastChunk = 0;
    }
    if (name.size() > 0xFFFF)
        name = name.substr(0, 0xFFFF);
    TFileInfo* r = &FRecordChunks.back()[FRecordsInLastChunk++];
    r->FDir = dir;
    r->FName = StoreName(name);
    r->FNameLength = static_cast<std::uint16_t>(name.size());
    auto dot = name.rfind('.');
    r->FExtPos = static_cast<std::uint16_t>(dot == std::string_view::npos ? name.size() : dot);
    r->Size = size;
    r->Time = time;
    r->OrderTime = time;
    r->Attr = attr;
    SettleSort();
    FItems.push_back(r);
    FFileCount += 1;
    FTotalSize += size;
    return r;
}

std::size_t TFileInfoList::MemoryUsed() const {
    std::size_t bytes = FItems.capacity() * sizeof(TFileInfo*);
    bytes += FRecordChunks.size() * kRecordChunk * sizeof(TFileInfo);
    bytes += FNameChunks.size() * kNameChunk;
    for (const auto& d : FDirs)
        bytes += sizeof(std::string) + (d.capacity() > 15 ? d.capacity() + 1 : 0);
    for (const auto& a : FAdopted)
        bytes += a->MemoryUsed();
    return bytes;
}

bool TFileInfoList::Append(TFileInfoList& batch) {
    // A trickle of hits (a slow share) comes in batches of a few records:
    // copied, they don't keep a chunk of storage each.
    if (batch.FItems.size() >= kRecordChunk / 4)
        return false;
    const std::string* from = nullptr;
    const std::string* to = nullptr;
    for (const TFileInfo* r : batch.FItems) {
        if (r->FDir != from) {
            from = r->FDir;
            to = ShareDir(*from);
        }
        AddFile(to, r->Name(), r->Size, r->Time, r->Attr)->OrderTime = r->OrderTime;
    }
    batch.ClearFiles();
    batch.FFileCount = 0;
    batch.FTotalSize = 0;
    return true;
}

void TFileInfoList::Adopt(std::unique_ptr<TFileInfoList> batch) {
    SettleSort();
    FItems.insert(FItems.end(), batch->FItems.begin(), batch->FItems.end());
    FFileCount += batch->FFileCount;
    FTotalSize += batch->FTotalSize;
    batch->FItems.clear();
    batch->FItems.shrink_to_fit();
    FAdopted.push_back(std::move(batch));
}

// Turns what the walk finds into records.
class TFileInfoList::TWalkFeed final : public TWalkVisitor {
public:
    explicit TWalkFeed(TFileInfoList& list) : FList(list) {}
    void DirectoryRead(const std::string& dir, const TDirContents& contents) override {
        FList.AddDirectory(dir, contents);
    }
    void EnteringDirectory(const std::string&, std::string_view) override {}
    void LeftDirectory() override {}

private:
    TFileInfoList& FList;
};

void TFileInfoList::BeginSearch() {
    DropSort();
    FFileCount = 0;
    FTotalSize = 0;
    FStats = {};
    FWalking = true;
    FWalkOrder = {};
    FWalkOrderFrom = 0;
}

std::vector<TFileInfo*> TFileInfoList::TakeWalkOrder() {
    std::vector<TFileInfo*> walkOrder = std::move(FWalkOrder);
    FWalkOrder = {};
    if (!walkOrder.empty())
        walkOrder.insert(walkOrder.end(), FItems.begin() + static_cast<std::ptrdiff_t>(FWalkOrderFrom),
                         FItems.end());
    FWalkOrderFrom = 0;
    FWalking = false;
    return walkOrder;
}

void TFileInfoList::FinishSearchLater(TWalkStats stats) {
    // A sort asked for while the walk ran ends here: the final one has its order.
    const TSortOrder order = WantedSortOrder();
    DropSort();
    FStats = std::move(stats);
    StartSortOf(TakeWalkOrder(), order);
}

void TFileInfoList::FinishSearch(TWalkStats stats) {
    FSortOrder = WantedSortOrder();
    DropSort();
    FStats = std::move(stats);
    if (std::vector<TFileInfo*> walkOrder = TakeWalkOrder(); !walkOrder.empty())
        FItems.swap(walkOrder);
    SortFiles();
}

void TFileInfoList::SearchTree(const std::string& baseDir) {
    BeginSearch();
    FMask = std::make_unique<TWildcard>(TWildcard::Key(FFileMask, FWalkOptions.KeyLists));
    FOrderOffset = CurrentUtcOffset();
    WalkDirectory(baseDir);
    FWalking = false;
    SortFiles();
}

void TFileInfoList::AddDirectory(const std::string& dir, const TDirContents& contents, std::size_t first,
                                 std::size_t count, const TPackedTimes* times) {
    const std::size_t end =
        first + std::min(count, contents.FileCount() - std::min(first, contents.FileCount()));
    if (first >= end)
        return;
    const std::string* shared = ShareDir(dir);
    for (std::size_t i = first; i < end; ++i) {
        const auto& f = contents.File(i);
        const TPackedTimes t = times ? times[i - first] : PackTimes(f.WriteTime, FOrderOffset);
        AddFile(shared, contents.FileName(i), f.Size, t.Time, f.Attr)->OrderTime = t.OrderTime;
    }
}

void TFileInfoList::WalkDirectory(const std::string& dir) {
    TDirWalker walker(*FMask, FThreads);
    walker.SetOpenDirectoryLimit(FOpenLimit);
    walker.SetOptions(FWalkOptions);
    TWalkFeed feed(*this);
    FStats = walker.Walk(dir, feed);
}

void TFileInfoList::SortFiles() {
    DropSort();
    SortFileInfos(FItems, FSortOrder);
}

void TFileInfoList::ChangeSortOrder(TSortOrder value) {
    DropSort();
    if (value == FSortOrder)
        return;
    FSortOrder = value;
    if (FWalking) {
        FWalkOrder.insert(FWalkOrder.end(), FItems.begin() + static_cast<std::ptrdiff_t>(FWalkOrderFrom),
                          FItems.end());
        FWalkOrderFrom = FItems.size();
    }
    SortFiles();
}

} // namespace tavolix::search
