// Phones' photos, cameras' raw files and videos, made at test time by the
// encoders Debian ships (heif-enc, avifenc, ffmpeg) and a DNG writer of ours,
// drawn by the real helper in its sandbox, as the program gets them.
#include "ReplyImage.h"
#include "TestDir.h"
#include "TestPictures.h"
#include "thumbnailer/VideoDecoder.h"
#include "thumbs/Protocol.h"
#include "thumbs/ThumbnailCache.h"
#include "thumbs/ThumbnailPool.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <QImage>
#include <QProcess>

using namespace tavolix::thumbs;
using namespace tavolix::thumbnailer;

namespace {

// Runs a program to its end; its output is shown when it fails.
void RunTool(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    ASSERT_TRUE(process.waitForFinished(120000)) << program.toStdString();
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    ASSERT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAll().toStdString();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Dark(QRgb c) {
    return qRed(c) < 70 && qGreen(c) < 70 && qBlue(c) < 70;
}

class MediaTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (const auto sandbox = Pool.Sandbox(); sandbox && !sandbox->Complete())
            std::cout << "note: the helper ran without a full sandbox: " << sandbox->Detail << "\n";
    }
    // One file through the pool; a failed reply when none comes (bounded).
    TThumbReply Ask(const std::string& rel, TThumbSize size = TThumbSize::Normal) {
        TThumbRequest q;
        q.Id = ++FId;
        q.Size = size;
        q.Path = Dir.Path(rel);
        Client->SetWanted({q});
        std::unique_lock lock(FMutex);
        if (!FChanged.wait_for(lock, std::chrono::seconds(120), [&] { return FReplies.contains(q.Id); })) {
            ADD_FAILURE() << rel << ": no reply";
            return {};
        }
        return FReplies.at(q.Id);
    }
    QString P(const std::string& rel) const { return QString::fromStdString(Dir.Path(rel)); }
    // A PNG of a dark left and a red right half, for the encoders to read.
    QString Halves(const std::string& rel, int width, int height) {
        Dir.File(rel, PictureBytes(HalvesImage(width, height), "png"));
        return P(rel);
    }
    // `seconds` of video: red for its first quarter second, then blue, key
    // frames every quarter second.
    void Video(const std::string& rel, double seconds, const QStringList& codec,
               const QString& size = "320x240") {
        RunTool("ffmpeg",
                QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                            "color=c=blue:s=" + size + ":r=24:d=" + QString::number(seconds), "-vf",
                            "drawbox=x=0:y=0:w=iw:h=ih:color=red:t=fill:enable='lt(t,0.25)',format=yuv420p",
                            "-g", "6"} +
                    codec + QStringList{P(rel)});
    }
    void Dng(const std::string& rel, const QStringList& args) {
        RunTool("python3", QStringList{QStringLiteral(TAVOLIX_MAKE_DNG), P(rel)} + args);
    }

    TPoolOptions Options() const {
        TPoolOptions o;
        o.HelperPath = TAVOLIX_THUMBNAILER;
        o.Processes = 1;
        // A sanitized helper on a busy machine is slow; a file's time limit is no subject here.
        o.BudgetMs = 20000;
        o.CacheRoot = Dir.Path("cache/thumbnails");
        o.ExternalThumbnailers = false;
        return o;
    }

    TTestDir Dir;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::map<std::uint64_t, TThumbReply> FReplies;
    TThumbnailPool Pool{Options()};
    std::shared_ptr<TThumbnailPool::TClient> Client = Pool.Connect([this](TThumbReply&& r) {
        std::lock_guard lock(FMutex);
        FReplies[r.Id] = std::move(r);
        FChanged.notify_all();
    });
    std::uint64_t FId = 0;
};

} // namespace

