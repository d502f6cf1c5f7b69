#include "platform/Directory.h"

#include "platform/FileFilter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tavolix::platform {

namespace {

TFileTime WriteTimeOf(const struct stat& st) {
    return {static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::int32_t>(st.st_mtim.tv_nsec)};
}

// Device number -> file system type, from the kernel's mount table. Read
// again when a device is not known yet (a mount made after the last read).
class TMountTypes {
public:
    std::string TypeOf(dev_t dev) {
        std::lock_guard lock(FMutex);
        auto it = FTypes.find(dev);
        if (it == FTypes.end()) {
            Load();
            // Unknown even now (a btrfs subvolume, say): remember that, so a
            // walk through many of them doesn't read the table each time.
            it = FTypes.try_emplace(dev).first;
        }
        return it->second;
    }

private:
    void Load() {
        FTypes.clear();
        FILE* f = std::fopen("/proc/self/mountinfo", "re");
        if (!f)
            return;
        char* line = nullptr;
        size_t cap = 0;
        while (getline(&line, &cap, f) > 0) {
            // id parent major:minor root mountpoint options ... - fstype source superoptions
            unsigned maj = 0, min = 0;
            if (std::sscanf(line, "%*d %*d %u:%u", &maj, &min) != 2)
                continue;
            const char* sep = std::strstr(line, " - ");
            if (!sep)
                continue;
            char type[64] = {0};
            if (std::sscanf(sep + 3, "%63s", type) == 1)
                FTypes[makedev(maj, min)] = type;
        }
        std::free(line);
        std::fclose(f);
    }
    std::mutex FMutex;
    std::map<dev_t, std::string> FTypes;
};

TMountTypes& MountTypes() {
    static TMountTypes types;
    return types;
}

} // namespace

std::uint32_t AttrFromStat(std::string_view name, const struct stat& st) {
    std::uint32_t attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    else if (!S_ISREG(st.st_mode))
        attr |= faSysFile;
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    if (!name.empty() && name[0] == '.')
        attr |= faHidden;
    return attr;
}

bool IsPseudoFileSystemType(std::string_view t) {
    static constexpr std::string_view kPseudo[] = {
        "proc",        "sysfs",      "devtmpfs", "devpts",    "cgroup",   "cgroup2", "debugfs",   "tracefs",
        "securityfs",  "pstore",     "bpf",      "configfs",  "efivarfs", "fusectl", "hugetlbfs", "mqueue",
        "binfmt_misc", "rpc_pipefs", "nsfs",     "selinuxfs", "sockfs",   "pipefs",
    };
    for (auto p : kPseudo)
        if (t == p)
            return true;
    return false;
}

bool IsPseudoFileSystemMagic(long magic) {
    switch (static_cast<unsigned long>(magic)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x1cd1:     // devpts
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x6165676c: // pstore
    case 0xcafe4a11: // bpf
    case 0x62656570: // configfs
    case 0xde5e81e4: // efivarfs
    case 0x65735543: // fusectl
    case 0x19800202: // mqueue
    case 0x42494e4d: // binfmt_misc
    case 0x6e736673: // nsfs
    case 0x958458f6: // hugetlbfs
    case 0x67596969: // rpc_pipefs
    case 0xf97cff8c: // selinuxfs
    case 0x534f434b: // sockfs
    case 0x50495045: // pipefs
        return true;
    default:
        return false;
    }
}

void TDirContents::Clear() {
    FFiles.clear();
    FNames.clear();
    FSubdirs.clear();
    FLinkedSubdirs.clear();
}

void TDirContents::AddFile(std::string_view name, std::int64_t size, TFileTime writeTime,
                           std::uint32_t attr) {
    const auto offset = static_cast<std::uint32_t>(FNames.size());
    FNames.append(name);
    FFiles.push_back({offset, static_cast<std::uint32_t>(name.size()), attr, size, writeTime, {}});
}

TDirContents TDirContents::TakeFiles(const std::function<bool(std::size_t)>& which) {
    TDirContents taken;
    std::vector<TFile> kept;
    std::string keptNames;
    for (std::size_t i = 0; i < FFiles.size(); ++i) {
        TDirContents& to = which(i) ? taken : *this;
        std::vector<TFile>& files = &to == this ? kept : taken.FFiles;
        std::string& names = &to == this ? keptNames : taken.FNames;
        TFile file = FFiles[i];
        file.NameOffset = static_cast<std::uint32_t>(names.size());
        names.append(FileName(i));
        files.push_back(file);
    }
    FFiles = std::move(kept);
    FNames = std::move(keptNames);
    return taken;
}

TDirectory::~TDirectory() {
    Close();
}

