#include "search/FileInfo.h"

#include "search/FileSort.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <unordered_set>

namespace tavolix::search {

using platform::TDirContents;
using platform::TDirectory;
using platform::TDirIdentity;
using platform::TWildcard;

namespace {

constexpr std::size_t kRecordChunk = 4096;
constexpr std::size_t kNameChunk = 64 * 1024;

struct TIdentityHash {
    std::size_t operator()(const TDirIdentity& id) const {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.Inode) * 0x9E3779B97F4A7C15ull ^
                                          static_cast<std::uint64_t>(id.Device));
    }
};

} // namespace

std::string TFileInfo::Path() const {
    std::string p(Dir());
    p.append(Name());
    return p;
}

std::string DirWithBackslash(std::string_view path) {
    std::string d(path);
    if (!d.empty() && d.back() != '/')
        d.push_back('/');
    return d;
}

std::int32_t FileTimeToFileDate(const platform::TFileTime& fileTime) {
    std::time_t t = static_cast<std::time_t>(fileTime.Seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return 0;
    const int year = tm.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return 0;
    const auto date = static_cast<std::uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    const auto time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return static_cast<std::int32_t>((date << 16) | time);
}

// One directory on the walk's path: its entries and how far they are done.
struct TFileInfoList::TLevel {
    TDirectory Dir;
    std::string Path; // ends in "/"
    std::string Name; // entry name in the parent
    TDirIdentity Id;
    std::vector<std::string> Subdirs;
    std::size_t Next = 0;
};

TFileInfoList::TFileInfoList() = default;
TFileInfoList::~TFileInfoList() {
    ClearFiles();
}

void TFileInfoList::ClearFiles() {
    FItems.clear();
    FItems.shrink_to_fit();
    FRecordChunks.clear();
    FRecordsInLastChunk = 0;
    FNameChunks.clear();
    FNameChunkUsed = 0;
    FDirs.clear();
}

void TFileInfoList::ChangeMask(std::string_view value) {
    FFileMask = std::string(value);
}

char* TFileInfoList::StoreName(std::string_view name) {
    if (FNameChunks.empty() || FNameChunkUsed + name.size() > kNameChunk) {
        if (name.size() > kNameChunk) {
            // Only hand-made records get here: names on disk are far shorter.
            FNameChunks.insert(FNameChunks.begin(), std::make_unique<char[]>(name.size()));
            std::memcpy(FNameChunks.front().get(), name.data(), name.size());
            return FNameChunks.front().get();
        }
        FNameChunks.push_back(std::make_unique<char[]>(kNameChunk));
        FNameChunkUsed = 0;
    }
    char* p = FNameChunks.back().get() + FNameChunkUsed;
    std::memcpy(p, name.data(), name.size());
    FNameChunkUsed += name.size();
    return p;
}

const std::string* TFileInfoList::ShareDir(std::string dirWithSlash) {
    FDirs.push_back(std::move(dirWithSlash));
    return &FDirs.back();
}

TFileInfo* TFileInfoList::AddFile(const std::string* dir, std::string_view name, std::int64_t size,
                                  std::int32_t time, std::uint32_t attr) {
    if (FRecordChunks.empty() || FRecordsInLastChunk == kRecordChunk) {
        FRecordChunks.push_back(std::make_unique<TFileInfo[]>(kRecordChunk));
        FRecordsInLastChunk = 0;
    }
    if (name.size() > 0xFFFF)
        name = name.substr(0, 0xFFFF);
    TFileInfo* r = &FRecordChunks.back()[FRecordsInLastChunk++];
    r->FDir = dir;
    r->FName = StoreName(name);
    r->FNameLength = static_cast<std::uint16_t>(name.size());
    auto dot = name.rfind('.');
    r->FExtPos = static_cast<std::uint16_t>(dot == std::string_view::npos ? name.size() : dot);
    r->Size = size;
    r->Time = time;
    r->Attr = attr;
    FItems.push_back(r);
    FFileCount += 1;
    FTotalSize += size;
    return r;
}

std::size_t TFileInfoList::MemoryUsed() const {
    std::size_t bytes = FItems.capacity() * sizeof(TFileInfo*);
    bytes += FRecordChunks.size() * kRecordChunk * sizeof(TFileInfo);
    bytes += FNameChunks.size() * kNameChunk;
    for (const auto& d : FDirs)
        bytes += sizeof(std::string) + (d.capacity() > 15 ? d.capacity() + 1 : 0);
    return bytes;
}

void TFileInfoList::SearchTree(const std::string& baseDir, TSearchProgress* progress) {
    FFileCount = 0;
    FTotalSize = 0;
    FStats = {};
    FMask = std::make_unique<TWildcard>(FFileMask);
    WalkDirectory(baseDir, progress);
    TDirectory::FlushDeferredCloses();
    SortFiles();
}

bool TFileInfoList::ScanDirectory(TLevel& level) {
    if (!level.Dir.Read(*FMask, FScratch)) {
        ++FStats.Unreadable;
        return false;
    }
    ++FStats.DirectoriesRead;
    if (FScratch.FileCount() > 0) {
        const std::string* dir = ShareDir(level.Path);
        for (std::size_t i = 0; i < FScratch.FileCount(); ++i) {
            const auto& f = FScratch.File(i);
            AddFile(dir, FScratch.FileName(i), f.Size, FileTimeToFileDate(f.WriteTime), f.Attr);
        }
    }
    level.Subdirs = FScratch.Subdirs();
    level.Next = 0;
    return true;
}

// Reopens an ancestor whose descriptor was given back, one component at a
// time from the nearest one still open, checking it is still the same. The
// levels just above stay open for the way back up, within the limit: the
// way down may be thousands of levels long, more than the process may open.
bool TFileInfoList::ReopenLevel(std::vector<TLevel>& stack, std::size_t i) {
    std::size_t j = i;
    while (j > 0 && !stack[j].Dir.IsOpen())
        --j;
    std::size_t open = 0;
    for (std::size_t k = 0; k <= i; ++k)
        open += stack[k].Dir.IsOpen() ? 1 : 0;
    std::size_t shallowest = 1;
    for (std::size_t k = j + 1; k <= i; ++k) {
        TDirectory d = stack[k - 1].Dir.OpenChild(stack[k].Name);
        if (!d.IsOpen() || !(d.Identity() == stack[k].Id))
            return false;
        stack[k].Dir = std::move(d);
        for (++open; open > FOpenLimit && shallowest < k; ++shallowest) {
            if (stack[shallowest].Dir.IsOpen()) {
                stack[shallowest].Dir.CloseDeferred();
                --open;
            }
        }
    }
    return stack[i].Dir.IsOpen();
}

void TFileInfoList::WalkDirectory(const std::string& dir, TSearchProgress* progress) {
    std::vector<TLevel> stack;
    std::unordered_set<TDirIdentity, TIdentityHash> onPath;
    std::size_t open = 0;

    TLevel root;
    root.Dir = TDirectory::Open(dir);
    if (!root.Dir.IsOpen()) {
        ++FStats.Unreadable;
        return;
    }
    if (root.Dir.IsPseudoFileSystem()) {
        ++FStats.PseudoSkipped;
        return;
    }
    root.Path = DirWithBackslash(dir);
    root.Id = root.Dir.Identity();
    if (!ScanDirectory(root))
        return;
    onPath.insert(root.Id);
    stack.push_back(std::move(root));
    open = 1;

    while (!stack.empty()) {
        if (progress && progress->StopRequested()) {
            FStats.Stopped = true;
            for (TLevel& l : stack)
                l.Dir.CloseDeferred();
            return;
        }
        const std::size_t top = stack.size() - 1;
        TLevel& level = stack[top];
        if (level.Next >= level.Subdirs.size()) {
            if (level.Dir.IsOpen())
                --open;
            level.Dir.CloseDeferred();
            onPath.erase(level.Id);
            stack.pop_back();
            if (!stack.empty() && progress)
                progress->Yield();
            continue;
        }
        const std::string name = level.Subdirs[level.Next++];
        if (progress)
            progress->EnteringDirectory(level.Path, name, FFileCount);
        if (name.empty() || name[0] == '.')
            continue;

        if (!level.Dir.IsOpen()) {
            if (!ReopenLevel(stack, top)) {
                level.Next = level.Subdirs.size(); // moved or removed meanwhile
                continue;
            }
            open = 0;
            for (const auto& l : stack)
                open += l.Dir.IsOpen() ? 1 : 0;
        }
        TLevel child;
        child.Dir = level.Dir.OpenChild(name);
        bool entered = false;
        if (!child.Dir.IsOpen()) {
            ++FStats.Unreadable;
        } else if (onPath.count(child.Dir.Identity()) != 0) {
            ++FStats.LoopsAvoided;
        } else if (child.Dir.Identity().Device != level.Id.Device && child.Dir.IsPseudoFileSystem()) {
            ++FStats.PseudoSkipped;
        } else {
            child.Name = name;
            child.Path = level.Path + name + "/";
            child.Id = child.Dir.Identity();
            entered = ScanDirectory(child);
        }
        if (!entered) {
            if (progress)
                progress->Yield();
            continue;
        }
        // A level without further subdirectories needs no descriptor; others
        // keep theirs until too many are open, shallowest first given back.
        if (level.Next >= level.Subdirs.size() && level.Dir.IsOpen() && top > 0) {
            level.Dir.CloseDeferred();
            --open;
        }
        onPath.insert(child.Id);
        stack.push_back(std::move(child));
        ++open;
        for (std::size_t k = 1; open > FOpenLimit && k + 1 < stack.size(); ++k) {
            if (stack[k].Dir.IsOpen()) {
                stack[k].Dir.CloseDeferred();
                --open;
            }
        }
    }
}

void TFileInfoList::SortFiles() {
    SortFileInfos(FItems, FSortOrder);
}

void TFileInfoList::ChangeSortOrder(TSortOrder value) {
    if (value == FSortOrder)
        return;
    FSortOrder = value;
    SortFiles();
}

} // namespace tavolix::search
