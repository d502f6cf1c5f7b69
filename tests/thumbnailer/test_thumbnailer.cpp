#include "ReplyImage.h"
#include "TestDir.h"
#include "TestPictures.h"
#include "thumbnailer/Thumbnailer.h"
#include "thumbs/Protocol.h"
#include "thumbs/RequestFiles.h"
#include "thumbs/ThumbnailCache.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

using namespace tavolix::thumbs;
using namespace tavolix::thumbnailer;

namespace {

std::string DataFile(const char* name) {
    std::ifstream in(std::string(std::getenv("TAVOLIX_TEST_DATA")) + "/pictures/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An uncompressed 24-bit TGA, top row first: a format with no signature.
std::string TgaOf(const QImage& image) {
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = static_cast<char>(image.width() & 0xFF);
    tga[13] = static_cast<char>(image.width() >> 8);
    tga[14] = static_cast<char>(image.height() & 0xFF);
    tga[15] = static_cast<char>(image.height() >> 8);
    tga[16] = 24;
    tga[17] = 0x20;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            tga += {static_cast<char>(qBlue(p)), static_cast<char>(qGreen(p)), static_cast<char>(qRed(p))};
        }
    }
    return tga;
}

void SetMTime(const std::string& path, time_t when) {
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

class ThumbnailerTest : public ::testing::Test {
protected:
    // As the pool does it, on this thread: the files opened, the helper's
    // work, what it made written.
    TThumbReply Run(const TThumbRequest& q) {
        TRequestFiles files(q, Root);
        if (!files.Open())
            return files.Answer();
        return files.Complete(Thumbnailer.Handle(files.HelperRequest(), files.Descriptors()));
    }
    TThumbReply Ask(const std::string& rel, TRequestKind kind = TRequestKind::Picture,
                    TThumbSize size = TThumbSize::Normal) {
        TThumbRequest q;
        q.Id = ++FId;
        q.Kind = kind;
        q.Size = size;
        q.BoxWidth = 100;
        q.BoxHeight = 36;
        q.Path = Dir.Path(rel);
        TThumbReply reply = Run(q);
        EXPECT_EQ(reply.Id, q.Id);
        return reply;
    }
    TThumbReply AskPage(const std::string& rel, const std::string& output, const std::string& reuse = {}) {
        TThumbRequest q;
        q.Id = ++FId;
        q.Kind = TRequestKind::PageThumbnail;
        q.Size = TThumbSize::Large;
        q.Path = Dir.Path(rel);
        q.Output = Dir.Path(output);
        q.Reuse = reuse.empty() ? reuse : Dir.Path(reuse);
        return Run(q);
    }
    std::string CacheFile(const std::string& rel, TThumbSize size = TThumbSize::Normal) {
        return ThumbnailPath(Root, size, ThumbnailUri(Dir.Path(rel)));
    }

    TTestDir Dir;
    std::string Root = Dir.Path("cache/thumbnails");
    TThumbnailer Thumbnailer;
    std::uint64_t FId = 0;
};

} // namespace

TEST_F(ThumbnailerTest, EveryFormatBecomesAThumbnailOfItsShape) {
    struct {
        std::string Name, Bytes;
        QSize Picture, Thumb;
    } cases[] = {
        {"写真 #1 100%.jpg", PictureBytes(HalvesImage(400, 200), "jpg"), {400, 200}, {128, 64}},
        {"p.png", PictureBytes(HalvesImage(300, 100), "png"), {300, 100}, {128, 43}},
        {"w.webp", PictureBytes(HalvesImage(64, 64), "webp"), {64, 64}, {64, 64}},
        {"t.tiff", PictureBytes(HalvesImage(200, 50), "tiff"), {200, 50}, {128, 32}},
        {"t.TGA", TgaOf(HalvesImage(40, 20)), {40, 20}, {40, 20}}, // known by its name alone
        {"small.gif",
         PictureBytes(HalvesImage(2, 2), "png"),
         {2, 2},
         {2, 2}},                                             // content decides, not the name
        {"v.svg", SvgPicture(50, 100), {50, 100}, {64, 128}}, // vectors are drawn at the size
        {"d.pdf", PdfPage(144, 72), {192, 96}, {128, 64}},    // points at 96 dpi
        {"b.bmp", DataFile("green_300x20.bmp"), {300, 20}, {128, 9}},
        {"s.wmf", DataFile("shapes.wmf"), {}, {}},
        {"i.ico", DataFile("two_sizes.ico"), {}, {}},
    };
    // A wallpaper of another project, as Debian ships it.
    const std::string wallpaper =
        "/usr/share/desktop-base/emerald-theme/wallpaper/contents/images/1920x1080.svg";
    if (std::filesystem::exists(wallpaper)) {
        std::ifstream in(wallpaper, std::ios::binary);
        Dir.File("wallpaper.svg", std::string(std::istreambuf_iterator<char>(in), {}));
        const TThumbReply reply = Ask("wallpaper.svg");
        EXPECT_EQ(reply.Status, TReplyStatus::Ok);
        EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), QSize(1920, 1080));
        EXPECT_EQ(QSize(reply.Width, reply.Height), QSize(128, 72));
    }
    for (const auto& c : cases) {
        Dir.File(c.Name, c.Bytes);
        const TThumbReply reply = Ask(c.Name);
        ASSERT_EQ(reply.Status, TReplyStatus::Ok) << c.Name;
        EXPECT_EQ(reply.Source, TReplySource::Made) << c.Name;
        EXPECT_LE(std::max(reply.Width, reply.Height), 128) << c.Name;
        EXPECT_GT(reply.Width * reply.Height, 0) << c.Name;
        if (c.Picture.isValid()) {
            EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), c.Picture) << c.Name;
            EXPECT_EQ(QSize(reply.Width, reply.Height), c.Thumb) << c.Name;
        }
        EXPECT_TRUE(std::filesystem::exists(CacheFile(c.Name))) << c.Name;
    }
}