TEST_F(MediaTest, PhotosOfPhonesAreDrawnTurnedAsTheFileSays) {
    const QString png = Halves("halves.png", 400, 200);
    RunTool("heif-enc", {"-q", "80", "-o", P("photo.heic"), png});
    // With a thumbnail big enough for the large size but not for x-large.
    RunTool("heif-enc", {"-q", "80", "-t", "300", "-o", P("thumb.heic"), png});
    // 4:2:0, as phones write it; the others 4:4:4.
    RunTool("avifenc", {"-s", "10", "-y", "420", png, P("photo.avif")});
    // irot 1: a quarter turn anti-clockwise, the dark half at the bottom.
    RunTool("avifenc", {"-s", "10", "--irot", "1", png, P("turned.avif")});
    struct {
        std::string Name;
        QSize Thumb;
        bool DarkOnTop;
    } cases[] = {
        {"photo.heic", {128, 64}, false},
        {"photo.avif", {128, 64}, false},
        {"turned.avif", {64, 128}, false},
    };
    for (const auto& c : cases) {
        const TThumbReply reply = Ask(c.Name);
        ASSERT_EQ(reply.Status, TReplyStatus::Ok) << c.Name;
        EXPECT_EQ(QSize(reply.Width, reply.Height), c.Thumb) << c.Name;
        EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), c.Thumb * (400.0 / 128)) << c.Name;
        const QImage image = ImageOf(reply);
        if (c.Thumb.width() > c.Thumb.height()) {
            EXPECT_TRUE(Dark(image.pixel(10, 32))) << c.Name;
            EXPECT_GT(qRed(image.pixel(118, 32)), 180) << c.Name;
        } else {
            EXPECT_GT(qRed(image.pixel(32, 10)), 180) << c.Name;
            EXPECT_TRUE(Dark(image.pixel(32, 118))) << c.Name;
        }
    }
    // The thumbnail serves a size it is big enough for; the picture itself a bigger one.
    const TThumbReply large = Ask("thumb.heic", TThumbSize::Large);
    ASSERT_EQ(large.Status, TReplyStatus::Ok);
    EXPECT_EQ(QSize(large.Width, large.Height), QSize(256, 128));
    EXPECT_EQ(QSize(large.PictureWidth, large.PictureHeight), QSize(400, 200));
    const TThumbReply xlarge = Ask("thumb.heic", TThumbSize::XLarge);
    EXPECT_EQ(QSize(xlarge.Width, xlarge.Height), QSize(400, 200));
}

