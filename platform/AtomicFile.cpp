#include "platform/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::platform {

std::string TIoError::SystemText() const {
    if (!Reason.empty())
        return Reason;
    char buf[256];
    // GNU strerror_r: returns the text, which may or may not live in buf.
    return strerror_r(Errno, buf, sizeof buf);
}

namespace {

TIoError ErrorOf(const std::string& path, int err) {
    return TIoError{path, err};
}

constexpr std::string_view kTemporarySuffix = ".tmp";

// A writer killed between creating its temporary file and renaming it left
// the file behind: those of processes that are gone are removed.
void RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const pid_t self = getpid();
    while (const struct dirent* e = readdir(dir)) {
        const pid_t owner = TemporaryOwner(e->d_name, kTemporarySuffix);
        if (owner <= 0 || owner == self || kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            unlinkat(dirfd(dir), e->d_name, 0);
    }
    closedir(dir);
}

int OpenTemporary(const std::string& target, std::string& tmpName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // A short name of its own: the target's name may already be as long as names go.
        std::string folder = FolderOf(target);
        tmpName = folder + (folder.ends_with('/') ? "" : "/") + ".tavolix-" + std::to_string(getpid()) + "-" +
                  std::to_string(counter++) + ".tmp";
        int fd = ::open(tmpName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::string ReplacedFileOf(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

TIoResult WriteFileAtomic(const std::string& path, std::string_view bytes) {
    const std::string target = ReplacedFileOf(path);
    struct stat old;
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode))
        return TIoError{path, EINVAL, "not a regular file"};
    // Root could replace it anyway; the attribute stands for the owner's wish.
    if (hadOld && !(old.st_mode & S_IWUSR))
        return TIoError{path, EACCES, "the file is read-only"};

    RemoveStaleTemporaries(FolderOf(target));
    std::string tmpName;
    int fd = OpenTemporary(target, tmpName);
    if (fd < 0)
        return ErrorOf(path, errno);

    auto fail = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tmpName.c_str());
        return ErrorOf(path, err);
    };
    if (hadOld) {
        // Best effort: a file we may not chown stays ours.
        (void)!fchown(fd, old.st_uid, old.st_gid);
        if (fchmod(fd, old.st_mode & 07777) != 0)
            return fail(errno);
    }
    if (!WriteAllBytes(fd, bytes))
        return fail(errno);
    if (fsync(fd) != 0)
        return fail(errno);
    int rc = ::close(fd);
    fd = -1;
    if (rc != 0)
        return fail(errno);
    if (::rename(tmpName.c_str(), target.c_str()) != 0)
        return fail(errno);

    // Make the rename itself durable.
    int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

TIoResult ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ErrorOf(path, errno);
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            return ErrorOf(path, err);
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return std::nullopt;
}

TIoResult ReadRegularFile(const std::string& path, std::string& out, std::size_t limit) {
    out.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return ErrorOf(path, errno);
    auto fail = [&](TIoError error) {
        ::close(fd);
        out.clear();
        return error;
    };
    const std::string tooBig = "larger than " + std::to_string(limit) + " bytes";
    struct stat st;
    if (fstat(fd, &st) != 0)
        return fail(ErrorOf(path, errno));
    if (!S_ISREG(st.st_mode))
        return fail(TIoError{path, EINVAL, "not a regular file"});
    if (static_cast<std::uint64_t>(st.st_size) > limit)
        return fail(TIoError{path, EFBIG, tooBig});
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t have = 0;
    for (;;) {
        if (have == out.size()) // it may have grown since fstat
            out.resize(std::min(limit + 1, std::max<std::size_t>(out.size() * 2, 4096)));
        ssize_t n = ::read(fd, out.data() + have, out.size() - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(ErrorOf(path, errno));
        if (n == 0)
            break;
        have += static_cast<std::size_t>(n);
        if (have > limit)
            return fail(TIoError{path, EFBIG, tooBig});
    }
    out.resize(have);
    ::close(fd);
    return std::nullopt;
}

TIoResult MakeParentDirectories(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return ErrorOf(part, errno);
    }
    return std::nullopt;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAllBytes(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

pid_t TemporaryOwner(std::string_view name, std::string_view suffix) {
    constexpr std::string_view prefix = ".tavolix-";
    if (!name.starts_with(prefix) || !name.ends_with(suffix))
        return 0;
    name.remove_prefix(prefix.size());
    name.remove_suffix(suffix.size());
    const auto dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == name.size() || dash > 9)
        return 0;
    if (name.find_first_not_of("0123456789-") != std::string_view::npos ||
        name.find('-', dash + 1) != name.npos)
        return 0;
    pid_t pid = 0;
    for (char c : name.substr(0, dash))
        pid = pid * 10 + (c - '0');
    return pid;
}

} // namespace tavolix::platform
