#include "dirtree/DirReader.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace tavolix::dirtree {

namespace {

// Stuck threads are never joined; past this many the queue waits rather
// than leave more behind.
constexpr int kMostThreads = 64;
constexpr auto kIdleEnd = std::chrono::seconds(10);

} // namespace

struct TDirReader::TShared {
    TDirLister Lister;
    int Parallel;
    std::chrono::milliseconds StuckAfter;

    mutable std::mutex Lock;
    std::condition_variable Work;
    std::condition_variable Finished;
    std::deque<std::shared_ptr<TListing>> Queue;
    // Queued or running, by path: a folder asked for again while it hangs
    // gets the listing under way, not another thread to hold.
    std::map<std::string, std::shared_ptr<TListing>> InFlight;
    std::list<TReadClock::time_point> Running; // start of each listing under way
    int Threads = 0;
    int Idle = 0;
    bool Closed = false;

    // Under Lock.
    void SpawnAsNeeded(const std::shared_ptr<TShared>& self) {
        const auto now = TReadClock::now();
        while (!Closed && static_cast<int>(Queue.size()) > Idle && Threads < kMostThreads) {
            const auto stuck = std::count_if(Running.begin(), Running.end(),
                                             [&](auto start) { return now - start > StuckAfter; });
            if (Threads - static_cast<int>(stuck) >= Parallel)
                return;
            try {
                std::thread([self] { self->Serve(); }).detach();
            } catch (const std::system_error&) {
                return; // the listings wait for a thread that ends
            }
            ++Threads;
            ++Idle;
        }
    }

    void Serve() {
        std::unique_lock<std::mutex> hold(Lock);
        for (;;) {
            // Idle counts this thread from its start (SpawnAsNeeded) or its last listing.
            const bool work = Work.wait_for(hold, kIdleEnd, [this] { return Closed || !Queue.empty(); });
            if (!work || Closed) {
                --Idle;
                --Threads;
                return;
            }
            --Idle;
            std::shared_ptr<TListing> listing = std::move(Queue.front());
            Queue.pop_front();
            const auto started = Running.insert(Running.end(), TReadClock::now());
            hold.unlock();

            std::vector<platform::TFindData> entries;
            bool ok = false;
            try {
                ok = Lister(listing->Path, entries);
            } catch (...) {
                ok = false; // a listing that fails in any way has no entries
            }
            if (!ok)
                entries.clear();

            hold.lock();
            Running.erase(started);
            InFlight.erase(listing->Path);
            listing->Ok = ok;
            listing->Entries = std::move(entries);
            listing->Done = true;
            ++Idle;
            Finished.notify_all();
        }
    }
};

TDirReader::TDirReader(TDirLister Lister, int Threads, std::chrono::milliseconds StuckAfter)
    : F(std::make_shared<TShared>()) {
    F->Lister = std::move(Lister);
    F->Parallel = std::max(1, Threads);
    F->StuckAfter = StuckAfter;
}

TDirReader::~TDirReader() {
    std::lock_guard<std::mutex> hold(F->Lock);
    F->Closed = true;
    F->Queue.clear();
    F->InFlight.clear();
    F->Work.notify_all();
}

std::shared_ptr<const TListing> TDirReader::Submit(std::string Path) {
    std::lock_guard<std::mutex> hold(F->Lock);
    if (auto it = F->InFlight.find(Path); it != F->InFlight.end())
        return it->second;
    auto listing = std::make_shared<TListing>();
    listing->Path = std::move(Path);
    listing->Submitted = TReadClock::now();
    F->InFlight.emplace(listing->Path, listing);
    F->Queue.push_back(listing);
    F->SpawnAsNeeded(F);
    F->Work.notify_one();
    return listing;
}

bool TDirReader::IsDone(const TListing& Listing) const {
    std::lock_guard<std::mutex> hold(F->Lock);
    return Listing.Done;
}

bool TDirReader::WaitFor(const std::vector<std::shared_ptr<const TListing>>& Listings,
                         TReadClock::time_point Deadline) {
    std::unique_lock<std::mutex> hold(F->Lock);
    return F->Finished.wait_until(hold, Deadline, [&] {
        return std::all_of(Listings.begin(), Listings.end(), [](const auto& l) { return l->Done; });
    });
}

void TDirReader::Pump() {
    std::lock_guard<std::mutex> hold(F->Lock);
    F->SpawnAsNeeded(F);
}

} // namespace tavolix::dirtree