// Ten-bit and transparent pictures come out of libheif interleaved, not in
// planes: those at most the size asked for are not scaled at all, and their
// pixels must still be the picture's own once libheif's are gone.
TEST_F(MediaTest, DeepAndTransparentPhotosKeepTheirColoursAtEverySize) {
    // Four colours, none dark, so that a picture drawn from freed memory shows.
    const QRgb quarter[4] = {qRgb(200, 40, 40), qRgb(40, 180, 60), qRgb(50, 60, 200), qRgb(230, 210, 60)};
    const auto source = [&](const std::string& rel, QSize size, bool deep, bool clear) {
        QImage image(size, QImage::Format_ARGB32);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = quarter[(y >= size.height() / 2) * 2 + (x >= size.width() / 2)];
                image.setPixel(x, y, clear && x < size.width() / 2 ? qRgba(0, 0, 0, 0) : c);
            }
        }
        const QImage::Format format = deep ? (clear ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                           : (clear ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        Dir.File(rel, PictureBytes(image.convertToFormat(format), "png"));
        return P(rel);
    };
    const QSize small(120, 80), wide(400, 200), photo(1600, 1200);
    RunTool("heif-enc",
            {"-q", "80", "-b", "10", "-o", P("deep-small.heic"), source("a.png", small, true, false)});
    RunTool("heif-enc", {"-q", "80", "-o", P("clear-small.heic"), source("b.png", small, false, true)});
    RunTool("avifenc", {"-s", "10", "-d", "10", source("c.png", small, true, false), P("deep-small.avif")});
    RunTool("avifenc", {"-s", "10", source("d.png", small, false, true), P("clear-small.avif")});
    RunTool("avifenc", {"-s", "10", "-d", "10", source("e.png", small, true, true), P("deep-clear.avif")});
    RunTool("heif-enc", {"-q", "80", "-b", "10", "-o", P("deep.heic"), source("f.png", wide, true, false)});
    RunTool("heif-enc", {"-q", "80", "-o", P("clear.heic"), source("g.png", wide, false, true)});
    // As a phone writes it: ten bits, with a thumbnail of 512 pixels.
    RunTool("heif-enc", {"-q", "80", "-b", "10", "-t", "512", "-o", P("photo.heic"),
                         source("h.png", photo, true, false)});
    struct {
        std::string Name;
        TThumbSize Size;
        QSize Thumb, Picture;
        bool Clear;
    } cases[] = {
        {"deep-small.heic", TThumbSize::Normal, small, small, false},
        {"clear-small.heic", TThumbSize::Normal, small, small, true},
        {"deep-small.avif", TThumbSize::Normal, small, small, false},
        {"clear-small.avif", TThumbSize::Normal, small, small, true},
        {"deep-clear.avif", TThumbSize::Large, small, small, true},
        {"deep.heic", TThumbSize::Normal, {128, 64}, wide, false},
        {"clear.heic", TThumbSize::Normal, {128, 64}, wide, true},
        {"clear.heic", TThumbSize::XLarge, wide, wide, true},
        // Its thumbnail is just the size asked for; scaled from it for a smaller one.
        {"photo.heic", TThumbSize::XLarge, {512, 384}, photo, false},
        {"photo.heic", TThumbSize::Large, {256, 192}, photo, false},
    };
    for (const auto& c : cases) {
        const std::string what = c.Name + " at " + std::to_string(ThumbPixels(c.Size));
        const TThumbReply reply = Ask(c.Name, c.Size);
        // Every case is tried: which of them fail tells where the fault is.
        EXPECT_EQ(reply.Status, TReplyStatus::Ok) << what;
        EXPECT_EQ(QSize(reply.Width, reply.Height), c.Thumb) << what;
        if (QSize(reply.Width, reply.Height) != c.Thumb)
            continue;
        EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), c.Picture) << what;
        const QImage image = ImageOf(reply);
        for (int i = 0; i < 4; ++i) {
            const QPoint at(c.Thumb.width() * (1 + 2 * (i % 2)) / 4,
                            c.Thumb.height() * (1 + 2 * (i / 2)) / 4);
            const QRgb got = image.pixel(at);
            if (c.Clear && i % 2 == 0) {
                EXPECT_LT(qAlpha(got), 40) << what << " quarter " << i;
                continue;
            }
            EXPECT_EQ(qAlpha(got), 255) << what << " quarter " << i;
            EXPECT_NEAR(qRed(got), qRed(quarter[i]), 40) << what << " quarter " << i;
            EXPECT_NEAR(qGreen(got), qGreen(quarter[i]), 40) << what << " quarter " << i;
            EXPECT_NEAR(qBlue(got), qBlue(quarter[i]), 40) << what << " quarter " << i;
        }
    }

    // Half transparent, its colours stored multiplied by their alpha: read as such.
    QImage half(small, QImage::Format_ARGB32);
    half.fill(qRgba(200, 40, 40, 128));
    Dir.File("half.png", PictureBytes(half, "png"));
    RunTool("avifenc", {"-s", "10", "-p", P("half.png"), P("half.avif")});
    const TThumbReply reply = Ask("half.avif");
    ASSERT_EQ(reply.Status, TReplyStatus::Ok);
    const QColor got = ImageOf(reply).pixelColor(60, 40);
    EXPECT_NEAR(got.alpha(), 128, 8);
    EXPECT_NEAR(got.red(), 200, 24);
    EXPECT_NEAR(got.green(), 40, 24);
}

