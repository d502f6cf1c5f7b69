#pragma once

#include "platform/Directory.h"
#include "search/ContentReader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
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
    // `reading`, when given, hears of each file before it is read, on the
    // thread that reads it.
    using TReading = std::function<void(const std::string& dir, std::string_view name)>;
    TContentStage(std::shared_ptr<const TTextMatcher> matcher, int threads, const std::atomic<bool>& stop,
                  TReading reading = {});
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
    TReading FReading;
    TContentReader FReader; // the caller's
    std::unique_ptr<TWorkers> FWorkers;
};

} // namespace tavolix::search
