#include "thumbs/ThumbnailPool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_set>

extern char** environ;

namespace tavolix::thumbs {

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Helpers that die before they say hello this many times in a row: the
// helper can't run here, and every request fails at once from then on.
constexpr int kMaxStartFailures = 3;
// How long a helper that was told to end may take before it is killed.
constexpr milliseconds kRetireGrace{2000};
// How often a working helper's CPU time is looked at.
constexpr milliseconds kClockCheck{100};
// However busy, no file takes longer than this many budgets.
constexpr int kWallBudgets = 10;

// The CPU time (user and system) a process has used, in milliseconds; -1
// when it is gone. /proc never waits on a disk or a network.
long CpuMilliseconds(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return -1;
    buf[n] = '\0';
    // After the name in parentheses (which may hold anything): state, then
    // fields 4 to 13, then utime and stime in clock ticks.
    const char* p = std::strrchr(buf, ')');
    if (!p)
        return -1;
    unsigned long utime = 0, stime = 0;
    if (std::sscanf(p + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    static const long ticks = ::sysconf(_SC_CLK_TCK) > 0 ? ::sysconf(_SC_CLK_TCK) : 100;
    return static_cast<long>((utime + stime) * 1000 / ticks);
}

bool IsExecutable(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

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
    std::deque<TThumbRequest> FailureRecords;
    std::uint64_t Stamp = 0;
    bool Stop = false;
    TPoolStats Stats;

    void Wake() const {
        const std::uint64_t one = 1;
        (void)!::write(WakeFd, &one, sizeof one);
    }
};

namespace {

using TData = TThumbnailPool::TClient::TData;
using TState = TThumbnailPool::TState;

struct TJob {
    std::weak_ptr<TData> Client; // empty for a failure record
    TThumbRequest Request;
};

struct THelper {
    pid_t Pid = -1;
    int Fd = -1;
    bool HelloSeen = false;
    bool Busy = false;
    TJob Job;
    TClock::time_point IdleSince;
    // The file's clock: when it was sent, and when the helper last used CPU.
    TClock::time_point Sent, LastProgress;
    long CpuAtSend = 0, LastCpu = 0; // milliseconds of the helper's CPU time
    TFrameReader Reader{kMaxReplyPayload};
    std::string Out;
};

struct TRetired {
    pid_t Pid;
    TClock::time_point KillAt;
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

TThumbReply FailedReply(std::uint64_t id) {
    TThumbReply reply;
    reply.Id = id;
    reply.Status = TReplyStatus::Failed;
    reply.Source = TReplySource::Direct;
    return reply;
}

// The runner of one pool: the helpers, their sockets and their clocks.
class TRunner {
public:
    explicit TRunner(TState& state) : S(state) {}
    void Run();

private:
    bool TakeJob(TJob& job);
    bool HasJob();
    void Spawn();
    void Send(THelper& h, TJob job);
    void StartClock(THelper& h);
    bool Overdue(THelper& h, TClock::time_point now);
    void Flush(THelper& h);
    void Read(THelper& h);
    // The helper is gone or must go: its file failed.
    void Dead(THelper& h, bool timedOut);
    void Retire(THelper& h, bool kill);
    void Reap(bool all);
    void FailEverything();
    // Another program's thumbnailer for a file the cache had nothing of;
    // true when one took the job over.
    bool StartExternal(const TJob& job, const TThumbReply& reply);
    void PollExternals();

    TState& S;
    std::vector<THelper> FHelpers;
    std::vector<TRetired> FRetired;
    int FStartFailures = 0;
    bool FBroken = false;

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
            break;
        job = {best, std::move(best->Queue.front())};
        best->Queue.pop_front();
        // Asked again while a helper works on it, or answered already: that
        // answer will do.
        const bool working = std::any_of(FHelpers.begin(), FHelpers.end(), [&](const THelper& h) {
            return h.Busy && h.Job.Request.Id == job.Request.Id && h.Job.Client.lock() == best;
        });
        if (!working && !best->Answered.contains(job.Request.Id))
            return true;
    }
    if (!S.FailureRecords.empty()) {
        job = {{}, std::move(S.FailureRecords.front())};
        S.FailureRecords.pop_front();
        return true;
    }
    return false;
}

bool TRunner::HasJob() {
    if (!FFollowUps.empty())
        return true;
    std::lock_guard lock(S.Mutex);
    if (!S.FailureRecords.empty())
        return true;
    return std::any_of(S.Clients.begin(), S.Clients.end(), [](const auto& c) { return !c->Queue.empty(); });
}

void TRunner::Spawn() {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        ++FStartFailures;
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
    // Nothing else of this process reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<std::string> args = {S.Options.HelperPath, "--serve"};
    args.insert(args.end(), S.Options.HelperArgs.begin(), S.Options.HelperArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, S.Options.HelperPath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sv[1]);
    if (rc != 0) {
        ::close(sv[0]);
        if (++FStartFailures >= kMaxStartFailures)
            FBroken = true;
        return;
    }
    ::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK);
    THelper h;
    h.Pid = pid;
    h.Fd = sv[0];
    h.IdleSince = TClock::now();
    FHelpers.push_back(std::move(h));
    std::lock_guard lock(S.Mutex);
    ++S.Stats.Started;
}

void TRunner::Send(THelper& h, TJob job) {
    h.Out += EncodeRequest(job.Request);
    h.Job = std::move(job);
    h.Busy = true;
    {
        std::lock_guard lock(S.Mutex);
        ++S.Stats.Sent;
    }
    StartClock(h);
    Flush(h);
}

void TRunner::StartClock(THelper& h) {
    h.Sent = h.LastProgress = TClock::now();
    h.CpuAtSend = h.LastCpu = std::max(0L, CpuMilliseconds(h.Pid));
}

// A file is over its budget when it has used the budget's worth of CPU, or
// the helper has not used any for that long (it waits on a file that never
// comes, or hangs); a decoder that only shares a busy machine goes on.
bool TRunner::Overdue(THelper& h, TClock::time_point now) {
    const long budget = S.Options.BudgetMs + (h.HelloSeen ? 0 : S.Options.StartMs);
    const long cpu = CpuMilliseconds(h.Pid);
    if (cpu > h.LastCpu) {
        h.LastCpu = cpu;
        h.LastProgress = now;
    }
    return cpu - h.CpuAtSend > budget || now - h.LastProgress > milliseconds(budget) ||
           now - h.Sent > milliseconds(budget) * kWallBudgets;
}

void TRunner::Flush(THelper& h) {
    while (!h.Out.empty()) {
        const ssize_t n = ::send(h.Fd, h.Out.data(), h.Out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            h.Out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        Dead(h, false);
        return;
    }
}

void TRunner::Read(THelper& h) {
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::recv(h.Fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            Dead(h, false);
            return;
        }
        h.Reader.Feed(buf, static_cast<std::size_t>(n));
    }
    std::uint32_t type = 0;
    std::string payload;
    for (;;) {
        const TFrameReader::TResult r = h.Reader.Next(type, payload);
        if (r == TFrameReader::TResult::NeedMore)
            return;
        if (r == TFrameReader::TResult::Bad) {
            Dead(h, false);
            return;
        }
        if (!h.HelloSeen) {
            if (type != static_cast<std::uint32_t>(TFrameType::Hello) || !IsHello(payload)) {
                Dead(h, false);
                return;
            }
            h.HelloSeen = true;
            FStartFailures = 0;
            // The file's own budget starts now that the helper is ready.
            if (h.Busy)
                StartClock(h);
            continue;
        }
        std::optional<TThumbReply> reply;
        if (type == static_cast<std::uint32_t>(TFrameType::Reply))
            reply = DecodeReply(payload);
        if (!reply || !h.Busy || reply->Id != h.Job.Request.Id) {
            Dead(h, false);
            return;
        }
        h.Busy = false;
        h.IdleSince = TClock::now();
        TJob job = std::move(h.Job);
        {
            std::lock_guard lock(S.Mutex);
            ++S.Stats.Replies;
        }
        if (job.Request.Kind == TRequestKind::TakeMade)
            FMade.erase(job.Request.Output);
        else if (StartExternal(job, *reply))
            continue;
        Deliver(S, job, std::move(*reply));
    }
}

void TRunner::Dead(THelper& h, bool timedOut) {
    if (h.Busy) {
        h.Busy = false;
        TJob job = std::move(h.Job);
        const bool isRecord = job.Request.Kind == TRequestKind::RecordFailure;
        if (job.Request.Kind == TRequestKind::TakeMade) {
            FMade.erase(job.Request.Output);
            FExternalFailed.insert(job.Request.Path);
        }
        {
            std::lock_guard lock(S.Mutex);
            ++(timedOut ? S.Stats.TimedOut : S.Stats.Crashed);
            // A file that takes a helper down is not tried again; a record
            // that does is given up.
            if (job.Request.Kind == TRequestKind::Picture ||
                job.Request.Kind == TRequestKind::PageThumbnail) {
                TThumbRequest record;
                record.Kind = TRequestKind::RecordFailure;
                record.Path = job.Request.Path;
                record.StalePid = h.Pid;
                S.FailureRecords.push_back(std::move(record));
            }
        }
        if (!isRecord)
            Deliver(S, job, FailedReply(job.Request.Id));
    }
    if (!h.HelloSeen && ++FStartFailures >= kMaxStartFailures)
        FBroken = true;
    Retire(h, true);
}

void TRunner::Retire(THelper& h, bool kill) {
    if (h.Fd >= 0)
        ::close(h.Fd);
    h.Fd = -1;
    if (h.Pid > 0) {
        if (kill)
            ::kill(h.Pid, SIGKILL);
        FRetired.push_back({h.Pid, TClock::now() + (kill ? milliseconds(0) : kRetireGrace)});
    }
    h.Pid = -1;
}

void TRunner::Reap(bool all) {
    const auto now = TClock::now();
    std::erase_if(FRetired, [&](TRetired& r) {
        if (::waitpid(r.Pid, nullptr, WNOHANG) != 0)
            return true; // reaped, or not ours any more
        if (all || now >= r.KillAt)
            ::kill(r.Pid, SIGKILL);
        return false;
    });
}

void TRunner::FailEverything() {
    TJob job;
    while (TakeJob(job)) {
        if (job.Request.Kind == TRequestKind::TakeMade)
            FMade.erase(job.Request.Output);
        if (job.Request.Kind != TRequestKind::RecordFailure)
            Deliver(S, job, FailedReply(job.Request.Id));
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
        std::erase_if(FHelpers, [](const THelper& h) { return h.Fd < 0; });
        Reap(false);
        PollExternals();
        if (FBroken) {
            FailEverything();
        } else {
            for (THelper& h : FHelpers) {
                TJob job;
                if (!h.Busy && h.Fd >= 0 && TakeJob(job))
                    Send(h, std::move(job));
            }
            while (!FBroken && static_cast<int>(FHelpers.size()) < S.Options.Processes && HasJob()) {
                const std::size_t before = FHelpers.size();
                Spawn();
                TJob job;
                if (FHelpers.size() > before && TakeJob(job))
                    Send(FHelpers.back(), std::move(job));
            }
        }
        std::erase_if(FHelpers, [](const THelper& h) { return h.Fd < 0; });

        // Wait for a socket, the wake-up, or the nearest clock.
        const auto now = TClock::now();
        auto until = now + milliseconds(S.Options.IdleExitMs);
        std::vector<pollfd> fds;
        fds.push_back({S.WakeFd, POLLIN, 0});
        for (const THelper& h : FHelpers) {
            fds.push_back({h.Fd, static_cast<short>(POLLIN | (h.Out.empty() ? 0 : POLLOUT)), 0});
            until = std::min(until,
                             h.Busy ? now + kClockCheck : h.IdleSince + milliseconds(S.Options.IdleExitMs));
        }
        if (!FRetired.empty() || !FExternals.empty())
            until = std::min(until, now + milliseconds(100));
        const auto wait = std::chrono::duration_cast<milliseconds>(until - now).count();
        ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait + 1, 0, 60000)));
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(S.WakeFd, &count, sizeof count);
        }
        for (std::size_t i = 0; i < FHelpers.size(); ++i) {
            THelper& h = FHelpers[i];
            const short ev = fds[i + 1].revents;
            if (h.Fd >= 0 && (ev & POLLOUT))
                Flush(h);
            if (h.Fd >= 0 && (ev & (POLLIN | POLLHUP | POLLERR)))
                Read(h);
        }
        const auto after = TClock::now();
        for (THelper& h : FHelpers) {
            if (h.Fd < 0)
                continue;
            if (h.Busy && Overdue(h, after))
                Dead(h, true);
            else if (!h.Busy && after >= h.IdleSince + milliseconds(S.Options.IdleExitMs))
                Retire(h, false); // it ends on the closed socket
        }
    }
    for (THelper& h : FHelpers) {
        if (h.Fd >= 0)
            Retire(h, true);
    }
    // Killed helpers end at once unless the kernel holds them; those are left.
    for (int i = 0; i < 20 && !FRetired.empty(); ++i) {
        Reap(true);
        if (!FRetired.empty())
            ::usleep(5000);
    }
}

} // namespace

TThumbnailPool::TThumbnailPool(TPoolOptions options) : FState(std::make_shared<TState>()) {
    FState->Options = std::move(options);
    FState->Options.Processes = std::max(1, FState->Options.Processes);
    FState->Available = IsExecutable(FState->Options.HelperPath);
    FState->WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    FThread = std::thread([state = FState] { TRunner(*state).Run(); });
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
