#pragma once

#include "platform/Directory.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavolix::search {

// What the walk passed over, for the curious (the window may show it).
struct TWalkStats {
    std::int64_t DirectoriesRead = 0;
    std::int64_t Unreadable = 0;   // could not be opened or listed
    std::int64_t LoopsAvoided = 0; // a link back to a directory being walked
    std::int64_t PseudoSkipped = 0;
    // Not searched because the process was out of file descriptors even after
    // giving back its own: the results are incomplete and the caller must say so.
    std::int64_t NoDescriptors = 0;
    bool Stopped = false; // ended early at the visitor's request
};

enum class TWalkFailure : std::uint8_t { Unreadable, NoDescriptors, Loop, PseudoFileSystem };

// Told what the walk finds, always on the walking thread and always in the
// order of a one-thread depth-first walk, however many threads read ahead.
class TWalkVisitor {
public:
    virtual ~TWalkVisitor() = default;
    // The matching files of a directory just entered; `dir` ends in "/".
    virtual void DirectoryRead(const std::string& dir, const platform::TDirContents& contents) = 0;
    // Before each subdirectory entry of `dir` ("." and ".." included) is looked at.
    virtual void EnteringDirectory(const std::string& dir, std::string_view name) = 0;
    // After an entry was walked, or tried and not entered.
    virtual void LeftDirectory() = 0;
    // A directory that is not walked, and why (`error` is the errno, or 0).
    virtual void Failed(const std::string& /*path*/, TWalkFailure /*why*/, int /*error*/) {}
    // Asked before each subdirectory entry: true ends the walk there.
    virtual bool StopRequested() { return false; }
};

// Threads a walk uses unless told otherwise: many more than the cores, so
// that reads waiting on the disk or the network overlap (while reads come
// from the cache, about one a core is busy).
int DefaultWalkThreads();

// Walks a tree depth first: a directory's files, then each subdirectory in
// enumeration order with its whole subtree; names beginning with "." are not
// entered. With more than one thread a pool reads directories ahead of the
// walk and the walking thread stitches their contents in the one-thread
// order. Descriptors are budgeted from RLIMIT_NOFILE.
class TDirWalker {
public:
    TDirWalker(const platform::TWildcard& mask, int threads);
    // Limit of descriptors the walking thread keeps open for the levels of
    // its path (ancestors beyond it are closed and reopened when needed).
    // The free descriptors of the process lower it further.
    void SetOpenDirectoryLimit(std::size_t n) { FOpenLimit = n < 2 ? 2 : n; }
    TWalkStats Walk(const std::string& baseDir, TWalkVisitor& visitor);

private:
    const platform::TWildcard& FMask;
    int FThreads;
    std::size_t FOpenLimit = 256;
};

} // namespace tavolix::search
