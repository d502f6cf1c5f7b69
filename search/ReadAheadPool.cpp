#include "search/ReadAheadPool.h"

#include <chrono>
#include <climits>
#include <sys/resource.h>
#include <system_error>
#include <utility>

namespace tavolix::search::walk {

using platform::TDirectory;
using platform::TDirIdentity;
using platform::TWildcard;

namespace {

// The pool opens a directory from its parent's descriptor or else by its path
// below the base; deeper ones are left to the walking thread, which goes one
// component at a time.
constexpr std::size_t kMaxRelativePath = PATH_MAX - 64;
// Directories read ahead and not yet taken by the walk: bounds the memory.
constexpr std::size_t kReadAhead = 2048;
// When more than this many of 1024 reads wait for the device (the disk or
// the network), every thread of the pool helps; otherwise about one a core.
constexpr unsigned kWaitingReads = 128;

// Times this thread gave up the processor of its own accord: waits for I/O.
long VoluntaryWaits() {
    struct rusage ru;
    return getrusage(RUSAGE_THREAD, &ru) == 0 ? ru.ru_nvcsw : 0;
}

// Waiting for a directory the pool reads, the walk tells how far it is this often.
constexpr auto kWaitTick = std::chrono::milliseconds(20);

// Keeps a node's count of files read up to date while a pool thread reads it.
class TNodeWatch final : public platform::TReadWatch {
public:
    TNodeWatch(const std::atomic<bool>* stop, TNode& n) : TReadWatch(stop), FNode(n) {}
    void Progress(std::size_t files) override { FNode.FilesSoFar.store(files, std::memory_order_relaxed); }

private:
    TNode& FNode;
};

} // namespace

TReadAheadPool::TReadAheadPool(int threads, std::size_t held, const TDirectory& base, const TWildcard& mask,
                               const TRules& rules, const std::atomic<bool>* stop)
    : FBase(base), FBaseLength(rules.BaseLength), FMask(mask), FRules(rules), FStopFlag(stop),
      FHeldLimit(held) {
    try {
        for (int i = 0; i < threads; ++i)
            FThreads.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
        // Fewer threads, or none: the walk then reads what it needs itself.
    }
}

TReadAheadPool::~TReadAheadPool() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
        FQueue = {};
    }
    FWork.notify_all();
    for (auto& t : FThreads)
        t.join();
}

void TReadAheadPool::Take(const std::shared_ptr<TNode>& n, platform::TReadWatch& watch,
                          const std::function<void(std::size_t)>& waiting) {
    std::unique_lock lock(FMutex);
    if (n->State == TState::Queued) {
        n->State = TState::Taken;
        lock.unlock();
        Process(*n, watch);
        lock.lock();
        Push(*n);
        return;
    }
    if (n->State != TState::Done) {
        FWaitingFor = n.get();
        while (!FDone.wait_for(lock, kWaitTick, [&] { return n->State == TState::Done; })) {
            lock.unlock();
            waiting(n->FilesSoFar.load(std::memory_order_relaxed));
            lock.lock();
        }
        FWaitingFor = nullptr;
    }
    n->State = TState::Taken;
    TakenAhead();
}

void TReadAheadPool::Schedule(TNode& n) {
    Claim(n.Id);
    Prepare(n);
    std::lock_guard lock(FMutex);
    Push(n);
}

void TReadAheadPool::Drop(TNode& n) {
    std::unique_lock lock(FMutex);
    std::vector<TNode*> below{&n};
    while (!below.empty()) {
        TNode* p = below.back();
        below.pop_back();
        for (const auto& c : p->Children) {
            if (!c)
                continue;
            if (c->State == TState::Running) {
                FWaitingFor = c.get();
                FDone.wait(lock, [&] { return c->State == TState::Done; });
                FWaitingFor = nullptr;
            }
            if (c->State == TState::Queued) {
                c->State = TState::Taken; // the threads pass it by
                if (p->Dir.IsOpen() && p->Unopened.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                    p->Dir.Close();
                    FHeld.fetch_sub(1, std::memory_order_relaxed);
                }
            } else if (c->State == TState::Done) {
                c->State = TState::Taken;
                TakenAhead();
                below.push_back(c.get());
            }
        }
    }
}

