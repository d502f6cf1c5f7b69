#include "platform/ExecuteFile.h"

#include "platform/LeftBehind.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace tavolix::platform {

namespace {

TFileOpener& ReplacedOpener() {
    static TFileOpener opener;
    return opener;
}

TLaunchEnvironment& LaunchAdditions() {
    static TLaunchEnvironment source;
    return source;
}

std::string& OpenerPath() {
    static std::string path = "xdg-open";
    return path;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// execvp is not async-signal-safe, so the program is found before forking.
std::string FindOnPath(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    const char* env = std::getenv("PATH");
    std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string dir = path.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

// xdg-open reads an argument starting with "-" as an option.
std::string OpenerArgument(const std::string& fileName) {
    return fileName[0] == '-' ? "./" + fileName : fileName;
}

[[noreturn]] void ReportAndExit(int fd, int code) {
    int err = errno;
    (void)!write(fd, &err, sizeof err);
    _exit(code);
}

// Runs in the forked child of a possibly multi-threaded process: only
// async-signal-safe calls from here on.
[[noreturn]] void RunDetached(int reportFd, const char* program, char* const argv[], char* const envp[],
                              const char* folder) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    pid_t grandchild = fork();
    if (grandchild < 0) {
        ReportAndExit(reportFd, 1);
    }
    if (grandchild > 0) {
        _exit(0);
    }
    setsid();
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        sigaction(sig, &dfl, nullptr);
    }
    if (folder && chdir(folder) != 0) {
        ReportAndExit(reportFd, 127);
    }
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull > 0) {
        dup2(devNull, 0);
        close(devNull);
    }
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(program, argv, envp);
    ReportAndExit(reportFd, 127);
}

// Reads the grandchild's report: nothing (it ran) or its errno.
ssize_t ReadReport(int fd, int& err) {
    ssize_t n;
    do {
        n = read(fd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    return n;
}

// The reports have not come in time: a thread of their own waits for them
// and closes the pipes.
void LeaveReportsBehind(std::vector<int> fds) {
    const bool started = StartLeftBehind([fds] {
        for (const int fd : fds) {
            int err = 0;
            ReadReport(fd, err);
            close(fd);
        }
    });
    if (!started) {
        for (const int fd : fds) {
            close(fd); // the grandchild's report then fails unseen
        }
    }
}

bool LeaveReportBehind(int fd) {
    LeaveReportsBehind({fd});
    return true;
}

} // namespace

void SetFileOpener(TFileOpener opener) {
    ReplacedOpener() = std::move(opener);
}

void SetOpenerProgram(std::string path) {
    OpenerPath() = path.empty() ? "xdg-open" : std::move(path);
}

const std::string& OpenerProgram() {
    return OpenerPath();
}

void SetLaunchEnvironment(TLaunchEnvironment source) {
    LaunchAdditions() = std::move(source);
}

std::vector<std::string> LaunchEnvironment(char* const* base, const std::vector<std::string>& added) {
    const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> out;
    for (char* const* entry = base; entry && *entry; ++entry) {
        const std::string_view name = nameOf(*entry);
        if (name == "XDG_ACTIVATION_TOKEN" ||
            std::any_of(added.begin(), added.end(), [&](const std::string& a) { return nameOf(a) == name; }))
            continue;
        out.emplace_back(*entry);
    }
    out.insert(out.end(), added.begin(), added.end());
    return out;
}

namespace {

// Starts the opener detached; the read end of the pipe on which it reports
// how its start went, or -1 when it could not be started.
int StartOpener(const TOpenRequest& request) {
    if (request.FileName.empty()) {
        return -1;
    }
    std::string program = FindOnPath(OpenerProgram());
    if (program.empty()) {
        return -1;
    }
    std::string arg0 = OpenerProgram();
    std::string arg1 = OpenerArgument(request.FileName);
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    const char* folder = request.Folder.empty() ? nullptr : request.Folder.c_str();
    // Built before the fork: the child may not allocate.
    std::vector<std::string> environment =
        LaunchEnvironment(environ, LaunchAdditions() ? LaunchAdditions()() : std::vector<std::string>{});
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    // The grandchild writes errno here when it cannot start; a successful
    // exec closes the pipe with nothing written.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return -1;
    }
    if (child == 0) {
        close(report[0]);
        RunDetached(report[1], program.c_str(), argv, envp.data(), folder);
    }
    close(report[1]);
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    // ECHILD: a SIGCHLD handler elsewhere reaped it; the pipe still tells.
    bool childOk = waited < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (!childOk) {
        close(report[0]);
        return -1;
    }
    return report[0];
}

// The report has come: true when the opener runs.
bool TakeReport(int fd) {
    int err = 0;
    const ssize_t n = ReadReport(fd, err);
    close(fd);
    return n == 0;
}

} // namespace

bool LaunchOpener(const TOpenRequest& request, int waitMs) {
    const int fd = StartOpener(request);
    if (fd < 0) {
        return false;
    }
    // The grandchild may hang in chdir on a share that doesn't answer.
    if (waitMs >= 0) {
        pollfd ready{fd, POLLIN, 0};
        int polled;
        do {
            polled = poll(&ready, 1, waitMs);
        } while (polled < 0 && errno == EINTR);
        if (polled == 0) {
            return LeaveReportBehind(fd);
        }
    }
    return TakeReport(fd);
}

int ExecuteFiles(const std::vector<TOpenRequest>& requests) {
    if (ReplacedOpener()) {
        for (const TOpenRequest& request : requests) {
            ReplacedOpener()(request);
        }
        return static_cast<int>(requests.size());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLaunchWaitMs);
    std::vector<pollfd> pending;
    for (const TOpenRequest& request : requests) {
        const int fd = StartOpener(request);
        if (fd >= 0) {
            pending.push_back({fd, POLLIN, 0});
        }
    }
    int started = 0;
    while (!pending.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int polled =
            poll(pending.data(), pending.size(), static_cast<int>(std::max<long>(0, left.count())));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            break;
        }
        std::erase_if(pending, [&](const pollfd& p) {
            if (p.revents == 0) {
                return false;
            }
            started += TakeReport(p.fd) ? 1 : 0;
            return true;
        });
    }
    // Still under way: counted as started, as ExecuteFile counts them.
    std::vector<int> late;
    for (const pollfd& p : pending) {
        late.push_back(p.fd);
    }
    if (!late.empty()) {
        LeaveReportsBehind(late);
    }
    return started + static_cast<int>(late.size());
}

bool ExecuteFile(const std::string& FileName, const std::string& Params, const std::string& Folder,
                 int ShowCmd) {
    TOpenRequest request{FileName, Params, Folder, ShowCmd};
    if (ReplacedOpener()) {
        ReplacedOpener()(request);
        return true;
    }
    return LaunchOpener(request, kLaunchWaitMs);
}

} // namespace tavolix::platform
