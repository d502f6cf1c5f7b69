#pragma once

#include "platform/FileTime.h"
#include "platform/Wildcard.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace tavolix::platform {

struct TFileFilter;

// Attribute bits, mapped from POSIX:
//   faDirectory  the entry is a directory (a symlink to one counts as one);
//   faReadOnly   the owner has no write permission;
//   faHidden     the name begins with ".";
//   faSysFile    neither a regular file nor a directory (device, fifo,
//                socket, a dangling symlink);
//   faArchive    never set: there is no archive bit here;
//   faLink       the entry is a symbolic link (the rest, its size and time
//                are of what it leads to, or of the link when that is gone).
enum : std::uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
    faLink = 0x400,
};

// One entry of a directory, the way the find-first/find-next functions deliver it.
struct TFindData {
    std::string Name;
    std::uint32_t Attr = 0;
    std::int64_t Size = 0;
    TFileTime WriteTime;
    bool IsDirectory() const { return (Attr & faDirectory) != 0; }
};

std::uint32_t AttrFromStat(std::string_view name, const struct stat& st);

// Identity of a directory (for loop detection across symlinks) or a file.
struct TDirIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TDirIdentity&) const = default;
};

// What one pass over a directory yields: the non-directories whose names match
// the mask (with their attributes, size and time), and every directory entry
// ("." and ".." included) in enumeration order. Names live in one buffer.
class TDirContents {
public:
    struct TFile {
        std::uint32_t NameOffset, NameLength;
        std::uint32_t Attr;
        std::int64_t Size;
        TFileTime WriteTime;
        TDirIdentity Id; // of what a link leads to; zero when it could not be looked at
    };
    void Clear();
    // Adds a file as a listing would: for a walk made up by a tool or a
    // benchmark.
    void AddFile(std::string_view name, std::int64_t size, TFileTime writeTime, std::uint32_t attr = 0);
    // Moves the files `which` chooses (by index) to the contents returned,
    // in their order; the others and the subdirectories stay.
    TDirContents TakeFiles(const std::function<bool(std::size_t)>& which);
    std::size_t FileCount() const { return FFiles.size(); }
    const TFile& File(std::size_t i) const { return FFiles[i]; }
    std::string_view FileName(std::size_t i) const {
        return {FNames.data() + FFiles[i].NameOffset, FFiles[i].NameLength};
    }
    const std::vector<std::string>& Subdirs() const { return FSubdirs; }
    // Whether subdirectory entry `i` is a symbolic link to a directory.
    bool SubdirIsLink(std::size_t i) const {
        return !FLinkedSubdirs.empty() && std::binary_search(FLinkedSubdirs.begin(), FLinkedSubdirs.end(),
                                                             static_cast<std::uint32_t>(i));
    }

private:
    friend class TDirectory;
    std::vector<TFile> FFiles;
    std::string FNames;
    std::vector<std::string> FSubdirs;
    std::vector<std::uint32_t> FLinkedSubdirs; // indices into FSubdirs, ascending
};

// A directory's entries as its listing gave them, "." and ".." included:
// each name (kept with a NUL after it) and its d_type, in enumeration order.
// A read can record one, and a later read of the unchanged directory can
// go over it in place of the listing.
class TDirListing {
public:
    struct TEntry {
        std::uint16_t Length; // of the name, the NUL left out
        std::uint8_t Type;    // d_type
        std::uint8_t Zero;
    };
    void Clear() {
        FNames.clear();
        FEntries.clear();
        FTooLong = false;
    }
    void Add(const char* name, std::size_t length, unsigned char type) {
        if (length > UINT16_MAX) {
            FTooLong = true;
            return;
        }
        FNames.append(name, length).push_back('\0');
        FEntries.push_back({static_cast<std::uint16_t>(length), type, 0});
    }
    // Every name fitted (else the listing is not whole).
    bool Whole() const { return !FTooLong; }
    const std::string& Names() const { return FNames; }
    const std::vector<TEntry>& Entries() const { return FEntries; }
    std::string& MutableNames() { return FNames; }
    std::vector<TEntry>& MutableEntries() { return FEntries; }

private:
    std::string FNames;
    std::vector<TEntry> FEntries;
    bool FTooLong = false;
};

// Whether a d_type is one a listing may give.
bool IsKnownEntryType(unsigned char type);

// What statfs tells of the file system a directory lies on.
struct TFileSystemInfo {
    long Type = 0;        // f_type
    std::uint64_t Id = 0; // f_fsid
};

enum class TFindWhat { All, DirectoriesOnly };

// How a pass over a directory ended. Whatever was read before a failure or a
// stop is kept, in enumeration order.
enum class TReadEnd : std::uint8_t {
    Complete,
    Failed,  // the listing broke off (or never began): Error says why
    Stopped, // the watch asked to stop
};

