#pragma once

#include "platform/Directory.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavolix::dirtree {

// Lists a directory's entries; false when it can't be read. Runs on the
// reader's threads, several at a time.
using TDirLister = std::function<bool(const std::string& Dir, std::vector<platform::TFindData>& Out)>;

using TReadClock = std::chrono::steady_clock;

// One directory handed to the reader. The reader's thread fills it and then
// sets Done under the reader's lock; ask IsDone before reading the rest.
struct TListing {
    std::string Path;
    TReadClock::time_point Submitted;
    bool Done = false;
    bool Ok = false;
    std::vector<platform::TFindData> Entries;
};

// Lists directories on threads of its own, so that a folder that never
// answers holds one of them and never the caller. A thread stuck in the
// kernel is left behind, never joined (nor waited for at exit); others take
// over the queue. A folder asked for while its listing is under way gets
// that listing. Idle threads end by themselves.
class TDirReader {
public:
    // A running listing older than `StuckAfter` no longer counts against
    // `Threads`, the listings run at once.
    explicit TDirReader(TDirLister Lister, int Threads = 4,
                        std::chrono::milliseconds StuckAfter = std::chrono::milliseconds(2000));
    ~TDirReader();
    TDirReader(const TDirReader&) = delete;
    TDirReader& operator=(const TDirReader&) = delete;

    std::shared_ptr<const TListing> Submit(std::string Path);
    bool IsDone(const TListing& Listing) const;
    // Waits until all of them are done or the deadline has passed; true when all are done.
    bool WaitFor(const std::vector<std::shared_ptr<const TListing>>& Listings,
                 TReadClock::time_point Deadline);
    // Starts threads for waiting listings while those running are stuck.
    void Pump();

private:
    struct TShared;
    std::shared_ptr<TShared> F;
};

} // namespace tavolix::dirtree
