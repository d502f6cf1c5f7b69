#include "pages/PathFunctions.h"

#include <gtest/gtest.h>

using namespace tavolix::pages;
using tavolix::platform::TMountTable;

namespace {

const char* kMountInfo = "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                         "2 1 0:50 / /mnt/nas rw - cifs //srv/photos rw\n"
                         "3 2 8:33 / /mnt/nas/usb rw - ext4 /dev/sdc1 rw\n"
                         "4 1 0:51 / /net/home rw - nfs4 fileserver:/export/home rw\n"
                         "5 1 0:52 / /mnt/my\\040share rw - cifs //srv/my\\040share rw\n"
                         "6 1 0:53 / /mnt/nine rw - 9p hostshare rw\n";

} // namespace

TEST(PathFunctions, BackSlashFolderNameAndExtension) {
    EXPECT_EQ(AddBackSlash("/"), "/");
    EXPECT_EQ(AddBackSlash("/web"), "/web/");
    EXPECT_EQ(AddBackSlash("/web/"), "/web/");
    EXPECT_EQ(AddBackSlash("/日本"), "/日本/");

    struct Case {
        const char *Path, *Folder, *Name, *Ext;
    } cases[] = {
        {"/web/index.html", "/web", "index.html", ".html"},
        {"/index.html", "/", "index.html", ".html"},
        {"index.html", "", "index.html", ".html"},
        {"/a.d/archive.tar.gz", "/a.d", "archive.tar.gz", ".gz"},
        {"/a.d/noext", "/a.d", "noext", ""},
        {"/w/name.", "/w", "name.", "."},
        {"/w/.hidden", "/w", ".hidden", ".hidden"},
        {"/写真/猫 #1.GIF", "/写真", "猫 #1.GIF", ".GIF"},
        {"/w/a:b.gif", "/w", "a:b.gif", ".gif"}, // ":" is an ordinary character here
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileFolder(c.Path), c.Folder) << c.Path;
        EXPECT_EQ(NamePart(c.Path), c.Name) << c.Path;
        EXPECT_EQ(ExtensionOf(c.Path), c.Ext) << c.Path;
    }
}

TEST(PathFunctions, RelativeLink) {
    struct Case {
        const char *Page, *File, *Link;
    } cases[] = {
        {"/web/", "/web/a.gif", "a.gif"},
        {"/web/", "/web/img/cat/a.gif", "img/cat/a.gif"},
        {"/web/pages/", "/web/img/a.gif", "../img/a.gif"},
        {"/web/pages/deep/", "/web/img/a.gif", "../../img/a.gif"},
        {"/web/pages/", "/web/pagesold/a.gif", "../pagesold/a.gif"}, // cut at the last common "/"
        {"/mnt/d/out/", "/mnt/c/pics/a.gif", "../../c/pics/a.gif"},  // another volume
        {"/out/", "/pics/a.gif", "../pics/a.gif"},                   // only the root in common
        {"/Web/", "/web/a.gif", "../web/a.gif"},                     // case counts
        {"/ペ/", "/ポ/a.gif", "../ポ/a.gif"},                        // characters sharing lead bytes
        {"/web/pages/", "/web/pag", "../pag"},                       // a file named like the folder's start
        {"/web/pages/deep/", "/web/pages", "../../pages"},
        {"", "/web/a.gif", "/web/a.gif"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RelativeLink(c.Page, c.File), c.Link) << c.Page << " -> " << c.File;
}

TEST(PathFunctions, NetworkNamesComeFromThePathsOwnVolume) {
    auto table = TMountTable::FromText(kMountInfo);
    struct Case {
        const char *Path, *Net;
    } cases[] = {
        {"/mnt/nas/2nd/a.gif", "//srv/photos/2nd/a.gif"},
        {"/mnt/nas", "//srv/photos"},
        {"/net/home/u/x y.html", "//fileserver/export/home/u/x y.html"},
        {"/mnt/my share/a", "//srv/my share/a"},
        {"/mnt/nas/usb/a.gif", "/mnt/nas/usb/a.gif"}, // a local disk inside the share: unchanged
        {"/home/u/a.gif", "/home/u/a.gif"},
        {"/mnt/nine/a.gif", "/mnt/nine/a.gif"}, // network, but no share name known
    };
    for (const auto& c : cases)
        EXPECT_EQ(NetFileName(c.Path, table), c.Net) << c.Path;
    EXPECT_EQ(NetFolderName("/mnt/nas", table), "//srv/photos/");
    EXPECT_EQ(NetFolderName("/mnt/nas/", table), "//srv/photos/");
    EXPECT_EQ(NetFolderName("/mnt/nas/2nd", table), "//srv/photos/2nd/");
    EXPECT_EQ(NetFolderName("/home/u", table), "/home/u/");

    auto rootShare = TMountTable::FromText("1 0 0:50 / / rw - nfs srv:/roots/a rw\n");
    EXPECT_EQ(NetFileName("/etc/x", rootShare), "//srv/roots/a/etc/x");
    EXPECT_EQ(NetFolderName("/", rootShare), "//srv/roots/a/");
}

TEST(PathFunctions, NetworkNamesMapBackToTheirMountPoints) {
    auto table = TMountTable::FromText(kMountInfo);
    for (const char* path : {"/mnt/nas/2nd/a.gif", "/mnt/nas", "/net/home/u/x y.html", "/mnt/my share/a"})
        EXPECT_EQ(LocalFileName(NetFileName(path, table), table), path);
    EXPECT_EQ(LocalFileName("//srv/photosX/a", table), "//srv/photosX/a");
    EXPECT_EQ(LocalFileName("//other/share/a", table), "//other/share/a");
    EXPECT_EQ(LocalFileName("/home/u/a", table), "/home/u/a");
}
