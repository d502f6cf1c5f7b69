#pragma once

#include "platform/LeftBehind.h"
#include "search/ContentChoice.h"
#include "search/ContentStage.h"
#include "search/DirWalker.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace tavolix::search {

class TFileInfoList;

// One walk on a thread of its own, for a caller that must never wait on the
// file system: it takes the records in batches, reads the progress and stops
// the walk when it likes. A walk that does not end when asked (a thread
// stuck in the kernel on a share that stopped answering) can be left behind,
// never waited for: it ends on its own when the kernel lets it go.
class TSearchJob {
public:
    // A walk's whole run on the job's thread: it hands what it finds to the
    // visitor, ends soon after `stop` is set and returns its counts.
    using TWalkRun = std::function<TWalkStats(TWalkVisitor& visitor, const std::atomic<bool>& stop)>;

    // Starts walking `baseDir` for `mask` at once; with `contents`, only
    // the files holding its text are hits (read after the name and the
    // filters matched, on `contentThreads` threads).
    TSearchJob(std::string baseDir, std::string_view mask, int threads, std::size_t openLimit,
               TWalkOptions options = {}, TContentChoice contents = {},
               int contentThreads = DefaultContentThreads());
    // Starts `walk` at once, as a walk of `baseDir` (a walk made up by a
    // benchmark, or one answered from kept listings); `contents` as above.
    TSearchJob(std::string baseDir, TWalkRun walk, TContentChoice contents = {},
               int contentThreads = DefaultContentThreads());
    // Starts the search of `list` (its mask, threads and choices) at once;
    // the list's counters begin at 0. `walk`, when given, runs in place of
    // the walk of `baseDir`; the list's text to look for holds for it too.
    static std::unique_ptr<TSearchJob> Start(TFileInfoList& list, std::string baseDir, TWalkRun walk = {});
    // Stops the walk; one that has not ended is left behind.
    ~TSearchJob();
    TSearchJob(const TSearchJob&) = delete;
    TSearchJob& operator=(const TSearchJob&) = delete;

    // Moves the records found since the last call to the end of `list`, in
    // walk order.
    void TakeRecords(TFileInfoList& list);
    // Once the walk has ended or been left behind: the rest of the records
    // and the walk's counts go to `list`, which is then sorted.
    void Finish(TFileInfoList& list);
    // The same, the sort started on a thread of its own (the list's
    // StartSort): the caller applies it when it is done.
    void FinishLater(TFileInfoList& list);

    struct TProgress {
        std::string Path;           // the entry looked at, or waited for
        std::int64_t FileCount = 0; // files found so far, those of a long read included
        std::uint64_t Steps = 0;    // grows while the walk gets on (a file read for a text too)
    };
    TProgress Progress() const;

    // Asks the walk to end; it keeps what it found.
    void Stop();
    // Waits up to `timeout` for the walk to end; true once it has.
    bool WaitForEnd(std::chrono::milliseconds timeout);
    // Stops the walk and waits for its end as long as it goes on working
    // (handing over what it found); false once it did nothing for `quiet`:
    // it is stuck, in the kernel.
    bool StopAndWait(std::chrono::milliseconds quiet);
    bool Ended() const;
    // Stops the walk and stops waiting for it: what it found until now is
    // all there is, and the folder it was busy with is counted as not
    // answering. Nothing when it has ended.
    void Abandon();
    bool Abandoned() const;

    // The walk's counts: the whole once it has ended, else those so far.
    TWalkStats Stats() const;

    // With a text to look for: where each hit holds it first, by path, and
    // what reading the candidates came to; as Stats, the whole once ended.
    std::unordered_map<std::string, TContentMatch> ContentMatches() const;
    TContentCounts ContentCounts() const;
    // Why the text could not be compiled (then nothing is a hit).
    std::optional<TPatternError> PatternError() const;

    // Walks left behind that have not ended yet (they count in
    // platform::ThreadsLeftBehind() too).
    static int LeftBehind();

private:
    struct TShared;
    class TFeed;
    void Run(TWalkRun walk);
    std::shared_ptr<TShared> FShared;
    platform::TLeavableThread FThread;
};

} // namespace tavolix::search
