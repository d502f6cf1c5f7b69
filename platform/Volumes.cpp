#include "platform/Volumes.h"

#include "platform/AtomicFile.h"
#include "platform/Directory.h"
#include "platform/LeftBehind.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::platform {

namespace {

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

// Mount table fields write blank, tab, newline and backslash as \ooo.
std::string UnescapeOctal(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && IsOctal(s[i + 1]) && IsOctal(s[i + 2]) && IsOctal(s[i + 3])) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// udev writes the unsafe bytes of a label as \xHH.
std::string UnescapeUdev(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && HexValue(s[i + 2]) >= 0 &&
            HexValue(s[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 2]) * 16 + HexValue(s[i + 3]));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        std::size_t end = line.find(' ', pos);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > pos)
            fields.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

std::string RealPath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// Real device path -> label, from the links of the by-label folder.
std::map<std::string, std::string> LabelsIn(const std::string& labelDir) {
    std::map<std::string, std::string> labels;
    if (labelDir.empty())
        return labels;
    DIR* dir = opendir(labelDir.c_str());
    if (!dir)
        return labels;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string device = RealPath(labelDir + "/" + name);
        if (!device.empty())
            labels.emplace(device, UnescapeUdev(name));
    }
    closedir(dir);
    return labels;
}

std::string LabelFrom(const std::map<std::string, std::string>& labels, const std::string& source) {
    if (source.empty() || source.front() != '/')
        return {};
    std::string device = RealPath(source);
    auto it = labels.find(device.empty() ? source : device);
    return it == labels.end() ? std::string() : it->second;
}

bool StartsAtSlash(std::string_view path, std::string_view prefix) {
    return path.starts_with(prefix) && (path.size() == prefix.size() || path[prefix.size()] == '/');
}

// The network name of what a mount shows: the source's share, and below it
// the mount's root inside that file system (a bind mount of a subfolder).
// A source that names a folder below the share (//host/share/sub) may come
// with that folder as its root (some clients report it so): the folder then
// counts once. The share's own name is no such folder: a subfolder named
// like the share is still below it.
std::string ShareOfMount(std::string_view source, std::string_view root) {
    std::string share = ShareNameOf(source);
    while (root.size() > 1 && root.back() == '/')
        root.remove_suffix(1);
    if (share.empty() || root.empty() || root == "/")
        return share;
    // Built whole, not by insert(0, …): GCC 12 misreads that as an overlapping copy.
    std::string rel = root.front() == '/' ? std::string(root) : "/" + std::string(root);
    const std::size_t host = share.find('/', 2);
    const std::size_t name = host == std::string::npos ? std::string::npos : share.find('/', host + 1);
    if (name != std::string::npos && StartsAtSlash(rel, std::string_view(share).substr(name)))
        rel.erase(0, share.size() - name);
    return share + rel;
}

