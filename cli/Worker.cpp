#include "cli/Worker.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>

namespace tavolix::cli {

namespace {

constexpr int kPassedOn[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t gWorker = 0;
int gCodeFd = -1; // the worker's end of the pipe that carries its exit code

void PassOn(int signal, siginfo_t* info, void*) {
    // The terminal's signals go to its whole foreground group, the worker too.
    if (info && info->si_code == SI_KERNEL)
        return;
    if (gWorker > 0)
        ::kill(gWorker, signal);
}

// The caller's process: waits for the worker's code or its end.
[[noreturn]] void Stand(pid_t worker, int codeFd) {
    unsigned char code = 0;
    ssize_t n;
    do {
        n = ::read(codeFd, &code, 1);
    } while (n < 0 && errno == EINTR);
    if (n == 1)
        ::_exit(code);
    int status = 0;
    while (::waitpid(worker, &status, 0) < 0) {
        if (errno != EINTR)
            ::_exit(EXIT_FAILURE);
    }
    if (WIFEXITED(status))
        ::_exit(WEXITSTATUS(status));
    // Killed: so is this process, by the same signal.
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL;
    std::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    ::sigprocmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

} // namespace

bool BecomeWorker() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    // Until the caller's process has its handlers, a signal waits.
    sigset_t passed, old;
    sigemptyset(&passed);
    for (int signal : kPassedOn)
        sigaddset(&passed, signal);
    ::sigprocmask(SIG_BLOCK, &passed, &old);
    const pid_t worker = ::fork();
    if (worker < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
        return false;
    }
    if (worker == 0) {
        ::close(ends[0]);
        gCodeFd = ends[1];
        ::sigprocmask(SIG_SETMASK, &old, nullptr);
        return true;
    }
    ::close(ends[1]);
    gWorker = worker;
    struct sigaction action {};
    action.sa_sigaction = PassOn;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kPassedOn)
        ::sigaction(signal, &action, nullptr);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    Stand(worker, ends[0]);
}

int EndWorker(int code, bool leftBehind) {
    if (!leftBehind)
        return code;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // The caller may read them to their end: nothing of this process holds them.
    for (int fd = 0; fd <= 2; ++fd)
        ::close(fd);
    if (gCodeFd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(code);
        while (::write(gCodeFd, &byte, 1) < 0 && errno == EINTR) {
        }
    }
    std::_Exit(code);
}

} // namespace tavolix::cli
