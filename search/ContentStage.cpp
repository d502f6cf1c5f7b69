#include "search/ContentStage.h"

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tavolix::search {

void TContentCounts::Add(const std::string& path, const TContentResult& result) {
    switch (result.End) {
    case TContentEnd::Match:
    case TContentEnd::NoMatch:
        ++Read;
        break;
    case TContentEnd::Binary:
        ++Binary;
        break;
    case TContentEnd::NotRegular:
        ++NotRegular;
        break;
    case TContentEnd::Unreadable:
    case TContentEnd::Limit:
        Failed.push_back({path, result.End, result.Error});
        break;
    case TContentEnd::Stopped:
        break;
    }
}

int DefaultContentThreads() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// One folder's files, shared out by index.
struct TContentStage::TRound {
    std::uint64_t Id = 0;
    int DirFd = AT_FDCWD;
    const std::string* Dir = nullptr; // the prefix of a name when DirFd could not be opened
    const platform::TDirContents* Contents = nullptr;
    std::vector<TContentResult>* Results = nullptr;
    std::atomic<std::size_t> Next{0};
    int Active = 0; // workers in it, under the mutex
};

struct TContentStage::TWorkers {
    std::mutex Mutex;
    std::condition_variable Work, Done;
    TRound* Current = nullptr;
    std::uint64_t LastId = 0;
    bool Quit = false;
    std::vector<std::thread> Threads;
};

TContentStage::TContentStage(std::shared_ptr<const TTextMatcher> matcher, int threads,
                             const std::atomic<bool>& stop, std::atomic<std::uint64_t>* steps)
    : FMatcher(std::move(matcher)), FStop(stop), FSteps(steps), FReader(FMatcher) {
    if (threads <= 1)
        return;
    FWorkers = std::make_unique<TWorkers>();
    for (int t = 1; t < threads; ++t) {
        FWorkers->Threads.emplace_back([this] {
            TContentReader reader(FMatcher);
            TWorkers& w = *FWorkers;
            std::uint64_t seen = 0;
            for (;;) {
                TRound* round = nullptr;
                {
                    std::unique_lock lock(w.Mutex);
                    w.Work.wait(lock, [&] { return w.Quit || (w.Current && w.Current->Id != seen); });
                    if (w.Quit)
                        return;
                    round = w.Current;
                    seen = round->Id;
                    ++round->Active;
                }
                RunItems(*round, reader);
                {
                    std::lock_guard lock(w.Mutex);
                    --round->Active;
                }
                w.Done.notify_all();
            }
        });
    }
}

TContentStage::~TContentStage() {
    if (!FWorkers)
        return;
    {
        std::lock_guard lock(FWorkers->Mutex);
        FWorkers->Quit = true;
    }
    FWorkers->Work.notify_all();
    for (std::thread& t : FWorkers->Threads)
        t.join();
}

void TContentStage::RunItems(TRound& round, TContentReader& reader) {
    const platform::TDirContents& contents = *round.Contents;
    std::string name;
    for (;;) {
        const std::size_t i = round.Next.fetch_add(1);
        if (i >= contents.FileCount())
            return;
        TContentResult& result = (*round.Results)[i];
        // The listing already knows links and special files: they are not
        // opened at all (opening a device may do something).
        if (contents.File(i).Attr & (platform::faSysFile | platform::faLink | platform::faDirectory)) {
            result = {TContentEnd::NotRegular, 0, {}};
            continue;
        }
        if (round.Dir)
            name.assign(*round.Dir).append(contents.FileName(i));
        else
            name.assign(contents.FileName(i));
        result = reader.ReadFile(round.DirFd, name.c_str(), FStop, FSteps);
    }
}

void TContentStage::Check(const std::string& dir, const platform::TDirContents& contents,
                          std::vector<TContentResult>& results) {
    results.assign(contents.FileCount(), TContentResult{});
    if (contents.FileCount() == 0)
        return;
    TRound round;
    round.Contents = &contents;
    round.Results = &results;
    round.DirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (round.DirFd < 0) {
        round.DirFd = AT_FDCWD;
        round.Dir = &dir;
    }
    if (FWorkers && contents.FileCount() > 1) {
        {
            std::lock_guard lock(FWorkers->Mutex);
            round.Id = ++FWorkers->LastId;
            FWorkers->Current = &round;
        }
        FWorkers->Work.notify_all();
        RunItems(round, FReader);
        std::unique_lock lock(FWorkers->Mutex);
        FWorkers->Done.wait(lock, [&] { return round.Active == 0; });
        FWorkers->Current = nullptr;
    } else {
        RunItems(round, FReader);
    }
    if (round.DirFd != AT_FDCWD)
        ::close(round.DirFd);
}

} // namespace tavolix::search
