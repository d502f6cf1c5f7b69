#include "platform/AtomicFolder.h"

#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::platform {

namespace {

constexpr std::string_view kPrefix = ".tavolix-";
constexpr std::string_view kSuffix = ".dir";
// Deeper than any folder this program writes.
constexpr int kMaxDepth = 32;

std::string TemporaryBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target);
    return folder + (folder.ends_with('/') ? "" : "/") + std::string(kPrefix) + std::to_string(getpid()) +
           "-" + std::to_string(counter++) + std::string(kSuffix);
}

void RemoveTreeAt(int dirfd, const char* name, int depth) {
    const int fd = ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(dirfd, name, 0);
        return;
    }
    if (DIR* dir = ::fdopendir(fd)) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view entry = e->d_name;
            if (entry == "." || entry == "..")
                continue;
            if (::unlinkat(fd, e->d_name, 0) != 0 && errno == EISDIR && depth < kMaxDepth)
                RemoveTreeAt(fd, e->d_name, depth + 1);
        }
        ::closedir(dir);
    } else {
        ::close(fd);
    }
    ::unlinkat(dirfd, name, AT_REMOVEDIR);
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Some file systems (and old kernels) know neither flag of renameat2.
bool Unsupported(int err) {
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// Swaps what the two names stand for; false with errno set when it can't.
bool Exchange(const std::string& a, const std::string& b) {
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    if (!Unsupported(errno))
        return false;
    // One step at a time: the target is missing for a moment, never half there.
    const std::string aside = TemporaryBeside(b);
    if (::rename(b.c_str(), aside.c_str()) != 0)
        return false;
    if (::rename(a.c_str(), b.c_str()) != 0) {
        const int err = errno;
        ::rename(aside.c_str(), b.c_str());
        errno = err;
        return false;
    }
    if (::rename(aside.c_str(), a.c_str()) != 0) {
        const int err = errno;
        ::rename(b.c_str(), a.c_str());
        ::rename(aside.c_str(), b.c_str());
        errno = err;
        return false;
    }
    return true;
}

} // namespace

void RemoveFolderTree(const std::string& path) {
    RemoveTreeAt(AT_FDCWD, path.c_str(), 0);
}

TFolderReplacement::TFolderReplacement(std::string target, std::string marker,
                                       std::function<bool(std::string_view)> ownEntry)
    : FTarget(std::move(target)), FMarker(std::move(marker)), FOwnEntry(std::move(ownEntry)) {
}

bool TFolderReplacement::IsOurs(int dirfd, const char* folder) const {
    const int fd = ::openat(dirfd, folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ours = true, marked = false, empty = true;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        empty = false;
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
            ours = false;
            break;
        }
        if (name != FMarker) {
            ours = FOwnEntry && FOwnEntry(name);
            if (!ours)
                break;
            continue;
        }
        // It says what this folder's marker would say, and no more.
        const int marker = ::openat(fd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        std::string text(FMarkerText.size() + 1, '\0');
        const ssize_t n = marker >= 0 ? ::pread(marker, text.data(), text.size(), 0) : -1;
        if (marker >= 0)
            ::close(marker);
        marked = n >= 0 && std::string_view(text.data(), static_cast<std::size_t>(n)) == FMarkerText;
        ours = marked;
        if (!ours)
            break;
    }
    ::closedir(dir);
    return empty || (ours && marked);
}