bool PrefixesAtSlash(std::string_view mountPoint, std::string_view path) {
    if (mountPoint == "/")
        return !path.empty() && path.front() == '/';
    return path.starts_with(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

} // namespace

bool IsNetworkFileSystemType(std::string_view t) {
    static constexpr std::string_view kNetwork[] = {
        "cifs",         "smb3",           "smbfs",       "nfs",           "nfs4",           "9p",
        "ceph",         "glusterfs",      "davfs",       "afs",           "coda",           "lustre",
        "ncpfs",        "orangefs",       "beegfs",      "fuse.sshfs",    "fuse.glusterfs", "fuse.davfs",
        "fuse.davfs2",  "fuse.ceph-fuse", "fuse.rclone", "fuse.s3fs",     "fuse.curlftpfs", "fuse.smbnetfs",
        "fuse.gcsfuse", "fuse.goofys",    "fuse.mfs",    "fuse.lizardfs", "fuse.juicefs",   "fuse.httpdirfs",
    };
    for (auto n : kNetwork)
        if (t == n)
            return true;
    return false;
}

bool MayStopAnswering(const TVolume& volume) {
    return volume.Network || volume.FsType.starts_with("fuse"); // fuse, fuseblk, fuse.*
}

std::string ShareNameOf(std::string_view source) {
    std::string s(source);
    if (s.starts_with("\\\\"))
        for (char& c : s)
            if (c == '\\')
                c = '/';
    // A URL: keep what follows the scheme.
    if (auto sep = s.find("://"); sep != std::string::npos && sep > 0 && s.find_first_of(":/") == sep)
        s.erase(0, sep + 1);

    std::string host, path;
    if (s.starts_with("//")) {
        auto slash = s.find('/', 2);
        host = s.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        path = slash == std::string::npos ? std::string() : s.substr(slash);
    } else if (s.starts_with("[")) {
        auto close = s.find(']');
        if (close == std::string::npos || close + 1 >= s.size() || s[close + 1] != ':')
            return {};
        host = s.substr(0, close + 1);
        path = s.substr(close + 2);
    } else if (s.find(',') != std::string::npos) {
        // A list of servers ("mon1:6789,mon2:6789:/path"): the first one names it.
        auto end = s.find_first_of(":,");
        host = s.substr(0, end);
        auto colonSlash = s.find(":/");
        path = colonSlash == std::string::npos ? std::string() : s.substr(colonSlash + 1);
    } else {
        auto colon = s.find(':');
        if (colon == std::string::npos)
            return {};
        host = s.substr(0, colon);
        path = s.substr(colon + 1);
    }
    if (auto at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    if (host.empty())
        return {};
    if (!path.empty() && path.front() != '/')
        path = "/" + path;
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return "//" + host + path;
}

std::string VolumeLabelOf(const std::string& source, const std::string& labelDir) {
    return LabelFrom(LabelsIn(labelDir), source);
}

std::vector<TVolume> ParseMountInfo(std::string_view text, const std::string& labelDir) {
    const auto labels = LabelsIn(labelDir);
    std::vector<TVolume> volumes;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? text.size() - pos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;

        auto f = SplitFields(line);
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (f.size() < 6 || dash + 2 >= f.size())
            continue;
        TVolume v;
        v.MountPoint = UnescapeOctal(f[4]);
        v.FsType = UnescapeOctal(f[dash + 1]);
        v.Source = UnescapeOctal(f[dash + 2]);
        if (v.MountPoint.empty() || v.MountPoint.front() != '/' || IsPseudoFileSystemType(v.FsType))
            continue;
        v.Network = IsNetworkFileSystemType(v.FsType);
        // A label is looked up by resolving the source, a device; a FUSE source
        // is any name its server chose, maybe a file on a share that no longer
        // answers, and is left alone.
        if (v.Network)
            v.Share = ShareOfMount(v.Source, UnescapeOctal(f[3]));
        else if (!v.FsType.starts_with("fuse."))
            v.Label = LabelFrom(labels, v.Source);
        std::erase_if(volumes, [&](const TVolume& o) { return o.MountPoint == v.MountPoint; });
        volumes.push_back(std::move(v));
    }
    return volumes;
}

TMountTable TMountTable::FromText(std::string_view mountinfo, const std::string& labelDir) {
    return TMountTable(ParseMountInfo(mountinfo, labelDir));
}

TMountTable TMountTable::System() {
    std::string text;
    if (ReadWholeFile("/proc/self/mountinfo", text))
        return {};
    return FromText(text, "/dev/disk/by-label");
}

const TVolume* TMountTable::VolumeOf(std::string_view path) const {
    const TVolume* best = nullptr;
    for (const auto& v : FVolumes)
        if (PrefixesAtSlash(v.MountPoint, path) && (!best || v.MountPoint.size() > best->MountPoint.size()))
            best = &v;
    return best;
}

bool TMountTable::IsRemote(std::string_view path) const {
    const TVolume* v = VolumeOf(path);
    return v && v->Network;
}

bool TMountTable::LeadsToVolumeThatMayStopAnswering(std::string_view path) const {
    auto mayHold = [this](std::string_view at) {
        const TVolume* v = VolumeOf(at);
        // An automount point may reach out to a server when entered.
        return v && (MayStopAnswering(*v) || v->FsType == "autofs");
    };
    if (path.empty() || path.front() != '/')
        return mayHold(path);
    // The kernel gives up after as many links (ELOOP): so does the open.
    constexpr int kMaxLinks = 40;
    int links = 0;
    std::string done;             // resolved so far, without links; "" is the root
    std::string rest(path);       // still to resolve
    for (std::size_t pos = 0;;) { // rest[pos..] is what is left
        while (pos < rest.size() && rest[pos] == '/')
            ++pos;
        if (pos >= rest.size())
            break;
        const std::size_t end = std::min(rest.find('/', pos), rest.size());
        const std::string_view name(rest.data() + pos, end - pos);
        pos = end;
        if (name == ".")
            continue;
        if (name == "..") {
            done.erase(std::min(done.rfind('/'), done.size()));
            continue;
        }
        std::string next = done + "/" + std::string(name);
        if (mayHold(next))
            return true;
        struct stat st;
        // Missing, or no folder where one is needed: the open fails here at once.
        if (::lstat(next.c_str(), &st) != 0)
            return false;
        if (!S_ISLNK(st.st_mode)) {
            done = std::move(next);
            continue;
        }
        if (++links > kMaxLinks)
            return false;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target)
            return false;
        if (target[0] == '/')
            done.clear();
        rest = std::string(target, static_cast<std::size_t>(n)) + "/" + rest.substr(pos);
        pos = 0;
    }
    return mayHold(done.empty() ? "/" : done);
}

