// Writes a page over a tree of awkwardly named files and has a real browser
// (headless Chromium through chromedriver) check it: over file:// and over a
// loopback HTTP server, every image loads and every link reaches its file.
#include "TestDir.h"
#ifdef TAVOLIX_THUMBNAILER
#include "TestPictures.h"
#endif
#include "pages/PageThumbnails.h"
#include "pages/PageWriter.h"
#include "pages/PathFunctions.h"
#include "words/CoreWords.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavolix::pages;

namespace {

std::string FromHex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return out;
}

// 1 x 1 GIF and 2 x 2 JPEG.
const std::string kGif =
    FromHex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b");
const std::string kJpeg = FromHex("ffd8ffe000104a46494600010100000100010000ffdb004300100b0c0e0c0a100e0d0e1211"
                                  "101318281a181616183123251d283a333d3c"
                                  "3933383740485c4e404457453738506d51575f626768673e4d71797064785c656763ffdb00"
                                  "43011112121815182f1a1a2f634238426363"
                                  "63636363636363636363636363636363636363636363636363636363636363636363636363"
                                  "6363636363636363636363ffc00011080002"
                                  "000203012200021101031101ffc4001500010100000000000000000000000000000005ffc4"
                                  "0014100100000000000000000000000000000000"
                                  "ffc4001501010100000000000000000000000000000506ffc4001411010000000000000000"
                                  "0000000000000000ffda000c03010002110311"
                                  "003f008a00b5e3ffd9");

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

struct THit {
    std::string Rel;          // below the tree's root
    bool Image;               // inline: a picture, or a thumbnail
    std::string Network = {}; // the link a network-mode page gives it, if not relative
    std::string Bytes = {};   // the file's, when not the small GIF or JPEG
    bool Double = false;      // a thumbnail with a 2x file
};

// Writes the page of the hits (with thumbnails when a pool is given) and has
// the browser check it.
void CheckInBrowser(TTestDir& tree, TPageInput in, const std::vector<THit>& hits,
                    tavolix::thumbs::TThumbnailPool* pool = nullptr) {
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const auto& h = hits[i];
        std::string ext = ExtensionOf(h.Rel);
        tree.File(h.Rel, !h.Bytes.empty() ? h.Bytes
                         : h.Image        ? (ext == ".gif" || ext == ".GIF" ? kGif : kJpeg)
                                          : "contents of " + h.Rel + " #" + std::to_string(i));
        in.Items.push_back({tree.Path(h.Rel), std::to_string(i + 1), "26/12/08"});
        in.TotalSize += static_cast<std::int64_t>(i + 1);
    }
    if (pool) {
        TPageProgress progress;
        ASSERT_FALSE(WriteThumbnailPage(in, *pool, progress));
    } else {
        ASSERT_FALSE(WritePage(in));
    }

    const std::string heading = in.Network ? NetFolderName(in.BaseDir, in.Volumes) : AddBackSlash(in.BaseDir);
    std::string json = "{\"root\": " + JsonString(tree.Root()) +
                       ", \"page\": " + JsonString(in.PageFileName.substr(tree.Root().size() + 1)) +
                       ", \"thumbnails\": " + (pool ? "true" : "false");
    json += ", \"title\": " + JsonString("ＴＡＶＯＬＩＸ：( " + in.CreationText + " ) 編集結果");
    json += ", \"headings\": [" + JsonString("検索対象ディレクトリ = " + heading) + ", " +
            JsonString("指定検索キー  =  " + in.Key) + "]";
    json += ", \"items\": [";
    for (std::size_t i = 0; i < hits.size(); ++i) {
        json += i ? ", " : "";
        json += "{\"rel\": " + JsonString(hits[i].Rel) +
                ", \"image\": " + (hits[i].Image ? "true" : "false") +
                ", \"full\": " + JsonString(tree.Path(hits[i].Rel)) +
                ", \"name\": " + JsonString(NamePart(hits[i].Rel)) +
                ", \"network\": " + JsonString(hits[i].Network) +
                ", \"double\": " + (hits[i].Double ? "true" : "false") + "}";
    }
    json += "]}";
    tree.File("expect.json", json);

    const std::string command =
        std::string(TAVOLIX_PYTHON3) + " '" + TAVOLIX_BROWSER_CHECK + "' '" + tree.Path("expect.json") + "'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 0) << command;
}