struct TReadResult {
    TReadEnd End = TReadEnd::Complete;
    int Error = 0; // errno of the failure, or of the last entry that could not be looked at
    // Matching entries that were listed but could not be looked at (a folder
    // that may be listed but not entered): kept with size 0 and no time.
    std::uint32_t Unexamined = 0;
    explicit operator bool() const { return End == TReadEnd::Complete; }
};

// Watches a read as it goes: a stop ends it before the next entry, and every
// few entries it hears how many matching files were read so far. Any thread.
class TReadWatch {
public:
    explicit TReadWatch(const std::atomic<bool>* stop = nullptr) : FStop(stop) {}
    virtual ~TReadWatch() = default;
    bool StopRequested() const { return FStop && FStop->load(std::memory_order_relaxed); }
    virtual void Progress(std::size_t /*files*/) {}

private:
    const std::atomic<bool>* FStop;
};

// An open directory, addressed by descriptor so that paths of any length and
// depth can be reached one component at a time. Move-only; closes itself.
class TDirectory {
public:
    TDirectory() = default;
    ~TDirectory();
    TDirectory(TDirectory&& other) noexcept;
    TDirectory& operator=(TDirectory&& other) noexcept;
    TDirectory(const TDirectory&) = delete;
    TDirectory& operator=(const TDirectory&) = delete;

    // Opens a directory by path (symlinks followed).
    static TDirectory Open(const std::string& path);
    // Opens the entry `name` of this directory (symlinks followed).
    TDirectory OpenChild(const std::string& name) const;

    bool IsOpen() const { return FFd >= 0; }
    // errno of the failed open, 0 when open.
    int Error() const { return FError; }
    void Close();
    // Closes later, together with others (a walk closes thousands).
    void CloseDeferred();
    static void FlushDeferredCloses();
    // Descriptors of this thread waiting to be closed (they still count as open).
    static std::size_t DeferredCloses();
    TDirIdentity Identity() const { return FIdentity; }
    // The later of its status and write times as it was opened: any change
    // of its entries moves it on.
    TFileTime Changed() const { return FChanged; }
    // False when statfs fails.
    bool FileSystem(TFileSystemInfo& info) const;
    // A kernel pseudo file system (proc, sysfs, ...): never searched.
    bool IsPseudoFileSystem() const;

    // One readdir pass; non-directories are stat'ed only when they match
    // the mask and the filter's extensions, and kept only when the filter
    // takes their size and time (one that can't be looked at is then left
    // out, though still counted as unexamined). Converts to false when the
    // listing did not come to its end; what was read until then stays in `out`.
    // `replay`: the directory's entries as a recorded listing has them, gone
    // over in place of the listing (each entry looked at as a listing's
    // would be); `record`: where the entries listed are recorded.
    TReadResult Read(const TWildcard& mask, TDirContents& out, TReadWatch* watch = nullptr,
                     const TFileFilter* filter = nullptr, const TDirListing* replay = nullptr,
                     TDirListing* record = nullptr);
    // Every entry matching `pattern`, each stat'ed, in enumeration order.
    bool Find(std::string_view pattern, std::vector<TFindData>& out, TFindWhat what);

private:
    static TDirectory Adopt(int fd);
    // Calls fn(name, length, d_type) for each entry until it returns false.
    template <class F> TReadResult ForEachEntry(F&& fn);

    int FFd = -1;
    void* FDir = nullptr; // DIR*, once the entries have been read
    int FError = 0;
    TDirIdentity FIdentity;
    TFileTime FChanged;
};

// The find-first/find-next stand-in: every entry of `dir` whose name matches
// `pattern`, in enumeration order ("." and ".." included, as there).
// DirectoriesOnly leaves files out without looking at them. Returns false
// when the directory can't be listed.
bool FindFiles(const std::string& dir, std::string_view pattern, std::vector<TFindData>& out,
               TFindWhat what = TFindWhat::All);

// Descriptors this process may still open: the soft RLIMIT_NOFILE less the
// ones open now.
std::size_t FreeDescriptors();

// The type of the file system mounted as `device` ("ext4"), from the mount
// table; "" when it is not there (a btrfs subvolume, say).
std::string FileSystemTypeOf(dev_t device);

// True for the file system types of the kernel's own views (proc, sysfs, ...).
bool IsPseudoFileSystemType(std::string_view fsType);
bool IsPseudoFileSystemMagic(long magic);
// True when the open file `fd` lies on one of those, or can't be looked at:
// the kernel's own files are never read as a hit's, whatever link led there
// (/proc/self/mem is the memory of the process that opens it).
bool IsKernelFile(int fd);

} // namespace tavolix::platform
