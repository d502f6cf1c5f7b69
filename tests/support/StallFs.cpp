#include "StallFs.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tavolix::test {

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool Spawn(const char* const argv[], pid_t& pid, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!log.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

} // namespace

TStallFs::TStallFs(TOptions options) {
    const int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) {
        FWhy = std::string("no FUSE here: /dev/fuse: ") + std::strerror(errno);
        FNoFuse = true;
        return;
    }
    close(fuse);
    char dir[] = "/tmp/tavolix-stallfs-XXXXXX";
    if (!mkdtemp(dir)) {
        FWhy = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    FRoot = dir;
    FLog = FRoot + ".log";
    struct stat before {};
    stat(FRoot.c_str(), &before);

    const std::string entries = std::to_string(options.SlowEntries);
    const std::string delay = std::to_string(options.SlowDelayUs);
    const char* argv[] = {"/usr/bin/python3", TAVOLIX_STALL_FS_SCRIPT, FRoot.c_str(), "--slow-entries",
                          entries.c_str(),    "--slow-delay-us",       delay.c_str(), nullptr};
    if (!Spawn(argv, FServer, FLog)) {
        FWhy = "could not start /usr/bin/python3";
        FServer = -1;
        return;
    }
    // Mounted once the mount point lies on another device.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        struct stat now {};
        if (stat(FRoot.c_str(), &now) == 0 && now.st_dev != before.st_dev) {
            FMounted = true;
            return;
        }
        int status = 0;
        if (waitpid(FServer, &status, WNOHANG) == FServer) {
            FServer = -1;
            FWhy = "the FUSE server ended: " + ReadAll(FLog);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FWhy = "the FUSE file system did not mount within 15 s: " + ReadAll(FLog);
}

TStallFs::~TStallFs() {
    Unmount();
    if (!FRoot.empty())
        rmdir(FRoot.c_str());
    if (!FLog.empty())
        unlink(FLog.c_str());
}

void TStallFs::Unmount() {
    if (FServer > 0) {
        // A dead server makes the kernel fail every call still waiting on it.
        kill(FServer, SIGKILL);
        waitpid(FServer, nullptr, 0);
        FServer = -1;
    }
    if (!FMounted)
        return;
    FMounted = false;
    if (umount2(FRoot.c_str(), MNT_DETACH) == 0)
        return;
    pid_t pid = -1;
    const char* argv[] = {"/bin/fusermount", "-u", "-z", FRoot.c_str(), nullptr};
    if (Spawn(argv, pid, {}))
        waitpid(pid, nullptr, 0);
}

void TStallFs::Release() {
    if (!FMounted)
        return;
    const int fd = open((FRoot + "/release").c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] const auto n = write(fd, "1", 1);
        close(fd);
    }
}

} // namespace tavolix::test
