#include "TestDir.h"
#include "platform/Volumes.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>

using namespace tavolix::platform;

namespace {

// id parent dev root mount-point options [optional] - type source super-options
const char* kMountInfo = "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
                         "23 22 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
                         "24 22 0:22 / /sys rw shared:2 - sysfs sysfs rw\n"
                         "25 22 0:5 / /dev rw shared:3 - devtmpfs udev rw\n"
                         "26 25 0:23 / /dev/pts rw - devpts devpts rw\n"
                         "30 22 8:17 / /media/u/My\\040Disk rw shared:40 - vfat /dev/sdb1 rw\n"
                         "31 22 0:50 / /mnt/nas rw,relatime shared:41 - cifs //srv/photos rw,vers=3.0\n"
                         "32 31 8:33 / /mnt/nas/usb rw shared:42 - ext4 /dev/sdc1 rw\n"
                         "33 22 0:51 / /net/home rw - nfs4 fileserver:/export/home rw\n"
                         "34 22 0:52 / /home/u/remote rw - fuse.sshfs u@build.example:/srv/src rw\n"
                         "35 22 0:53 / /mnt/tab\\011and\\134back rw - tmpfs tmpfs rw\n"
                         "36 22 0:54 / /mnt/nasty rw - nfs [fe80::1]:/data/ rw\n"
                         "37 22 0:55 / /mnt/nine rw - 9p hostshare rw\n"
                         "38 22 0:56 / /tmp rw - tmpfs tmpfs rw\n"
                         "39 22 0:57 / /tmp rw - ext4 /dev/sdd1 rw\n" // mounted over the first /tmp
                         "garbage line\n"
                         "40 22 0:58 / /mnt/short rw -\n";

} // namespace

TEST(Volumes, ParsesTheMountTableLeavingOutPseudoFileSystems) {
    auto volumes = ParseMountInfo(kMountInfo);
    std::vector<std::string> points;
    for (const auto& v : volumes)
        points.push_back(v.MountPoint);
    EXPECT_EQ(points, (std::vector<std::string>{"/", "/media/u/My Disk", "/mnt/nas", "/mnt/nas/usb",
                                                "/net/home", "/home/u/remote", "/mnt/tab\tand\\back",
                                                "/mnt/nasty", "/mnt/nine", "/tmp"}));
    EXPECT_EQ(volumes.back().FsType, "ext4"); // the visible one of the two /tmp mounts
    EXPECT_EQ(volumes.back().Source, "/dev/sdd1");
}

TEST(Volumes, NetworkTypesAndShareNames) {
    struct Case {
        const char* MountPoint;
        bool Network;
        const char* Share;
    } cases[] = {
        {"/", false, ""},
        {"/mnt/nas", true, "//srv/photos"},
        {"/mnt/nas/usb", false, ""},
        {"/net/home", true, "//fileserver/export/home"},
        {"/home/u/remote", true, "//build.example/srv/src"},
        {"/mnt/nasty", true, "//[fe80::1]/data"},
        {"/mnt/nine", true, ""}, // a 9p tag names no host
    };
    auto table = TMountTable::FromText(kMountInfo);
    for (const auto& c : cases) {
        const TVolume* v = table.VolumeOf(c.MountPoint);
        ASSERT_NE(v, nullptr) << c.MountPoint;
        EXPECT_EQ(v->MountPoint, c.MountPoint);
        EXPECT_EQ(v->Network, c.Network) << c.MountPoint;
        EXPECT_EQ(v->Share, c.Share) << c.MountPoint;
    }
}

TEST(Volumes, ABindMountOfAShareFolderIsNamedByThatFolder) {
    auto table = TMountTable::FromText("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                       "2 1 0:50 /pics /mnt/p rw - cifs //srv/photos rw\n"
                                       "3 1 0:50 /pics/2026\\040a /mnt/q rw - cifs //srv/photos rw\n"
                                       "4 1 0:51 /sub /mnt/s rw - cifs //srv/photos/sub rw\n"
                                       "5 1 0:52 /sub /mnt/n rw - nfs4 fs:/export/home rw\n"
                                       "6 1 0:50 /photos /mnt/pp rw - cifs //srv/photos rw\n"
                                       "7 1 0:51 /sub/2026 /mnt/s2 rw - cifs //srv/photos/sub rw\n");
    const std::pair<const char*, const char*> cases[] = {
        {"/mnt/p/a.gif", "//srv/photos/pics"},
        {"/mnt/q/a.gif", "//srv/photos/pics/2026 a"},
        {"/mnt/s/a.gif", "//srv/photos/sub"}, // the source names it already
        {"/mnt/n/a.gif", "//fs/export/home/sub"},
        {"/mnt/pp/a.gif", "//srv/photos/photos"}, // a subfolder named like the share
        {"/mnt/s2/a.gif", "//srv/photos/sub/2026"},
    };
    for (const auto& [path, share] : cases) {
        const TVolume* v = table.VolumeOf(path);
        ASSERT_NE(v, nullptr) << path;
        EXPECT_EQ(v->Share, share) << path;
    }
}