TEST_F(MediaTest, RawFilesShowTheirPreviewElseTheirDataTurnedAsTheCameraSays) {
    // The preview is green where the raw data is red: which one was drawn shows.
    Dir.File("preview.jpg", PictureBytes(HalvesImage(320, 160, Qt::green), "jpg", 90));
    // Orientation 6: turned a quarter clockwise, the dark half on top.
    Dng("preview.dng",
        {"--width", "640", "--height", "320", "--orientation", "6", "--preview", P("preview.jpg")});
    Dng("bare.dng", {"--width", "512", "--height", "256"});
    Dng("bare-turned.dng", {"--width", "512", "--height", "256", "--orientation", "8"});

    const TThumbReply preview = Ask("preview.dng");
    ASSERT_EQ(preview.Status, TReplyStatus::Ok);
    EXPECT_EQ(QSize(preview.PictureWidth, preview.PictureHeight), QSize(320, 640));
    ASSERT_EQ(QSize(preview.Width, preview.Height), QSize(64, 128));
    QImage image = ImageOf(preview);
    EXPECT_TRUE(Dark(image.pixel(32, 10)));
    EXPECT_GT(qGreen(image.pixel(32, 118)), 180);
    EXPECT_LT(qRed(image.pixel(32, 118)), 100);

    const TThumbReply bare = Ask("bare.dng");
    ASSERT_EQ(bare.Status, TReplyStatus::Ok);
    EXPECT_EQ(QSize(bare.PictureWidth, bare.PictureHeight), QSize(512, 256));
    ASSERT_EQ(QSize(bare.Width, bare.Height), QSize(128, 64));
    image = ImageOf(bare);
    EXPECT_TRUE(Dark(image.pixel(10, 32)));
    EXPECT_GT(qRed(image.pixel(118, 32)), 120);

    // Orientation 8: a quarter anti-clockwise, the dark half at the bottom.
    const TThumbReply turned = Ask("bare-turned.dng");
    ASSERT_EQ(turned.Status, TReplyStatus::Ok);
    ASSERT_EQ(QSize(turned.Width, turned.Height), QSize(64, 128));
    image = ImageOf(turned);
    EXPECT_TRUE(Dark(image.pixel(32, 118)));
    EXPECT_FALSE(Dark(image.pixel(32, 10)));
}

TEST_F(MediaTest, AVideoShowsAFrameAfterItsStartWithAFilmMark) {
    Video("clip.mp4", 5, {"-c:v", "libx264", "-preset", "ultrafast", "-bf", "2"});
    // The same stream, marked to be shown a quarter turned clockwise.
    RunTool("ffmpeg", {"-v", "error", "-y", "-i", P("clip.mp4"), "-c", "copy", "-metadata:s:v:0", "rotate=90",
                       P("turned.mov")});
    Video("clip.webm", 5, {"-c:v", "libvpx", "-b:v", "200k"});
    Video("clip.mkv", 5, {"-c:v", "mpeg4"});
    Video("clip.avi", 5, {"-c:v", "mjpeg"});
    struct {
        std::string Name;
        QSize Picture;
    } cases[] = {
        {"clip.mp4", {320, 240}}, {"turned.mov", {240, 320}}, {"clip.webm", {320, 240}},
        {"clip.mkv", {320, 240}}, {"clip.avi", {320, 240}},
    };
    for (const auto& c : cases) {
        const TThumbReply reply = Ask(c.Name);
        ASSERT_EQ(reply.Status, TReplyStatus::Ok) << c.Name;
        EXPECT_EQ(QSize(reply.PictureWidth, reply.PictureHeight), c.Picture) << c.Name;
        EXPECT_EQ(QSize(reply.Width, reply.Height), c.Picture * (128.0 / 320)) << c.Name;
        const QImage image = ImageOf(reply);
        // Not the red of the first quarter second: a frame from a tenth in.
        const QRgb frame = image.pixel(image.width() - 5, 5);
        EXPECT_GT(qBlue(frame), 180) << c.Name;
        EXPECT_LT(qRed(frame), 80) << c.Name;
        // The film mark: dark at its left edge, in the lower left corner.
        const QRgb mark = image.pixel(6, image.height() - 12);
        EXPECT_LT(qBlue(mark), 110) << c.Name;
    }
}

