#include "search/ListingStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace tavolix::search {

using platform::TDirectory;
using platform::TDirIdentity;
using platform::TDirListing;
using platform::TFileTime;
using platform::TIoError;
using platform::TIoResult;

namespace {

// The file's layout, in the host's byte order (a file of another order
// fails the magic): the header, the folders, their entries in the folders'
// order, the names in the entries' order, each followed by a NUL.
constexpr char kMagic[8] = {'T', 'V', 'X', 'L', 'I', 'S', 'T', '\n'};
constexpr std::uint32_t kVersion = 1;

struct THeader {
    char Magic[8];
    std::uint32_t Version;
    std::uint32_t Zero;
    std::uint64_t Device;
    std::uint64_t FileSystemId;
    std::uint64_t Folders;
    std::uint64_t Entries;
    std::uint64_t NamesSize;
    std::uint64_t Checksum; // of everything after the header
};
static_assert(sizeof(THeader) == 64);

struct TDiskFolder {
    std::uint64_t Inode;
    std::int64_t ChangedSeconds;
    std::int64_t ReadSeconds;
    std::int64_t Used;
    std::uint32_t ChangedNanoseconds;
    std::uint32_t ReadNanoseconds;
    std::uint32_t Count;
    std::uint32_t Zero;
};
static_assert(sizeof(TDiskFolder) == 48);
static_assert(sizeof(TDirListing::TEntry) == 4);

constexpr const char* kSuffix = ".listings";

} // namespace

std::uint64_t TListingStore::Checksum(std::string_view bytes) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes.size();
    const char* p = bytes.data();
    std::size_t i = 0;
    auto mix = [&h](std::uint64_t w) {
        h ^= w;
        h = (h << 27 | h >> 37) * 0xC2B2AE3D27D4EB4Full;
    };
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        mix(w);
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i < bytes.size(); ++i, k += 8)
        tail |= std::uint64_t{static_cast<unsigned char>(p[i])} << k;
    mix(tail);
    return h ^ (h >> 31);
}

