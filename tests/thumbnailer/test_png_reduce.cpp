#include "TestDir.h"
#include "TestPictures.h"
#include "thumbnailer/Decoders.h"
#include "thumbnailer/PngReduce.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

using namespace tavolix::thumbs;
using namespace tavolix::thumbnailer;
namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The reducer's result as an image, from memory; `whole` false forces the
// piece-by-piece inflate.
QImage Reduced(const std::string& png, QSize size, bool whole) {
    TPngBytes in(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
    TPngLimits limits;
    if (!whole)
        limits.WholeBytes = 0;
    const auto reduced = ReducePng(
        in,
        [size](int width, int height) {
            return size.isValid() ? std::pair(size.width(), size.height()) : std::pair(width, height);
        },
        limits);
    if (!reduced)
        return {};
    QImage image(reduced->OutWidth, reduced->OutHeight, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), reduced->Pixels.data() + std::size_t(y) * reduced->OutWidth,
                    std::size_t(reduced->OutWidth) * 4);
    return image;
}

std::string WithoutChunk(const std::string& png, const char* type) {
    std::string out = png.substr(0, 8);
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(png.data() + at);
        const std::size_t length = std::size_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (png.compare(at + 4, 4, type) != 0)
            out += png.substr(at, length + 12);
        at += length + 12;
    }
    return out;
}

QImage TheToolkits(const std::string& png, QSize scaled = {}) {
    QByteArray bytes = QByteArray::fromStdString(png);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    if (scaled.isValid())
        reader.setScaledSize(scaled);
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

struct TDifference {
    int Largest = 0;
    double Mean = 0;
};

TDifference Compare(const QImage& a, const QImage& b) {
    TDifference d;
    long long sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (int shift = 0; shift < 32; shift += 8) {
                const int diff = std::abs(int((pa[x] >> shift) & 0xFF) - int((pb[x] >> shift) & 0xFF));
                d.Largest = std::max(d.Largest, diff);
                sum += diff;
            }
        }
    }
    d.Mean = double(sum) / (4.0 * std::max(1, a.width() * a.height()));
    return d;
}

// A photo-like picture: gradients, shapes, fine noise; with `alpha` a
// transparency that fades across it.
QImage Photo(int width, int height, bool alpha) {
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    std::mt19937 noise(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(noise() % 41) - 20;
            line[x] = qRgba(std::clamp(255 * x / width + grain, 0, 255),
                            std::clamp(255 * y / height - grain, 0, 255), std::clamp(128 + grain, 0, 255),
                            alpha ? 255 * (x + y) / (width + height) : 255);
        }
    }
    QPainter painter(&image);
    painter.setBrush(QColor(20, 200, 60));
    painter.drawEllipse(width / 5, height / 5, width / 3, height / 2);
    return image;
}

} // namespace

TEST(PngReduce, EveryPictureOfTheSuiteReadsAsTheToolkitReadsIt) {
    int read = 0, refused = 0;
    for (const auto& e :
         fs::directory_iterator(fs::path(std::getenv("TAVOLIX_TEST_DATA")) / "corpus/pngsuite")) {
        if (e.path().extension() != ".png")
            continue;
        const std::string name = e.path().filename().string(), bytes = Bytes(e.path());
        // The toolkit reads a 16-bit RGB picture with a transparent colour
        // (white in these two) as garbage: it is compared with the picture
        // read without that colour, whose white must have become transparent.
        const bool keyed = name == "tbbn2c16.png" || name == "tbgn2c16.png";
        const QImage theirs = TheToolkits(keyed ? WithoutChunk(bytes, "tRNS") : bytes);
        for (const bool whole : {true, false}) {
            SCOPED_TRACE(name + (whole ? ", inflated whole" : ", inflated in pieces"));
            QImage ours = Reduced(bytes, {}, whole);
            // The suite's broken files start with an x.
            if (name[0] == 'x') {
                EXPECT_TRUE(ours.isNull());
                refused += ours.isNull();
                continue;
            }
            ASSERT_EQ(ours.size(), theirs.size());
            if (keyed) {
                int transparent = 0;
                for (int y = 0; y < ours.height(); ++y) {
                    for (int x = 0; x < ours.width(); ++x) {
                        if (theirs.pixel(x, y) == 0xFFFFFFFFu && ours.pixel(x, y) == 0) {
                            ours.setPixel(x, y, 0xFFFFFFFFu);
                            ++transparent;
                        }
                    }
                }
                EXPECT_GT(transparent, 0);
            }
            EXPECT_LE(Compare(ours, theirs).Largest, 1);
            read += !ours.isNull();
        }
    }
    EXPECT_GE(read, 2 * 160);
    EXPECT_GE(refused, 2 * 14);
}

TEST(PngReduce, ABigPictureLooksAsTheToolkitScalesIt) {
    TTestDir dir;
    for (const bool alpha : {false, true}) {
        const QImage photo = Photo(803, 451, alpha);
        for (const bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(alpha ? "with alpha" : "opaque") + (interlaced ? ", interlaced" : ""));
            const std::string png = PngOf(photo, interlaced);
            dir.File("photo.png", png);
            const int fd = ::open(dir.Path("photo.png").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            const auto ours = DecodeForThumbnail(fd, dir.Path("photo.png"), TDecoder::QtImage, 64, 96);
            ::close(fd);
            ASSERT_TRUE(ours);
            EXPECT_EQ(ours->PictureSize, photo.size());
            // Every pixel the mean of those it covers, as the toolkit's smooth
            // scaling of the whole picture gives it (premultiplied: the colour
            // of a transparent pixel weighs nothing).
            const QImage theirs = TheToolkits(png).scaled(FitInto(photo.size(), 64, false),
                                                          Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const QImage image = ours->Image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            ASSERT_EQ(image.size(), theirs.size());
            const TDifference d = Compare(image, theirs);
            // An interlaced picture read for a box of 12 pixels comes from its
            // first five passes.
            EXPECT_LT(d.Mean, interlaced ? 1.2 : 0.6);
            EXPECT_LE(d.Largest, interlaced ? 24 : 6);
            // Both inflates and every box size give the same pixels.
            for (const QSize size : {QSize(267, 150), QSize(20, 11)})
                EXPECT_EQ(Reduced(png, size, true), Reduced(png, size, false));
        }
    }
}