TEST_F(ThumbnailerTest, ExifOrientationIsApplied) {
    // Orientation 6: turned a quarter clockwise, the dark left half on top.
    Dir.File("turned.jpg", JpegWithOrientation(HalvesImage(400, 200), 6));
    const TThumbReply reply = Ask("turned.jpg");
    ASSERT_EQ(reply.Status, TReplyStatus::Ok);
    EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), QSize(200, 400));
    EXPECT_EQ(QSize(reply.Width, reply.Height), QSize(64, 128));
    const QImage image = ImageOf(reply);
    EXPECT_LT(qRed(image.pixel(32, 10)), 60);
    EXPECT_GT(qRed(image.pixel(32, 118)), 200);
}

TEST_F(ThumbnailerTest, TheCacheFileFollowsTheStandardAndServesTheNextAsk) {
    Dir.File("写真 #1 100%.png", PictureBytes(HalvesImage(600, 300), "png"));
    const std::string original = Dir.Path("写真 #1 100%.png");
    const TThumbReply made = Ask("写真 #1 100%.png", TRequestKind::Picture, TThumbSize::Large);
    ASSERT_EQ(made.Status, TReplyStatus::Ok);
    EXPECT_EQ(QSize(made.Width, made.Height), QSize(256, 128));

    const std::string file = CacheFile("写真 #1 100%.png", TThumbSize::Large);
    struct stat st, orig;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    ASSERT_EQ(::stat(original.c_str(), &orig), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Read as any program reads it (the reader's own text lookup splits "::" keys).
    const QImage cached(QString::fromStdString(file), "png");
    EXPECT_EQ(cached.text("Thumb::URI").toStdString(),
              "file://" + std::string(Dir.Root()) + "/%E5%86%99%E7%9C%9F%20%231%20100%25.png");
    EXPECT_EQ(cached.text("Thumb::MTime").toLongLong(), orig.st_mtime);
    EXPECT_EQ(cached.text("Thumb::Size").toLongLong(), orig.st_size);
    EXPECT_EQ(cached.text("Thumb::Image::Width"), "600");
    EXPECT_EQ(cached.size(), QSize(256, 128));

    const TThumbReply again = Ask("写真 #1 100%.png", TRequestKind::Picture, TThumbSize::Large);
    EXPECT_EQ(again.Source, TReplySource::Cache);
    EXPECT_EQ(QSize(again.PictureWidth, again.PictureHeight), QSize(600, 300));
    // A smaller size is taken from the bigger one rather than decoded again.
    const TThumbReply normal = Ask("写真 #1 100%.png");
    EXPECT_EQ(normal.Source, TReplySource::Cache);
    EXPECT_EQ(QSize(normal.Width, normal.Height), QSize(128, 64));
}

TEST_F(ThumbnailerTest, AStaleThumbnailIsMadeAgain) {
    Dir.File("a.png", PictureBytes(HalvesImage(100, 100, Qt::red), "png"));
    SetMTime(Dir.Path("a.png"), 1600000000);
    ASSERT_EQ(Ask("a.png").Source, TReplySource::Made);
    Dir.File("a.png", PictureBytes(HalvesImage(100, 100, Qt::blue), "png"));
    SetMTime(Dir.Path("a.png"), 1600000100);
    const TThumbReply again = Ask("a.png");
    EXPECT_EQ(again.Source, TReplySource::Made);
    EXPECT_GT(qBlue(ImageOf(again).pixel(90, 50)), 200);
    EXPECT_EQ(QImage(QString::fromStdString(CacheFile("a.png"))).text("Thumb::MTime"), "1600000100");
}

TEST_F(ThumbnailerTest, ThumbnailsOtherProgramsMadeServeFilesWeCannotDecode) {
    Dir.File("clip.xcf", "not something we read");
    struct stat st;
    ASSERT_EQ(::stat(Dir.Path("clip.xcf").c_str(), &st), 0);
    // As a file manager writes it (the toolkit compresses the long URI).
    QImage theirs = HalvesImage(128, 96, Qt::green);
    theirs.setText("Thumb::URI", QString::fromStdString(ThumbnailUri(Dir.Path("clip.xcf"))));
    theirs.setText("Thumb::MTime", QString::number(st.st_mtime));
    theirs.setText("Thumb::Image::Width", "4032");
    theirs.setText("Thumb::Image::Height", "3024");
    std::filesystem::create_directories(Root + "/normal");
    ASSERT_TRUE(theirs.save(QString::fromStdString(CacheFile("clip.xcf")), "png"));

    const TThumbReply reply = Ask("clip.xcf", TRequestKind::CachedOnly);
    ASSERT_EQ(reply.Status, TReplyStatus::Ok);
    EXPECT_EQ(reply.Source, TReplySource::Cache);
    EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), QSize(4032, 3024));

    theirs.setText("Thumb::MTime", QString::number(st.st_mtime - 1)); // of an older version of the file
    ASSERT_TRUE(theirs.save(QString::fromStdString(CacheFile("clip.xcf")), "png"));
    EXPECT_EQ(Ask("clip.xcf", TRequestKind::CachedOnly).Status, TReplyStatus::NoThumbnail);
}