TEST(Volumes, ShareNameForms) {
    struct Case {
        const char *Source, *Share;
    } cases[] = {
        {"//srv/photos", "//srv/photos"},
        {"//srv/photos/", "//srv/photos"},
        {"\\\\srv\\photos", "//srv/photos"},
        {"srv:/export", "//srv/export"},
        {"srv:/", "//srv"},
        {"user@host:/path/to", "//host/path/to"},
        {"host:relative/dir", "//host/relative/dir"},
        {"user@host:", "//host"},
        {"[::1]:/export", "//[::1]/export"},
        {"10.0.0.1:6789,10.0.0.2:6789:/cephfs", "//10.0.0.1/cephfs"},
        {"https://dav.example/remote.php/webdav/", "//dav.example/remote.php/webdav"},
        {"hostshare", ""},
        {":/x", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShareNameOf(c.Source), c.Share) << c.Source;
    for (const char* t : {"cifs", "smb3", "nfs", "nfs4", "fuse.sshfs", "9p", "ceph", "glusterfs",
                          "fuse.glusterfs", "davfs", "fuse.davfs"})
        EXPECT_TRUE(IsNetworkFileSystemType(t)) << t;
    for (const char* t : {"ext4", "btrfs", "tmpfs", "vfat", "fuse", "fuse.gvfsd-fuse", "overlay", "nfsd"})
        EXPECT_FALSE(IsNetworkFileSystemType(t)) << t;
}

TEST(Volumes, TheLongestMountPointAtASlashBoundaryHoldsAPath) {
    auto table = TMountTable::FromText(kMountInfo);
    struct Case {
        const char *Path, *MountPoint;
        bool Remote;
    } cases[] = {
        {"/mnt/nas/2nd/a.gif", "/mnt/nas", true},
        {"/mnt/nas", "/mnt/nas", true},
        {"/mnt/nas/usb/a.gif", "/mnt/nas/usb", false}, // a local disk mounted inside the share
        {"/mnt/nasty/x", "/mnt/nasty", true},
        {"/mnt/nas2/x", "/", false}, // "/mnt/nas" is no prefix at a "/" boundary
        {"/media/u/My Disk/a b.png", "/media/u/My Disk", false},
        {"/home/u/remote/src/main.c", "/home/u/remote", true},
        {"/home/u/remotes", "/", false},
        {"/etc/passwd", "/", false},
    };
    for (const auto& c : cases) {
        const TVolume* v = table.VolumeOf(c.Path);
        ASSERT_NE(v, nullptr) << c.Path;
        EXPECT_EQ(v->MountPoint, c.MountPoint) << c.Path;
        EXPECT_EQ(table.IsRemote(c.Path), c.Remote) << c.Path;
    }
    EXPECT_EQ(table.VolumeOf("relative/path"), nullptr);
    EXPECT_FALSE(TMountTable().IsRemote("/mnt/nas/x"));
}

TEST(Volumes, LabelsComeFromTheByLabelLinks) {
    TTestDir dir;
    dir.File("dev/sdb1");
    dir.File("dev/sda2");
    dir.Symlink("by-label/USB\\x20STICK", "../dev/sdb1");
    dir.Symlink("by-label/dangling", "../dev/none");
    const std::string table =
        "1 0 8:2 / / rw - ext4 " + dir.Path("dev/sda2") + " rw\n" + "2 1 8:17 / /media/usb rw - vfat " +
        dir.Path("dev/sdb1") + " rw\n" + "3 1 0:50 / /mnt/nas rw - cifs //srv/photos rw\n" +
        // an archive mounted by FUSE: its source is never resolved
        "4 1 0:51 / /media/arch rw - fuse.archivemount " + dir.Path("dev/sdb1") + " rw\n";
    auto volumes = ParseMountInfo(table, dir.Path("by-label"));
    ASSERT_EQ(volumes.size(), 4u);
    EXPECT_EQ(volumes[3].Label, "");
    EXPECT_EQ(volumes[0].Label, "");
    EXPECT_EQ(volumes[1].Label, "USB STICK");
    EXPECT_EQ(VolumeLabelOf(dir.Path("dev/sdb1"), dir.Path("by-label")), "USB STICK");
    EXPECT_EQ(VolumeLabelOf(dir.Path("dev/sda2"), dir.Path("by-label")), "");

    EXPECT_EQ(VolumeEntryText(volumes[0]), "/");
    EXPECT_EQ(VolumeEntryText(volumes[1]), "/media/usb [USB STICK]");
    EXPECT_EQ(VolumeEntryText(volumes[2]), "/mnt/nas //srv/photos");
}

TEST(Volumes, NetworkEntryTextIsTheShareAfterTheMountPoint) {
    TVolume nine{"/mnt/nine", "9p", "hostshare", "", "", true};
    EXPECT_EQ(VolumeEntryText(nine), "/mnt/nine"); // a share name that can't be read: like a local one
    struct Case {
        const char *Entry, *MountPoint;
        bool Network;
    } cases[] = {
        {"/mnt/nas //srv/photos", "/mnt/nas", true},
        {"/ //srv/root", "/", true},
        {"/media/usb [a//b]", "/media/usb", false}, // "//" inside a label is no share
        {"/media/usb", "/media/usb", false},
        {"/srv//x [L]", "/srv//x", false},
        {"/mnt/nas //srv/photos", "/mnt/other", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNetworkEntryText(c.Entry, c.MountPoint), c.Network) << c.Entry;
}

TEST(Volumes, TheSystemTableHasTheRoot) {
    auto table = TMountTable::System();
    const TVolume* root = table.VolumeOf("/");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->MountPoint, "/");
    for (const auto& v : table.Volumes())
        EXPECT_NE(v.FsType, "proc");
}

TEST(Volumes, OnlyWhatAPersonKnowsAsADriveIsListed) {
    // A desktop's mount table: snaps, portals, automount points, tmpfs.
    const char* desktop = "22 1 8:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                          "23 22 8:1 / /boot/efi rw - vfat /dev/nvme0n1p1 rw\n"
                          "24 22 8:3 / /home rw - ext4 /dev/nvme0n1p3 rw\n"
                          "25 22 0:30 / /run rw - tmpfs tmpfs rw\n"
                          "26 25 0:31 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                          "27 26 0:32 / /run/user/1000/doc rw - fuse.portal portal rw\n"
                          "28 26 0:33 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
                          "29 22 7:1 / /snap/core22/1380 ro - squashfs /dev/loop1 ro\n"
                          "30 22 7:2 / /snap/firefox/4173 ro - squashfs /dev/loop2 ro\n"
                          "31 22 0:34 / /mnt/backup rw - autofs systemd-1 rw\n"
                          "32 22 8:17 / /media/u/USB\\040STICK rw - vfat /dev/sda1 rw\n"
                          "33 22 8:33 / /run/media/u/Photos rw - ext4 /dev/sdb1 rw\n"
                          "34 22 8:49 / /mnt/data rw - xfs /dev/sdc1 rw\n"
                          "35 22 0:35 / /srv/nas rw - cifs //nas/share rw\n"
                          "36 24 0:36 / /home/u/remote rw - fuse.sshfs u@build:/src rw\n"
                          "37 24 0:37 / /home/u/.cache/doc rw - fuse.sshfs u@build:/x rw\n"
                          "38 22 0:38 / /var/lib/docker/overlay2/abc/merged rw - overlay overlay rw\n"
                          "39 22 0:39 / /tmp rw - tmpfs tmpfs rw\n"
                          "40 22 0:40 / /dev/shm rw - tmpfs tmpfs rw\n"
                          "41 22 0:41 / /mnt/.hidden rw - ext4 /dev/sdd1 rw\n";
    std::vector<std::string> shown;
    for (const TVolume& v : ParseMountInfo(desktop))
        if (IsShownAsDrive(v, "/home/u/"))
            shown.push_back(v.MountPoint);
    EXPECT_EQ(shown, (std::vector<std::string>{"/", "/home", "/media/u/USB STICK", "/run/media/u/Photos",
                                               "/mnt/data", "/srv/nas", "/home/u/remote"}));
}

TEST(Volumes, AVolumeThatDoesNotAnswerIsReportedNotWaitedFor) {
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> gate = release->get_future().share();
    EXPECT_FALSE(PathAnswers("/mnt/dead", 50, [gate](const std::string&) {
        gate.wait();
        return true;
    }));
    release->set_value(); // the probe left behind ends
    EXPECT_TRUE(PathAnswers("/", 10000));
    EXPECT_FALSE(PathAnswers("/no/such/place", 10000));
}
