// The picture helper's sandbox: decoders of hostile files run with as little
// as they need to turn bytes they were handed into pixels.
//
// - no_new_privs: nothing it starts could gain rights (and the two below need it).
// - Landlock: the file system is read-only and only beneath /usr (libraries,
//   image plugins, fonts, poppler's data), the fontconfig configuration and
//   caches, the user's font folders, /sys/devices/system/cpu and
//   /proc/cpuinfo (the cores a decoder's threads are counted by), this
//   process's own /proc entry, /dev/null, /dev/urandom and the
//   folders the caller names. Nothing is written, run or made anywhere. The
//   pictures come as descriptors the pool opened; the home folder, other
//   mounts and every device stay out of reach (also through /proc/self/fd).
//   From ABI 4 on no TCP port can be bound or reached, from ABI 6 on no
//   abstract socket and no signal leaves the process.
// - seccomp: a list of allowed calls, everything else fails. Memory, threads
//   (clone only with CLONE_THREAD, clone3 looks absent so the C library falls
//   back to clone), futexes, time, signals to itself, reading and writing
//   descriptors it holds (the channel, the pictures, pipes and eventfds it
//   makes), read-only opens (Landlock decides where), stat and directory
//   listing (plugins and fonts are found by name). Refused: new sockets,
//   connect and bind (the channel is its only one), execve, fork, ptrace,
//   changes to files it holds (chmod, chown, times, extended attributes),
//   other processes' limits, priorities and signals, SysV shared memory, and
//   ioctls beyond a terminal's and a socket's questions.
//
// A kernel without Landlock or seccomp filters gets what it has; the state
// says what is missing and the helper still runs under its resource limits.
#include "thumbnailer/Sandbox.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <linux/seccomp.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tavolix::thumbnailer {

using thumbs::TSandboxState;

namespace {

// The kernel's Landlock interface, spelled out here: the system's headers
// may be older than the kernel the helper runs on.
struct TRulesetAttr {
    std::uint64_t HandledFs;
    std::uint64_t HandledNet; // ABI 4
    std::uint64_t Scoped;     // ABI 6
};
struct TPathBeneath {
    std::uint64_t Allowed;
    std::int32_t ParentFd;
} __attribute__((packed));

constexpr unsigned kVersionFlag = 1;
constexpr int kRulePathBeneath = 1;
constexpr std::uint64_t kExecute = 1ull << 0, kWriteFile = 1ull << 1, kReadFile = 1ull << 2,
                        kReadDir = 1ull << 3;
constexpr std::uint64_t kFsAbi1 = (1ull << 13) - 1, kRefer = 1ull << 13, kTruncate = 1ull << 14,
                        kIoctlDev = 1ull << 15;
constexpr std::uint64_t kBindTcp = 1, kConnectTcp = 2;
constexpr std::uint64_t kScopeAbstractUnix = 1, kScopeSignal = 2;

#ifndef SYS_landlock_create_ruleset
#define SYS_landlock_create_ruleset 444
#define SYS_landlock_add_rule 445
#define SYS_landlock_restrict_self 446
#endif

int LandlockAbi() {
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kVersionFlag);
    return abi < 0 ? 0 : static_cast<int>(abi);
}

std::string LandlockMissing(int err) {
    return err == EOPNOTSUPP ? "Landlock is built into this kernel but not enabled (lsm= at boot)"
                             : "this kernel has no Landlock";
}

bool AllowBeneath(int ruleset, const std::string& path, std::uint64_t dirRights, std::uint64_t fileRights) {
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false; // not on this system: nothing to allow
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) {
        const TPathBeneath rule{S_ISDIR(st.st_mode) ? dirRights : fileRights, fd};
        ok = ::syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &rule, 0) == 0;
    }
    ::close(fd);
    return ok;
}

std::string HomeBased(const char* xdg, const char* fallback, const char* below) {
    const char* base = std::getenv(xdg);
    if (base && base[0] == '/')
        return std::string(base) + below;
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + fallback + below : std::string();
}

