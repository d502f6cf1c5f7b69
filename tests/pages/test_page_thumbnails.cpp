// The page with thumbnails, written through the real picture helper.
#include "TestDir.h"
#include "TestPictures.h"
#include "TryExpect.h"
#include "pages/PageThumbnails.h"
#include "pages/PathFunctions.h"
#include "thumbs/ThumbnailCache.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <QImage>

using namespace tavolix;
using namespace tavolix::pages;

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A picture whose JPEG stays big: noise does not compress.
QImage Noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random() | 0xFF000000u);
    return image;
}

// The names the page's thumbnails refer to, in order.
std::vector<std::string> ImageSources(const std::string& page) {
    std::vector<std::string> sources;
    for (const std::string attribute : {"SRC=\"", "srcset=\""}) {
        for (auto at = page.find(attribute); at != std::string::npos; at = page.find(attribute, at + 1)) {
            const auto from = at + attribute.size();
            std::string source = page.substr(from, page.find_first_of("\" ", from) - from);
            sources.push_back(source.substr(source.find('/') + 1));
        }
    }
    return sources;
}

class PageThumbnailsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The helpers inherit it: the cache is the test's.
        setenv("XDG_CACHE_HOME", Dir.Path("cache").c_str(), 1);
        Dir.File("pics/photo #1 & 写真.jpg", PictureBytes(HalvesImage(800, 400), "jpg"));
        Dir.File("pics/icon.png", PictureBytes(HalvesImage(40, 20), "png"));
        Dir.File("pics/v.svg", SvgPicture(50, 100));
        Dir.File("pics/broken.jpg", "not a picture");
        Dir.File("pics/notes.txt", "text");
        Dir.Dir("web");
    }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

    static thumbs::TPoolOptions Options() {
        thumbs::TPoolOptions o;
        o.HelperPath = TAVOLIX_THUMBNAILER;
        o.HelperArgs = {"--test-decoders"};
        o.BudgetMs = 5000;
        return o;
    }
    TPageInput Input(const std::vector<std::string>& rels) const {
        TPageInput in;
        in.PageFileName = Dir.Path("web/photos.html");
        in.BaseDir = Dir.Path("pics");
        in.Key = "*.*";
        in.SortOrderName = "Name";
        in.SortDirectionName = "Upword";
        in.CreationText = "2026/12/08 14:03:05";
        for (const std::string& rel : rels)
            in.Items.push_back({Dir.Path(rel), "1", "26/12/08"});
        return in;
    }
    platform::TIoResult Write(const TPageInput& in) {
        thumbs::TThumbnailPool pool(Options());
        TPageProgress progress;
        return WriteThumbnailPage(in, pool, progress);
    }

    TTestDir Dir;
};

} // namespace