namespace {

bool SameTime(TFileTime a, TFileTime b) {
    return a.Seconds == b.Seconds && a.Nanoseconds == b.Nanoseconds;
}

// `changed` lies more than the guard before `read`.
bool OlderByGuard(TFileTime changed, TFileTime read) {
    if (changed.Seconds > read.Seconds)
        return false;
    const std::uint64_t seconds =
        static_cast<std::uint64_t>(read.Seconds) - static_cast<std::uint64_t>(changed.Seconds);
    if (seconds > 3)
        return true;
    const std::int64_t nanoseconds =
        static_cast<std::int64_t>(seconds) * 1'000'000'000 + read.Nanoseconds - changed.Nanoseconds;
    return nanoseconds > TListingStore::kGuardNanoseconds;
}

// File systems that move a folder's status time on with every change of
// its entries, and keep it so across mounts. Not FAT (a root folder has no
// time), nor shares and user-space file systems, whose times come from
// elsewhere and may lag or be made up.
bool TrustedFileSystemName(std::string_view type) {
    for (const std::string_view t :
         {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "zfs", "bcachefs"})
        if (type == t)
            return true;
    return false;
}

bool TrustedFileSystem(long type) {
    switch (static_cast<unsigned long>(type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // xfs
    case 0x9123683E: // btrfs
    case 0x01021994: // tmpfs
    case 0xF2F52010: // f2fs
    case 0x2FC12FC1: // zfs
    case 0xCA451A4E: // bcachefs
        return true;
    default:
        return false;
    }
}

std::uint64_t FolderBytes(std::size_t entries, std::size_t names) {
    return sizeof(TDiskFolder) + entries * sizeof(TDirListing::TEntry) + names;
}

bool OwnedSafely(const struct stat& st) {
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

TListingStore::TListingStore(std::string folder, std::uint64_t limit)
    : FFolder(std::move(folder)), FLimit(limit) {
    FStarted = Now().Seconds;
}

std::string TListingStore::DefaultFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/tavolix";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/tavolix";
    return {};
}

TFileTime TListingStore::Now() const {
    if (FClock)
        return FClock();
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return {static_cast<std::int64_t>(ts.tv_sec), static_cast<std::int32_t>(ts.tv_nsec)};
}

std::uint64_t TListingStore::TDevice::LiveBytes() const {
    return Folders.size() * sizeof(TDiskFolder) + Entries.size() * sizeof(TDirListing::TEntry) +
           Names.size() - DroppedBytes;
}

std::string TListingStore::FileOf(dev_t device) const {
    char name[64];
    std::snprintf(name, sizeof name, "/dev-%llx%s", static_cast<unsigned long long>(device), kSuffix);
    return FFolder + name;
}

bool TListingStore::FolderIsOurs() const {
    struct stat st;
    return !FFolder.empty() && lstat(FFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && OwnedSafely(st);
}

// Told apart by the mount table and read outside the lock: a file system
// that stopped answering holds up the thread that asks it, never the others.
TListingStore::TDevice* TListingStore::DeviceOf(const TDirectory& d,
                                                std::unique_lock<std::shared_mutex>& lock) {
    const dev_t device = d.Identity().Device;
    if (const auto it = FDevices.find(device); it != FDevices.end())
        return it->second.Ready && it->second.Allowed ? &it->second : nullptr;
    FDevices[device].Ready = false; // others read their folders anew meanwhile
    lock.unlock();
    TDevice fresh;
    platform::TFileSystemInfo info;
    fresh.Allowed = TrustedFileSystemName(platform::FileSystemTypeOf(device)) && d.FileSystem(info) &&
                    TrustedFileSystem(info.Type);
    fresh.FileSystemId = info.Id;
    const bool refused = fresh.Allowed && !Load(device, fresh);
    lock.lock();
    TDevice& dev = FDevices[device];
    dev = std::move(fresh);
    if (FBytes + dev.LiveBytes() + sizeof(THeader) > FLimit) {
        const bool allowed = dev.Allowed;
        const std::uint64_t id = dev.FileSystemId;
        dev = TDevice{};
        dev.Allowed = allowed;
        dev.FileSystemId = id; // its file stays as it is
        ++FCounts.Refused;
    } else {
        FBytes += dev.LiveBytes();
        FCounts.Refused += refused ? 1 : 0;
    }
    dev.Ready = true;
    return dev.Allowed ? &dev : nullptr;
}

// False when a file was there and refused (it is then made anew).
bool TListingStore::Load(dev_t device, TDevice& dev) const {
    if (!FolderIsOurs())
        return true;
    const std::string path = FileOf(device);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        dev.Dirty = true;
        return false;
    }
    struct stat st;
    std::string bytes;
    bool read = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && OwnedSafely(st) && st.st_size >= 0 &&
                static_cast<std::uint64_t>(st.st_size) <= FLimit;
    if (read) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        char extra;
        read = got == bytes.size() && ::read(fd, &extra, 1) == 0;
    }
    ::close(fd);
    if (!read || !Parse(dev, device, bytes)) {
        dev.Dirty = true;
        return false;
    }
    dev.FromFile = true;
    return true;
}

bool TListingStore::LoadBytes(dev_t device, std::uint64_t fileSystemId, std::string_view bytes) {
    std::unique_lock lock(FMutex);
    TDevice& dev = FDevices[device];
    FBytes -= dev.LiveBytes();
    dev = TDevice{};
    dev.FileSystemId = fileSystemId;
    if (!Parse(dev, device, bytes) || FBytes + dev.LiveBytes() + sizeof(THeader) > FLimit) {
        dev = TDevice{};
        return false;
    }
    FBytes += dev.LiveBytes();
    return true;
}

bool TListingStore::Parse(TDevice& dev, dev_t device, std::string_view bytes) const {
    THeader h;
    if (bytes.size() < sizeof h)
        return false;
    std::memcpy(&h, bytes.data(), sizeof h);
    if (std::memcmp(h.Magic, kMagic, sizeof kMagic) != 0 || h.Version != kVersion || h.Zero != 0 ||
        h.Device != static_cast<std::uint64_t>(device) || h.FileSystemId != dev.FileSystemId)
        return false;
    const std::uint64_t body = bytes.size() - sizeof h;
    if (h.Folders > body / sizeof(TDiskFolder) || h.Entries > body / sizeof(TDirListing::TEntry) ||
        h.NamesSize > body ||
        h.Folders * sizeof(TDiskFolder) + h.Entries * sizeof(TDirListing::TEntry) + h.NamesSize != body)
        return false;
    if (Checksum(bytes.substr(sizeof h)) != h.Checksum)
        return false;
    if (body > FLimit || h.Folders > UINT32_MAX)
        return false;
    const char* folders = bytes.data() + sizeof h;
    const char* entries = folders + h.Folders * sizeof(TDiskFolder);
    const char* names = entries + h.Entries * sizeof(TDirListing::TEntry);

    TDevice parsed;
    parsed.Allowed = true;
    parsed.FileSystemId = dev.FileSystemId;
    parsed.Folders.reserve(static_cast<std::size_t>(h.Folders));
    parsed.Entries.resize(static_cast<std::size_t>(h.Entries));
    if (h.Entries > 0)
        std::memcpy(parsed.Entries.data(), entries, static_cast<std::size_t>(h.Entries) * 4);
    parsed.Names.assign(names, static_cast<std::size_t>(h.NamesSize));
    std::uint64_t entry = 0, name = 0;
    for (std::uint64_t i = 0; i < h.Folders; ++i) {
        TDiskFolder f;
        std::memcpy(&f, folders + i * sizeof f, sizeof f);
        if (f.Inode == 0 || f.Zero != 0 || f.ChangedNanoseconds >= 1'000'000'000 ||
            f.ReadNanoseconds >= 1'000'000'000 || f.Count > h.Entries - entry)
            return false;
        TFolder folder;
        folder.Inode = static_cast<ino_t>(f.Inode);
        folder.Changed = {f.ChangedSeconds, static_cast<std::int32_t>(f.ChangedNanoseconds)};
        folder.Read = {f.ReadSeconds, static_cast<std::int32_t>(f.ReadNanoseconds)};
        if (static_cast<std::uint64_t>(folder.Inode) != f.Inode || !OlderByGuard(folder.Changed, folder.Read))
            return false;
        folder.Used = f.Used;
        folder.FirstEntry = entry;
        folder.NameOffset = name;
        folder.Count = f.Count;
        for (std::uint32_t k = 0; k < f.Count; ++k, ++entry) {
            const TDirListing::TEntry& e = parsed.Entries[static_cast<std::size_t>(entry)];
            if (e.Zero != 0 || e.Length == 0 || !platform::IsKnownEntryType(e.Type) ||
                e.Length >= h.NamesSize - name)
                return false;
            const std::string_view n(parsed.Names.data() + name, e.Length);
            if (n.find('\0') != std::string_view::npos || n.find('/') != std::string_view::npos ||
                parsed.Names[static_cast<std::size_t>(name + e.Length)] != '\0')
                return false;
            name += e.Length + 1u;
        }
        if (name - folder.NameOffset > UINT32_MAX)
            return false;
        folder.NamesLength = static_cast<std::uint32_t>(name - folder.NameOffset);
        if (!parsed.ByInode.try_emplace(folder.Inode, static_cast<std::uint32_t>(parsed.Folders.size()))
                 .second)
            return false;
        parsed.Folders.push_back(folder);
    }
    if (entry != h.Entries || name != h.NamesSize)
        return false;
    dev = std::move(parsed);
    return true;
}

std::string TListingStore::Serialize(dev_t device, TDevice& dev) const {
    THeader h{};
    std::memcpy(h.Magic, kMagic, sizeof kMagic);
    h.Version = kVersion;
    h.Device = static_cast<std::uint64_t>(device);
    h.FileSystemId = dev.FileSystemId;
    std::string folders, entries, names;
    for (const TFolder& f : dev.Folders) {
        if (f.Inode == 0)
            continue;
        const TDiskFolder d{static_cast<std::uint64_t>(f.Inode),
                            f.Changed.Seconds,
                            f.Read.Seconds,
                            f.Used,
                            static_cast<std::uint32_t>(f.Changed.Nanoseconds),
                            static_cast<std::uint32_t>(f.Read.Nanoseconds),
                            f.Count,
                            0};
        folders.append(reinterpret_cast<const char*>(&d), sizeof d);
        entries.append(reinterpret_cast<const char*>(dev.Entries.data() + f.FirstEntry),
                       f.Count * sizeof(TDirListing::TEntry));
        names.append(dev.Names, static_cast<std::size_t>(f.NameOffset), f.NamesLength);
        ++h.Folders;
        h.Entries += f.Count;
    }
    h.NamesSize = names.size();
    std::string bytes(sizeof h, '\0');
    bytes.append(folders).append(entries).append(names);
    h.Checksum = Checksum(std::string_view(bytes).substr(sizeof h));
    std::memcpy(bytes.data(), &h, sizeof h);
    return bytes;
}

std::string TListingStore::FileBytes(dev_t device) {
    std::unique_lock lock(FMutex);
    return Serialize(device, FDevices[device]);
}

void TListingStore::Drop(TDevice& dev, std::uint32_t index) {
    TFolder& f = dev.Folders[index];
    const std::uint64_t bytes = FolderBytes(f.Count, f.NamesLength);
    dev.DroppedBytes += bytes;
    FBytes -= bytes;
    dev.ByInode.erase(f.Inode);
    f.Inode = 0;
    dev.Dirty = true;
}

void TListingStore::Compact(TDevice& dev) {
    TDevice kept;
    kept.Allowed = dev.Allowed;
    kept.Ready = dev.Ready;
    kept.Dirty = dev.Dirty;
    kept.FileSystemId = dev.FileSystemId;
    for (const TFolder& f : dev.Folders) {
        if (f.Inode == 0)
            continue;
        TFolder moved = f;
        moved.FirstEntry = kept.Entries.size();
        moved.NameOffset = kept.Names.size();
        kept.Entries.insert(kept.Entries.end(),
                            dev.Entries.begin() + static_cast<std::ptrdiff_t>(f.FirstEntry),
                            dev.Entries.begin() + static_cast<std::ptrdiff_t>(f.FirstEntry + f.Count));
        kept.Names.append(dev.Names, static_cast<std::size_t>(f.NameOffset), f.NamesLength);
        kept.ByInode.emplace(f.Inode, static_cast<std::uint32_t>(kept.Folders.size()));
        kept.Folders.push_back(moved);
    }
    dev = std::move(kept);
}

void TListingStore::CopyOut(const TDevice& dev, const TFolder& f, TDirListing& out) {
    out.Clear();
    out.MutableNames().assign(dev.Names, static_cast<std::size_t>(f.NameOffset), f.NamesLength);
    out.MutableEntries().assign(dev.Entries.begin() + static_cast<std::ptrdiff_t>(f.FirstEntry),
                                dev.Entries.begin() + static_cast<std::ptrdiff_t>(f.FirstEntry + f.Count));
}

bool TListingStore::Lookup(const TDirectory& d, TDirListing& out) {
    const TDirIdentity id = d.Identity();
    {
        // Walking threads look up side by side; a change takes the lock alone.
        std::shared_lock shared(FMutex);
        const auto known = FDevices.find(id.Device);
        if (known != FDevices.end()) {
            const TDevice& dev = known->second;
            if (!dev.Ready || !dev.Allowed)
                return false;
            const auto it = dev.ByInode.find(id.Inode);
            if (it == dev.ByInode.end()) {
                FMisses.fetch_add(1, std::memory_order_relaxed);
                return false;
            }
            if (const TFolder& f = dev.Folders[it->second]; SameTime(f.Changed, d.Changed())) {
                CopyOut(dev, f, out);
                FHits.fetch_add(1, std::memory_order_relaxed);
                return true;
            }
        }
    }
    // A device not met yet (its file read now), or a folder changed since
    // (its listing goes).
    std::unique_lock lock(FMutex);
    TDevice* const known = DeviceOf(d, lock);
    if (!known)
        return false;
    if (const auto it = known->ByInode.find(id.Inode); it != known->ByInode.end()) {
        if (const TFolder& f = known->Folders[it->second]; SameTime(f.Changed, d.Changed())) {
            CopyOut(*known, f, out);
            FHits.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
        Drop(*known, it->second);
    }
    FMisses.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void TListingStore::Keep(const TDirectory& d, TFileTime readAt, const TDirListing& listing) {
    std::unique_lock lock(FMutex);
    TDevice* const known = DeviceOf(d, lock);
    if (!known)
        return;
    TDevice& dev = *known;
    const ino_t inode = d.Identity().Inode;
    if (const auto it = dev.ByInode.find(inode); it != dev.ByInode.end())
        Drop(dev, it->second);
    // Read too soon after a change for a later one to be told apart.
    if (inode == 0 || !listing.Whole() || !OlderByGuard(d.Changed(), readAt))
        return;
    const std::uint64_t bytes = FolderBytes(listing.Entries().size(), listing.Names().size());
    if (FBytes + bytes + sizeof(THeader) > FLimit || listing.Names().size() > UINT32_MAX ||
        dev.Folders.size() >= UINT32_MAX) {
        ++FCounts.Refused;
        return;
    }
    if (dev.DroppedBytes > (1u << 20) && dev.DroppedBytes > dev.LiveBytes())
        Compact(dev);
    TFolder f;
    f.Inode = inode;
    f.Changed = d.Changed();
    f.Read = readAt;
    f.Used = FStarted;
    f.FirstEntry = dev.Entries.size();
    f.NameOffset = dev.Names.size();
    f.Count = static_cast<std::uint32_t>(listing.Entries().size());
    f.NamesLength = static_cast<std::uint32_t>(listing.Names().size());
    dev.Entries.insert(dev.Entries.end(), listing.Entries().begin(), listing.Entries().end());
    dev.Names.append(listing.Names());
    dev.ByInode[inode] = static_cast<std::uint32_t>(dev.Folders.size());
    dev.Folders.push_back(f);
    dev.Dirty = true;
    FBytes += bytes;
    ++FCounts.Kept;
}

TListingStore::TCounts TListingStore::Counts() const {
    std::unique_lock lock(FMutex);
    TCounts c = FCounts;
    c.Hits = FHits.load();
    c.Misses = FMisses.load();
    for (const auto& [device, dev] : FDevices) {
        c.Folders += dev.ByInode.size();
        for (const TFolder& f : dev.Folders)
            c.Entries += f.Inode != 0 ? f.Count : 0;
    }
    c.Bytes = FBytes;
    return c;
}

namespace {

TIoResult WriteWhole(const std::string& folder, const std::string& path, std::string_view bytes) {
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        folder + "/.tavolix-" + std::to_string(getpid()) + "-" + std::to_string(serial.fetch_add(1)) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return TIoError(temporary, errno);
    int error = 0;
    if (!platform::WriteAllBytes(fd, bytes) || ::fsync(fd) != 0)
        error = errno != 0 ? errno : EIO;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return TIoError(path, error);
    }
    return std::nullopt;
}

} // namespace

TIoResult TListingStore::Save() {
    if (FFolder.empty())
        return std::nullopt;
    std::unique_lock lock(FMutex);
    bool dirty = false;
    for (auto& [device, dev] : FDevices) {
        dirty = dirty || dev.Dirty;
        // A file read and kept as it is counts as recently used all the same.
        if (dev.FromFile && !dev.Dirty && FolderIsOurs())
            ::utimensat(AT_FDCWD, FileOf(device).c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
        dev.FromFile = false;
    }
    if (!dirty)
        return std::nullopt;
    if (TIoResult e = platform::MakeParentDirectories(FFolder + "/x"))
        return e;
    if (!FolderIsOurs())
        return TIoError(FFolder, EPERM, "not the user's own folder (or writable by others)");
    TIoResult failed;
    for (auto& [device, dev] : FDevices) {
        if (!dev.Dirty)
            continue;
        const std::string path = FileOf(device);
        if (dev.ByInode.empty()) {
            if (::unlink(path.c_str()) != 0 && errno != ENOENT && !failed)
                failed = TIoError(path, errno);
        } else if (TIoResult e = WriteWhole(FFolder, path, Serialize(device, dev)); e && !failed) {
            failed = e;
        }
        if (!failed)
            dev.Dirty = false;
    }
    // The least recently written go while all take more than the limit;
    // temporary files of writers that are gone go too.
    if (DIR* dir = opendir(FFolder.c_str())) {
        struct TFile {
            std::string Path;
            std::uint64_t Size;
            struct timespec Written;
        };
        std::vector<TFile> files;
        std::uint64_t total = 0;
        while (struct dirent* e = readdir(dir)) {
            const std::string_view name(e->d_name);
            const std::string path = FFolder + "/" + e->d_name;
            struct stat st;
            if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            if (const pid_t owner = platform::TemporaryOwner(name, ".tmp");
                owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
                ::unlink(path.c_str());
            } else if (name.ends_with(kSuffix)) {
                files.push_back({path, static_cast<std::uint64_t>(st.st_size), st.st_mtim});
                total += static_cast<std::uint64_t>(st.st_size);
            }
        }
        closedir(dir);
        std::sort(files.begin(), files.end(), [](const TFile& a, const TFile& b) {
            return a.Written.tv_sec != b.Written.tv_sec ? a.Written.tv_sec < b.Written.tv_sec
                                                        : a.Written.tv_nsec < b.Written.tv_nsec;
        });
        for (std::size_t i = 0; i < files.size() && total > FLimit; ++i)
            if (::unlink(files[i].Path.c_str()) == 0)
                total -= files[i].Size;
    }
    return failed;
}

} // namespace tavolix::search