// A writer killed midway left its new (or old) folder beside the target.
void TFolderReplacement::RemoveStaleFolders() const {
    DIR* dir = ::opendir(FolderOf(FTarget).c_str());
    if (!dir)
        return;
    const pid_t self = getpid();
    while (const dirent* e = ::readdir(dir)) {
        const pid_t owner = TemporaryOwner(e->d_name, kSuffix);
        if (owner <= 0 || owner == self || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        if (IsOurs(::dirfd(dir), e->d_name))
            RemoveTreeAt(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

TFolderReplacement::~TFolderReplacement() {
    if (!FDone)
        Undo();
}

TIoResult TFolderReplacement::Begin(std::string_view markerText) {
    struct stat old;
    const bool hadOld = ::lstat(FTarget.c_str(), &old) == 0;
    if (!hadOld && errno != ENOENT)
        return TIoError{FTarget, errno};
    FMarkerText = markerText;
    if (hadOld) {
        if (!S_ISDIR(old.st_mode))
            return TIoError{FTarget, EEXIST, "not a folder"};
        if (!IsOurs(AT_FDCWD, FTarget.c_str()))
            return TIoError{FTarget, EEXIST, "a folder this program did not write, or of another page"};
        // Root could replace it anyway; the attribute stands for the owner's wish.
        if (!(old.st_mode & S_IWUSR))
            return TIoError{FTarget, EACCES, "the folder is read-only"};
    }
    FHadOld = hadOld;
    RemoveStaleFolders();
    for (int attempt = 0;; ++attempt) {
        FNew = TemporaryBeside(FTarget);
        if (::mkdir(FNew.c_str(), 0777) == 0)
            break;
        if (errno != EEXIST || attempt == 100) {
            const int err = errno;
            FNew.clear();
            return TIoError{FTarget, err};
        }
    }
    auto fail = [&](int err) {
        RemoveFolderTree(FNew);
        FNew.clear();
        return TIoError{FTarget, err};
    };
    if (hadOld && ::chmod(FNew.c_str(), old.st_mode & 07777) != 0)
        return fail(errno);
    const std::string markerPath = FNew + "/" + FMarker;
    const int fd = ::open(markerPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return fail(errno);
    bool written = true;
    for (std::string_view rest = markerText; written && !rest.empty();) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            rest.remove_prefix(static_cast<std::size_t>(n));
        else if (n == 0)
            errno = EIO;
    }
    const int err = written ? 0 : errno;
    if (::close(fd) != 0 && written)
        return fail(errno);
    if (!written)
        return fail(err);
    return std::nullopt;
}

TIoResult TFolderReplacement::Commit() {
    if (FNew.empty() || FCommitted)
        return TIoError{FTarget, EINVAL};
    struct stat old;
    if (::lstat(FTarget.c_str(), &old) == 0) {
        // Made by someone else since Begin: still not ours to replace.
        if (!S_ISDIR(old.st_mode) || !IsOurs(AT_FDCWD, FTarget.c_str()))
            return TIoError{FTarget, EEXIST, "a folder this program did not write, or of another page"};
        if (!Exchange(FNew, FTarget))
            return TIoError{FTarget, errno};
        FOld = FNew; // the old folder now stands there
    } else {
        if (errno != ENOENT)
            return TIoError{FTarget, errno};
        if (::renameat2(AT_FDCWD, FNew.c_str(), AT_FDCWD, FTarget.c_str(), RENAME_NOREPLACE) != 0 &&
            (!Unsupported(errno) || ::rename(FNew.c_str(), FTarget.c_str()) != 0))
            return TIoError{FTarget, errno};
    }
    FCommitted = true;
    SyncFolder(FolderOf(FTarget));
    return std::nullopt;
}

void TFolderReplacement::Undo() {
    FDone = true;
    if (FNew.empty())
        return;
    if (!FCommitted) {
        RemoveFolderTree(FNew);
    } else if (FOld.empty()) {
        RemoveFolderTree(FTarget);
    } else if (Exchange(FOld, FTarget)) {
        RemoveFolderTree(FOld);
    }
    FNew.clear();
    FOld.clear();
}

void TFolderReplacement::Finish() {
    if (!FCommitted)
        return Undo();
    FDone = true;
    if (FCommitted && !FOld.empty())
        RemoveFolderTree(FOld);
    FNew.clear();
    FOld.clear();
}

} // namespace tavolix::platform