TDirectory::TDirectory(TDirectory&& o) noexcept
    : FFd(o.FFd), FDir(o.FDir), FError(o.FError), FIdentity(o.FIdentity), FChanged(o.FChanged) {
    o.FFd = -1;
    o.FDir = nullptr;
}

TDirectory& TDirectory::operator=(TDirectory&& o) noexcept {
    if (this != &o) {
        Close();
        FFd = o.FFd;
        FDir = o.FDir;
        FError = o.FError;
        FIdentity = o.FIdentity;
        FChanged = o.FChanged;
        o.FFd = -1;
        o.FDir = nullptr;
    }
    return *this;
}

void TDirectory::Close() {
#ifdef __linux__
    if (FFd >= 0)
        ::close(FFd);
#else
    if (FDir)
        closedir(static_cast<DIR*>(FDir));
    else if (FFd >= 0)
        ::close(FFd);
#endif
    FFd = -1;
    FDir = nullptr;
}

namespace {
// Descriptors whose closing was put off; closed in runs of consecutive
// numbers, one system call a run.
thread_local std::vector<int> gDeferred;
} // namespace

void TDirectory::CloseDeferred() {
#if defined(__linux__) && defined(SYS_close_range)
    if (FFd >= 0) {
        gDeferred.push_back(FFd);
        FFd = -1;
        FDir = nullptr;
        if (gDeferred.size() >= 128)
            FlushDeferredCloses();
        return;
    }
#endif
    Close();
}

void TDirectory::FlushDeferredCloses() {
#if defined(__linux__) && defined(SYS_close_range)
    std::sort(gDeferred.begin(), gDeferred.end());
    for (std::size_t i = 0; i < gDeferred.size();) {
        std::size_t j = i;
        while (j + 1 < gDeferred.size() && gDeferred[j + 1] == gDeferred[j] + 1)
            ++j;
        if (j == i)
            ::close(gDeferred[i]);
        else if (::syscall(SYS_close_range, gDeferred[i], gDeferred[j], 0) != 0)
            for (std::size_t k = i; k <= j; ++k)
                ::close(gDeferred[k]);
        i = j + 1;
    }
    gDeferred.clear();
#endif
}

std::size_t TDirectory::DeferredCloses() {
    return gDeferred.size();
}

std::size_t FreeDescriptors() {
    struct rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY)
        return 1 << 20;
    std::size_t open = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (struct dirent* e = readdir(d))
            open += e->d_name[0] != '.' ? 1 : 0;
        closedir(d);
        open = open > 0 ? open - 1 : 0; // the listing's own
    } else {
        for (int fd = 0; fd < static_cast<int>(std::min<rlim_t>(rl.rlim_cur, 65536)); ++fd)
            open += fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    }
    return rl.rlim_cur > open ? static_cast<std::size_t>(rl.rlim_cur - open) : 0;
}

TDirectory TDirectory::Adopt(int fd) {
    TDirectory d;
    if (fd < 0) {
        d.FError = errno;
        return d;
    }
    d.FFd = fd;
    struct stat st;
    if (fstat(fd, &st) == 0) {
        d.FIdentity = {st.st_dev, st.st_ino};
        const struct timespec& later =
            (st.st_ctim.tv_sec > st.st_mtim.tv_sec ||
             (st.st_ctim.tv_sec == st.st_mtim.tv_sec && st.st_ctim.tv_nsec > st.st_mtim.tv_nsec))
                ? st.st_ctim
                : st.st_mtim;
        d.FChanged = {static_cast<std::int64_t>(later.tv_sec), static_cast<std::int32_t>(later.tv_nsec)};
    }
    return d;
}

