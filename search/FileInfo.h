#pragma once

#include "platform/Directory.h"
#include "search/ContentChoice.h"
#include "search/DirWalker.h"
#include "search/FileRecord.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::search {

// The two packed forms of a file's time a record keeps.
struct TPackedTimes {
    std::int32_t Time = 0;
    std::int32_t OrderTime = 0;
};

// The files of one search: owns its records, keeps them sorted by FSortOrder.
class TFileInfoList {
public:
    TFileInfoList();
    ~TFileInfoList();
    TFileInfoList(const TFileInfoList&) = delete;
    TFileInfoList& operator=(const TFileInfoList&) = delete;

    void ClearFiles();
    void ChangeMask(std::string_view value);
    // Walks on the calling thread; TSearchJob walks on a thread of its own.
    void SearchTree(const std::string& baseDir);
    // A search's start: the counters and the walk's counts begin at 0.
    void BeginSearch();
    // A search's end: its walk's counts are kept and the records sorted.
    void FinishSearch(TWalkStats stats);
    // The same, with the sort started on a thread of its own (StartSort):
    // the records stay in the order they have until ApplySort.
    void FinishSearchLater(TWalkStats stats);
    void SortFiles();
    void ChangeSortOrder(TSortOrder value);

    // A sort of `order` made on a thread of its own, so that the caller
    // never waits for it: the records keep their order (and a running walk
    // may go on adding to them) until ApplySort. The order is the one
    // ChangeSortOrder gives; a sort already under way is dropped.
    void StartSort(TSortOrder order);
    bool SortStarted() const { return FPendingSort != nullptr; }
    // The order of the sort under way; SortOrder() when none is.
    TSortOrder WantedSortOrder() const;
    bool SortDone() const;
    // Waits for the sort under way to end (at once when SortDone) and
    // takes its order; records added since it started follow in the order
    // they came. Nothing when no sort was started.
    void ApplySort();

    std::size_t Count() const { return FItems.size(); }
    const TFileInfo* Item(std::size_t i) const { return FItems[i]; }
    const std::vector<TFileInfo*>& Items() const { return FItems; }

    const std::string& FileMask() const { return FFileMask; }
    TSortOrder SortOrder() const { return FSortOrder; }
    std::int32_t FFileCount = 0;
    std::int64_t FTotalSize = 0;
    const TWalkStats& Stats() const { return FStats; }

    // Adds one record (the walk's step; also for tests and tools).
    TFileInfo* AddFile(const std::string* dir, std::string_view name, std::int64_t size, std::int32_t time,
                       std::uint32_t attr);
    // A directory text that records can share; ends in "/".
    const std::string* ShareDir(std::string dirWithSlash);
    // The matching files of one directory become records (the walk's step):
    // `count` of them from `first` on; `times` holds their packed times when
    // they were worked out already.
    void AddDirectory(const std::string& dir, const platform::TDirContents& contents, std::size_t first = 0,
                      std::size_t count = SIZE_MAX, const TPackedTimes* times = nullptr);
    // Copies the records of a small batch to the end of this list, in their
    // order, and empties the batch; false (nothing done) for a large one.
    bool Append(TFileInfoList& batch);
    // Moves the records of a batch to the end of this list, in their order,
    // and keeps the batch's storage for them.
    void Adopt(std::unique_ptr<TFileInfoList> batch);
    // Heap bytes held for the records, names and directory texts.
    std::size_t MemoryUsed() const;

    // Limit of descriptors the walk keeps open (ancestors beyond it are
    // closed and reopened when needed).
    void SetOpenDirectoryLimit(std::size_t n) { FOpenLimit = n < 2 ? 2 : n; }
    std::size_t OpenDirectoryLimit() const { return FOpenLimit; }
    // Threads that read directories (1: the calling thread alone). The
    // records and their order are the same for every count.
    void SetWalkThreads(int n) { FThreads = n < 1 ? 1 : n; }
    int WalkThreads() const { return FThreads; }
    // The choices of the next walks: dot folders, exclusions, one file system.
    void SetWalkOptions(TWalkOptions options) { FWalkOptions = std::move(options); }
    const TWalkOptions& WalkOptions() const { return FWalkOptions; }
    // The text the files of the next walks must hold (none: names alone).
    void SetContents(TContentChoice contents) { FContents = std::move(contents); }
    const TContentChoice& Contents() const { return FContents; }

private:
    class TWalkFeed;
    struct TPendingSort;
    void WalkDirectory(const std::string& dir);
    // Before the items change: a sort that reads them ends first.
    void SettleSort() {
        if (FSortReadsItems)
            DropSort();
    }
    void DropSort();
    // The walk's end: the records in the walk's order when a sort came
    // while it ran (else none, FItems being in it).
    std::vector<TFileInfo*> TakeWalkOrder();
    void StartSortOf(std::vector<TFileInfo*> items, TSortOrder order);
    char* StoreName(std::string_view name);

    std::string FFileMask = "*.*";
    TSortOrder FSortOrder = TSortOrder::soName;
    std::vector<TFileInfo*> FItems;
    std::vector<std::unique_ptr<TFileInfo[]>> FRecordChunks;
    std::size_t FRecordsInLastChunk = 0;
    std::vector<std::unique_ptr<char[]>> FNameChunks;
    std::size_t FNameChunkUsed = 0;
    std::deque<std::string> FDirs;
    std::vector<std::unique_ptr<TFileInfoList>> FAdopted; // storage of records taken over
    TWalkStats FStats;
    std::size_t FOpenLimit = 256;
    int FThreads = DefaultWalkThreads();
    TWalkOptions FWalkOptions;
    TContentChoice FContents;
    std::unique_ptr<platform::TWildcard> FMask; // FFileMask, compiled for the walk
    long FOrderOffset = 0;                      // the UTC offset of OrderTime, for the walk
    // A sort while the walk still runs: the walk's order of the records
    // sorted so far, so that the final order doesn't depend on when it came
    // (the sort is not stable).
    bool FWalking = false;
    std::vector<TFileInfo*> FWalkOrder;
    std::size_t FWalkOrderFrom = 0; // FItems from here on are in the walk's order
    std::unique_ptr<TPendingSort> FPendingSort;
    bool FSortReadsItems = false; // the sort under way copies FItems itself
};

// "" stays ""; otherwise "/" appended unless the last byte is "/".
std::string DirWithBackslash(std::string_view path);

// Local date and time packed as year-1980 (7 bits), month, day, hour, minute,
// second / 2; 0 outside 1980..2107.
std::int32_t FileTimeToFileDate(const platform::TFileTime& fileTime);
// The same with a fixed offset from UTC (seconds east) in place of the zone's
// rule for that date.
std::int32_t FileTimeToFileDate(const platform::TFileTime& fileTime, long utcOffset);
// The zone's offset from UTC now, in seconds east.
long CurrentUtcOffset();
// A record's Time and OrderTime; `orderOffset` is the search's UTC offset.
TPackedTimes PackTimes(const platform::TFileTime& fileTime, long orderOffset);

} // namespace tavolix::search
