#include "thumbs/ThumbnailPool.h"

#include "platform/LeftBehind.h"
#include "thumbs/HelperProcess.h"
#include "thumbs/RequestFiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace tavolix::thumbs {

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Helpers that end before they say hello this many times in a row (one
// that cannot decode ends so, see thumbnailer_main.cpp): the helper can't
// run here, and every request is answered Unavailable from then on.
constexpr int kMaxStartFailures = 3;
// How often a working helper's CPU time is looked at.
constexpr milliseconds kClockCheck{100};
// Opening a request's files, or writing what was made, may take this many
// budgets before the file system counts as not answering.
constexpr int kFileBudgets = 2;
// Threads left waiting on a file system that stopped answering: beyond this
// many, requests fail at once rather than leave more behind.
constexpr int kMaxStuckTasks = 32;

} // namespace

std::string FindThumbnailer(std::string_view programDir) {
    const std::string dir(programDir);
    for (const std::string& candidate :
         {dir + "/tavolix-thumbnailer", dir + "/../libexec/tavolix/tavolix-thumbnailer"}) {
        if (IsExecutable(candidate))
            return candidate;
    }
    return {};
}

std::string FindThumbnailer() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    std::string self(buf, static_cast<std::size_t>(n));
    const std::size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : FindThumbnailer(self.substr(0, slash));
}

struct TThumbnailPool::TClient::TData {
    std::mutex CallMutex; // held while the handler runs
    bool Closed = false;  // under CallMutex
    TReplyHandler Handler;
    // Under the pool's mutex:
    std::deque<TThumbRequest> Queue;
    std::uint64_t Stamp = 0;
    // Ids answered lately: asked again before the answer reached the
    // caller, they are not made (or crash a helper) twice.
    std::unordered_set<std::uint64_t> Answered;
    std::deque<std::uint64_t> AnsweredOrder;

    void MarkAnswered(std::uint64_t id) {
        if (!Answered.insert(id).second)
            return;
        AnsweredOrder.push_back(id);
        if (AnsweredOrder.size() > 4096) {
            Answered.erase(AnsweredOrder.front());
            AnsweredOrder.pop_front();
        }
    }
};

struct TThumbnailPool::TState {
    TPoolOptions Options;
    bool Available = false;
    int WakeFd = -1;

    mutable std::mutex Mutex;
    std::vector<std::shared_ptr<TClient::TData>> Clients;
    std::uint64_t Stamp = 0;
    bool Stop = false;
    TPoolStats Stats;
    std::optional<TSandboxState> Sandbox;

    void Wake() const {
        const std::uint64_t one = 1;
        (void)!::write(WakeFd, &one, sizeof one);
    }
    // From any thread, also after the pool's end.
    void WakeLocked() {
        std::lock_guard lock(Mutex);
        if (WakeFd >= 0)
            Wake();
    }
};

namespace {

using TData = TThumbnailPool::TClient::TData;
using TState = TThumbnailPool::TState;

struct TJob {
    std::weak_ptr<TData> Client;
    TThumbRequest Request;
};

// File work on a thread of its own, which a file system that stopped
// answering may keep for ever: the pool then goes on without it.
struct TTask {
    std::atomic<bool> Done{false};
    TThumbReply Reply;
    bool Opened = false;
    TClock::time_point Deadline;
};

// One request from its opening to its answer.
struct TFlight {
    enum class TStage { Opening, Ready, Decoding, Finishing };
    TJob Job;
    TStage Stage = TStage::Opening;
    std::shared_ptr<TRequestFiles> Files;
    std::shared_ptr<TTask> Task;
    int Tries = 0;
    // After a helper died on it: only one that has had no other file.
    bool FreshHelperOnly = false;
};

// A helper process and the file it works on.
struct THelper : THelperProcess {
    TFlight* Flight = nullptr;
    int Served = 0; // files it was given
    TClock::time_point IdleSince;
};

void Deliver(TState& state, const TJob& job, TThumbReply&& reply) {
    const auto client = job.Client.lock();
    if (!client)
        return;
    {
        std::lock_guard lock(state.Mutex);
        client->MarkAnswered(job.Request.Id);
    }
    std::lock_guard lock(client->CallMutex);
    if (!client->Closed && client->Handler)
        client->Handler(std::move(reply));
}

TThumbReply FailedReply(std::uint64_t id, TReplyStatus status = TReplyStatus::Failed) {
    TThumbReply reply;
    reply.Id = id;
    reply.Status = status;
    reply.Source = TReplySource::Direct;
    return reply;
}

// The runner of one pool: the helpers, their sockets and their clocks, and
// the threads that open and write files.
class TRunner {
public:
    explicit TRunner(std::shared_ptr<TState> state) : FState(std::move(state)), S(*FState) {}
    void Run();

private:
    bool TakeJob(TJob& job);
    bool Working(const TJob& job) const;
    void StartFlights();
    bool StartTask(TFlight& flight, std::function<void(TTask&)> work);
    void Open(TFlight& flight);
    void Finish(TFlight& flight, std::optional<THelperReply> made);
    void CheckTasks();
    // The flight ends, its reply handed to the caller unless `deliver` is false.
    void Answer(TFlight& flight, TThumbReply&& reply, bool deliver = true);
    void SendReady();
    THelper* Spawn();
    void Send(THelper& h, TFlight& flight);
    void Flush(THelper& h);
    void Read(THelper& h);
    // The helper is gone or must go: its file is tried again or failed.
    void Dead(THelper& h, bool timedOut);
    void FailEverything();
    int StuckTasks();
    // Another program's thumbnailer for a file the cache had nothing of;
    // true when one took the job over.
    bool StartExternal(const TJob& job, const TThumbReply& reply);
    void PollExternals();

