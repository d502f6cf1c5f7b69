#include "thumbs/HelperProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavolix::thumbs {

namespace {

using TClock = THelperProcess::TClock;
using std::chrono::milliseconds;

// How long a helper that was told to end may take before it is killed.
constexpr milliseconds kRetireGrace{2000};
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

} // namespace

bool IsExecutable(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

THelperProcess::TStart THelperProcess::Start(const std::string& path,
                                             const std::vector<std::string>& helperArgs) {
    int sv[2], err[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return TStart::NoChannel;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(sv[0]);
        ::close(sv[1]);
        return TStart::NoChannel;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
    // Its messages are no one's business, and a helper stuck in the kernel
    // must not hold the caller's standard error open.
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // Nothing else of this process reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<std::string> args = {path, "--serve"};
    args.insert(args.end(), helperArgs.begin(), helperArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sv[1]);
    ::close(err[1]);
    if (rc != 0) {
        ::close(sv[0]);
        ::close(err[0]);
        return TStart::SpawnFailed;
    }
    ::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(err[0], F_SETFL, ::fcntl(err[0], F_GETFL) | O_NONBLOCK);
    Pid = pid;
    Fd = sv[0];
    ErrFd = err[0];
    return TStart::Started;
}

void THelperProcess::StartClock() {
    Sent = LastProgress = TClock::now();
    CpuAtSend = LastCpu = std::max(0L, CpuMilliseconds(Pid));
}

bool THelperProcess::Overdue(TClock::time_point now, int budgetMs, int startMs) {
    const long budget = budgetMs + (HelloSeen ? 0 : startMs);
    const long cpu = CpuMilliseconds(Pid);
    if (cpu > LastCpu) {
        LastCpu = cpu;
        LastProgress = now;
    }
    return cpu - CpuAtSend > budget || now - LastProgress > milliseconds(budget) ||
           now - Sent > milliseconds(budget) * kWallBudgets;
}

bool THelperProcess::Flush() {
    while (!Out.empty()) {
        const long n = SendWithFiles(Fd, Out, OutFiles);
        if (n > 0) {
            Out.erase(0, static_cast<std::size_t>(n));
            OutFiles.clear(); // the helper has its own now
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
    return true;
}

bool THelperProcess::Receive() {
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::recv(Fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        if (n <= 0)
            return true;
        Reader.Feed(buf, static_cast<std::size_t>(n));
    }
}

void THelperProcess::DrainErrors() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(ErrFd, buf, sizeof buf);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            ::close(ErrFd);
            ErrFd = -1;
        }
        return;
    }
}

void THelperReaper::Retire(THelperProcess& h, bool kill) {
    if (h.Fd >= 0)
        ::close(h.Fd);
    h.Fd = -1;
    if (h.ErrFd >= 0)
        ::close(h.ErrFd);
    h.ErrFd = -1;
    if (h.Pid > 0) {
        if (kill)
            ::kill(h.Pid, SIGKILL);
        FRetired.push_back({h.Pid, TClock::now() + (kill ? milliseconds(0) : kRetireGrace)});
    }
    h.Pid = -1;
}

void THelperReaper::Reap(bool all) {
    const auto now = TClock::now();
    std::erase_if(FRetired, [&](TRetired& r) {
        if (::waitpid(r.Pid, nullptr, WNOHANG) != 0)
            return true; // reaped, or not ours any more
        if (all || now >= r.KillAt)
            ::kill(r.Pid, SIGKILL);
        return false;
    });
}

} // namespace tavolix::thumbs