TEST_F(PageThumbnailsTest, ThumbnailsGoBesideThePageAndARewriteLeavesNoOtherFile) {
    const std::vector<std::string> all = {"pics/photo #1 & 写真.jpg", "pics/icon.png", "pics/v.svg",
                                          "pics/broken.jpg", "pics/notes.txt"};
    ASSERT_FALSE(Write(Input(all)));
    const std::string page = Read(Dir.Path("web/photos.html"));
    const std::vector<std::string> sources = ImageSources(page);
    // Three pictures made; the 40 x 20 one needs no 2x file.
    EXPECT_EQ(sources.size(), 5u);
    std::set<std::string> expected(sources.begin(), sources.end());
    expected.insert(kThumbnailMarker);
    EXPECT_EQ(EntryNames(Dir.Path("web/photos.files")), expected);
    EXPECT_EQ(EntryNames(Dir.Path("web")), (std::set<std::string>{"photos.html", "photos.files"}));
    EXPECT_NE(page.find("<A HREF=\"../pics/broken.jpg\">"), std::string::npos);
    EXPECT_NE(page.find("<A HREF=\"../pics/notes.txt\">"), std::string::npos);
    EXPECT_NE(page.find("WIDTH=40 HEIGHT=20"), std::string::npos);

    // Fewer hits: their thumbnails alone are left, and nothing beside; an
    // unchanged picture's file is the last page's, taken over.
    auto inode = [&](const std::string& name) {
        struct stat st {};
        ::stat(Dir.Path("web/photos.files/" + name).c_str(), &st);
        return st.st_ino;
    };
    const std::string iconFile = sources[1];
    const ino_t iconInode = inode(iconFile);
    ASSERT_FALSE(Write(Input({"pics/icon.png"})));
    const std::vector<std::string> fewer = ImageSources(Read(Dir.Path("web/photos.html")));
    ASSERT_EQ(fewer, std::vector<std::string>{iconFile});
    EXPECT_EQ(inode(iconFile), iconInode);
    EXPECT_EQ(EntryNames(Dir.Path("web/photos.files")), (std::set<std::string>{fewer[0], kThumbnailMarker}));
    EXPECT_EQ(EntryNames(Dir.Path("web")), (std::set<std::string>{"photos.html", "photos.files"}));

    // A folder of that name that is not a page's is never replaced.
    Dir.File("web/other.files/mine.txt", "the user's");
    TPageInput other = Input({"pics/icon.png"});
    other.PageFileName = Dir.Path("web/other.html");
    const platform::TIoResult refused = Write(other);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Errno, EEXIST);
    EXPECT_EQ(EntryNames(Dir.Path("web/other.files")), std::set<std::string>{"mine.txt"});
    EXPECT_EQ(EntryNames(Dir.Path("web")),
              (std::set<std::string>{"photos.html", "photos.files", "other.files"}));
}

// The folder of thumbnails is taken as the page's only when it holds the
// page's marker and its thumbnails and nothing else; anything else stays.
TEST_F(PageThumbnailsTest, AFolderWithAnythingButThePagesOwnIsLeftAlone) {
    ASSERT_FALSE(Write(Input({"pics/icon.png"})));
    const std::string marker = Read(Dir.Path("web/photos.files/") + kThumbnailMarker);
    // A marker copied among the user's files, and a folder of another page.
    Dir.File("web/copied.files/" + std::string(kThumbnailMarker), marker);
    Dir.File("web/copied.files/" + std::string(32, 'a') + ".jpg", "the user's");
    Dir.File("web/copied.files/letter.txt", "the user's");
    Dir.File("web/copied.files/drafts/" + std::string(32, 'b') + ".jpg", "the user's");
    Dir.File("web/other.files/" + std::string(kThumbnailMarker), marker);
    for (const char* page : {"copied", "other"}) {
        const std::set<std::string> before = EntryNames(Dir.Path(std::string("web/") + page + ".files"));
        TPageInput in = Input({"pics/icon.png"});
        in.PageFileName = Dir.Path(std::string("web/") + page + ".html");
        const platform::TIoResult refused = Write(in);
        ASSERT_TRUE(refused) << page;
        EXPECT_EQ(refused->Errno, EEXIST) << page;
        EXPECT_EQ(EntryNames(Dir.Path(std::string("web/") + page + ".files")), before) << page;
    }
    EXPECT_EQ(Read(Dir.Path("web/copied.files/letter.txt")), "the user's");
    EXPECT_EQ(EntryNames(Dir.Path("web/copied.files/drafts")),
              std::set<std::string>{std::string(32, 'b') + ".jpg"});
    // A writer killed midway left a folder beside them: ours goes, the
    // user's copy stays.
    const std::string gone = "web/.tavolix-999999999-0.dir/";
    Dir.File(gone + kThumbnailMarker, marker);
    Dir.File(gone + std::string(32, 'c') + ".png", "half");
    const std::string kept = "web/.tavolix-999999999-1.dir/";
    Dir.File(kept + kThumbnailMarker, marker);
    Dir.File(kept + "letter.txt", "the user's");
    ASSERT_FALSE(Write(Input({"pics/icon.png"})));
    EXPECT_FALSE(std::filesystem::exists(Dir.Path(gone)));
    EXPECT_EQ(Read(Dir.Path(kept + "letter.txt")), "the user's");
}