TDirectory TDirectory::Open(const std::string& path) {
    return Adopt(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

TDirectory TDirectory::OpenChild(const std::string& name) const {
    if (FFd < 0) {
        TDirectory d;
        d.FError = EBADF;
        return d;
    }
    return Adopt(::openat(FFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::string FileSystemTypeOf(dev_t device) {
    return MountTypes().TypeOf(device);
}

bool IsKernelFile(int fd) {
    // As a walk tells a directory: the mount table by device, else the magic.
    struct stat st;
    if (fstat(fd, &st) != 0)
        return true; // what can't be told is not trusted
    const std::string type = MountTypes().TypeOf(st.st_dev);
    if (!type.empty())
        return IsPseudoFileSystemType(type);
    struct statfs sf;
    return fstatfs(fd, &sf) != 0 || IsPseudoFileSystemMagic(sf.f_type);
}

bool TDirectory::FileSystem(TFileSystemInfo& info) const {
    struct statfs sf;
    if (FFd < 0 || fstatfs(FFd, &sf) != 0)
        return false;
    info.Type = static_cast<long>(sf.f_type);
    std::uint32_t parts[2];
    static_assert(sizeof(sf.f_fsid) == sizeof(parts));
    std::memcpy(parts, &sf.f_fsid, sizeof(parts));
    info.Id = (std::uint64_t{parts[0]} << 32) | parts[1];
    return true;
}

bool IsKnownEntryType(unsigned char type) {
    switch (type) {
    case DT_UNKNOWN:
    case DT_FIFO:
    case DT_CHR:
    case DT_DIR:
    case DT_BLK:
    case DT_REG:
    case DT_LNK:
    case DT_SOCK:
    case DT_WHT:
        return true;
    default:
        return false;
    }
}

bool TDirectory::IsPseudoFileSystem() const {
    if (FFd < 0)
        return false;
    std::string type = MountTypes().TypeOf(FIdentity.Device);
    if (!type.empty())
        return IsPseudoFileSystemType(type);
    struct statfs sf;
    return fstatfs(FFd, &sf) == 0 && IsPseudoFileSystemMagic(sf.f_type);
}

#ifdef __linux__
namespace {
struct TLinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};
constexpr std::size_t kDentsBuffer = 64 * 1024;
} // namespace

// getdents64 straight into one buffer: no DIR object, so no extra fcntl and
// fstat per directory (fdopendir's checks), which the walk would pay 20,000
// times for a large tree.
template <class F> TReadResult TDirectory::ForEachEntry(F&& fn) {
    if (FFd < 0)
        return {TReadEnd::Failed, FError != 0 ? FError : EBADF};
    if (FDir && ::lseek(FFd, 0, SEEK_SET) != 0)
        return {TReadEnd::Failed, errno};
    FDir = this; // read once: a second pass must rewind
    thread_local std::unique_ptr<char[]> buffer(new char[kDentsBuffer]);
    for (;;) {
        long n = ::syscall(SYS_getdents64, FFd, buffer.get(), kDentsBuffer);
        if (n < 0)
            return {TReadEnd::Failed, errno};
        if (n == 0)
            return {};
        for (long pos = 0; pos < n;) {
            auto* e = reinterpret_cast<TLinuxDirent64*>(buffer.get() + pos);
            pos += e->d_reclen;
            if (!fn(e->d_name, std::strlen(e->d_name), e->d_type))
                return {TReadEnd::Stopped};
        }
    }
}
#else
template <class F> TReadResult TDirectory::ForEachEntry(F&& fn) {
    if (FFd < 0)
        return {TReadEnd::Failed, FError != 0 ? FError : EBADF};
    if (!FDir) {
        FDir = fdopendir(FFd); // takes over the descriptor; dirfd() stays FFd
        if (!FDir)
            return {TReadEnd::Failed, errno};
    } else {
        rewinddir(static_cast<DIR*>(FDir));
    }
    // readdir reports its errors only through errno, which fn may change.
    for (;;) {
        errno = 0;
        struct dirent* e = readdir(static_cast<DIR*>(FDir));
        if (!e)
            return errno == 0 ? TReadResult{} : TReadResult{TReadEnd::Failed, errno};
        if (!fn(e->d_name, std::strlen(e->d_name), e->d_type))
            return {TReadEnd::Stopped};
    }
}
#endif

namespace {
// Entries between two looks at the watch's progress (the stop is asked at each).
constexpr std::size_t kProgressEvery = 64;
} // namespace

TReadResult TDirectory::Read(const TWildcard& mask, TDirContents& out, TReadWatch* watch,
                             const TFileFilter* filter, const TDirListing* replay, TDirListing* record) {
    out.Clear();
    if (filter && filter->Empty())
        filter = nullptr;
    const bool all = mask.MatchesAll() && !filter;
    const bool testsStat = filter && filter->TestsStat();
    std::uint32_t unexamined = 0;
    int unexaminedError = 0;
    auto wanted = [&](const char* name, std::size_t len) {
        return all || (mask.Matches({name, len}) && (!filter || filter->PassesName({name, len})));
    };
    auto addFile = [&](const char* name, std::size_t len, const struct stat& st, bool link = false) {
        const TFileTime written = WriteTimeOf(st);
        if (testsStat && !filter->PassesStat(static_cast<std::int64_t>(st.st_size), written))
            return;
        auto offset = static_cast<std::uint32_t>(out.FNames.size());
        out.FNames.append(name, len);
        out.FFiles.push_back({offset,
                              static_cast<std::uint32_t>(len),
                              AttrFromStat({name, len}, st) | (link ? std::uint32_t{faLink} : 0u),
                              static_cast<std::int64_t>(st.st_size),
                              written,
                              {st.st_dev, st.st_ino}});
    };
    // Listed but not to be looked at (no search permission, an I/O error):
    // the name is known, its size and time are not (so no filter of them
    // can take it). Gone meanwhile: left out.
    auto addUnexamined = [&](const char* name, std::size_t len, unsigned char type) {
        if (errno == ENOENT)
            return;
        ++unexamined;
        unexaminedError = errno;
        if (testsStat)
            return;
        struct stat st {};
        st.st_mode = type == DT_REG || type == DT_UNKNOWN || type == DT_LNK ? S_IFREG | S_IWUSR : S_IWUSR;
        addFile(name, len, st);
    };
    std::size_t entries = 0;
    auto entry = [&](const char* name, std::size_t len, unsigned char type) {
        if (watch) {
            if (watch->StopRequested())
                return false;
            if (++entries % kProgressEvery == 0)
                watch->Progress(out.FFiles.size());
        }
        struct stat st;
        if (type == DT_DIR) {
            out.FSubdirs.emplace_back(name, len);
        } else if (type == DT_UNKNOWN && fstatat(FFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                   !S_ISLNK(st.st_mode)) {
            // A file system that doesn't give the type: looked at once, as it is.
            if (S_ISDIR(st.st_mode))
                out.FSubdirs.emplace_back(name, len);
            else if (wanted(name, len))
                addFile(name, len, st);
        } else if (type == DT_LNK || type == DT_UNKNOWN) {
            if (fstatat(FFd, name, &st, 0) == 0) {
                if (S_ISDIR(st.st_mode)) {
                    out.FLinkedSubdirs.push_back(static_cast<std::uint32_t>(out.FSubdirs.size()));
                    out.FSubdirs.emplace_back(name, len);
                } else if (wanted(name, len)) {
                    addFile(name, len, st, true);
                }
            } else if (wanted(name, len)) {
                if (fstatat(FFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    addFile(name, len, st, S_ISLNK(st.st_mode)); // a dangling link: the link itself
                else
                    addUnexamined(name, len, type);
            }
        } else if (wanted(name, len)) {
            if (fstatat(FFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                addUnexamined(name, len, type);
            else if (S_ISDIR(st.st_mode))
                out.FSubdirs.emplace_back(name, len); // replaced while we looked
            else
                addFile(name, len, st);
        }
        return true;
    };
    TReadResult result;
    if (replay) {
        const char* name = replay->Names().data();
        for (const TDirListing::TEntry& e : replay->Entries()) {
            if (!entry(name, e.Length, e.Type)) {
                result = {TReadEnd::Stopped};
                break;
            }
            name += e.Length + 1;
        }
    } else if (record) {
        record->Clear();
        result = ForEachEntry([&](const char* name, std::size_t len, unsigned char type) {
            record->Add(name, len, type);
            return entry(name, len, type);
        });
    } else {
        result = ForEachEntry(entry);
    }
    result.Unexamined = unexamined;
    if (result.End == TReadEnd::Complete && unexamined > 0)
        result.Error = unexaminedError;
    return result;
}

bool TDirectory::Find(std::string_view pattern, std::vector<TFindData>& out, TFindWhat what) {
    out.clear();
    TWildcard mask(pattern);
    const TReadResult result = ForEachEntry([&](const char* name, std::size_t len, unsigned char type) {
        std::string_view n(name, len);
        if (!mask.Matches(n))
            return true;
        if (what == TFindWhat::DirectoriesOnly && type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN)
            return true;
        struct stat st;
        TFindData d;
        d.Name.assign(name, len);
        if (fstatat(FFd, name, &st, 0) == 0 || fstatat(FFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            struct stat own;
            const bool link =
                type == DT_LNK || (type == DT_UNKNOWN && fstatat(FFd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                                   S_ISLNK(own.st_mode));
            d.Attr = AttrFromStat(n, st) | (link ? std::uint32_t{faLink} : 0u);
            d.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
            d.WriteTime = WriteTimeOf(st);
        } else if (type == DT_DIR) {
            d.Attr = faDirectory | (name[0] == '.' ? std::uint32_t{faHidden} : 0u);
        } else {
            return true; // vanished
        }
        if (what == TFindWhat::DirectoriesOnly && !d.IsDirectory())
            return true;
        out.push_back(std::move(d));
        return true;
    });
    if (!result)
        out.clear();
    return static_cast<bool>(result);
}

bool FindFiles(const std::string& dirPath, std::string_view pattern, std::vector<TFindData>& out,
               TFindWhat what) {
    out.clear();
    TDirectory dir = TDirectory::Open(dirPath);
    return dir.Find(pattern, out, what);
}

} // namespace tavolix::platform