TEST_F(ThumbnailerTest, HostileAndBrokenFilesFailAndAreRecorded) {
    // 20000 x 20000 zeros: 400 MB decoded, a few hundred KB on disk.
    Dir.File("bomb.png", PngOfZeros(20000, 20000));
    Dir.File("fake.jpg", "<html>not a picture</html>");
    ASSERT_EQ(::mkfifo(Dir.Path("pipe.jpg").c_str(), 0600), 0); // a read would wait for ever
    for (const char* name : {"bomb.png", "fake.jpg"}) {
        const TThumbReply first = Ask(name);
        EXPECT_EQ(first.Status, TReplyStatus::Failed) << name;
        EXPECT_TRUE(std::filesystem::exists(FailPath(Root, ThumbnailUri(Dir.Path(name))))) << name;
        const TThumbReply second = Ask(name);
        EXPECT_EQ(second.Status, TReplyStatus::Failed) << name;
        EXPECT_EQ(second.Source, TReplySource::Cache) << name; // not tried again
    }
    EXPECT_NE(Ask("pipe.jpg").Status, TReplyStatus::Ok);
    EXPECT_EQ(Ask("gone.jpg").Status, TReplyStatus::Unreadable);
}

TEST_F(ThumbnailerTest, AnSvgDrawsNothingFromOutsideItsFile) {
    Dir.File("private.png", PictureBytes(HalvesImage(64, 64, Qt::red), "png"));
    ASSERT_EQ(::mkfifo(Dir.Path("pipe.png").c_str(), 0600), 0); // opened, it would wait for ever
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(Qt::green);
    const std::string inlined =
        "data:image/png;base64," +
        QByteArray::fromStdString(PictureBytes(green, "png")).toBase64().toStdString();
    // The picture elsewhere on the disk named outright and through an
    // entity, a style sheet and a picture that are FIFOs, and one carried
    // in the file.
    Dir.File("refs.svg", "<?xml version=\"1.0\"?>\n"
                         "<!DOCTYPE svg [<!ENTITY p \"" +
                             Dir.Path("private.png") +
                             "\">]>\n"
                             "<?xml-stylesheet type=\"text/css\" href=\"" +
                             Dir.Path("pipe.png") +
                             "\"?>\n"
                             "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                             "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"100\" height=\"100\">"
                             "<rect width=\"100\" height=\"100\" fill=\"white\"/>"
                             "<image x=\"0\" y=\"0\" width=\"25\" height=\"100\" xlink:href=\"" +
                             Dir.Path("private.png") +
                             "\"/>"
                             "<image x=\"25\" y=\"0\" width=\"25\" height=\"100\" xlink:href=\"&p;\"/>"
                             "<image x=\"0\" y=\"0\" width=\"50\" height=\"100\" xlink:href=\"" +
                             Dir.Path("pipe.png") +
                             "\"/>"
                             "<image x=\"50\" y=\"0\" width=\"50\" height=\"100\" xlink:href=\"" +
                             inlined + "\"/></svg>\n");
    const TThumbReply reply = Ask("refs.svg");
    ASSERT_EQ(reply.Status, TReplyStatus::Ok);
    const QImage image = ImageOf(reply);
    ASSERT_EQ(image.size(), QSize(128, 128));
    for (int x : {5, 40})
        EXPECT_EQ(image.pixel(x, 64), qRgb(255, 255, 255)) << x;
    EXPECT_EQ(image.pixel(100, 64), qRgb(0, 255, 0));
}

