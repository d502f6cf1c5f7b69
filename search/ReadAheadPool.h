#pragma once

#include "platform/Directory.h"
#include "search/FolderIdentities.h"
#include "search/WalkNode.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <queue>

namespace tavolix::search::walk {

// Threads that read directories ahead of the walk, earliest in walk order
// first. Each holds one descriptor while it reads, and the pool as a whole
// at most `held` more for directories whose children are still to be opened.
class TReadAheadPool {
public:
    TReadAheadPool(int threads, std::size_t held, const platform::TDirectory& base,
                   const platform::TWildcard& mask, const TRules& rules, const std::atomic<bool>* stop);
    // A stop reaches every thread at once: nothing queued is begun any more.
    ~TReadAheadPool();
    TReadAheadPool(const TReadAheadPool&) = delete;
    TReadAheadPool& operator=(const TReadAheadPool&) = delete;

    // The node's read, as the pool did it, waited for, or done here when no
    // thread has begun it (`watch` then watches it). While it waits, `waiting`
    // hears the files read so far now and then.
    void Take(const std::shared_ptr<TNode>& n, platform::TReadWatch& watch,
              const std::function<void(std::size_t)>& waiting);
    // Hands the subdirectories of a node the walk read itself to the threads.
    void Schedule(TNode& n);
    // The walk does not enter `n`, read by the pool or scheduled: nothing
    // below it is read any more. Reads under way are waited for, as the walk
    // waits for a read it takes: they look up the parents.
    void Drop(TNode& n);

private:
    struct TLater {
        bool operator()(const std::shared_ptr<TNode>& a, const std::shared_ptr<TNode>& b) const {
            return a->Key > b->Key;
        }
    };

    platform::TDirectory Open(TNode& n) const;
    // Threads that ran too far ahead go on when half the distance is left.
    void TakenAhead();
    // False when a folder of this identity was read already: the pool reads
    // ahead below one of them only, and the walk itself below the other
    // should that be the first in walk order.
    bool Claim(const platform::TDirIdentity& id) {
        return FRules.Options.WalkLinkedFoldersAgain || FClaims->Claim(id);
    }
    // Reads the node; done outside the lock.
    void Process(TNode& n, platform::TReadWatch& watch);
    // Makes the child nodes the pool may read; returns how many.
    std::uint32_t Prepare(TNode& n) const;
    // `byWorker`: the pushing thread takes one of them itself.
    void Push(TNode& n, bool byWorker = false);
    void Run();

    const platform::TDirectory& FBase;
    const std::size_t FBaseLength;
    const platform::TWildcard& FMask;
    const TRules& FRules;
    const std::atomic<bool>* FStopFlag;
    const std::size_t FHeldLimit;
    mutable std::atomic<std::size_t> FHeld{0};
    std::mutex FMutex;
    std::condition_variable FWork, FDone;
    std::priority_queue<std::shared_ptr<TNode>, std::vector<std::shared_ptr<TNode>>, TLater> FQueue;
    std::size_t FAhead = 0; // running or done, not yet taken
    std::size_t FIdle = 0;  // threads waiting for work
    bool FFull = false;     // FAhead reached kReadAhead and has not yet come down to half
    unsigned FWaiting = 0;  // of 1024, how many recent reads had to wait
    const std::size_t FCores = std::max(1u, std::thread::hardware_concurrency());
    const TNode* FWaitingFor = nullptr;
    bool FStop = false;
    const std::unique_ptr<TClaimTable> FClaims = std::make_unique<TClaimTable>();
    std::vector<std::thread> FThreads;
};

} // namespace tavolix::search::walk
