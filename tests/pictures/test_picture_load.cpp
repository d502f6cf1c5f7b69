#include "TestDir.h"
#include "pictures/IconFile.h"
#include "pictures/PictureLoad.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>

using namespace tavolix::pictures;

namespace {

using TBytes = std::vector<std::uint8_t>;

void Put16(TBytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(TBytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Append(TBytes& b, std::initializer_list<std::uint32_t> values, int bytesEach) {
    for (std::uint32_t v : values) {
        for (int i = 0; i < bytesEach; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// The fields every long header shares, in a header of `size` bytes.
TBytes Header(std::uint32_t size, int w, int h, int bits, std::uint32_t compression = 0) {
    TBytes b(size, 0);
    Put32(b, 0, size);
    Put32(b, 4, static_cast<std::uint32_t>(w));
    Put32(b, 8, static_cast<std::uint32_t>(h));
    Put16(b, 12, 1);
    Put16(b, 14, static_cast<std::uint32_t>(bits));
    if (size >= 20)
        Put32(b, 16, compression);
    return b;
}

TBytes BmpFile(const TBytes& dib, const TBytes& pixels) {
    TBytes f(14, 0);
    f[0] = 'B', f[1] = 'M';
    f.insert(f.end(), dib.begin(), dib.end());
    Put32(f, 10, static_cast<std::uint32_t>(f.size()));
    f.insert(f.end(), pixels.begin(), pixels.end());
    Put32(f, 2, static_cast<std::uint32_t>(f.size()));
    return f;
}

bool Close(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 8 && std::abs(qGreen(a) - qGreen(b)) <= 8 &&
           std::abs(qBlue(a) - qBlue(b)) <= 8 && std::abs(qAlpha(a) - qAlpha(b)) <= 8;
}

std::string Hex(QRgb c) {
    char s[16];
    std::snprintf(s, sizeof s, "%08x", c);
    return s;
}

} // namespace

// Header variants and pixel layouts that real programs write. Each bitmap is
// 2 x 1: the left pixel red, the right one blue (bottom-up, one row).
TEST(BitmapDecode, HeaderVariantsAndBitFieldsOfRealFiles) {
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    struct Case {
        const char* what;
        TBytes dib, pixels;
    };
    std::vector<Case> cases;
    auto masks = [](TBytes dib, std::initializer_list<std::uint32_t> m) {
        std::size_t at = 40;
        for (std::uint32_t v : m)
            Put32(dib, at, v), at += 4;
        return dib;
    };
    cases.push_back({"52-byte header, 32-bit bit fields",
                     masks(Header(52, 2, 1, 32, 3), {0xFF0000, 0xFF00, 0xFF}),
                     {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}});
    cases.push_back({"56-byte header with an alpha mask",
                     masks(Header(56, 2, 1, 32, 3), {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
                     {0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF}});
    cases.push_back({"alpha zero everywhere: opaque",
                     masks(Header(56, 2, 1, 32, 3), {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
                     {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}});
    {
        TBytes dib = Header(40, 2, 1, 16, 6); // BI_ALPHABITFIELDS: four masks after the header
        Append(dib, {0x0F00, 0x00F0, 0x000F, 0xF000}, 4);
        cases.push_back({"16-bit 4-4-4-4 alpha bit fields", dib, {0x00, 0xFF, 0x0F, 0xF0}});
    }
    {
        TBytes dib = Header(40, 2, 1, 16, 3);
        Append(dib, {0xF800, 0x07E0, 0x001F}, 4);
        cases.push_back({"16-bit 5-6-5", dib, {0x00, 0xF8, 0x1F, 0x00}});
    }
    cases.push_back({"16-bit x-5-5-5 without masks", Header(40, 2, 1, 16), {0x00, 0x7C, 0x1F, 0x00}});
    {
        TBytes dib = Header(64, 2, 1, 8); // OS/2 2.x, four-byte palette entries
        Put32(dib, 32, 2);
        Append(dib, {0x00FF0000, 0x000000FF}, 4);
        cases.push_back({"OS/2 2.x 64-byte header", dib, {0, 1, 0, 0}});
    }
    cases.push_back({"OS/2 2.x 16-byte header", Header(16, 2, 1, 24), {0, 0, 0xFF, 0xFF, 0, 0, 0, 0}});
    for (const Case& c : cases) {
        const TBytes file = BmpFile(c.dib, c.pixels);
        const QImage image = DecodeBitmap(TByteView(file));
        ASSERT_EQ(image.size(), QSize(2, 1)) << c.what;
        EXPECT_TRUE(Close(image.pixel(0, 0), red)) << c.what << ": " << Hex(image.pixel(0, 0));
        EXPECT_TRUE(Close(image.pixel(1, 0), blue)) << c.what << ": " << Hex(image.pixel(1, 0));
    }
}

TEST(BitmapDecode, RunLengthDataThatEndsEarlyDrawsWhatItHas) {
    TBytes dib = Header(40, 4, 3, 8, 1);
    Append(dib, {0x000000, 0x00FF00}, 4); // colour 0 black, colour 1 green
    Put32(dib, 32, 2);
    // The bottom row green, then the data stops: no end of line, no end of bitmap.
    const TBytes file = BmpFile(dib, {4, 1, 0, 0, 2, 1});
    const QImage image = DecodeBitmap(TByteView(file));
    ASSERT_EQ(image.size(), QSize(4, 3));
    EXPECT_EQ(Hex(image.pixel(3, 2)), Hex(qRgb(0, 255, 0)));
    EXPECT_EQ(Hex(image.pixel(0, 1)), Hex(qRgb(0, 255, 0)));
    EXPECT_EQ(Hex(image.pixel(3, 1)), Hex(qRgb(0, 0, 0)));
    EXPECT_EQ(Hex(image.pixel(0, 0)), Hex(qRgb(0, 0, 0)));

    // A big picture whose one green row is followed by the end-of-bitmap code.
    TBytes big = Header(40, 640, 480, 8, 1);
    Append(big, {0x000000, 0x00FF00}, 4);
    Put32(big, 32, 2);
    const TBytes early = BmpFile(big, {255, 1, 255, 1, 130, 1, 0, 0, 0, 1});
    const QImage drawn = DecodeBitmap(TByteView(early));
    ASSERT_EQ(drawn.size(), QSize(640, 480));
    EXPECT_EQ(Hex(drawn.pixel(639, 479)), Hex(qRgb(0, 255, 0)));
    EXPECT_EQ(Hex(drawn.pixel(639, 478)), Hex(qRgb(0, 0, 0)));
}

// An A4 page scanned at 600 dpi is over 32 M pixels: decoded at the size
// shown, reading only the rows shown, with its own size reported.
TEST(BitmapDecode, BigPicturesAreDecodedAtTheSizeShown) {
    const int w = 4960, h = 7016;
    const std::uint32_t stride = ((w + 31) / 32) * 4;
    TBytes dib = Header(40, w, h, 1);
    Append(dib, {0x000000, 0xFFFFFF}, 4);
    TBytes rows(std::size_t{stride} * h, 0); // black, with the top quarter white
    for (int y = h - h / 4; y < h; ++y)
        std::fill(rows.begin() + std::size_t{stride} * y, rows.begin() + std::size_t{stride} * (y + 1), 0xFF);
    const TBytes file = BmpFile(dib, rows);
    TTestDir dir;
    const std::string path = dir.Path("a4 scan.bmp");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());

    QSize asked;
    const TBitmapPicture picture = LoadBitmapFile(path, [&](QSize real) {
        asked = real;
        return QSize(25, 36);
    });
    EXPECT_EQ(asked, QSize(w, h));
    EXPECT_EQ(picture.Size, QSize(w, h));
    ASSERT_EQ(picture.Image.size(), QSize(25, 36));
    EXPECT_EQ(Hex(picture.Image.pixel(12, 2)), Hex(qRgb(255, 255, 255)));
    EXPECT_EQ(Hex(picture.Image.pixel(12, 30)), Hex(qRgb(0, 0, 0)));
}

namespace {

// A 16 x 16 icon image: 32-bit colour with the given alpha, or 1-bit, and an
// AND mask whose left half is set (transparent).
TBytes IconImage(int bits, std::uint8_t alpha) {
    TBytes dib = Header(40, 16, 32, bits);
    if (bits == 1)
        Append(dib, {0x000000, 0xFF0000}, 4); // black, red
    for (int y = 0; y < 16; ++y) {
        if (bits == 32) {
            for (int x = 0; x < 16; ++x)
                Append(dib, {0x00FF00u | (std::uint32_t{alpha} << 24)}, 4);
        } else {
            Append(dib, {0xFFFFFFFFu}, 4); // colour 1 everywhere
        }
    }
    for (int y = 0; y < 16; ++y)
        Append(dib, {0x0000FF}, 4); // the first eight pixels of each row
    return dib;
}

TBytes IcoFile(const std::vector<std::pair<int, TBytes>>& images) { // directory depth, image
    TBytes f;
    Append(f, {0, 1, static_cast<std::uint32_t>(images.size())}, 2);
    std::uint32_t at = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (const auto& [depth, image] : images) {
        const int side = image[0] == 0x89 ? 0 : 16; // PNG entries here are 256 x 256
        f.push_back(static_cast<std::uint8_t>(side));
        f.push_back(static_cast<std::uint8_t>(side));
        Append(f, {0, 0}, 1);
        Append(f, {1, static_cast<std::uint32_t>(depth)}, 2);
        Append(f, {static_cast<std::uint32_t>(image.size()), at}, 4);
        at += static_cast<std::uint32_t>(image.size());
    }
    for (const auto& [depth, image] : images)
        f.insert(f.end(), image.begin(), image.end());
    return f;
}

QImage IconOf(const TBytes& ico, int size) {
    return IcoBytesToImage(ExtractIconImage(TByteView(ico), size, size));
}

} // namespace

TEST(IconDecode, DepthAlphaAndMaskAsTheSystemDrawsThem) {
    // The directory says depth 0 for the 32-bit image: its header tells, and
    // it beats the 1-bit one. Its alpha is zero everywhere: the mask decides.
    const QImage zeroAlpha = IconOf(IcoFile({{1, IconImage(1, 0)}, {0, IconImage(32, 0)}}), 16);
    ASSERT_EQ(zeroAlpha.size(), QSize(16, 16));
    EXPECT_EQ(Hex(zeroAlpha.pixel(12, 5)), Hex(qRgb(0, 255, 0))) << "the 32-bit image, opaque";
    EXPECT_EQ(qAlpha(zeroAlpha.pixel(3, 5)), 0) << "masked";
    // With real alpha the mask is not used.
    const QImage ownAlpha = IconOf(IcoFile({{32, IconImage(32, 255)}}), 16);
    EXPECT_EQ(Hex(ownAlpha.pixel(3, 5)), Hex(qRgb(0, 255, 0)));
    // A shallow image keeps its colours where the mask is clear.
    const QImage mono = IconOf(IcoFile({{1, IconImage(1, 0)}}), 16);
    EXPECT_EQ(Hex(mono.pixel(12, 5)), Hex(qRgb(255, 0, 0)));
    EXPECT_EQ(qAlpha(mono.pixel(3, 5)), 0);

    // A PNG-compressed 256 x 256 entry is chosen, and left to the picture helper.
    QImage big(256, 256, QImage::Format_ARGB32);
    big.fill(qRgb(10, 20, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(big.save(&buffer, "PNG"));
    const TBytes chosen = ExtractIconImage(
        TByteView(IcoFile({{1, IconImage(1, 0)}, {32, TBytes(png.begin(), png.end())}})), 256, 256);
    EXPECT_TRUE(IsPngIcon(chosen));
    EXPECT_TRUE(IcoBytesToImage(chosen).isNull());
}

// Favicon writers often leave the mask out of 32-bit images: their alpha
// decides, and without alpha they are opaque.
TEST(IconDecode, ThirtyTwoBitImagesWithoutMask) {
    auto noMask = [](std::uint8_t alpha) {
        TBytes image = IconImage(32, alpha);
        image.resize(image.size() - 16 * 4);
        return image;
    };
    const QImage icon = IconOf(IcoFile({{32, noMask(255)}, {32, noMask(255)}}), 32);
    ASSERT_EQ(icon.size(), QSize(16, 16));
    EXPECT_EQ(Hex(icon.pixel(3, 5)), Hex(qRgb(0, 255, 0)));
    const QImage flat = IconOf(IcoFile({{32, noMask(0)}}), 16);
    ASSERT_EQ(flat.size(), QSize(16, 16));
    EXPECT_EQ(Hex(flat.pixel(3, 5)), Hex(qRgb(0, 255, 0)));
}