// The threads of this process; 0 when /proc doesn't say.
int ThreadCount() {
    const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    buf[n] = '\0';
    // After the name in parentheses: state and 17 fields, then num_threads.
    const char* p = std::strrchr(buf, ')');
    int threads = 0;
    return p && std::sscanf(p + 1,
                            " %*c"
                            " %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %d",
                            &threads) == 1
               ? threads
               : 0;
}

// Landlock over the whole process from here on; "" or what went wrong.
std::string CloseFileSystem(const TSandboxOptions& options) {
    const int abi = LandlockAbi();
    if (abi < 1)
        return LandlockMissing(errno);
    // It holds the calling thread and what that starts, not a thread already running.
    if (ThreadCount() != 1)
        return "threads were started before the sandbox";
    TRulesetAttr attr{kFsAbi1, 0, 0};
    std::size_t size = sizeof attr.HandledFs;
    if (abi >= 2)
        attr.HandledFs |= kRefer;
    if (abi >= 3)
        attr.HandledFs |= kTruncate;
    if (abi >= 5)
        attr.HandledFs |= kIoctlDev;
    if (abi >= 4) {
        attr.HandledNet = kBindTcp | kConnectTcp;
        size = offsetof(TRulesetAttr, Scoped);
    }
    if (abi >= 6) {
        attr.Scoped = kScopeAbstractUnix | kScopeSignal;
        size = sizeof attr;
    }
    const int ruleset = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0)
        return std::string("landlock_create_ruleset: ") + std::strerror(errno);

    const std::uint64_t read = kReadFile | kReadDir;
    std::vector<std::string> readable = {"/usr",
                                         "/etc/ld.so.cache",
                                         "/etc/fonts",
                                         "/etc/localtime",
                                         "/var/cache/fontconfig",
                                         "/sys/devices/system/cpu",
                                         "/proc/cpuinfo",
                                         "/dev/urandom",
                                         "/dev/random",
                                         HomeBased("XDG_DATA_HOME", "/.local/share", "/fonts"),
                                         HomeBased("XDG_CACHE_HOME", "/.cache", "/fontconfig")};
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        readable.push_back(std::string(home) + "/.fonts");
    // Its own entry only: the others' environments and command lines stay closed.
    readable.push_back("/proc/" + std::to_string(::getpid()));
    readable.insert(readable.end(), options.ReadOnly.begin(), options.ReadOnly.end());
    for (const std::string& path : readable) {
        if (!path.empty())
            AllowBeneath(ruleset, path, read, kReadFile);
    }
    AllowBeneath(ruleset, "/dev/null", 0, kReadFile | kWriteFile);
    const bool restricted = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int err = errno;
    ::close(ruleset);
    return restricted ? std::string() : std::string("landlock_restrict_self: ") + std::strerror(err);
}

void Allow(scmp_filter_ctx ctx, const char* name) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr != __NR_SCMP_ERROR)
        seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 0);
}

void Deny(scmp_filter_ctx ctx, const char* name, int err) {
    const int nr = seccomp_syscall_resolve_name(name);
    if (nr != __NR_SCMP_ERROR)
        seccomp_rule_add(ctx, SCMP_ACT_ERRNO(err), nr, 0);
}