TEST_F(ThumbnailerTest, DefaultViewPicturesAreReadAsThatViewDrawsThem) {
    Dir.File("wide.bmp", DataFile("green_300x20.bmp"));
    Dir.File("prog.exe", DataFile("prog_icon.exe"));
    Dir.File("none.exe", DataFile("prog_noicon.exe"));
    Dir.File("shapes.wmf", DataFile("shapes.wmf"));
    const TThumbReply bitmap = Ask("wide.bmp", TRequestKind::PartPicture);
    EXPECT_EQ(QSize(bitmap.PictureWidth, bitmap.PictureHeight), QSize(300, 20));
    EXPECT_EQ(QSize(bitmap.Width, bitmap.Height), QSize(100, 20)); // the box's width, the natural height
    const TThumbReply icon = Ask("prog.exe", TRequestKind::PartPicture);
    EXPECT_EQ(icon.IconHandle, 2);
    EXPECT_EQ(QSize(icon.Width, icon.Height), QSize(32, 32));
    EXPECT_EQ(Ask("none.exe", TRequestKind::PartPicture).IconHandle, 0);
    // An icon in PNG, which the window leaves to the helper.
    Dir.File("png.ico", DataFile("png_entry.ico"));
    const QImage png = ImageOf(Ask("png.ico", TRequestKind::PartPicture));
    ASSERT_EQ(png.size(), QSize(32, 32));
    EXPECT_EQ(png.pixel(16, 16), qRgb(10, 200, 30));
    const TThumbReply meta = Ask("shapes.wmf", TRequestKind::PartPicture);
    EXPECT_EQ(meta.Metafile, DataFile("shapes.wmf"));
    EXPECT_GT(meta.PictureWidth, 0);
    // Nothing of these goes to the shared cache.
    EXPECT_FALSE(std::filesystem::exists(Root));
}

TEST_F(ThumbnailerTest, GLibTakesOurThumbnailsAsValid) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        GTEST_SKIP() << "gio (libglib2.0-bin) is not installed";
    Dir.File("写真 #1 100%.png", PictureBytes(HalvesImage(300, 150), "png"));
    ASSERT_EQ(Ask("写真 #1 100%.png").Status, TReplyStatus::Ok);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), QString::fromStdString(Dir.Path("cache")));
    process.setProcessEnvironment(env);
    process.start(gio, {QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("thumbnail::*"),
                        QString::fromStdString(Dir.Path("写真 #1 100%.png"))});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QString::fromStdString("thumbnail::path: " + CacheFile("写真 #1 100%.png"))))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("thumbnail::is-valid: TRUE"))) << out.toStdString();
}