std::string VolumeEntryText(const TVolume& volume) {
    if (volume.Network && !volume.Share.empty())
        return volume.MountPoint + " " + volume.Share;
    if (!volume.Label.empty())
        return volume.MountPoint + " [" + volume.Label + "]";
    return volume.MountPoint;
}

bool IsNetworkEntryText(std::string_view entryText, std::string_view mountPoint) {
    return entryText.starts_with(mountPoint) && entryText.substr(mountPoint.size()).starts_with(" //");
}

} // namespace tavolix::platform

namespace tavolix::platform {

namespace {

bool IsInternalFileSystemType(std::string_view t) {
    static constexpr std::string_view kInternal[] = {
        "tmpfs",
        "ramfs",
        "autofs",
        "squashfs",
        "overlay",
        "aufs",
        "fuse.portal",
        "fuse.gvfsd-fuse",
        "fuse.snapfuse",
        "fuse.lxcfs",
        "fuse.xdg-document-portal",
        "nsfs",
        "zfs_snapshot",
        "iso9660_snapshot",
        "rootfs",
        "devfs",
        "kernfs",
    };
    for (auto n : kInternal)
        if (t == n)
            return true;
    return IsPseudoFileSystemType(t);
}

bool Under(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

} // namespace

bool IsShownAsDrive(const TVolume& v, std::string_view home) {
    const std::string_view path = v.MountPoint;
    if (path == "/")
        return true;
    if (path.find("/.") != std::string_view::npos)
        return false;
    if (v.Network)
        return !Under(path, "/run") && !Under(path, "/proc") && !Under(path, "/sys");
    if (IsInternalFileSystemType(v.FsType) || (v.FsType.starts_with("fuse.") && path.starts_with("/run/")))
        return false;
    if (path == "/home")
        return true;
    if (Under(path, "/media") || Under(path, "/run/media") || Under(path, "/mnt"))
        return true;
    while (!home.empty() && home.back() == '/')
        home.remove_suffix(1);
    return !home.empty() && Under(path, home);
}

bool PathAnswers(const std::string& path, int timeoutMs, std::function<bool(const std::string&)> probe) {
    if (!probe)
        probe = [](const std::string& p) {
            struct stat st;
            return ::stat(p.c_str(), &st) == 0;
        };
    return AskPath(path, timeoutMs, std::move(probe)) == TPathAnswer::Yes;
}

TPathAnswer AskPath(const std::string& path, int timeoutMs, std::function<bool(const std::string&)> probe) {
    const std::optional<bool> ok = RunWithin<bool>(std::chrono::milliseconds(timeoutMs),
                                                   [path, probe = std::move(probe)] { return probe(path); });
    if (!ok)
        return TPathAnswer::NoAnswer;
    return *ok ? TPathAnswer::Yes : TPathAnswer::No;
}

} // namespace tavolix::platform