    std::shared_ptr<TState> FState;
    TState& S;
    std::vector<std::unique_ptr<THelper>> FHelpers;
    std::list<TFlight> FFlights;
    std::vector<std::shared_ptr<TTask>> FAbandoned;
    THelperReaper FReaper; // helpers that ended or were killed
    int FStartFailures = 0;
    bool FBroken = false;
    bool FTightened = false;

    struct TExternalJob {
        TJob Job;
        TThumbReply Reply; // the cache's answer, given when it fails
        const std::vector<std::string>* Command;
        std::unique_ptr<TExternalRun> Run; // none while it waits its turn
    };
    TExternalThumbnailers FExternal{S.Options.ThumbnailerPlaces};
    std::vector<TExternalJob> FExternals;
    // PNGs the helpers are reading, by path; and files no thumbnailer could do.
    std::map<std::string, std::unique_ptr<TExternalRun>> FMade;
    std::unordered_set<std::string> FExternalFailed;
    std::deque<TJob> FFollowUps;
};

bool TRunner::Working(const TJob& job) const {
    const auto client = job.Client.lock();
    return std::any_of(FFlights.begin(), FFlights.end(), [&](const TFlight& f) {
        return f.Job.Request.Id == job.Request.Id && f.Job.Client.lock() == client;
    });
}

bool TRunner::TakeJob(TJob& job) {
    if (!FFollowUps.empty()) {
        job = std::move(FFollowUps.front());
        FFollowUps.pop_front();
        return true;
    }
    std::lock_guard lock(S.Mutex);
    for (;;) {
        std::shared_ptr<TData> best;
        for (const auto& c : S.Clients) {
            if (!c->Queue.empty() && (!best || c->Stamp > best->Stamp))
                best = c;
        }
        if (!best)
            return false;
        job = {best, std::move(best->Queue.front())};
        best->Queue.pop_front();
        // Asked again while it is under way, or answered already: that
        // answer will do.
        if (!Working(job) && !best->Answered.contains(job.Request.Id))
            return true;
    }
}

int TRunner::StuckTasks() {
    std::erase_if(FAbandoned, [](const auto& task) { return task->Done.load(); });
    return static_cast<int>(FAbandoned.size());
}

// A file is taken from the queue only when a helper is free for it, so that
// requests that left the screen meanwhile are dropped, never made.
void TRunner::StartFlights() {
    auto holding = std::count_if(FFlights.begin(), FFlights.end(),
                                 [](const TFlight& f) { return f.Stage != TFlight::TStage::Finishing; });
    TJob job;
    while (holding < S.Options.Processes && TakeJob(job)) {
        FFlights.emplace_back().Job = std::move(job);
        ++holding;
        Open(FFlights.back());
    }
}

bool TRunner::StartTask(TFlight& flight, std::function<void(TTask&)> work) {
    auto task = std::make_shared<TTask>();
    task->Deadline = TClock::now() + milliseconds(S.Options.BudgetMs) * kFileBudgets;
    // Never joined: it counts in platform::ThreadsLeftBehind() until it ends.
    const bool started = platform::StartLeftBehind([task, work = std::move(work), state = FState] {
        work(*task);
        task->Done = true;
        state->WakeLocked();
    });
    if (!started)
        return false; // no thread to be had
    flight.Task = std::move(task);
    return true;
}

void TRunner::Open(TFlight& flight) {
    flight.Stage = TFlight::TStage::Opening;
    flight.Files = std::make_shared<TRequestFiles>(flight.Job.Request, S.Options.CacheRoot);
    // Before the pool's first file: wider modes than the standard's, left
    // by an older writer, go.
    const std::string tighten = std::exchange(FTightened, true) ? std::string() : S.Options.CacheRoot;
    if (StuckTasks() >= kMaxStuckTasks || !StartTask(flight, [files = flight.Files, tighten](TTask& task) {
            TightenCacheFolders(tighten);
            task.Opened = files->Open();
        })) {
        flight.Task.reset();
        Answer(flight, FailedReply(flight.Job.Request.Id, TReplyStatus::Unreadable));
    }
}

// Writes what the helper made (or, without it, records the file as failed)
// and answers.
void TRunner::Finish(TFlight& flight, std::optional<THelperReply> made) {
    flight.Stage = TFlight::TStage::Finishing;
    auto work = [files = flight.Files, made = std::move(made)](TTask& task) mutable {
        task.Reply = made ? files->Complete(std::move(*made)) : files->Fail();
    };
    if (!StartTask(flight, std::move(work)))
        Answer(flight, FailedReply(flight.Job.Request.Id));
}

void TRunner::Answer(TFlight& flight, TThumbReply&& reply, bool deliver) {
    const TJob job = std::move(flight.Job);
    // The other program's PNG has been read, or never will be.
    if (job.Request.Kind == TRequestKind::TakeMade)
        FMade.erase(job.Request.Output);
    for (auto it = FFlights.begin(); it != FFlights.end(); ++it) {
        if (&*it == &flight) {
            FFlights.erase(it);
            break;
        }
    }
    if (deliver)
        Deliver(S, job, std::move(reply));
}

void TRunner::CheckTasks() {
    const auto now = TClock::now();
    for (auto it = FFlights.begin(); it != FFlights.end();) {
        TFlight& flight = *it++;
        if (!flight.Task)
            continue;
        const std::shared_ptr<TTask> task = flight.Task;
        if (!task->Done) {
            if (now < task->Deadline)
                continue;
            // The file system stopped answering: the thread is left to it.
            FAbandoned.push_back(task);
            flight.Task.reset();
            {
                std::lock_guard lock(S.Mutex);
                ++S.Stats.FilesStuck;
            }
            const bool page = flight.Job.Request.Kind == TRequestKind::PageThumbnail;
            TThumbReply reply = FailedReply(flight.Job.Request.Id, TReplyStatus::Unreadable);
            if (flight.Stage == TFlight::TStage::Finishing && page) {
                reply.Status = TReplyStatus::NotWritten;
                reply.WriteErrno = ETIMEDOUT;
            }
            Answer(flight, std::move(reply));
            continue;
        }
        flight.Task.reset();
        if (flight.Stage == TFlight::TStage::Opening) {
            if (task->Opened)
                flight.Stage = TFlight::TStage::Ready;
            else
                Answer(flight, TThumbReply(flight.Files->Answer()));
        } else {
            Answer(flight, std::move(task->Reply));
        }
    }
}

THelper* TRunner::Spawn() {
    auto h = std::make_unique<THelper>();
    const THelperProcess::TStart started = h->Start(S.Options.HelperPath, S.Options.HelperArgs);
    if (started != THelperProcess::TStart::Started) {
        // Every failed start counts; the pool gives up here only on a
        // program that would not run, not on a want of sockets.
        if (++FStartFailures >= kMaxStartFailures && started == THelperProcess::TStart::SpawnFailed)
            FBroken = true;
        return nullptr;
    }
    h->IdleSince = TClock::now();
    FHelpers.push_back(std::move(h));
    std::lock_guard lock(S.Mutex);
    ++S.Stats.Started;
    return FHelpers.back().get();
}

// Ready files go to idle helpers; one a helper died on, to a new one.
void TRunner::SendReady() {
    for (auto it = FFlights.begin(); it != FFlights.end();) {
        TFlight& flight = *it++; // a send that fails may answer it
        if (flight.Stage != TFlight::TStage::Ready)
            continue;
        THelper* idle = nullptr;
        for (const auto& h : FHelpers) {
            if (!h->Flight && h->Fd >= 0 && !(flight.FreshHelperOnly && h->Served > 0)) {
                idle = h.get();
                break;
            }
        }
        // A file that needs a fresh helper may make one beyond the number.
        const auto busy = static_cast<int>(FHelpers.size());
        if (!idle && !FBroken && (busy < S.Options.Processes || flight.FreshHelperOnly))
            idle = Spawn();
        if (!idle)
            continue;
        Send(*idle, flight);
    }
}

void TRunner::Send(THelper& h, TFlight& flight) {
    h.Out += EncodeRequest(flight.Files->HelperRequest());
    h.OutFiles = flight.Files->Descriptors();
    h.Flight = &flight;
    ++h.Served;
    flight.Stage = TFlight::TStage::Decoding;
    {
        std::lock_guard lock(S.Mutex);
        ++S.Stats.Sent;
    }
    h.StartClock();
    Flush(h);
}

void TRunner::Flush(THelper& h) {
    if (!h.Flush())
        Dead(h, false);
}

void TRunner::Read(THelper& h) {
    // What came before the end is read first: a helper that said hello and
    // then died on its file died on the file.
    const bool ended = h.Receive();
    std::uint32_t type = 0;
    std::string payload;
    for (;;) {
        const TFrameReader::TResult r = h.Reader.Next(type, payload);
        if (r == TFrameReader::TResult::NeedMore) {
            if (ended)
                Dead(h, false);
            return;
        }
        if (r == TFrameReader::TResult::Bad) {
            Dead(h, false);
            return;
        }
        if (!h.HelloSeen) {
            const std::optional<TSandboxState> sandbox =
                type == static_cast<std::uint32_t>(TFrameType::Hello) ? DecodeHello(payload) : std::nullopt;
            if (!sandbox) {
                Dead(h, false);
                return;
            }
            h.HelloSeen = true;
            FStartFailures = 0;
            {
                std::lock_guard lock(S.Mutex);
                if (!S.Sandbox)
                    S.Sandbox = *sandbox;
            }
            // The file's own budget starts now that the helper is ready.
            if (h.Flight)
                h.StartClock();
            continue;
        }
        std::optional<THelperReply> reply;
        if (type == static_cast<std::uint32_t>(TFrameType::Reply))
            reply = DecodeReply(payload);
        if (!reply || !h.Flight || reply->Reply.Id != h.Flight->Job.Request.Id) {
            Dead(h, false);
            return;
        }
        TFlight& flight = *h.Flight;
        h.Flight = nullptr;
        h.IdleSince = TClock::now();
        {
            std::lock_guard lock(S.Mutex);
            ++S.Stats.Replies;
        }
        if (StartExternal(flight.Job, reply->Reply))
            Answer(flight, {}, false); // answered when the program is done
        else
            Finish(flight, std::move(reply));
    }
}

void TRunner::Dead(THelper& h, bool timedOut) {
    if (TFlight* flight = h.Flight) {
        h.Flight = nullptr;
        h.OutFiles.clear();
        // Before its hello a helper has read nothing of the file: the file
        // waits for the next helper, or for the answer that none can run.
        // Killed from outside (the OOM killer, a kill) the file may be
        // good: once more in a fresh helper. A second death, or a file
        // over its budget, is the file's.
        if (!h.HelloSeen) {
            flight->Stage = TFlight::TStage::Ready;
        } else if (!timedOut && flight->Tries == 0) {
            ++flight->Tries;
            flight->Stage = TFlight::TStage::Ready;
            flight->FreshHelperOnly = true;
            std::lock_guard lock(S.Mutex);
            ++S.Stats.Retried;
        } else {
            {
                std::lock_guard lock(S.Mutex);
                ++(timedOut ? S.Stats.TimedOut : S.Stats.Crashed);
            }
            if (flight->Job.Request.Kind == TRequestKind::TakeMade)
                FExternalFailed.insert(flight->Job.Request.Path);
            Finish(*flight, std::nullopt);
        }
    }
    if (!h.HelloSeen && ++FStartFailures >= kMaxStartFailures)
        FBroken = true;
    FReaper.Retire(h, true);
}

// No helper can run: what waits is answered so, and nothing is recorded
// (the files may be good, and other programs read the records too).
void TRunner::FailEverything() {
    for (auto it = FFlights.begin(); it != FFlights.end();) {
        TFlight& flight = *it++;
        if (flight.Stage == TFlight::TStage::Ready)
            Answer(flight, FailedReply(flight.Job.Request.Id, TReplyStatus::Unavailable));
    }
    TJob job;
    while (TakeJob(job)) {
        if (job.Request.Kind == TRequestKind::TakeMade)
            FMade.erase(job.Request.Output);
        Deliver(S, job, FailedReply(job.Request.Id, TReplyStatus::Unavailable));
    }
}

bool TRunner::StartExternal(const TJob& job, const TThumbReply& reply) {
    if (!S.Options.ExternalThumbnailers || job.Request.Kind != TRequestKind::CachedOnly ||
        reply.Status != TReplyStatus::NoThumbnail || FExternalFailed.contains(job.Request.Path))
        return false;
    const std::vector<std::string>* command = FExternal.CommandFor(job.Request.Path);
    if (!command)
        return false;
    FExternals.push_back({job, reply, command, nullptr});
    return true;
}

void TRunner::PollExternals() {
    // As many at once as there are helpers; the rest wait their turn.
    int running = static_cast<int>(std::count_if(FExternals.begin(), FExternals.end(),
                                                 [](const TExternalJob& e) { return e.Run != nullptr; }));
    for (auto it = FExternals.begin(); it != FExternals.end();) {
        if (!it->Run) {
            if (running >= S.Options.Processes) {
                ++it;
                continue;
            }
            // A folder of the user's own on a local file system, never a share's.
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            const std::string temp = runtime && runtime[0] == '/' ? runtime : "/tmp";
            it->Run = std::make_unique<TExternalRun>(*it->Command, it->Job.Request.Path,
                                                     ThumbPixels(it->Job.Request.Size), temp,
                                                     milliseconds(S.Options.ExternalMs));
            ++running;
        }
        const TExternalRun::TState state = it->Run->Poll(TClock::now());
        if (state == TExternalRun::TState::Running) {
            ++it;
            continue;
        }
        --running;
        if (state == TExternalRun::TState::Made) {
            // The picture helper reads what the program wrote: it is as
            // hostile as any file.
            TJob next = it->Job;
            next.Request.Kind = TRequestKind::TakeMade;
            next.Request.Output = it->Run->Output();
            FMade[next.Request.Output] = std::move(it->Run);
            FFollowUps.push_back(std::move(next));
        } else {
            FExternalFailed.insert(it->Job.Request.Path);
            Deliver(S, it->Job, std::move(it->Reply));
        }
        it = FExternals.erase(it);
    }
}

void TRunner::Run() {
    if (!S.Available)
        FBroken = true;
    for (;;) {
        {
            std::lock_guard lock(S.Mutex);
            if (S.Stop)
                break;
        }
        std::erase_if(FHelpers, [](const auto& h) { return h->Fd < 0; });
        FReaper.Reap(false);
        PollExternals();
        CheckTasks();
        if (FBroken) {
            FailEverything();
        } else {
            StartFlights();
            SendReady();
        }
        std::erase_if(FHelpers, [](const auto& h) { return h->Fd < 0; });

        // Wait for a socket, the wake-up, or the nearest clock.
        const auto now = TClock::now();
        auto until = now + milliseconds(S.Options.IdleExitMs);
        std::vector<pollfd> fds;
        fds.push_back({S.WakeFd, POLLIN, 0});
        for (const auto& h : FHelpers) {
            fds.push_back({h->Fd, static_cast<short>(POLLIN | (h->Out.empty() ? 0 : POLLOUT)), 0});
            fds.push_back({h->ErrFd, POLLIN, 0});
            until = std::min(until, h->Flight ? now + kClockCheck
                                              : h->IdleSince + milliseconds(S.Options.IdleExitMs));
        }
        for (const TFlight& flight : FFlights) {
            if (flight.Task)
                until = std::min(until, flight.Task->Deadline);
        }
        if (!FReaper.Empty() || !FExternals.empty())
            until = std::min(until, now + milliseconds(100));
        const auto wait = std::chrono::duration_cast<milliseconds>(until - now).count();
        ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait + 1, 0, 60000)));
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(S.WakeFd, &count, sizeof count);
        }
        for (std::size_t i = 0; i < FHelpers.size(); ++i) {
            THelper& h = *FHelpers[i];
            const short ev = fds[2 * i + 1].revents;
            if (h.ErrFd >= 0 && (fds[2 * i + 2].revents & (POLLIN | POLLHUP | POLLERR)))
                h.DrainErrors();
            if (h.Fd >= 0 && (ev & POLLOUT))
                Flush(h);
            if (h.Fd >= 0 && (ev & (POLLIN | POLLHUP | POLLERR)))
                Read(h);
        }
        const auto after = TClock::now();
        for (const auto& h : FHelpers) {
            if (h->Fd < 0)
                continue;
            if (h->Flight && h->Overdue(after, S.Options.BudgetMs, S.Options.StartMs))
                Dead(*h, true);
            else if (!h->Flight && after >= h->IdleSince + milliseconds(S.Options.IdleExitMs))
                FReaper.Retire(*h, false); // it ends on the closed socket
        }
    }
    for (const auto& h : FHelpers) {
        h->Flight = nullptr;
        if (h->Fd >= 0)
            FReaper.Retire(*h, true);
    }
    // What is being written (a failure record, a cache file) is let finish
    // within its time; opening is left behind.
    for (TFlight& flight : FFlights) {
        if (flight.Stage != TFlight::TStage::Finishing || !flight.Task)
            continue;
        while (!flight.Task->Done && TClock::now() < flight.Task->Deadline)
            ::usleep(2000);
    }
    // Killed helpers end at once unless the kernel holds them; those are left.
    for (int i = 0; i < 20 && !FReaper.Empty(); ++i) {
        FReaper.Reap(true);
        if (!FReaper.Empty())
            ::usleep(5000);
    }
}

} // namespace