// The allowed calls as a filter for every thread; "" or what went wrong.
std::string FilterCalls() {
    // Unlisted calls look absent, so that libraries fall back where they can.
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(ENOSYS));
    if (!ctx)
        return "seccomp_init failed";
    // Every thread, also one a library started before.
    seccomp_attr_set(ctx, SCMP_FLTATR_CTL_TSYNC, 1);
    for (const char* name :
         {// memory
          "brk", "mmap", "mmap2", "munmap", "mremap", "mprotect", "madvise", "msync", "mincore", "membarrier",
          "mbind", "get_mempolicy", "set_mempolicy", "memfd_create",
          // threads, their ends, their waits
          "futex", "futex_waitv", "set_robust_list", "get_robust_list", "set_tid_address", "rseq",
          "sched_yield", "sched_getaffinity", "sched_getparam", "sched_getscheduler", "sched_getattr",
          "sched_get_priority_max", "sched_get_priority_min", "getcpu", "exit", "exit_group", "wait4",
          "waitid",
          // who it is
          "gettid", "getpid", "getppid", "getuid", "geteuid", "getgid", "getegid", "getgroups", "getresuid",
          "getresgid", "getpgrp", "getpgid", "getsid", "capget", "uname", "sysinfo", "getrusage", "getrlimit",
          "ugetrlimit", "getpriority", "umask", "getrandom", "arch_prctl",
          // signals and time
          "rt_sigaction", "rt_sigprocmask", "rt_sigreturn", "sigreturn", "rt_sigsuspend", "rt_sigtimedwait",
          "rt_sigpending", "sigaltstack", "restart_syscall", "pause", "clock_gettime", "clock_gettime64",
          "clock_getres", "clock_nanosleep", "nanosleep", "gettimeofday", "time", "times", "getitimer",
          "setitimer", "alarm", "timer_create", "timer_settime", "timer_gettime", "timer_getoverrun",
          "timer_delete", "timerfd_create", "timerfd_settime", "timerfd_gettime",
          // descriptors it holds
          "read", "write", "readv", "writev", "pread64", "pwrite64", "preadv", "pwritev", "preadv2",
          "pwritev2", "lseek", "_llseek", "close", "close_range", "dup", "dup2", "dup3", "fcntl", "fcntl64",
          "fstat", "fstat64", "fstatfs", "fstatfs64", "fsync", "fdatasync", "fadvise64", "fadvise64_64",
          "readahead", "flock", "ftruncate", "ftruncate64", "fallocate", "poll", "ppoll", "select",
          "_newselect", "pselect6", "epoll_create", "epoll_create1", "epoll_ctl", "epoll_wait", "epoll_pwait",
          "epoll_pwait2", "eventfd", "eventfd2", "pipe", "pipe2", "sendmsg", "recvmsg", "sendto", "recvfrom",
          "shutdown", "getsockopt", "setsockopt", "getsockname", "getpeername",
          // finding plugins and fonts by name (Landlock decides where)
          "stat", "stat64", "lstat", "lstat64", "newfstatat", "fstatat64", "statx", "statfs", "statfs64",
          "access", "faccessat", "faccessat2", "readlink", "readlinkat", "getcwd", "getdents", "getdents64"})
        Allow(ctx, name);

    // Read-only opens; a write would fail under Landlock too, and without it.
    for (const char* name : {"open", "openat"}) {
        const int nr = seccomp_syscall_resolve_name(name);
        if (nr == __NR_SCMP_ERROR)
            continue;
        const unsigned arg = std::strcmp(name, "open") == 0 ? 1 : 2;
        const scmp_datum_t writes = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;
        seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 1, scmp_arg_cmp{arg, SCMP_CMP_MASKED_EQ, writes, 0});
        for (const scmp_datum_t bit : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND})
            seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EACCES), nr, 1,
                             scmp_arg_cmp{arg, SCMP_CMP_MASKED_EQ, bit, bit});
    }

    // Threads, never processes.
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                     SCMP_A0(SCMP_CMP_MASKED_EQ, scmp_datum_t(CLONE_THREAD), scmp_datum_t(CLONE_THREAD)));
    seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(clone), 1,
                     SCMP_A0(SCMP_CMP_MASKED_EQ, scmp_datum_t(CLONE_THREAD), 0));
    // Signals, limits and priorities: its own only.
    const auto self = static_cast<scmp_datum_t>(::getpid());
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_EQ, self));
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_EQ, self));
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 1, SCMP_A0(SCMP_CMP_EQ, 0));
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 1, SCMP_A0(SCMP_CMP_EQ, self));
    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(setpriority), 1, SCMP_A1(SCMP_CMP_EQ, 0));
    for (const scmp_datum_t option : {PR_SET_NAME, PR_GET_NAME, PR_GET_DUMPABLE, PR_GET_SECCOMP,
                                      PR_GET_NO_NEW_PRIVS, PR_CAPBSET_READ, PR_GET_TIMERSLACK, 0x53564d41})
        seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1, SCMP_A0(SCMP_CMP_EQ, option));
    for (const scmp_datum_t request : {TCGETS, TIOCGWINSZ, FIONREAD, FIONBIO, FIOCLEX, FIONCLEX})
        seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(ioctl), 1, SCMP_A1(SCMP_CMP_EQ, request));

    // Refused outright, with an answer that says so.
    for (const char* name : {"socket",
                             "socketpair",
                             "connect",
                             "bind",
                             "listen",
                             "accept",
                             "accept4",
                             "socketcall",
                             "execve",
                             "execveat",
                             "fork",
                             "vfork",
                             "ptrace",
                             "process_vm_readv",
                             "process_vm_writev",
                             "openat2",
                             "creat",
                             "chmod",
                             "fchmod",
                             "fchmodat",
                             "fchmodat2",
                             "chown",
                             "fchown",
                             "lchown",
                             "fchownat",
                             "utime",
                             "utimes",
                             "futimesat",
                             "utimensat",
                             "setxattr",
                             "lsetxattr",
                             "fsetxattr",
                             "removexattr",
                             "lremovexattr",
                             "fremovexattr",
                             "link",
                             "linkat",
                             "symlink",
                             "symlinkat",
                             "unlink",
                             "unlinkat",
                             "rename",
                             "renameat",
                             "renameat2",
                             "mkdir",
                             "mkdirat",
                             "rmdir",
                             "mknod",
                             "mknodat",
                             "chdir",
                             "fchdir",
                             "chroot",
                             "mount",
                             "umount2",
                             "pivot_root",
                             "unshare",
                             "setns",
                             "shmget",
                             "shmat",
                             "shmctl",
                             "pidfd_open",
                             "pidfd_getfd",
                             "pidfd_send_signal",
                             "tkill",
                             "rt_sigqueueinfo",
                             "rt_tgsigqueueinfo",
                             "name_to_handle_at",
                             "open_by_handle_at"})
        Deny(ctx, name, EPERM);

    const int rc = seccomp_load(ctx);
    seccomp_release(ctx);
    return rc == 0 ? std::string() : std::string("seccomp_load: ") + std::strerror(-rc);
}

std::string Joined(const std::string& a, const std::string& b) {
    return a.empty() ? b : b.empty() ? a : a + "; " + b;
}

bool FiltersAvailable() {
    unsigned action = SECCOMP_RET_ERRNO;
    return ::syscall(SYS_seccomp, SECCOMP_GET_ACTION_AVAIL, 0, &action) == 0;
}

} // namespace

TSandboxState EnterSandbox(const TSandboxOptions& options) {
    TSandboxState state;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        state.Detail = std::string("no_new_privs: ") + std::strerror(errno);
        return state;
    }
    const std::string files = CloseFileSystem(options);
    state.FileSystem = files.empty();
    const std::string calls = FiltersAvailable() ? FilterCalls() : "this kernel has no seccomp filters";
    state.Calls = calls.empty();
    state.Detail = Joined(files, calls);
    return state;
}

TSandboxState ProbeSandbox() {
    TSandboxState state;
    state.FileSystem = LandlockAbi() >= 1;
    const std::string files = state.FileSystem ? std::string() : LandlockMissing(errno);
    state.Calls = FiltersAvailable();
    state.Detail = Joined(files, state.Calls ? std::string() : "this kernel has no seccomp filters");
    return state;
}

} // namespace tavolix::thumbnailer
