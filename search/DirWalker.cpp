#include "search/DirWalker.h"

#include "search/FolderIdentities.h"
#include "search/ReadAheadPool.h"
#include "search/WalkNode.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace tavolix::search {

using platform::faLink;
using platform::TDirContents;
using platform::TDirectory;
using platform::TDirIdentity;
using platform::TWildcard;

namespace {

using namespace walk;

// Descriptors left to the rest of the program (settings, pictures, the GUI).
constexpr std::size_t kReservedDescriptors = 8;

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

// The walking thread's part: the depth-first order, the visitor's calls,
// its own descriptors and the pool.
class TWalk {
public:
    TWalk(const TWildcard& mask, const TWalkOptions& options, TWalkVisitor& visitor,
          const std::atomic<bool>* stop, TListingStore* listings)
        : FMask(mask), FRules(options), FVisitor(visitor), FStopFlag(stop) {
        FRules.Listings = listings;
    }
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
    std::unique_ptr<TReadAheadPool> FPool;
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
        FPool = std::make_unique<TReadAheadPool>(workers, FHeldLimit, level.Dir, FMask, FRules, FStopFlag);
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
    TWalk walk(FMask, FOptions, visitor, FStop, FListings);
    return walk.Run(baseDir, FThreads, FOpenLimit);
}

} // namespace tavolix::search