TEST_F(MediaTest, BrokenAndHostileFilesFailAndAreRecorded) {
    const QString png = Halves("halves.png", 400, 200);
    RunTool("heif-enc", {"-q", "50", "-o", P("whole.heic"), png});
    Video("whole.mp4", 2, {"-c:v", "libx264", "-preset", "ultrafast"});
    Dir.File("preview.jpg", PictureBytes(HalvesImage(160, 80), "jpg"));
    Dng("whole.dng", {"--width", "256", "--height", "128", "--preview", P("preview.jpg")});
    std::vector<std::string> hostile;
    for (const char* name : {"whole.heic", "whole.mp4", "whole.dng"}) {
        const std::string bytes = ReadFile(Dir.Path(name));
        const std::string ext = std::filesystem::path(name).extension().string();
        ASSERT_GT(bytes.size(), 400u) << name;
        // Cut short, and garbled after the headers.
        Dir.File("cut" + ext, bytes.substr(0, bytes.size() / 3));
        std::string garbled = bytes;
        for (std::size_t i = 300; i < garbled.size(); i += 7)
            garbled[i] = static_cast<char>(garbled[i] ^ 0x5a);
        Dir.File("garbled" + ext, garbled);
        hostile.push_back("cut" + ext);
        hostile.push_back("garbled" + ext);
    }
    // Sizes no camera makes: a HEIF whose image claims 60000 x 60000 pixels,
    // a DNG of 60000 x 60000 raw pixels in a few bytes.
    std::string huge = ReadFile(Dir.Path("whole.heic"));
    const std::size_t ispe = huge.find("ispe");
    ASSERT_NE(ispe, std::string::npos);
    for (int i : {8, 12}) {
        huge[ispe + i] = 0;
        huge[ispe + i + 1] = 0;
        huge[ispe + i + 2] = char(0xea);
        huge[ispe + i + 3] = char(0x60);
    }
    Dir.File("huge.heic", huge);
    Dng("huge.dng", {"--width", "4", "--height", "4", "--claim", "60000x60000"});
    hostile.push_back("huge.heic");
    hostile.push_back("huge.dng");
    // Another kind's bytes under the name.
    Dir.File("photo.jpg.heic", PictureBytes(HalvesImage(40, 20), "jpg"));
    Dir.File("empty.mp4", "");
    hostile.push_back("photo.jpg.heic");
    hostile.push_back("empty.mp4");
    for (const std::string& name : hostile) {
        const TThumbReply reply = Ask(name);
        if (name.starts_with("garbled") && reply.Status == TReplyStatus::Ok) {
            // A decoder that copes with damage may still draw something.
            EXPECT_LE(std::max(reply.Width, reply.Height), 128) << name;
            continue;
        }
        EXPECT_EQ(reply.Status, TReplyStatus::Failed) << name;
        EXPECT_TRUE(
            std::filesystem::exists(FailPath(Dir.Path("cache/thumbnails"), ThumbnailUri(Dir.Path(name)))))
            << name;
    }
}

TEST(FilmMark, IsSmallAndInTheCornerOfAnyPicture) {
    for (const QSize size : {QSize(128, 72), QSize(40, 128), QSize(3, 2)}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        DrawFilmMark(image);
        int marked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                marked += image.pixel(x, y) != qRgb(255, 255, 255);
        }
        EXPECT_GT(marked, 0) << size.width() << "x" << size.height();
        if (size.width() >= 40) {
            EXPECT_LT(marked, image.width() * image.height() / 6) << size.width() << "x" << size.height();
            EXPECT_EQ(image.pixel(image.width() - 1, 0), qRgb(255, 255, 255));
        }
    }
}