TPageInput PageIn(const TTestDir& tree) {
    TPageInput in;
    in.PageFileName = tree.Path("site/pages/index.html");
    in.BaseDir = tree.Path("site");
    in.Key = "*.* & <テスト> \"引用\"";
    in.SortOrderName = "Name";
    in.SortDirectionName = "Down";
    in.CreationText = "2026/12/08 14:03:05";
    in.Texts = tavolix::words::PageTexts();
    return in;
}

} // namespace

TEST(BrowserPage, ImagesLoadLinksResolveAndTextReadsRight) {
    TTestDir tree;
    const std::vector<THit> hits = {
        {"site/pages/same.gif", true},
        {"site/pages/sub dir/写真 #1.jpg", true},
        {"site/pages/sub dir/deep/a%41 b.GIF", true},
        {"site/pics/q?a&b=1.jpeg", true},
        {"site/pics/quote\"lt<gt>.Jpeg", true},
        {"site/pics/日本語のファイル.png", false},
        {"site/pages/docs/100% & more #2.txt", false},
        {"site/other/no ext", false},
        {"site/other/それ?.bmp", false},
        {"site/other/'single' [x] {y} ~z+.txt", false},
    };
    CheckInBrowser(tree, PageIn(tree), hits);
}

// Files on the share keep their network links (for Windows machines reading
// the page from the share; Chromium on Linux doesn't load them); the others
// are linked relative to the page and load.
TEST(BrowserPage, NetworkModeKeepsShareLinksAndItsRelativeLinksLoad) {
    TTestDir tree;
    const std::vector<THit> hits = {
        {"site/pages/here.gif", true},
        {"site/pics/写真 #1.jpg", true},
        {"site/pics/a & b.txt", false},
        {"site/nas/photos/写真 #2.jpg", true, "file://srv/photos/photos/%E5%86%99%E7%9C%9F%20%232.jpg"},
        {"site/nas/doc 100%.txt", false, "file://srv/photos/doc%20100%25.txt"},
    };
    TPageInput in = PageIn(tree);
    in.Network = true;
    in.BaseDir = tree.Path("site/nas");
    in.Volumes =
        tavolix::platform::TMountTable::FromText("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n2 1 0:50 / " +
                                                 tree.Path("site/nas") + " rw - cifs //srv/photos rw\n");
    CheckInBrowser(tree, in, hits);
}

#ifdef TAVOLIX_THUMBNAILER
// The page with thumbnails: each picture a thumbnail from the folder beside
// the page (its 2x file on a 2x screen), linked to the picture.
TEST(BrowserPage, ThumbnailPageShowsThumbnailsLinkedToTheirPictures) {
    TTestDir tree;
    setenv("XDG_CACHE_HOME", tree.Path("cache").c_str(), 1);
    QImage alpha(300, 600, QImage::Format_ARGB32);
    alpha.fill(Qt::transparent);
    alpha.setPixel(10, 10, qRgba(0, 0, 255, 255));
    const std::vector<THit> hits = {
        {"site/pages/same.gif", true},
        {"site/pics/写真 #1 & \"q\" <x> %41.jpg",
         true,
         {},
         PictureBytes(HalvesImage(1000, 500), "jpg"),
         true},
        {"site/pics/alpha.png", true, {}, PictureBytes(alpha, "png"), true},
        {"site/pics/v.svg", true, {}, SvgPicture(50, 100), true},
        {"site/pics/w.webp", true, {}, PictureBytes(HalvesImage(64, 48), "webp")},
        {"site/pics/broken.jpg", false, {}, "not a picture"},
        {"site/pages/docs/100% & more #2.txt", false},
    };
    tavolix::thumbs::TPoolOptions options;
    options.HelperPath = TAVOLIX_THUMBNAILER;
    tavolix::thumbs::TThumbnailPool pool(options);
    TPageInput in = PageIn(tree);
    in.PageFileName = tree.Path("site/pages/写真 & <a> #1.html");
    CheckInBrowser(tree, in, hits, &pool);
    unsetenv("XDG_CACHE_HOME");
}
#endif