TEST_F(ThumbnailerTest, PageThumbnailsAreFilesOfTheShownAndTwiceTheSizeWithNothingOfTheCache) {
    QImage alpha(600, 300, QImage::Format_ARGB32);
    alpha.fill(Qt::transparent);
    QPainter(&alpha).fillRect(100, 50, 300, 200, Qt::blue);
    struct {
        std::string Name, Bytes;
        TPageFormat Format;
        QSize Shown, Double; // no 2x file for a picture no bigger than shown
    } cases[] = {
        {"写真 #1 100%.jpg",
         PictureBytes(HalvesImage(1000, 500), "jpg"),
         TPageFormat::Jpeg,
         {256, 128},
         {512, 256}},
        {"alpha.png", PictureBytes(alpha, "png"), TPageFormat::Png, {256, 128}, {512, 256}},
        {"small.png", PictureBytes(HalvesImage(100, 50), "png"), TPageFormat::Jpeg, {100, 50}, {}},
    };
    // Made; from the cache; taken over from the first folder.
    const std::pair<const char*, TReplySource> runs[] = {
        {"made", TReplySource::Made}, {"cached", TReplySource::Cache}, {"again", TReplySource::Cache}};
    for (const auto& [folder, source] : runs)
        Dir.Dir(folder);
    for (const auto& c : cases) {
        Dir.File(c.Name, c.Bytes);
        for (const auto& [folder, source] : runs) {
            const bool again = std::string(folder) == "again";
            const TThumbReply reply = AskPage(c.Name, folder, again ? "made" : "");
            ASSERT_EQ(reply.Status, TReplyStatus::Ok) << c.Name;
            EXPECT_EQ(reply.Source, source) << c.Name;
            EXPECT_EQ(reply.PageFormat, c.Format) << c.Name;
            EXPECT_EQ(QSize(reply.PageWidth, reply.PageHeight), c.Shown) << c.Name;
            EXPECT_EQ(reply.PageDouble, c.Double.isValid()) << c.Name;
            const std::string base = Dir.Path(std::string(folder) + "/" + reply.PageName);
            const char* format = c.Format == TPageFormat::Png ? "png" : "jpeg";
            const std::string first = base + PageFileSuffix(c.Format, false);
            EXPECT_EQ(QImage(QString::fromStdString(first), format).size(), c.Shown) << c.Name;
            const std::string twice = base + PageFileSuffix(c.Format, true);
            const QImage doubled(QString::fromStdString(twice), format);
            EXPECT_EQ(doubled.isNull() ? QSize() : doubled.size(), c.Double) << c.Name;
            // Published files: nothing of where the picture lies on this machine.
            for (const std::string& file : {first, twice}) {
                std::ifstream in(file, std::ios::binary);
                const std::string bytes(std::istreambuf_iterator<char>(in), {});
                EXPECT_EQ(bytes.find("Thumb::"), std::string::npos) << file;
                EXPECT_EQ(bytes.find(Dir.Root()), std::string::npos) << file;
            }
        }
        EXPECT_TRUE(std::filesystem::exists(CacheFile(c.Name, TThumbSize::Large))) << c.Name;
        EXPECT_EQ(std::filesystem::exists(CacheFile(c.Name, TThumbSize::XLarge)), c.Double.isValid())
            << c.Name;
    }
    EXPECT_EQ(EntryNames(Dir.Path("again")), EntryNames(Dir.Path("made")));

    // A picture that changed has files of another name: nothing old is taken.
    Dir.File("small.png", PictureBytes(HalvesImage(100, 50, Qt::blue), "png"));
    SetMTime(Dir.Path("small.png"), 1600000000);
    const TThumbReply changed = AskPage("small.png", "again", "made");
    EXPECT_EQ(changed.Source, TReplySource::Made);
    EXPECT_FALSE(EntryNames(Dir.Path("made")).contains(changed.PageName + ".jpg"));

    Dir.File("fake.jpg", "<html>not a picture</html>");
    EXPECT_EQ(AskPage("fake.jpg", "made").Status, TReplyStatus::Failed);
    EXPECT_EQ(EntryNames(Dir.Path("made")).size(), 5u); // nothing of fake
    // A folder that is gone: told, with the system's reason.
    const TThumbReply unwritten = AskPage("alpha.png", "gone");
    EXPECT_EQ(unwritten.Status, TReplyStatus::NotWritten);
    EXPECT_EQ(unwritten.WriteErrno, ENOENT);
}
