#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::platform {

// One mounted volume: what plays a drive's role here.
struct TVolume {
    std::string MountPoint; // unescaped, no trailing "/" (except "/")
    std::string FsType;     // e.g. "ext4", "cifs", "fuse.sshfs"
    std::string Source;     // the mount source, unescaped
    std::string Label;      // a local volume's label, or empty
    std::string Share;      // a network volume's name "//host/share[/folder]", or empty
    bool Network = false;   // on a network file system
};

// True for the file system types that reach another machine: cifs, smb3,
// nfs, nfs4, 9p, ceph, glusterfs, davfs, afs, fuse.sshfs and the other fuse
// network clients.
bool IsNetworkFileSystemType(std::string_view fsType);

// A volume whose reads may never come back: a network share, or a FUSE
// daemon, which may stop answering as a server may.
bool MayStopAnswering(const TVolume& volume);

// The share name of a network mount in the form "//host/share":
//   "//host/share" (cifs) and "\\host\share"   -> "//host/share"
//   "host:/export" (nfs, glusterfs)             -> "//host/export"
//   "user@host:/path", "host:path" (sshfs)     -> "//host/path"
//   "[::1]:/export"                             -> "//[::1]/export"
//   "mon1:6789,mon2:6789:/path" (ceph)          -> "//mon1/path"
//   "https://host/path" (davfs)                 -> "//host/path"
// A trailing "/" is dropped; a source naming no host gives "".
std::string ShareNameOf(std::string_view source);

// The mounted volumes of a mount table in /proc/self/mountinfo form, kernel
// pseudo file systems left out. Of several mounts on one mount point the last
// (the visible one) counts. A network volume's share name includes the
// mount's root folder when it is not the share's own (a bind mount). Labels are looked up in `labelDir` (the
// udev by-label links) when it is not empty.
std::vector<TVolume> ParseMountInfo(std::string_view mountinfo, const std::string& labelDir = {});

// The label of the device `source` from the symlinks in `labelDir`, or "".
std::string VolumeLabelOf(const std::string& source, const std::string& labelDir);

// The mounted volumes of this process.
class TMountTable {
public:
    TMountTable() = default;
    explicit TMountTable(std::vector<TVolume> volumes) : FVolumes(std::move(volumes)) {}
    // From /proc/self/mountinfo and /dev/disk/by-label; empty when unreadable.
    static TMountTable System();
    static TMountTable FromText(std::string_view mountinfo, const std::string& labelDir = {});

    const std::vector<TVolume>& Volumes() const { return FVolumes; }
    // The volume with the longest mount point that prefixes `path` at a "/"
    // boundary, or nullptr. The path is taken as written (no symlinks resolved).
    const TVolume* VolumeOf(std::string_view path) const;
    // True when `path` lies on a network volume.
    bool IsRemote(std::string_view path) const;
    // True when opening `path` may wait on a volume that may stop answering
    // (MayStopAnswering, or one mounted on demand): the volume where its
    // links lead, not the one where they stand. The links are followed a
    // component at a time, as the kernel does; a component is looked at
    // (lstat, readlink) only when its volume answers, so that a link on one
    // that may not counts as leading there. A relative path is taken as
    // written.
    bool LeadsToVolumeThatMayStopAnswering(std::string_view path) const;

private:
    std::vector<TVolume> FVolumes;
};

// The drive selector's entry for a volume: the mount point, then " [label]"
// for a local volume with a label (the mount point alone without one), or
// " //host/share" for a network volume with a share name.
std::string VolumeEntryText(const TVolume& volume);

// True when the entry text shows a share name: " //" right after the mount
// point (a label can't start that way: it is in brackets).
bool IsNetworkEntryText(std::string_view entryText, std::string_view mountPoint);

} // namespace tavolix::platform

namespace tavolix::platform {

// Whether a volume is one a person knows as a drive: the root, a separate
// /home, removable and user mounts under /media, /run/media and /mnt, mounts
// in the user's home (`home`, e.g. sshfs), and network shares. Left out:
// internal file systems (tmpfs, autofs, squashfs of snaps, overlays, portals
// and the like), system places (/boot, /var, /run, /snap...) and anything in
// a hidden folder. The rule follows GLib's g_unix_mount_guess_should_display
// (gio/gunixmounts.c), with the root and network shares added, and never
// touches the volume itself: a dead mount can't hold it up.
bool IsShownAsDrive(const TVolume& volume, std::string_view home);

// True when `path` answers a stat within `timeoutMs`. The stat runs on a
// thread of its own, which is left behind when the volume doesn't answer;
// `probe` replaces stat for tests (returns whether it succeeded).
bool PathAnswers(const std::string& path, int timeoutMs, std::function<bool(const std::string&)> probe = {});

// What `question` says of `path`, asked on a thread of its own as
// PathAnswers asks: Yes, No, or NoAnswer when it hasn't answered within
// `timeoutMs` (the thread is then left behind, see LeftBehind.h) or no
// thread could be started.
enum class TPathAnswer { Yes, No, NoAnswer };
TPathAnswer AskPath(const std::string& path, int timeoutMs, std::function<bool(const std::string&)> question);

} // namespace tavolix::platform
