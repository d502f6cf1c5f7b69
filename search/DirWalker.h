#pragma once

#include "platform/Directory.h"
#include "search/ListingStore.h"
#include "search/WalkOptions.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::search {

// Why a folder could not be read, or only in part.
enum class TUnreadCause : std::uint8_t {
    Denied,        // permission denied
    NoDescriptors, // the process was out of file descriptors, even after giving back its own
    NotAnswering,  // timed out, or still waited for when the search was stopped
    Error,         // any other error: an I/O error, a share gone, ...
};

// A folder that was not read (or only in part) and why.
struct TUnreadDir {
    std::string Path; // ends in "/"
    TUnreadCause Cause = TUnreadCause::Error;
    int Error = 0; // the errno; 0 when there is none (not answering)
    // Some of it was read: the listing broke off, or some entries could not
    // be looked at (they are kept with size 0 and no time).
    bool Partly = false;
};

TUnreadCause UnreadCauseOf(int error);

// Why a folder was not searched: one of the walk's choices left it out.
enum class TNotSearched : std::uint8_t {
    DotFolder,      // its name begins with "." (TWalkOptions::HiddenFolders searches it)
    Excluded,       // it matches an exclusion pattern
    OtherFileSystem // it lies on another file system (TWalkOptions::OneFileSystem)
};

// What the walk passed over. Folders that were not read are counted by cause
// and listed; the caller must say so, since the hits are then not the tree's.
struct TWalkStats {
    std::int64_t DirectoriesRead = 0;
    std::int64_t Denied = 0;
    std::int64_t NoDescriptors = 0;
    std::int64_t NotAnswering = 0;
    std::int64_t Failed = 0;       // TUnreadCause::Error
    std::int64_t LoopsAvoided = 0; // a link back to a directory being walked
    std::int64_t PseudoSkipped = 0;
    // Reached again by another link (or mount): walked under one path only.
    std::int64_t ReachedAgain = 0;
    // Links to files counted under the file's own path or another link
    // (with a filter of sizes or times only).
    std::int64_t FileLinksAgain = 0;
    // Not searched, by the choice that left them out.
    std::int64_t DotFolders = 0;
    std::int64_t Excluded = 0;
    std::int64_t OtherFileSystems = 0;
    bool Stopped = false; // ended early at the visitor's request
    // In walk order.
    std::vector<TUnreadDir> UnreadDirs;
    // errno when the base folder itself could not be read (nothing was); else 0.
    int BaseError = 0;

    std::int64_t Unreadable() const { return Denied + NoDescriptors + NotAnswering + Failed; }
    std::int64_t NotSearched() const { return DotFolders + Excluded + OtherFileSystems; }
    // Counts and lists a folder not read.
    void AddUnread(TUnreadDir dir);
    void AddNotSearched(TNotSearched why);
};

// Told what the walk finds, always on the walking thread and always in the
// order of a one-thread depth-first walk, however many threads read ahead;
// with a filter of sizes or times, the links to files come last, after every
// folder (a folder's files may then come in two parts).
class TWalkVisitor {
public:
    virtual ~TWalkVisitor() = default;
    // The matching files of a directory just entered; `dir` ends in "/".
    virtual void DirectoryRead(const std::string& dir, const platform::TDirContents& contents) = 0;
    // Before each subdirectory entry of `dir` ("." and ".." included) is looked at.
    virtual void EnteringDirectory(const std::string& dir, std::string_view name) = 0;
    // After an entry was walked, or tried and not entered.
    virtual void LeftDirectory() = 0;
    // Now and then while the walk waits for a long read of `dir`: the
    // matching files read there so far.
    virtual void ReadingDirectory(const std::string& /*dir*/, std::size_t /*files*/) {}
    // A folder not read, or only in part (its files then come as usual).
    virtual void Unread(const TUnreadDir& /*dir*/) {}
    // A folder one of the choices left out; `path` ends in "/".
    virtual void NotSearched(const std::string& /*path*/, TNotSearched /*why*/) {}
    // Asked before each subdirectory entry: true ends the walk there.
    virtual bool StopRequested() { return false; }
};

// Threads a walk uses unless told otherwise: many more than the cores, so
// that reads waiting on the disk or the network overlap (while reads come
// from the cache, about one a core is busy).
int DefaultWalkThreads();

// Walks a tree depth first: a directory's files, then each subdirectory in
// enumeration order with its whole subtree; names beginning with "." are not
// entered unless the options say so, nor excluded folders. Links to folders
// are walked after the folders reached without one, the links of each round
// by name and those met in it in the next, so each folder is walked once,
// under its own path or else the first link by name, whatever order the file
// system lists entries in (bind mounts apart: the first met counts). With more than one
// thread a pool reads directories ahead of the walk and the walking thread
// stitches their contents in the one-thread order. Descriptors are budgeted
// from RLIMIT_NOFILE.
class TDirWalker {
public:
    TDirWalker(const platform::TWildcard& mask, int threads);
    // Limit of descriptors the walking thread keeps open for the levels of
    // its path (ancestors beyond it are closed and reopened when needed).
    // The free descriptors of the process lower it further.
    void SetOpenDirectoryLimit(std::size_t n) { FOpenLimit = n < 2 ? 2 : n; }
    // A flag any thread may set to end the walk: reads, also of the threads
    // reading ahead, end at their next entry, keeping what they read.
    void SetStopFlag(const std::atomic<bool>* stop) { FStop = stop; }
    void SetOptions(const TWalkOptions& options) { FOptions = options; }
    // Folders unchanged since a walk read them whole are gone over from
    // `store` (which must outlive the walk), and those read are kept there.
    void SetListingStore(TListingStore* store) { FListings = store; }
    TWalkStats Walk(const std::string& baseDir, TWalkVisitor& visitor);

private:
    const platform::TWildcard& FMask;
    int FThreads;
    std::size_t FOpenLimit = 256;
    const std::atomic<bool>* FStop = nullptr;
    TWalkOptions FOptions;
    TListingStore* FListings = nullptr;
};

} // namespace tavolix::search
