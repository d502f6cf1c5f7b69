#pragma once

#include "platform/Directory.h"
#include "search/ContentReader.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavolix::search {

// A file whose text could not be looked at: it is not a hit, and not known
// not to be one.
struct TUnsearchedFile {
    std::string Path;
    TContentEnd Why = TContentEnd::Unreadable; // Unreadable or Limit
    int Error = 0;
};

// What reading the candidates of a walk came to.
struct TContentCounts {
    std::int64_t Read = 0;               // files read through (the hits among them)
    std::int64_t Binary = 0;             // skipped: a NUL byte in the first block
    std::int64_t NotRegular = 0;         // skipped: links, FIFOs, devices, sockets
    std::vector<TUnsearchedFile> Failed; // in walk order
    void Add(const std::string& path, const TContentResult& result);
};

// Threads the reading of a folder's candidates is shared among by default.
int DefaultContentThreads();

// Reads the files of one folder at a time for the text, on `threads`
// threads (the caller's among them), and hands back their results in the
// folder's order, so the walk's order of hits stays.
class TContentStage {
public:
    // `steps`, when given, counts each block read, on the thread that reads it.
    TContentStage(std::shared_ptr<const TTextMatcher> matcher, int threads, const std::atomic<bool>& stop,
                  std::atomic<std::uint64_t>* steps = nullptr);
    ~TContentStage();
    TContentStage(const TContentStage&) = delete;
    TContentStage& operator=(const TContentStage&) = delete;

    // One result for each file of `contents`, the files of `dir` (ending in
    // "/"). Files the listing shows as links or special files are not opened.
    void Check(const std::string& dir, const platform::TDirContents& contents,
               std::vector<TContentResult>& results);

private:
    struct TRound;
    struct TWorkers;
    void RunItems(TRound& round, TContentReader& reader);

    std::shared_ptr<const TTextMatcher> FMatcher;
    const std::atomic<bool>& FStop;
    std::atomic<std::uint64_t>* FSteps;
    TContentReader FReader; // the caller's
    std::unique_ptr<TWorkers> FWorkers;
};

} // namespace tavolix::search
