#include "TestDir.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void Fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + ": " + path);
}

void MakeParents(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                Fail("mkdir", part);
        }
    }
}

int Unlock(const char* path, const struct stat* st, int flag, struct FTW*) {
    if (flag == FTW_D || flag == FTW_DNR)
        chmod(path, (st->st_mode & 07777) | 0700);
    return 0;
}

int Remove(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

} // namespace

std::time_t LocalEpoch(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::set<std::string> EntryNames(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

TTestDir::TTestDir()
    : TTestDir([] {
          const char* base = std::getenv("TMPDIR");
          return std::string(base && *base ? base : "/tmp");
      }()) {
}

TTestDir::TTestDir(const std::string& parent) {
    std::string tmpl = parent + "/tavolix-test-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        Fail("mkdtemp", tmpl);
    FRoot = tmpl;
}

TTestDir::~TTestDir() {
    // Unreadable directories would stop the removal: open them up first.
    chmod(FRoot.c_str(), 0700);
    nftw(FRoot.c_str(), Unlock, 64, FTW_PHYS);
    nftw(FRoot.c_str(), Remove, 64, FTW_PHYS | FTW_DEPTH);
}

std::string TTestDir::Path(std::string_view rel) const {
    return rel.empty() ? FRoot : FRoot + "/" + std::string(rel);
}

void TTestDir::File(std::string_view rel, std::string_view contents) {
    std::string p = Path(rel);
    MakeParents(p);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        Fail("open", p);
    std::size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0) {
            ::close(fd);
            Fail("write", p);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void TTestDir::SparseFile(std::string_view rel, std::int64_t size) {
    File(rel);
    if (truncate(Path(rel).c_str(), size) != 0)
        Fail("truncate", Path(rel));
}

void TTestDir::Dir(std::string_view rel) {
    std::string p = Path(rel);
    MakeParents(p + "/");
}

void TTestDir::Symlink(std::string_view rel, std::string_view target) {
    std::string p = Path(rel);
    MakeParents(p);
    if (symlink(std::string(target).c_str(), p.c_str()) != 0)
        Fail("symlink", p);
}

void TTestDir::SetTime(std::string_view rel, std::time_t when) {
    struct timespec ts[2] = {{when, 0}, {when, 0}};
    if (utimensat(AT_FDCWD, Path(rel).c_str(), ts, AT_SYMLINK_NOFOLLOW) != 0)
        Fail("utimensat", Path(rel));
}

void TTestDir::Chmod(std::string_view rel, unsigned mode) {
    if (chmod(Path(rel).c_str(), mode) != 0)
        Fail("chmod", Path(rel));
}

void TTestDir::Ladder(std::string_view rel, int levels, std::string_view file) {
    // Levels 1 and on live in a dot folder, which the walk enters only by the links.
    const std::string top(rel);
    const std::string hidden = (top.empty() ? "" : top + "/") + ".levels/";
    for (int i = 0; i <= levels; ++i) {
        const std::string level = i == 0 ? top : hidden + "L" + std::to_string(i);
        Dir(level);
        if (!file.empty())
            File((level.empty() ? "" : level + "/") + std::string(file));
        if (i < levels) {
            const std::string next = (i == 0 ? ".levels/L" : "../L") + std::to_string(i + 1);
            for (const char* link : {"a", "b"})
                Symlink((level.empty() ? "" : level + "/") + link, next);
        }
    }
}

#include <linux/capability.h>
#include <sys/syscall.h>

namespace {

bool CapGet(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &hdr, data) == 0;
}

bool CapSet(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct hdr{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &hdr, data) == 0;
}

} // namespace

TWithoutDacOverride::TWithoutDacOverride() {
    __user_cap_data_struct data[2];
    if (!CapGet(data))
        return;
    FSaved[0] = data[0].effective;
    FSaved[1] = data[1].effective;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    FDropped = CapSet(data);
}

TWithoutDacOverride::~TWithoutDacOverride() {
    if (!FDropped)
        return;
    __user_cap_data_struct data[2];
    if (!CapGet(data))
        return;
    data[0].effective = FSaved[0];
    data[1].effective = FSaved[1];
    CapSet(data);
}

int RunInChild(const std::function<int()>& body, std::uint64_t fileSizeLimit, unsigned seconds) {
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        alarm(seconds);
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        int code = body();
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
