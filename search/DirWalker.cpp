#include "search/DirWalker.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <queue>

namespace tavolix::search {

using platform::faLink;
using platform::TDirContents;
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
// Descriptors left to the rest of the program (settings, pictures, the GUI).
constexpr std::size_t kReservedDescriptors = 8;
// When more than this many of 1024 reads wait for the device (the disk or
// the network), every thread of the pool helps; otherwise about one a core.
constexpr unsigned kWaitingReads = 128;

// Times this thread gave up the processor of its own accord: waits for I/O.
long VoluntaryWaits() {
    struct rusage ru;
    return getrusage(RUSAGE_THREAD, &ru) == 0 ? ru.ru_nvcsw : 0;
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

// Waiting for a directory the pool reads, the walk tells how far it is this often.
constexpr auto kWaitTick = std::chrono::milliseconds(20);

enum class TOutcome : std::uint8_t {
    Read,
    Unreadable,
    NoDescriptors,
    Loop,
    Pseudo,
    OtherFileSystem,
    ReachedAgain, // read, but walked before under another path
    Vanished,
    Stopped
};
enum class TState : std::uint8_t { Queued, Running, Done, Taken };

// One directory of the walk: where it is, what reading it gave and, when the
// pool reads ahead, its subdirectories handed to the pool.
struct TNode {
    std::string Path; // ends in "/"
    // Outlives the reading of this node: a parent leaves the walk only after
    // all of its children have been read.
    TNode* Parent = nullptr;
    std::vector<std::uint32_t> Key; // position in the walk order (pool only)
    TState State = TState::Queued;
    TOutcome Outcome = TOutcome::Read;
    int Error = 0;
    // Read, but only in part (the listing broke off, or entries could not be
    // looked at): why. 0 when read whole.
    int PartError = 0;
    // Opened and none of the walk's own ancestors nor left out: a folder the
    // walk has now met (it may still fail to list).
    bool Met = false;
    // Matching files read so far, while a pool thread reads it.
    std::atomic<std::size_t> FilesSoFar{0};
    TDirIdentity Id;
    platform::TDirContents Contents;
    // By subdirectory index; a missing entry was not handed to the pool.
    std::vector<std::shared_ptr<TNode>> Children;
    // Kept open for opening the children handed to the pool, while the
    // budget allows: cheaper than a path from the base. Closed by the last.
    TDirectory Dir;
    std::atomic<std::uint32_t> Unopened{0};
};

// A set of identities that only grows, one for every directory of a walk:
// open addressing in one array, nothing allocated per directory.
class TIdentityTable {
public:
    // False when it was there already.
    bool Insert(const TDirIdentity& id) {
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

private:
    static bool IsZero(const TDirIdentity& id) { return id.Inode == 0 && id.Device == 0; }
    // The slot holding `id`, or the empty one where it goes.
    std::size_t Find(const TDirIdentity& id) const {
        std::uint64_t h = static_cast<std::uint64_t>(id.Inode) * 0x9E3779B97F4A7C15ull ^
                          static_cast<std::uint64_t>(id.Device) * 0xC2B2AE3D27D4EB4Full;
        h ^= h >> 29;
        const std::size_t mask = FSlots.size() - 1;
        std::size_t i = h & mask;
        while (!IsZero(FSlots[i]) && !(FSlots[i] == id))
            i = (i + 1) & mask;
        return i;
    }
    void Grow() {
        std::vector<TDirIdentity> old(FSlots.empty() ? 8192 : FSlots.size() * 2);
        old.swap(FSlots);
        for (const TDirIdentity& id : old)
            if (!IsZero(id))
                FSlots[Find(id)] = id;
    }

    std::vector<TDirIdentity> FSlots; // a power of two long; zero: empty
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
    bool Claim(const TDirIdentity& id) {
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

private:
    std::array<std::atomic<std::uint64_t>, 1 << 15> FSlots{};
};

// What a subdirectory entry is to the walk. A link is walked after every
// folder reached without one: a folder is listed under its own path, not
// under a link that the directory happens to list first.
enum class TEntry : std::uint8_t { Walk, Special, DotFolder, Excluded, Link };

// The walk's choices, as the walking thread and the pool apply them alike.
struct TRules {
    explicit TRules(const TWalkOptions& options) : Options(options), Exclusions(options.Exclude) {}

    // The subdirectory entry `name` of the directory at `parent` (ending in "/").
    TEntry Classify(const std::string& parent, std::string_view name, bool isLink) const {
        if (name.empty())
            return TEntry::Special;
        if (name[0] == '.') {
            if (name.size() == 1 || (name.size() == 2 && name[1] == '.'))
                return TEntry::Special;
            if (!Options.HiddenFolders)
                return TEntry::DotFolder;
        }
        const TEntry entry = Exclusions.Empty() ? TEntry::Walk : ClassifyExcluded(parent, name);
        return entry == TEntry::Walk && isLink && !Options.WalkLinkedFoldersAgain ? TEntry::Link : entry;
    }

    TEntry ClassifyExcluded(const std::string& parent, std::string_view name) const {
        std::string_view relative;
        thread_local std::string path;
        if (Exclusions.HasPathPatterns() && parent.size() >= BaseLength) {
            path.assign(parent, BaseLength).append(name);
            relative = path;
        }
        return Exclusions.Excludes(name, relative) ? TEntry::Excluded : TEntry::Walk;
    }

    const TWalkOptions Options;
    const TExclusions Exclusions;
    std::size_t BaseLength = 0; // of the base folder's path, "/" included
    dev_t BaseDevice = 0;
};

// Keeps a node's count of files read up to date while a pool thread reads it.
class TNodeWatch final : public platform::TReadWatch {
public:
    TNodeWatch(const std::atomic<bool>* stop, TNode& n) : TReadWatch(stop), FNode(n) {}
    void Progress(std::size_t files) override { FNode.FilesSoFar.store(files, std::memory_order_relaxed); }

private:
    TNode& FNode;
};

// Tells the visitor how a long read on the walking thread goes.
class TVisitorWatch final : public platform::TReadWatch {
public:
    TVisitorWatch(const std::atomic<bool>* stop, TWalkVisitor& visitor, const std::string& dir)
        : TReadWatch(stop), FVisitor(visitor), FDir(dir) {}
    void Progress(std::size_t files) override { FVisitor.ReadingDirectory(FDir, files); }

private:
    TWalkVisitor& FVisitor;
    const std::string& FDir;
};

// Classifies a directory just opened and reads it, unless it is one of its
// own ancestors (`isAncestor` tells), a kernel pseudo file system below a
// real one, on another file system when the walk stays on one, or met before
// (when `met` is given, it is added there; ancestors are asked about only
// then). What a broken-off read got is kept.
template <class F>
void ReadOpened(TNode& n, TDirectory& d, const TWildcard& mask, const TRules& rules,
                platform::TReadWatch& watch, F&& isAncestor, TIdentityTable* met = nullptr) {
    n.Id = d.Identity();
    if (!met && isAncestor(n.Id)) {
        n.Outcome = TOutcome::Loop;
        return;
    }
    // An ancestor is never on another file system than its walked children.
    if (n.Parent && n.Id.Device != n.Parent->Id.Device) {
        if (d.IsPseudoFileSystem()) {
            n.Outcome = TOutcome::Pseudo;
            return;
        }
        if (rules.Options.OneFileSystem && n.Id.Device != rules.BaseDevice) {
            n.Outcome = TOutcome::OtherFileSystem;
            return;
        }
    }
    n.Met = true;
    if (met && !met->Insert(n.Id)) {
        n.Outcome = isAncestor(n.Id) ? TOutcome::Loop : TOutcome::ReachedAgain;
        return;
    }
    const platform::TReadResult r = d.Read(mask, n.Contents, &watch, &rules.Options.Filter);
    n.Outcome = TOutcome::Read;
    switch (r.End) {
    case platform::TReadEnd::Complete:
        n.PartError = r.Unexamined > 0 ? r.Error : 0;
        break;
    case platform::TReadEnd::Stopped:
        n.Outcome = TOutcome::Stopped;
        break;
    case platform::TReadEnd::Failed:
        if (n.Contents.FileCount() == 0 && n.Contents.Subdirs().empty()) {
            n.Outcome = TOutcome::Unreadable;
            n.Error = r.Error;
        } else {
            n.PartError = r.Error != 0 ? r.Error : EIO;
        }
        break;
    }
}

// Threads that read directories ahead of the walk, earliest in walk order
// first. Each holds one descriptor while it reads, and the pool as a whole
// at most `held` more for directories whose children are still to be opened.
class TPool {
public:
    TPool(int threads, std::size_t held, const TDirectory& base, const TWildcard& mask, const TRules& rules,
          const std::atomic<bool>* stop)
        : FBase(base), FBaseLength(rules.BaseLength), FMask(mask), FRules(rules), FStopFlag(stop),
          FHeldLimit(held) {
        try {
            for (int i = 0; i < threads; ++i)
                FThreads.emplace_back([this] { Run(); });
        } catch (const std::system_error&) {
            // Fewer threads, or none: the walk then reads what it needs itself.
        }
    }

    // A stop reaches every thread at once: nothing queued is begun any more.
    ~TPool() {
        {
            std::lock_guard lock(FMutex);
            FStop = true;
            FQueue = {};
        }
        FWork.notify_all();
        for (auto& t : FThreads)
            t.join();
    }
    TPool(const TPool&) = delete;
    TPool& operator=(const TPool&) = delete;

    // The node's read, as the pool did it, waited for, or done here when no
    // thread has begun it (`watch` then watches it). While it waits, `waiting`
    // hears the files read so far now and then.
    template <class F> void Take(const std::shared_ptr<TNode>& n, platform::TReadWatch& watch, F&& waiting) {
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

    // Hands the subdirectories of a node the walk read itself to the threads.
    void Schedule(TNode& n) {
        Claim(n.Id);
        Prepare(n);
        std::lock_guard lock(FMutex);
        Push(n);
    }

    // The walk does not enter `n`, read by the pool or scheduled: nothing
    // below it is read any more. Reads under way are waited for, as the walk
    // waits for a read it takes: they look up the parents.
    void Drop(TNode& n) {
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

private:
    struct TLater {
        bool operator()(const std::shared_ptr<TNode>& a, const std::shared_ptr<TNode>& b) const {
            return a->Key > b->Key;
        }
    };

    TDirectory Open(TNode& n) const {
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

    // Threads that ran too far ahead go on when half the distance is left.
    void TakenAhead() {
        if (--FAhead == kReadAhead / 2 && FFull) {
            FFull = false;
            FWork.notify_all();
        }
    }

    // False when a folder of this identity was read already: the pool reads
    // ahead below one of them only, and the walk itself below the other
    // should that be the first in walk order.
    bool Claim(const TDirIdentity& id) { return FRules.Options.WalkLinkedFoldersAgain || FClaims->Claim(id); }

    // Reads the node; done outside the lock.
    void Process(TNode& n, platform::TReadWatch& watch) {
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

    // Makes the child nodes the pool may read; returns how many.
    std::uint32_t Prepare(TNode& n) const {
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

    // `byWorker`: the pushing thread takes one of them itself.
    void Push(TNode& n, bool byWorker = false) {
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

    void Run() {
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

    const TDirectory& FBase;
    const std::size_t FBaseLength;
    const TWildcard& FMask;
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

// One directory on the walk's path: its node and how far its subdirectories
// are done. The descriptor is open only when the walking thread opened it.
struct TLevel {
    TDirectory Dir;
    std::string Name; // entry name in the parent
    std::shared_ptr<TNode> Node;
    std::size_t Next = 0;
    // Walked before: only on the way to a link whose turn it is.
    bool Frame = false;
};

// A link to a folder, left for after the folders reached without one.
struct TDeferredLink {
    std::string Path;                // ends in "/"
    std::vector<TDirIdentity> Chain; // of the folders from the base down to the link's
};

// Paths by their names, folder by folder: "/" comes before every other byte.
bool ComesBefore(const TDeferredLink& a, const TDeferredLink& b) {
    const auto key = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
    return std::lexicographical_compare(a.Path.begin(), a.Path.end(), b.Path.begin(), b.Path.end(),
                                        [&](char x, char y) { return key(x) < key(y); });
}

// The walking thread's part: the depth-first order, the visitor's calls,
// its own descriptors and the pool.
class TWalk {
public:
    TWalk(const TWildcard& mask, const TWalkOptions& options, TWalkVisitor& visitor,
          const std::atomic<bool>* stop)
        : FMask(mask), FRules(options), FVisitor(visitor), FStopFlag(stop) {}
    TWalkStats Run(const std::string& baseDir, int threads, std::size_t openLimit);

private:
    bool Start(const std::string& baseDir, int workers);
    void Step();
    void Leave();
    std::shared_ptr<TNode> Obtain(std::size_t index, TDirectory& opened);
    TDirectory ReadHere(TNode& n, const std::string& name);
    bool ReopenLevel(std::size_t i, int& error);
    void GiveBackDescriptors(std::size_t keep);
    void Enter(std::shared_ptr<TNode> child, TDirectory dir, const std::string& name);
    void Settle(std::shared_ptr<TNode> child, TDirectory opened, const std::string& name);
    std::shared_ptr<TNode> NewNode();
    void Defer(const std::string& name);
    bool NextLink();
    void PopFrame();
    void Fail(const std::string& path, TOutcome why, int error);
    void Unread(const std::string& path, int error, bool partly);
    void NotSearched(const std::string& path, TNotSearched why);
    void CheckReachedAgain(TNode& n);
    bool StopRequested() {
        return FStopNow || (FStopFlag && FStopFlag->load(std::memory_order_relaxed)) ||
               FVisitor.StopRequested();
    }
    void CloseLater(TDirectory& d);
    void CountOpen();
    void Deliver(const std::string& dir, TDirContents& contents);
    void DeliverHeldLinks();
    void Recycle(std::shared_ptr<TNode> n);

    const TWildcard& FMask;
    TRules FRules;
    TWalkVisitor& FVisitor;
    const std::atomic<bool>* FStopFlag;
    bool FStopNow = false; // a read ended at the stop flag
    TWalkStats FStats;
    std::deque<TLevel> FStack; // a deque: the pool holds on to the base's descriptor
    TIdentityTable FMet;       // of every directory met so far (TNode::Met)
    std::unique_ptr<TPool> FPool;
    std::vector<std::shared_ptr<TNode>> FSpare;
    // The links of this round, by name, and those met meanwhile, for the
    // next: fewer links on the way come first.
    std::vector<TDeferredLink> FLinks, FNextLinks;
    std::size_t FLinkAt = 0;
    std::uint32_t FLinksTaken = 0;
    // With a filter of sizes or times, files reached through a link wait
    // for the walk's end: each file counts once (see Deliver).
    struct THeldLinks {
        std::string Dir;
        TDirContents Links;
    };
    std::vector<THeldLinks> FHeldLinks;
    TIdentityTable FFilesMet; // the files reached without a link, then the links counted
    std::size_t FOpen = 0;
    std::size_t FOpenLimit = 2;
    std::size_t FCloseBatch = 1;
    std::size_t FHeldLimit = 0;
};

void TWalk::CloseLater(TDirectory& d) {
    d.CloseDeferred();
    if (TDirectory::DeferredCloses() >= FCloseBatch)
        TDirectory::FlushDeferredCloses();
}

// A filter of sizes or times asks what files are, not what names a folder
// holds: a link to a file counts as the file it leads to, once. Not at all
// when the file is found under its own path, else under the first of its
// links by path ("/" before any other character, as for links to folders).
// A search of names alone finds every name, links too.
void TWalk::Deliver(const std::string& dir, TDirContents& contents) {
    if (FRules.Options.Filter.TestsStat()) {
        auto isLink = [&contents](std::size_t i) {
            const TDirContents::TFile& f = contents.File(i);
            return (f.Attr & faLink) != 0 && !(f.Id == TDirIdentity{});
        };
        TDirContents links = contents.TakeFiles(isLink);
        for (std::size_t i = 0; i < contents.FileCount(); ++i)
            if (!(contents.File(i).Id == TDirIdentity{}))
                FFilesMet.Insert(contents.File(i).Id);
        if (links.FileCount() > 0)
            FHeldLinks.push_back({dir, std::move(links)});
    }
    FVisitor.DirectoryRead(dir, contents);
}

void TWalk::DeliverHeldLinks() {
    struct TAt {
        std::size_t Held, File;
    };
    std::vector<TAt> order;
    for (std::size_t h = 0; h < FHeldLinks.size(); ++h)
        for (std::size_t i = 0; i < FHeldLinks[h].Links.FileCount(); ++i)
            order.push_back({h, i});
    const auto key = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c) + 1; };
    const auto path = [this](const TAt& at) {
        return FHeldLinks[at.Held].Dir + std::string(FHeldLinks[at.Held].Links.FileName(at.File));
    };
    std::stable_sort(order.begin(), order.end(), [&](const TAt& a, const TAt& b) {
        const std::string pa = path(a), pb = path(b);
        return std::lexicographical_compare(pa.begin(), pa.end(), pb.begin(), pb.end(),
                                            [&](char x, char y) { return key(x) < key(y); });
    });
    std::vector<std::vector<bool>> counted(FHeldLinks.size());
    for (std::size_t h = 0; h < FHeldLinks.size(); ++h)
        counted[h].assign(FHeldLinks[h].Links.FileCount(), false);
    for (const TAt& at : order)
        counted[at.Held][at.File] = FFilesMet.Insert(FHeldLinks[at.Held].Links.File(at.File).Id);
    // In the walk's order, after every folder.
    for (std::size_t h = 0; h < FHeldLinks.size(); ++h) {
        THeldLinks& held = FHeldLinks[h];
        const TDirContents again = held.Links.TakeFiles([&](std::size_t i) { return !counted[h][i]; });
        FStats.FileLinksAgain += static_cast<std::int64_t>(again.FileCount());
        if (held.Links.FileCount() > 0)
            FVisitor.DirectoryRead(held.Dir, held.Links);
    }
    FHeldLinks.clear();
}

void TWalk::CountOpen() {
    FOpen = 0;
    for (const TLevel& l : FStack)
        FOpen += l.Dir.IsOpen() ? 1 : 0;
}

void TWalk::Fail(const std::string& path, TOutcome why, int error) {
    switch (why) {
    case TOutcome::Loop:
        ++FStats.LoopsAvoided;
        break;
    case TOutcome::Pseudo:
        ++FStats.PseudoSkipped;
        break;
    case TOutcome::OtherFileSystem:
        NotSearched(path, TNotSearched::OtherFileSystem);
        break;
    case TOutcome::ReachedAgain:
        ++FStats.ReachedAgain;
        break;
    case TOutcome::NoDescriptors:
        Unread(path, error != 0 ? error : EMFILE, false);
        break;
    default:
        Unread(path, error, false);
    }
}

void TWalk::Unread(const std::string& path, int error, bool partly) {
    TUnreadDir dir{path, UnreadCauseOf(error), error, partly};
    FVisitor.Unread(dir);
    FStats.AddUnread(std::move(dir));
}

void TWalk::NotSearched(const std::string& path, TNotSearched why) {
    FStats.AddNotSearched(why);
    FVisitor.NotSearched(path, why);
}

// A folder the pool read that the walk met before under another path is
// not walked again; what the pool read below it is given up.
void TWalk::CheckReachedAgain(TNode& n) {
    if (!n.Met || FRules.Options.WalkLinkedFoldersAgain || FMet.Insert(n.Id))
        return;
    if (n.Outcome == TOutcome::Stopped)
        FStopNow = true;
    n.Outcome = TOutcome::ReachedAgain;
    FPool->Drop(n);
}

TWalkStats TWalk::Run(const std::string& baseDir, int threads, std::size_t openLimit) {
    // The budget: the pool's threads hold one descriptor each and the pool
    // some for directories whose children are still to be opened, closes put
    // off hold some, the levels of the walk's own path the rest.
    const std::size_t free = platform::FreeDescriptors();
    const std::size_t available = free > kReservedDescriptors + 2 ? free - kReservedDescriptors : 2;
    const int workers = threads > 1 ? static_cast<int>(std::min<std::size_t>(threads, available / 8)) : 0;
    FHeldLimit = workers > 0 ? std::min<std::size_t>(available / 4, 1024) : 0;
    FCloseBatch = std::clamp<std::size_t>(available / 4, 1, 128);
    const std::size_t rest =
        available - static_cast<std::size_t>(workers) - FHeldLimit - std::min(FCloseBatch, available);
    FOpenLimit = std::max<std::size_t>(2, std::min(openLimit, rest));
    if (Start(baseDir, workers)) {
        while (!FStack.empty()) {
            if (StopRequested()) {
                FStats.Stopped = true;
                FPool.reset();
                for (TLevel& l : FStack)
                    l.Dir.CloseDeferred();
                FStack.clear();
                break;
            }
            Step();
        }
    }
    TDirectory::FlushDeferredCloses();
    DeliverHeldLinks();
    return FStats;
}

bool TWalk::Start(const std::string& baseDir, int workers) {
    auto root = std::make_shared<TNode>();
    root->Path = baseDir;
    if (!root->Path.empty() && root->Path.back() != '/')
        root->Path.push_back('/');
    TDirectory dir = TDirectory::Open(baseDir);
    if (!dir.IsOpen()) {
        FStats.BaseError = dir.Error();
        Fail(root->Path, OutOfDescriptors(dir.Error()) ? TOutcome::NoDescriptors : TOutcome::Unreadable,
             dir.Error());
        return false;
    }
    if (dir.IsPseudoFileSystem()) {
        Fail(root->Path, TOutcome::Pseudo, 0);
        return false;
    }
    TVisitorWatch watch(FStopFlag, FVisitor, root->Path);
    ReadOpened(*root, dir, FMask, FRules, watch, [](const TDirIdentity&) { return false; });
    if (root->Outcome != TOutcome::Read && root->Outcome != TOutcome::Stopped) {
        if (root->Outcome == TOutcome::Unreadable || root->Outcome == TOutcome::NoDescriptors)
            FStats.BaseError = root->Error != 0 ? root->Error : EIO;
        Fail(root->Path, root->Outcome, root->Error);
        return false;
    }
    ++FStats.DirectoriesRead;
    Deliver(root->Path, root->Contents);
    if (root->PartError != 0)
        Unread(root->Path, root->PartError, true);
    if (root->Outcome == TOutcome::Stopped) {
        FStats.Stopped = true;
        return false;
    }
    FRules.BaseLength = root->Path.size();
    FRules.BaseDevice = root->Id.Device;
    FMet.Insert(root->Id);
    TLevel& level = FStack.emplace_back();
    level.Dir = std::move(dir);
    level.Node = std::move(root);
    FOpen = 1;
    if (workers > 0 && !level.Node->Contents.Subdirs().empty()) {
        FPool = std::make_unique<TPool>(workers, FHeldLimit, level.Dir, FMask, FRules, FStopFlag);
        FPool->Schedule(*level.Node);
    }
    return true;
}

void TWalk::Leave() {
    TLevel& level = FStack.back();
    if (FStack.size() == 1)
        FPool.reset(); // nothing is left to read, and the base is about to close
    const bool frame = level.Frame;
    if (level.Dir.IsOpen())
        --FOpen;
    CloseLater(level.Dir);
    Recycle(std::move(level.Node));
    FStack.pop_back();
    if (!FStack.empty() && !frame)
        FVisitor.LeftDirectory();
}

// One subdirectory entry of the deepest level, or the end of that level.
void TWalk::Step() {
    TLevel& level = FStack.back();
    const auto& subdirs = level.Node->Contents.Subdirs();
    if (level.Next >= subdirs.size()) {
        if ((!level.Frame && FStack.size() > 1) || !NextLink())
            Leave();
        return;
    }
    const std::size_t index = level.Next++;
    const std::string& name = subdirs[index];
    const TEntry entry = FRules.Classify(level.Node->Path, name, level.Node->Contents.SubdirIsLink(index));
    if (entry == TEntry::Link) {
        Defer(name); // the visitor hears of it when its turn comes
        return;
    }
    FVisitor.EnteringDirectory(level.Node->Path, name);
    switch (entry) {
    case TEntry::Walk:
    case TEntry::Link:
        break;
    case TEntry::Special:
        return;
    case TEntry::DotFolder:
        NotSearched(level.Node->Path + name + "/", TNotSearched::DotFolder);
        return;
    case TEntry::Excluded:
        NotSearched(level.Node->Path + name + "/", TNotSearched::Excluded);
        return;
    }
    TDirectory opened;
    std::shared_ptr<TNode> child = Obtain(index, opened);
    if (child->Outcome == TOutcome::Vanished)
        level.Next = subdirs.size(); // moved or removed meanwhile
    Settle(std::move(child), std::move(opened), name);
}

// What became of an entry just read: entered, or counted and passed by.
void TWalk::Settle(std::shared_ptr<TNode> child, TDirectory opened, const std::string& name) {
    switch (child->Outcome) {
    case TOutcome::Read:
        Enter(std::move(child), std::move(opened), name);
        return;
    case TOutcome::Stopped:
        // What the read got before the stop is found too; the walk ends here.
        ++FStats.DirectoriesRead;
        Deliver(child->Path, child->Contents);
        FStopNow = true;
        return;
    case TOutcome::Vanished:
        return;
    default:
        Fail(child->Path, child->Outcome, child->Error);
        Recycle(std::move(child));
        FVisitor.LeftDirectory();
    }
}

std::shared_ptr<TNode> TWalk::NewNode() {
    if (FSpare.empty())
        return std::make_shared<TNode>();
    std::shared_ptr<TNode> n = std::move(FSpare.back());
    FSpare.pop_back();
    return n;
}

void TWalk::Defer(const std::string& name) {
    TDeferredLink& link = FNextLinks.emplace_back();
    link.Path.reserve(FStack.back().Node->Path.size() + name.size() + 1);
    link.Path.append(FStack.back().Node->Path).append(name).push_back('/');
    link.Chain.reserve(FStack.size());
    for (const TLevel& l : FStack)
        link.Chain.push_back(l.Node->Id);
}

// The walk's path down to a folder walked before, to walk a link of it.
void TWalk::PopFrame() {
    TLevel& level = FStack.back();
    if (level.Dir.IsOpen())
        --FOpen;
    CloseLater(level.Dir);
    FStack.pop_back();
}

// Walks the next link in line, from its folder, whose levels become the
// walk's path again (opened when needed); false when none is left.
bool TWalk::NextLink() {
    if (FLinkAt == FLinks.size()) {
        if (FNextLinks.empty())
            return false;
        FLinks.swap(FNextLinks);
        FNextLinks.clear();
        FLinkAt = 0;
        std::sort(FLinks.begin(), FLinks.end(), ComesBefore);
    }
    const TDeferredLink& link = FLinks[FLinkAt++];
    // The levels below the base, by their names in the link's path.
    std::vector<std::string_view> names;
    for (std::size_t from = FRules.BaseLength, to; from < link.Path.size(); from = to + 1) {
        to = link.Path.find('/', from);
        names.emplace_back(link.Path.data() + from, to - from);
    }
    const std::string_view name = names.back();
    names.pop_back();
    std::size_t keep = 1;
    while (keep < FStack.size() && keep < link.Chain.size() && FStack[keep].Name == names[keep - 1] &&
           FStack[keep].Node->Id == link.Chain[keep])
        ++keep;
    while (FStack.size() > keep)
        PopFrame();
    for (std::size_t k = keep; k < link.Chain.size(); ++k) {
        TLevel& parent = FStack.back();
        auto node = std::make_shared<TNode>();
        node->Path.assign(parent.Node->Path).append(names[k - 1]).push_back('/');
        node->Id = link.Chain[k];
        node->Parent = parent.Node.get();
        TLevel& level = FStack.emplace_back();
        level.Name = names[k - 1];
        level.Node = std::move(node);
        level.Frame = true;
    }
    const std::string linkName(name);
    FVisitor.EnteringDirectory(FStack.back().Node->Path, linkName);
    std::shared_ptr<TNode> child = NewNode();
    child->Parent = FStack.back().Node.get();
    child->Path = link.Path;
    if (FPool)
        child->Key = {UINT32_MAX, FLinksTaken++}; // after everything read before
    TDirectory opened = ReadHere(*child, linkName);
    if (FPool && child->Outcome == TOutcome::Read)
        FPool->Schedule(*child);
    Settle(std::move(child), std::move(opened), linkName);
    return true;
}

// Nodes the walking thread made for itself are used again, with the room
// their texts and lists have grown: one thread allocates as little as a
// single scratch would.
void TWalk::Recycle(std::shared_ptr<TNode> n) {
    if (FPool || n.use_count() != 1 || FSpare.size() >= 64)
        return;
    n->Parent = nullptr;
    n->Outcome = TOutcome::Read;
    n->Error = 0;
    n->PartError = 0;
    n->Met = false;
    n->Contents.Clear();
    n->Children.clear();
    FSpare.push_back(std::move(n));
}

// The child `index` of the deepest level, read by the pool or here. When
// read here, `opened` keeps its descriptor for the way down.
std::shared_ptr<TNode> TWalk::Obtain(std::size_t index, TDirectory& opened) {
    TLevel& level = FStack.back();
    const std::string& name = level.Node->Contents.Subdirs()[index];
    std::shared_ptr<TNode> child;
    if (index < level.Node->Children.size() && level.Node->Children[index]) {
        child = std::move(level.Node->Children[index]);
        TVisitorWatch watch(FStopFlag, FVisitor, child->Path);
        FPool->Take(child, watch, [&](std::size_t files) { FVisitor.ReadingDirectory(child->Path, files); });
        if (child->Outcome != TOutcome::NoDescriptors) {
            CheckReachedAgain(*child);
            return child;
        }
        child->Error = 0; // once more from here, after giving back descriptors
    } else {
        child = NewNode();
        child->Parent = level.Node.get();
        child->Path.assign(level.Node->Path).append(name).push_back('/');
        if (FPool) {
            child->Key = level.Node->Key;
            child->Key.push_back(static_cast<std::uint32_t>(index));
        }
    }
    opened = ReadHere(*child, name); // tells a folder walked before itself
    if (FPool && child->Outcome == TOutcome::Read)
        FPool->Schedule(*child);
    return child;
}

TDirectory TWalk::ReadHere(TNode& n, const std::string& name) {
    const std::size_t top = FStack.size() - 1;
    TLevel& level = FStack[top];
    if (!level.Dir.IsOpen()) {
        int error = 0;
        if (!ReopenLevel(top, error)) {
            n.Error = error;
            n.Outcome = OutOfDescriptors(error) ? TOutcome::NoDescriptors : TOutcome::Vanished;
            CountOpen();
            return {};
        }
        CountOpen();
    }
    TDirectory d = level.Dir.OpenChild(name);
    if (!d.IsOpen() && OutOfDescriptors(d.Error())) {
        GiveBackDescriptors(top);
        d = level.Dir.OpenChild(name);
    }
    if (!d.IsOpen()) {
        n.Error = d.Error();
        n.Outcome = OutOfDescriptors(n.Error) ? TOutcome::NoDescriptors : TOutcome::Unreadable;
        return {};
    }
    TVisitorWatch watch(FStopFlag, FVisitor, n.Path);
    const auto onPath = [this](const TDirIdentity& id) {
        for (auto l = FStack.rbegin(); l != FStack.rend(); ++l)
            if (l->Node->Id == id)
                return true;
        return false;
    };
    ReadOpened(n, d, FMask, FRules, watch, onPath, FRules.Options.WalkLinkedFoldersAgain ? nullptr : &FMet);
    return d;
}

// Closes what this walk can reopen later: the closes put off and the levels
// between the base and level `keep`.
void TWalk::GiveBackDescriptors(std::size_t keep) {
    TDirectory::FlushDeferredCloses();
    for (std::size_t k = 1; k < keep; ++k)
        FStack[k].Dir.Close();
    CountOpen();
}

// Reopens an ancestor whose descriptor was given back (or never held), one
// component at a time from the nearest one still open, checking it is still
// the same. The levels just above stay open for the way back up, within the
// limit: the way down may be thousands of levels long, more than the process
// may open.
bool TWalk::ReopenLevel(std::size_t i, int& error) {
    std::size_t j = i;
    while (j > 0 && !FStack[j].Dir.IsOpen())
        --j;
    std::size_t open = 0;
    for (std::size_t k = 0; k <= i; ++k)
        open += FStack[k].Dir.IsOpen() ? 1 : 0;
    std::size_t shallowest = 1;
    for (std::size_t k = j + 1; k <= i; ++k) {
        TDirectory d = FStack[k - 1].Dir.OpenChild(FStack[k].Name);
        if (!d.IsOpen() && OutOfDescriptors(d.Error())) {
            GiveBackDescriptors(k - 1);
            open = 0;
            for (std::size_t m = 0; m <= i; ++m)
                open += FStack[m].Dir.IsOpen() ? 1 : 0;
            d = FStack[k - 1].Dir.OpenChild(FStack[k].Name);
        }
        if (!d.IsOpen() || !(d.Identity() == FStack[k].Node->Id)) {
            error = d.Error();
            return false;
        }
        FStack[k].Dir = std::move(d);
        for (++open; open > FOpenLimit && shallowest < k; ++shallowest) {
            if (FStack[shallowest].Dir.IsOpen()) {
                CloseLater(FStack[shallowest].Dir);
                --open;
            }
        }
    }
    return FStack[i].Dir.IsOpen();
}

void TWalk::Enter(std::shared_ptr<TNode> child, TDirectory dir, const std::string& name) {
    ++FStats.DirectoriesRead;
    Deliver(child->Path, child->Contents);
    if (child->PartError != 0)
        Unread(child->Path, child->PartError, true);
    TLevel& level = FStack.back();
    // A level without further subdirectories needs no descriptor; others
    // keep theirs until too many are open, shallowest first given back.
    if (level.Next >= level.Node->Contents.Subdirs().size() && level.Dir.IsOpen() && FStack.size() > 1 &&
        !level.Frame) {
        CloseLater(level.Dir);
        --FOpen;
    }
    TLevel& pushed = FStack.emplace_back();
    pushed.Name = name;
    pushed.Node = std::move(child);
    if (dir.IsOpen()) {
        pushed.Dir = std::move(dir);
        ++FOpen;
    }
    for (std::size_t k = 1; FOpen > FOpenLimit && k + 1 < FStack.size(); ++k) {
        if (FStack[k].Dir.IsOpen()) {
            CloseLater(FStack[k].Dir);
            --FOpen;
        }
    }
}

} // namespace

TUnreadCause UnreadCauseOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return TUnreadCause::Denied;
    case EMFILE:
    case ENFILE:
        return TUnreadCause::NoDescriptors;
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
        return TUnreadCause::NotAnswering;
    default:
        return TUnreadCause::Error;
    }
}

void TWalkStats::AddUnread(TUnreadDir dir) {
    switch (dir.Cause) {
    case TUnreadCause::Denied:
        ++Denied;
        break;
    case TUnreadCause::NoDescriptors:
        ++NoDescriptors;
        break;
    case TUnreadCause::NotAnswering:
        ++NotAnswering;
        break;
    case TUnreadCause::Error:
        ++Failed;
        break;
    }
    UnreadDirs.push_back(std::move(dir));
}

void TWalkStats::AddNotSearched(TNotSearched why) {
    switch (why) {
    case TNotSearched::DotFolder:
        ++DotFolders;
        break;
    case TNotSearched::Excluded:
        ++Excluded;
        break;
    case TNotSearched::OtherFileSystem:
        ++OtherFileSystems;
        break;
    }
}

int DefaultWalkThreads() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<int>(std::clamp(cores * 16, 16u, 64u));
}

TDirWalker::TDirWalker(const TWildcard& mask, int threads) : FMask(mask), FThreads(threads) {
}

TWalkStats TDirWalker::Walk(const std::string& baseDir, TWalkVisitor& visitor) {
    TWalk walk(FMask, FOptions, visitor, FStop);
    return walk.Run(baseDir, FThreads, FOpenLimit);
}

} // namespace tavolix::search