TDirectory TReadAheadPool::Open(TNode& n) const {
    TNode* p = n.Parent;
    if (!p || !p->Dir.IsOpen())
        return FBase.OpenChild(n.Path.substr(FBaseLength));
    TDirectory d = p->Dir.OpenChild(n.Path.substr(p->Path.size(), n.Path.size() - p->Path.size() - 1));
    if (p->Unopened.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        p->Dir.Close();
        FHeld.fetch_sub(1, std::memory_order_relaxed);
    }
    return d;
}

void TReadAheadPool::TakenAhead() {
    if (--FAhead == kReadAhead / 2 && FFull) {
        FFull = false;
        FWork.notify_all();
    }
}

void TReadAheadPool::Process(TNode& n, platform::TReadWatch& watch) {
    TDirectory d = Open(n);
    if (!d.IsOpen()) {
        n.Error = d.Error();
        n.Outcome = OutOfDescriptors(n.Error) ? TOutcome::NoDescriptors : TOutcome::Unreadable;
        return;
    }
    ReadOpened(n, d, FMask, FRules, watch, [&n](const TDirIdentity& id) {
        for (const TNode* p = n.Parent; p; p = p->Parent)
            if (p->Id == id)
                return true;
        return false;
    });
    if (n.Outcome != TOutcome::Read || !Claim(n.Id))
        return;
    const std::uint32_t children = Prepare(n);
    if (children > 0 && FHeld.fetch_add(1, std::memory_order_relaxed) < FHeldLimit) {
        n.Unopened.store(children, std::memory_order_relaxed);
        n.Dir = std::move(d);
    } else if (children > 0) {
        FHeld.fetch_sub(1, std::memory_order_relaxed);
    }
}

std::uint32_t TReadAheadPool::Prepare(TNode& n) const {
    const auto& subdirs = n.Contents.Subdirs();
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < subdirs.size(); ++i) {
        const std::string& name = subdirs[i];
        if (n.Path.size() - FBaseLength + name.size() >= kMaxRelativePath ||
            FRules.Classify(n.Path, name, n.Contents.SubdirIsLink(i)) != TEntry::Walk)
            continue;
        if (n.Children.empty())
            n.Children.resize(subdirs.size());
        auto c = std::make_shared<TNode>();
        c->Parent = &n;
        c->Path.reserve(n.Path.size() + name.size() + 1);
        c->Path.append(n.Path).append(name).push_back('/');
        c->Key.reserve(n.Key.size() + 1);
        c->Key = n.Key;
        c->Key.push_back(static_cast<std::uint32_t>(i));
        n.Children[i] = std::move(c);
        ++count;
    }
    return count;
}

void TReadAheadPool::Push(TNode& n, bool byWorker) {
    if (FStop)
        return;
    std::size_t pushed = 0;
    for (const auto& c : n.Children) {
        if (c) {
            FQueue.push(c);
            ++pushed;
        }
    }
    // Only as many threads as there is work for (a crowd at the lock
    // costs more than it reads), and while reads come from the cache
    // about one a core; while they wait on the disk or the network, all.
    if (byWorker && pushed > 0)
        --pushed;
    const std::size_t awake = FThreads.size() - FIdle;
    const std::size_t wanted = FWaiting < kWaitingReads ? FCores : FThreads.size();
    const std::size_t wake = std::min({pushed, FIdle, wanted > awake ? wanted - awake : 0});
    for (std::size_t k = wake; k > 0; --k)
        FWork.notify_one();
}

void TReadAheadPool::Run() {
    unsigned reads = 0;
    std::unique_lock lock(FMutex);
    for (;;) {
        ++FIdle;
        FWork.wait(lock, [this] { return FStop || (!FQueue.empty() && !FFull); });
        --FIdle;
        if (FStop)
            return;
        std::shared_ptr<TNode> n = FQueue.top();
        FQueue.pop();
        if (n->State != TState::Queued)
            continue; // the walk read it itself
        n->State = TState::Running;
        FFull = ++FAhead >= kReadAhead;
        lock.unlock();
        // One read in four is watched: the question costs a system call.
        const bool watched = (++reads & 3) == 0;
        const long waitsBefore = watched ? VoluntaryWaits() : 0;
        TNodeWatch watch(FStopFlag, *n);
        Process(*n, watch);
        const bool waited = watched && VoluntaryWaits() != waitsBefore;
        lock.lock();
        if (watched)
            FWaiting = (7 * FWaiting + (waited ? 1024 : 0)) / 8;
        Push(*n, true);
        n->State = TState::Done;
        if (FWaitingFor == n.get())
            FDone.notify_one();
    }
}

} // namespace tavolix::search::walk
