#include "search/SearchJob.h"

#include "search/FileInfo.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace tavolix::search {

namespace {
platform::TLeftBehindCount gLeftBehind;
// Records made ready outside the lock and handed over under it at a time:
// the window never waits long for a big folder's records.
constexpr std::size_t kHandOver = 8192;
} // namespace

// Everything the walking thread touches: it outlives the job when the walk
// is left behind.
struct TSearchJob::TShared {
    TShared(std::string baseDir, std::string_view mask, TWalkOptions options, TContentChoice contents = {},
            int contentThreads = 1)
        : BaseDir(std::move(baseDir)), Mask(platform::TWildcard::Key(mask, options.KeyLists)),
          Options(std::move(options)), Contents(std::move(contents)), ContentThreads(contentThreads) {
        if (!Contents.Empty()) {
            TPatternError error;
            Matcher = TTextMatcher::Make(Contents, &error);
            if (!Matcher)
                Error = error;
        }
    }

    const std::string BaseDir;
    const platform::TWildcard Mask;
    const TWalkOptions Options;
    const TContentChoice Contents;
    const int ContentThreads;
    std::shared_ptr<const TTextMatcher> Matcher; // with Contents, unless it could not be compiled
    std::optional<TPatternError> Error;
    const long OrderOffset = CurrentUtcOffset(); // of the records' time order
    std::atomic<bool> StopFlag{false};
    // Counts the walk's steps: a walk that no longer counts is stuck.
    std::atomic<std::uint64_t> Steps{0};

    mutable std::mutex Mutex;
    std::condition_variable EndSeen;
    bool Ended = false;
    bool Abandoned = false;
    std::unique_ptr<TFileInfoList> Batch = std::make_unique<TFileInfoList>();
    std::int64_t FileCount = 0;
    std::size_t Reading = 0; // files read so far where the walk waits
    std::string Path;
    TWalkStats Stats;
    std::unordered_map<std::string, TContentMatch> Matches;
    TContentCounts ContentCounts;
};

// The walk's side: records, progress and unread folders go to the shared
// state, each under its lock, so that nothing found is ever held back
// from the caller.
class TSearchJob::TFeed final : public TWalkVisitor {
public:
    explicit TFeed(TShared& shared) : F(shared) {
        // Each block read is a step: a long read is not taken for a share
        // that stopped answering.
        if (F.Matcher)
            FStage = std::make_unique<TContentStage>(F.Matcher, F.ContentThreads, F.StopFlag, &F.Steps);
    }

    void DirectoryRead(const std::string& dir, const platform::TDirContents& contents) override {
        if (F.Contents.Empty())
            return AddFiles(dir, contents);
        if (!FStage || contents.FileCount() == 0)
            return;
        FStage->Check(dir, contents, FResults);
        platform::TDirContents all = contents;
        const platform::TDirContents hits =
            all.TakeFiles([this](std::size_t i) { return FResults[i].End == TContentEnd::Match; });
        {
            std::lock_guard lock(F.Mutex);
            if (F.Abandoned)
                return;
            std::string path;
            for (std::size_t i = 0; i < FResults.size(); ++i) {
                path.assign(dir).append(contents.FileName(i));
                F.ContentCounts.Add(path, FResults[i]);
                if (FResults[i].End == TContentEnd::Match)
                    F.Matches.emplace(path, std::move(FResults[i].Match));
            }
        }
        AddFiles(dir, hits);
    }
    void AddFiles(const std::string& dir, const platform::TDirContents& contents) {
        const std::size_t files = contents.FileCount();
        std::size_t first = 0;
        do {
            const std::size_t count = std::min(kHandOver, files - first);
            FTimes.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                FTimes[i] = PackTimes(contents.File(first + i).WriteTime, F.OrderOffset);
            F.Steps.fetch_add(1, std::memory_order_relaxed);
            std::lock_guard lock(F.Mutex);
            if (F.Abandoned)
                return;
            F.Batch->AddDirectory(dir, contents, first, count, FTimes.data());
            F.FileCount += static_cast<std::int64_t>(count);
            first += count;
            F.Reading = files - first;
        } while (first < files);
    }
    void EnteringDirectory(const std::string& dir, std::string_view name) override {
        F.Steps.fetch_add(1, std::memory_order_relaxed);
        std::lock_guard lock(F.Mutex);
        F.Path.assign(dir).append(name);
        F.Reading = 0;
    }
    void LeftDirectory() override {}
    void ReadingDirectory(const std::string&, std::size_t files) override {
        std::lock_guard lock(F.Mutex);
        if (files != F.Reading)
            F.Steps.fetch_add(1, std::memory_order_relaxed);
        F.Reading = files;
    }
    void Unread(const TUnreadDir& dir) override {
        std::lock_guard lock(F.Mutex);
        if (!F.Abandoned)
            F.Stats.AddUnread(dir);
    }
    void NotSearched(const std::string&, TNotSearched why) override {
        std::lock_guard lock(F.Mutex);
        if (!F.Abandoned)
            F.Stats.AddNotSearched(why);
    }
    bool StopRequested() override { return F.StopFlag.load(std::memory_order_relaxed); }

private:
    TShared& F;
    std::vector<TPackedTimes> FTimes;
    std::unique_ptr<TContentStage> FStage;
    std::vector<TContentResult> FResults;
};

