#include "pictures/IconFile.h"
#include "pictures/MetafilePlayer.h"
#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include <QImage>
#include <QPainter>

using namespace tavolix::pictures;
namespace fs = std::filesystem;

namespace {

fs::path Corpus() {
    const char* root = std::getenv("TAVOLIX_TEST_DATA");
    return fs::path(root ? root : "tests/data") / "corpus";
}

int warnings = 0;

} // namespace

// Every reader over every file: nothing crashes, hangs or hands the toolkit a
// value it refuses; pictures stay inside their target.
TEST(Corpus, EveryReaderOverFilesOthersMade) {
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString&) { warnings += type == QtWarningMsg; });
    int files = 0, metafiles = 0, bitmaps = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Corpus())) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md")
            continue;
        ++files;
        warnings = 0;
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(entry.path().string(), 4 << 20, bytes)) << entry.path();
        const TByteView view(bytes);
        bitmaps += !DecodeBitmap(view, QSize(200, 36)).isNull();
        DecodeBitmap(view);
        IcoBytesToImage(ExtractIconImage(view, 32, 32));
        ExtractFirstIcon(TMemorySource(view), 32, 32);
        if (const auto info = ReadMetafileInfo(view, 96)) {
            ++metafiles;
            QImage image(240, 140, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter p(&image);
            PlayMetafile(p, view, *info, QRectF(20, 20, 200, 100));
            p.end();
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (!QRect(20, 20, 200, 100).contains(x, y) && image.pixel(x, y) != qRgb(255, 255, 255))
                        FAIL() << entry.path() << " drew outside at " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(warnings, 0) << entry.path();
    }
    qInstallMessageHandler(previous);
    EXPECT_GT(files, 100);
    EXPECT_GT(metafiles, 30);
    EXPECT_GT(bitmaps, 25);
}

// The suite's good and questionable bitmaps against its own renderings:
// close, not identical (rounding of 16-bit channels, alpha over white).
TEST(Corpus, BitmapsLookLikeTheSuiteReferences) {
    const std::pair<const char*, const char*> pairs[] = {
        {"g/pal1.bmp", "pal1.png"},
        {"g/pal4.bmp", "pal4.png"},
        {"g/pal4rle.bmp", "pal4.png"},
        {"g/pal8.bmp", "pal8.png"},
        {"g/pal8rle.bmp", "pal8.png"},
        {"g/pal8os2.bmp", "pal8.png"},
        {"g/pal8v5.bmp", "pal8.png"},
        {"g/pal8topdown.bmp", "pal8.png"},
        {"g/rgb16-565.bmp", "rgb16-565.png"},
        {"g/rgb16.bmp", "rgb16.png"},
        {"g/rgb24.bmp", "rgb24.png"},
        {"g/rgb32bf.bmp", "rgb24.png"},
        {"q/rgb16-231.bmp", "rgb16-231.png"},
        {"q/rgba16-4444.bmp", "rgba16-4444.png"},
        {"q/rgb32h52.bmp", "rgb24.png"},
        {"q/rgba32h56.bmp", "rgba32.png"},
        {"q/rgba32abf.bmp", "rgba32.png"},
        {"q/pal8os2v2.bmp", "pal8.png"},
        {"q/pal8os2v2-16.bmp", "pal8.png"},
        {"q/pal4rlecut.bmp", "pal4rlecut-0.png"},
        {"q/pal8rlecut.bmp", "pal8rlecut-0.png"},
    };
    auto onWhite = [](const QImage& image) {
        QImage out(image.size(), QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter p(&out);
        p.drawImage(0, 0, image);
        return out;
    };
    for (const auto& [bmp, png] : pairs) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile((Corpus() / "bmpsuite" / bmp).string(), 1 << 20, bytes)) << bmp;
        const QImage ours = DecodeBitmap(TByteView(bytes));
        const QImage ref(QString::fromStdString((Corpus() / "bmpsuite/ref" / png).string()));
        ASSERT_FALSE(ref.isNull()) << png;
        ASSERT_EQ(ours.size(), ref.size()) << bmp;
        const QImage a = onWhite(ours), b = onWhite(ref);
        double total = 0;
        int worst = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                const int d = std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                              std::abs(qBlue(p) - qBlue(q));
                total += d;
                worst = std::max(worst, d);
            }
        }
        const double mean = total / (3.0 * a.width() * a.height());
        EXPECT_LT(mean, 2.0) << bmp << " against " << png << ": mean difference " << mean;
        EXPECT_LT(worst, 3 * 24) << bmp << " against " << png;
    }
}

// A hand-made program whose resource directory gives no size, as the loader
// allows: its icon is found all the same.
TEST(Corpus, HandMadeProgramsShowTheirIcon) {
    const TProgramIcon icon = ExtractFirstIcon((Corpus() / "corkami-pe/resource_icon.exe").string(), 32, 32);
    EXPECT_EQ(icon.Handle, TProgramIcon::kIcon);
    EXPECT_FALSE(IcoBytesToImage(icon.IcoBytes).isNull());
}