// A thumbnail that can't be written, a page that can't, and a stop, each
// in the middle of the work: the old page and its folder stay as they were.
TEST_F(PageThumbnailsTest, AFailureMidwayLeavesTheOldPageAndFolder) {
    ASSERT_FALSE(Write(Input({"pics/icon.png"})));
    const std::string oldPage = Read(Dir.Path("web/photos.html"));
    const std::set<std::string> oldFolder = EntryNames(Dir.Path("web/photos.files"));
    const std::string oldThumbnail = *ImageSources(oldPage).begin();
    const std::string oldBytes = Read(Dir.Path("web/photos.files/" + oldThumbnail));
    auto unchanged = [&](const char* what) {
        EXPECT_EQ(Read(Dir.Path("web/photos.html")), oldPage) << what;
        EXPECT_EQ(EntryNames(Dir.Path("web/photos.files")), oldFolder) << what;
        EXPECT_EQ(Read(Dir.Path("web/photos.files/" + oldThumbnail)), oldBytes) << what;
        EXPECT_EQ(EntryNames(Dir.Path("web")), (std::set<std::string>{"photos.html", "photos.files"}))
            << what;
    };

    // The helpers write with the limit they inherit: the noisy picture's
    // second file is past it.
    Dir.File("pics/noise.png", PictureBytes(Noise(1200, 800), "png"));
    const TPageInput noisy = Input({"pics/icon.png", "pics/noise.png"});
    auto failsWithEFBIG = [&](const TPageInput& in) {
        const platform::TIoResult error = Write(in);
        return error && error->Errno == EFBIG ? 0 : 1;
    };
    EXPECT_EQ(RunInChild([&] { return failsWithEFBIG(noisy); }, 48 << 10), 0)
        << "a thumbnail past the limit was not reported";
    unchanged("thumbnail not written");

    // Small thumbnails, a page past the limit: the folder had already taken
    // the old one's place, and gives it back.
    TPageInput many = Input({"pics/icon.png", "pics/notes.txt"});
    many.Items.resize(3000, many.Items[1]);
    EXPECT_EQ(RunInChild([&] { return failsWithEFBIG(many); }, 48 << 10), 0)
        << "a page past the limit was not reported";
    unchanged("page not written");

    // A helper that cannot decode here ends before its hello: no page of
    // links passes for one of pictures, and no picture is recorded as failed.
    Dir.File("ends-at-once", "#!/bin/sh\nexit 3\n");
    ::chmod(Dir.Path("ends-at-once").c_str(), 0755);
    {
        thumbs::TPoolOptions options = Options();
        options.HelperPath = Dir.Path("ends-at-once");
        thumbs::TThumbnailPool broken(options);
        TPageProgress progress;
        const platform::TIoResult error = WriteThumbnailPage(Input({"pics/v.svg"}), broken, progress);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Path, Dir.Path("web/photos.html"));
        EXPECT_NE(error->SystemText().find("no thumbnails"), std::string::npos) << error->SystemText();
        EXPECT_FALSE(std::filesystem::exists(
            thumbs::FailPath(Dir.Path("cache/thumbnails"), thumbs::ThumbnailUri(Dir.Path("pics/v.svg")))));
    }
    unchanged("no helper that can decode");

    // Stopped while a picture is still being made.
    Dir.File("pics/slow.hang-test.png", PictureBytes(HalvesImage(40, 20), "png"));
    thumbs::TThumbnailPool pool(Options());
    TPageProgress progress;
    platform::TIoResult result;
    std::thread writer([&] {
        result = WriteThumbnailPage(Input({"pics/icon.png", "pics/slow.hang-test.png"}), pool, progress);
    });
    TRY_EXPECT(progress.Done() >= 1);
    EXPECT_EQ(progress.Done(), 1);
    EXPECT_EQ(progress.Total(), 2);
    progress.Stop();
    writer.join();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->Errno, ECANCELED);
    unchanged("stopped");
}