TSearchJob::TSearchJob(std::string baseDir, std::string_view mask, int threads, std::size_t openLimit,
                       TWalkOptions options, TContentChoice contents, int contentThreads)
    : FShared(std::make_shared<TShared>(std::move(baseDir), mask, std::move(options), std::move(contents),
                                        contentThreads)) {
    Run([shared = FShared.get(), threads, openLimit](TWalkVisitor& feed, const std::atomic<bool>& stop) {
        TDirWalker walker(shared->Mask, threads);
        walker.SetOpenDirectoryLimit(openLimit);
        walker.SetStopFlag(&stop);
        walker.SetOptions(shared->Options);
        return walker.Walk(shared->BaseDir, feed);
    });
}

TSearchJob::TSearchJob(std::string baseDir, TWalkRun walk, TContentChoice contents, int contentThreads)
    : FShared(std::make_shared<TShared>(std::move(baseDir), "*", TWalkOptions{}, std::move(contents),
                                        contentThreads)) {
    Run(std::move(walk));
}

void TSearchJob::Run(TWalkRun walk) {
    FShared->Path = FShared->BaseDir;
    FThread = platform::TLeavableThread(
        [shared = FShared, walk = std::move(walk)]() mutable {
            TWalkStats stats;
            {
                TFeed feed(*shared);
                stats = walk(feed, shared->StopFlag);
            }
            std::lock_guard lock(shared->Mutex);
            if (!shared->Abandoned)
                shared->Stats = std::move(stats);
            shared->Ended = true;
            shared->EndSeen.notify_all();
        },
        &gLeftBehind);
}

std::unique_ptr<TSearchJob> TSearchJob::Start(TFileInfoList& list, std::string baseDir, TWalkRun walk) {
    list.BeginSearch();
    if (walk)
        return std::make_unique<TSearchJob>(std::move(baseDir), std::move(walk), list.Contents());
    return std::make_unique<TSearchJob>(std::move(baseDir), list.FileMask(), list.WalkThreads(),
                                        list.OpenDirectoryLimit(), list.WalkOptions(), list.Contents());
}

TSearchJob::~TSearchJob() {
    Abandon();
    // Not left behind: the walk has ended, its thread is only returning.
    FThread.Join();
}

void TSearchJob::TakeRecords(TFileInfoList& list) {
    std::unique_ptr<TFileInfoList> batch;
    {
        std::lock_guard lock(FShared->Mutex);
        if (FShared->Batch->Count() == 0)
            return;
        if (!list.Append(*FShared->Batch)) {
            batch = std::move(FShared->Batch);
            FShared->Batch = std::make_unique<TFileInfoList>();
        }
    }
    if (batch)
        list.Adopt(std::move(batch));
}

void TSearchJob::Finish(TFileInfoList& list) {
    TakeRecords(list);
    list.FinishSearch(Stats());
}

void TSearchJob::FinishLater(TFileInfoList& list) {
    TakeRecords(list);
    list.FinishSearchLater(Stats());
}

TSearchJob::TProgress TSearchJob::Progress() const {
    std::lock_guard lock(FShared->Mutex);
    return {FShared->Path, FShared->FileCount + static_cast<std::int64_t>(FShared->Reading),
            FShared->Steps.load(std::memory_order_relaxed)};
}

void TSearchJob::Stop() {
    FShared->StopFlag.store(true);
}

bool TSearchJob::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FShared->Mutex);
    return FShared->EndSeen.wait_for(lock, timeout, [this] { return FShared->Ended; });
}

bool TSearchJob::StopAndWait(std::chrono::milliseconds quiet) {
    Stop();
    for (std::uint64_t steps = FShared->Steps.load();;) {
        if (WaitForEnd(quiet))
            return true;
        const std::uint64_t now = FShared->Steps.load();
        if (now == steps)
            return false;
        steps = now;
    }
}

bool TSearchJob::Ended() const {
    std::lock_guard lock(FShared->Mutex);
    return FShared->Ended;
}

void TSearchJob::Abandon() {
    Stop();
    {
        std::lock_guard lock(FShared->Mutex);
        if (FShared->Ended || FShared->Abandoned)
            return;
        FShared->Abandoned = true;
        std::string path = FShared->Path;
        if (path.empty() || path.back() != '/')
            path.push_back('/');
        FShared->Stats.AddUnread({std::move(path), TUnreadCause::NotAnswering, 0, false});
        FShared->Stats.Stopped = true;
    }
    FThread.Leave();
}

bool TSearchJob::Abandoned() const {
    std::lock_guard lock(FShared->Mutex);
    return FShared->Abandoned;
}

TWalkStats TSearchJob::Stats() const {
    std::lock_guard lock(FShared->Mutex);
    return FShared->Stats;
}

std::unordered_map<std::string, TContentMatch> TSearchJob::ContentMatches() const {
    std::lock_guard lock(FShared->Mutex);
    return FShared->Matches;
}

TContentCounts TSearchJob::ContentCounts() const {
    std::lock_guard lock(FShared->Mutex);
    return FShared->ContentCounts;
}

std::optional<TPatternError> TSearchJob::PatternError() const {
    return FShared->Error;
}

int TSearchJob::LeftBehind() {
    return gLeftBehind.Value();
}

} // namespace tavolix::search