TThumbnailPool::TThumbnailPool(TPoolOptions options) : FState(std::make_shared<TState>()) {
    FState->Options = std::move(options);
    FState->Options.Processes = std::max(1, FState->Options.Processes);
    FState->Available = IsExecutable(FState->Options.HelperPath);
    FState->WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FThread = std::thread([state = FState] { TRunner(state).Run(); });
}

TThumbnailPool::~TThumbnailPool() {
    {
        std::lock_guard lock(FState->Mutex);
        FState->Stop = true;
    }
    FState->Wake();
    FThread.join();
    std::lock_guard lock(FState->Mutex);
    ::close(FState->WakeFd);
    FState->WakeFd = -1;
}

std::shared_ptr<TThumbnailPool::TClient> TThumbnailPool::Connect(TReplyHandler onReply) {
    auto data = std::make_shared<TClient::TData>();
    data->Handler = std::move(onReply);
    {
        std::lock_guard lock(FState->Mutex);
        FState->Clients.push_back(data);
    }
    return std::make_shared<TClient>(FState, data);
}

bool TThumbnailPool::Available() const {
    return FState->Available;
}

TPoolStats TThumbnailPool::Stats() const {
    std::lock_guard lock(FState->Mutex);
    return FState->Stats;
}

std::optional<TSandboxState> TThumbnailPool::Sandbox() const {
    std::lock_guard lock(FState->Mutex);
    return FState->Sandbox;
}

TThumbnailPool::TClient::TClient(std::shared_ptr<TState> pool, std::shared_ptr<TData> data)
    : FPool(std::move(pool)), FData(std::move(data)) {
}

TThumbnailPool::TClient::~TClient() {
    Close();
}

void TThumbnailPool::TClient::SetWanted(std::vector<TThumbRequest> requests) {
    const auto pool = FPool.lock();
    if (!pool)
        return;
    {
        std::lock_guard lock(pool->Mutex);
        FData->Queue.assign(std::make_move_iterator(requests.begin()),
                            std::make_move_iterator(requests.end()));
        FData->Stamp = ++pool->Stamp;
        // Under the lock: the pool's end closes the descriptor under it too.
        if (pool->WakeFd >= 0)
            pool->Wake();
    }
}

void TThumbnailPool::TClient::Close() {
    {
        std::lock_guard lock(FData->CallMutex);
        FData->Closed = true;
    }
    if (const auto pool = FPool.lock()) {
        std::lock_guard lock(pool->Mutex);
        FData->Queue.clear();
        std::erase(pool->Clients, FData);
    }
}

} // namespace tavolix::thumbs
