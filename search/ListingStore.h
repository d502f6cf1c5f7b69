#pragma once

#include "platform/AtomicFile.h"
#include "platform/Directory.h"
#include "platform/FileTime.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace tavolix::search {

// The listings of folders earlier walks read whole, so that a walk can go
// over a folder's kept entries in place of listing it again. A listing is
// used only while the folder is the one it was read from (device, inode)
// and its time (the later of its status and write times, to the
// nanosecond) is the one it had then; and only when that time was more than
// kGuard older than the read, since a coarse clock gives a change made just
// after the read the same time. Only file systems that move a folder's
// times on with each change of its entries are kept.
//
// Kept on disk in one file a device, in a folder of the user's own, each
// written whole and renamed into place: readers see the old file or the
// new one, and of two writers the last wins. Any file that is not as this
// writes it (another owner, writable by others, a wrong count, a checksum
// that does not match, too big) is refused and made anew. Safe to use from
// several threads.
class TListingStore {
public:
    static constexpr std::int64_t kGuardNanoseconds = 2'000'000'000;
    static constexpr std::uint64_t kDefaultLimit = 256ull << 20;

    // `folder`: where the files are, "" for none (kept in memory only).
    explicit TListingStore(std::string folder, std::uint64_t limit = kDefaultLimit);

    // $XDG_CACHE_HOME/tavolix when that is absolute, else $HOME/.cache/tavolix;
    // "" without either.
    static std::string DefaultFolder();

    // The kept entries of the directory just opened, when they still hold.
    bool Lookup(const platform::TDirectory& d, platform::TDirListing& out);
    // Keeps what a whole read of `d`, begun at `readAt`, listed.
    void Keep(const platform::TDirectory& d, platform::TFileTime readAt,
              const platform::TDirListing& listing);
    // The moment a read begins now (a test sets its own clock).
    platform::TFileTime Now() const;
    void SetClock(std::function<platform::TFileTime()> clock) { FClock = std::move(clock); }

    // Writes the files of the devices whose listings changed, then removes
    // the least recently used files while all of them take more than the
    // limit.
    platform::TIoResult Save();

    // Reads a device's file from its bytes, as Load does: false (nothing
    // kept) when they are not a whole, sound file of that device.
    bool LoadBytes(dev_t device, std::uint64_t fileSystemId, std::string_view bytes);
    // The bytes Save writes for the device.
    std::string FileBytes(dev_t device);
    std::string FileOf(dev_t device) const;
    // What a file's header holds of the bytes after it.
    static std::uint64_t Checksum(std::string_view body);

    struct TCounts {
        std::uint64_t Hits = 0, Misses = 0, Kept = 0, Refused = 0;
        std::uint64_t Folders = 0, Entries = 0, Bytes = 0; // kept now, in memory
    };
    TCounts Counts() const;

private:
    struct TFolder {
        ino_t Inode = 0; // 0: dropped
        platform::TFileTime Changed, Read;
        std::int64_t Used = 0; // seconds: when it was kept
        std::uint64_t FirstEntry = 0, NameOffset = 0;
        std::uint32_t Count = 0, NamesLength = 0;
    };
    struct TDevice {
        bool Ready = true;    // false while its file is being read
        bool Allowed = false; // a file system whose folder times can be trusted
        bool Dirty = false;
        bool FromFile = false; // read from its file, not yet saved
        std::uint64_t FileSystemId = 0;
        std::vector<TFolder> Folders;
        std::unordered_map<ino_t, std::uint32_t> ByInode;
        std::string Names;
        std::vector<platform::TDirListing::TEntry> Entries;
        std::uint64_t DroppedBytes = 0;
        std::uint64_t LiveBytes() const;
    };
    TDevice* DeviceOf(const platform::TDirectory& d, std::unique_lock<std::shared_mutex>& lock);
    bool Load(dev_t device, TDevice& dev) const;
    void Drop(TDevice& dev, std::uint32_t index);
    static void CopyOut(const TDevice& dev, const TFolder& f, platform::TDirListing& out);
    void Compact(TDevice& dev);
    bool Parse(TDevice& dev, dev_t device, std::string_view bytes) const;
    std::string Serialize(dev_t device, TDevice& dev) const;
    bool FolderIsOurs() const;

    const std::string FFolder;
    const std::uint64_t FLimit;
    std::function<platform::TFileTime()> FClock;
    mutable std::shared_mutex FMutex;
    std::map<dev_t, TDevice> FDevices;
    std::uint64_t FBytes = 0; // of every device, in memory
    std::int64_t FStarted;    // seconds: the moment of use
    TCounts FCounts;          // but for the hits and misses:
    std::atomic<std::uint64_t> FHits{0}, FMisses{0};
};

} // namespace tavolix::search
