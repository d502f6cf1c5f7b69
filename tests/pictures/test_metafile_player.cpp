#include "PixelChecks.h"
#include "pictures/IconFile.h"
#include "pictures/MetafilePlayer.h"
#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

#include <QImage>
#include <QPainter>
#include <QRawFont>

using namespace tavolix::pictures;

namespace {

const QColor kCanvas(200, 200, 200);

std::string Data(const std::string& name) {
    const char* root = std::getenv("TAVOLIX_TEST_DATA");
    return std::string(root ? root : "tests/data") + "/pictures/" + name;
}

std::string Str(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

} // namespace

// Edges of what was drawn within `tolerance` pixels of where the records put them.
// `rightTolerance` apart: a text's width is its font's, which the locale's
// font matching may choose (a Japanese locale takes another "Sans").
::testing::AssertionResult Lands(const QRect& drawn, const QRect& expected, int tolerance,
                                 int rightTolerance = -1) {
    if (rightTolerance < 0)
        rightTolerance = tolerance;
    if (std::abs(drawn.left() - expected.left()) <= tolerance &&
        std::abs(drawn.top() - expected.top()) <= tolerance &&
        std::abs(drawn.right() - expected.right()) <= rightTolerance &&
        std::abs(drawn.bottom() - expected.bottom()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "drawn at " << Str(drawn) << ", expected " << Str(expected);
}

TEST(MetafilePlayer, ShapesLandWhereTheirRecordsPutThem) {
    const QRect target(40, 30, 200, 100);
    const QColor green(0, 128, 0), orange(255, 128, 0);
    struct Shape {
        const char* what;
        TPixelTest colour;
        QRect window, expected; // where to look; where it must be
        int tolerance;
        int rightTolerance = -1; // -1: the same
    };
    // shapes.wmf: one logical unit a pixel from (40, 30). shapes.emf: 1000 x 1000
    // logical units onto 200 x 100 pixels, a 20-unit pen (4 x 2 pixels).
    const std::pair<const char*, std::vector<Shape>> files[] = {
        {"shapes.wmf",
         {{"hatched ellipse", Is(green), {45, 35, 55, 55}, {50, 40, 50, 50}, 2},
          {"stretched bitmap", Is(orange), target, {200, 105, 20, 20}, 0},
          {"ExtTextOut, 6 apart", Near(Qt::red, 60), {100, 45, 60, 20}, {111, 51, 8, 9}, 2},
          {"TextOut", Near(Qt::red, 60), {100, 66, 60, 24}, {111, 71, 27, 10}, 3, 8}}},
        {"shapes.emf",
         {{"ellipse inside its pen", Is(green), {45, 32, 105, 56}, {61, 41, 78, 38}, 2},
          {"diagonal polyline", Is(Qt::blue), target, target, 0},
          {"stretched bitmap", Is(orange), target, {160, 40, 60, 30}, 0},
          {"text", Near(Qt::red, 60), {50, 100, 120, 30}, {60, 112, 36, 13}, 3, 10}}},
    };
    for (const auto& [file, shapes] : files) {
        TLoadedMetafile meta = LoadMetafile(Data(file), 96);
        ASSERT_TRUE(meta.Info) << file;
        QImage image(320, 200, QImage::Format_RGB32);
        image.fill(kCanvas);
        QPainter p(&image);
        PlayMetafile(p, TByteView(meta.Bytes), *meta.Info, target);
        // The painter is handed back as it came.
        EXPECT_TRUE(p.transform().isIdentity()) << file;
        EXPECT_FALSE(p.hasClipping()) << file;
        p.end();
        for (const Shape& s : shapes)
            EXPECT_TRUE(Lands(BoundsOf(image, s.colour, s.window), s.expected, s.tolerance, s.rightTolerance))
                << file << ": " << s.what;
        EXPECT_TRUE(target.contains(BoundsOf(image, [](QColor c) { return c.rgb() != kCanvas.rgb(); })))
            << file;
    }
}

TEST(MetafilePlayer, MapsThePictureOntoAnyTarget) {
    TLoadedMetafile meta = LoadMetafile(Data("blue_10px.emf"), 96);
    ASSERT_TRUE(meta.Info);
    for (QRect target : {QRect(5, 5, 10, 10), QRect(0, 0, 64, 16), QRect(30, 7, 3, 50)}) {
        QImage image(100, 100, QImage::Format_RGB32);
        image.fill(kCanvas);
        QPainter p(&image);
        PlayMetafile(p, TByteView(meta.Bytes), *meta.Info, target);
        p.end();
        EXPECT_EQ(Str(BoundsOf(image, Is(Qt::blue))), Str(target));
    }
}

TEST(MetafilePlayer, DibRecordsAreCheckedLikeFiles) {
    // A header claiming 60000 x 60000 pixels over a handful of bytes.
    std::vector<std::uint8_t> dib(40 + 16, 0);
    auto put32 = [&](std::size_t off, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            dib[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, 60000);
    put32(8, 60000);
    dib[12] = 1;
    dib[14] = 24;
    EXPECT_TRUE(DibToImage(TByteView(dib), {}).isNull());
    put32(4, 2);
    put32(8, 2);
    EXPECT_FALSE(DibToImage(TByteView(dib), {}).isNull());
    EXPECT_TRUE(DibToImage(TByteView(dib.data(), 40 + 8), {}).isNull()) << "pixels cut short";
}

namespace {

// An enhanced metafile of 100 x 100 reference pixels around the given records.
class TEmfBuilder {
public:
    TEmfBuilder& RecordV(std::uint32_t type, const std::vector<std::uint32_t>& words) {
        Put(type);
        Put(static_cast<std::uint32_t>(8 + 4 * words.size()));
        for (std::uint32_t w : words)
            Put(w);
        ++FCount;
        return *this;
    }
    TEmfBuilder& Record(std::uint32_t type, std::initializer_list<std::uint32_t> words) {
        return RecordV(type, std::vector<std::uint32_t>(words));
    }
    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> out;
        auto put = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        const std::uint32_t total = 88 + static_cast<std::uint32_t>(FBody.size()) + 20;
        // Frame 25 mm square on a reference device of 100 pixels per 25 mm.
        const std::uint32_t header[] = {1,    88,   0,           0,        99,    99,         0, 0,
                                        2500, 2500, 0x464D4520u, 0x10000u, total, FCount + 2, 4, 0,
                                        0,    0,    100,         100,      25,    25};
        for (std::uint32_t v : header)
            put(v);
        out.insert(out.end(), FBody.begin(), FBody.end());
        for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u})
            put(v);
        return out;
    }

private:
    void Put(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            FBody.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<std::uint8_t> FBody;
    std::uint32_t FCount = 0;
};

std::uint32_t FloatBits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A placeable Windows metafile with a 100 x 100 box at 96 units per inch.
class TWmfBuilder {
public:
    TWmfBuilder& Record(std::uint16_t function, std::initializer_list<std::uint16_t> words) {
        Put(static_cast<std::uint16_t>(3 + words.size()));
        Put(0);
        Put(function);
        for (std::uint16_t w : words)
            Put(w);
        return *this;
    }
    std::vector<std::uint8_t> Bytes(std::uint16_t objects = 16) const {
        std::vector<std::uint16_t> head = {0xCDD7, 0x9AC6, 0, 0, 0, 100, 100, 96, 0, 0};
        std::uint16_t sum = 0;
        for (std::uint16_t w : head)
            sum ^= w;
        head.push_back(sum);
        const std::uint32_t words = 9 + static_cast<std::uint32_t>(FBody.size()) + 3;
        for (std::uint16_t w :
             {std::uint16_t(1), std::uint16_t(9), std::uint16_t(0x300), std::uint16_t(words & 0xFFFF),
              std::uint16_t(words >> 16), objects, std::uint16_t(100), std::uint16_t(0), std::uint16_t(0)})
            head.push_back(w);
        head.insert(head.end(), FBody.begin(), FBody.end());
        for (std::uint16_t w : {3, 0, 0})
            head.push_back(static_cast<std::uint16_t>(w));
        std::vector<std::uint8_t> out;
        for (std::uint16_t w : head) {
            out.push_back(static_cast<std::uint8_t>(w));
            out.push_back(static_cast<std::uint8_t>(w >> 8));
        }
        return out;
    }

private:
    void Put(std::uint16_t w) { FBody.push_back(w); }
    std::vector<std::uint16_t> FBody;
};

// Plays the bytes onto a 100 x 100 canvas, the target filling it.
QImage Played(const std::vector<std::uint8_t>& bytes, QSize size = QSize(100, 100)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kCanvas);
    const auto info = ReadMetafileInfo(TByteView(bytes), 96);
    if (!info)
        return {};
    QPainter p(&image);
    PlayMetafile(p, TByteView(bytes), *info, QRectF(QPointF(0, 0), size));
    return image;
}

} // namespace

TEST(MetafilePlayer, HostileRecordsStayInsideAndEnd) {
    constexpr std::uint32_t kMin = 0x80000000u, kMax = 0x7FFFFFFFu;
    const std::uint32_t nan = FloatBits(std::numeric_limits<float>::quiet_NaN());
    const std::uint32_t huge = FloatBits(3e38f);
    struct Case {
        const char* what;
        TEmfBuilder emf;
    };
    std::vector<Case> cases;
    {
        TEmfBuilder b;
        b.Record(82, {1, kMin, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Record(37, {1});
        b.Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 3, 76, 0, 0, 0, 0, 0, 0, 0x00420041, 0x43});
        cases.push_back({"most negative font height", b});
    }
    {
        TEmfBuilder b;
        b.Record(44, {10, 10, 90, 90, kMin, kMin});
        cases.push_back({"most negative round corners", b});
    }
    {
        TEmfBuilder b;
        b.Record(17, {8}).Record(9, {1, 1}).Record(11, {kMax, kMax}).Record(42, {kMin, kMin, kMax, kMax});
        b.Record(43, {0, 0, 1, 1}).Record(27, {kMin, kMin}).Record(54, {kMax, kMax});
        cases.push_back({"coordinates far off the device", b});
    }
    {
        TEmfBuilder b;
        b.Record(35, {nan, 0, 0, nan, 0, 0})
            .Record(35, {huge, 0, 0, huge, huge, huge})
            .Record(43, {0, 0, 50, 50});
        cases.push_back({"transforms of NaN and overflow", b});
    }
    {
        TEmfBuilder b;
        for (int i = 0; i < 5000; ++i)
            b.Record(33, {});
        b.Record(34, {static_cast<std::uint32_t>(-100000)})
            .Record(34, {kMin})
            .Record(34, {kMax})
            .Record(34, {3});
        cases.push_back({"save and restore far beyond the stack", b});
    }
    {
        TEmfBuilder b;
        b.Record(38, {kMax, 0, 5, 0, 0xFF}).Record(37, {kMax}).Record(40, {kMax}).Record(37, {0xFFFFFFFFu});
        b.Record(39, {70000, 0, 0, 0}).Record(37, {70000}).Record(37, {0x80000013u});
        b.Record(42, {10, 10, 90, 90});
        cases.push_back({"object handles out of range", b});
    }
    {
        TEmfBuilder b;
        b.Record(3, {0, 0, 0, 0, kMax, 0, 0})
            .Record(8, {0, 0, 0, 0, kMax, kMax, 1})
            .Record(86, {0, 0, 0, 0, 0xFFFF});
        cases.push_back({"point counts past the record", b});
    }
    {
        TEmfBuilder b;
        // StretchDIBits with header and pixel offsets pointing outside the record.
        b.Record(81, {0, 0, 0, 0, 0, 0, 0, 0, 4, 4, kMax, 40, kMax, 48, 0, 0xCC0020, 50, 50});
        b.Record(81, {0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 80, kMax, 80, kMax, 0, 0xCC0020, 50, 50});
        cases.push_back({"bitmap offsets outside the record", b});
    }
    {
        TEmfBuilder b;
        b.Record(59, {});
        for (int i = 0; i < 3000; ++i)
            b.Record(54, {static_cast<std::uint32_t>(i % 100), static_cast<std::uint32_t>((i * 7) % 100)});
        b.Record(60, {}).Record(67, {}).Record(63, {}).Record(62, {});
        cases.push_back({"paths and clip paths", b});
    }
    {
        TEmfBuilder b;
        b.Record(95, {1, 0, 0, 0, 0, 0, 0xF0000000u, 0, 0xFF, 0})
            .Record(37, {1})
            .Record(42, {10, 10, 90, 90});
        cases.push_back({"pen width past the int range", b});
    }
    static int warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString&) { warnings += type == QtWarningMsg; });
    const QRect target(20, 20, 60, 40);
    for (const Case& c : cases) {
        warnings = 0;
        const auto bytes = c.emf.Bytes();
        const auto info = ReadMetafileInfo(TByteView(bytes), 96);
        ASSERT_TRUE(info) << c.what;
        QImage image(100, 80, QImage::Format_RGB32);
        image.fill(kCanvas);
        QPainter p(&image);
        PlayMetafile(p, TByteView(bytes), *info, target);
        EXPECT_TRUE(p.transform().isIdentity()) << c.what;
        EXPECT_FALSE(p.hasClipping()) << c.what;
        p.end();
        const QRect drawn = BoundsOf(image, [](QColor x) { return x.rgb() != kCanvas.rgb(); });
        EXPECT_TRUE(drawn.isNull() || target.contains(drawn)) << c.what << ": " << Str(drawn);
        EXPECT_EQ(warnings, 0) << c.what << ": the toolkit was handed values it refuses";
    }
    qInstallMessageHandler(previous);
}

TEST(MetafilePlayer, DibSourceRowsCountFromTheBottomAndNegativeExtentsMirror) {
    // A 1 x 4 bottom-up bitmap: two blue rows at the bottom, two red on top.
    const std::uint32_t blue = 0x000000FF, red = 0x00FF0000;
    TEmfBuilder emf;
    emf.Record(81, {0,  0,   99, 99, 0,        0,   0,    0,    1,   2,  80,
                    40, 120, 16, 0,  0xCC0020, 100, 100,  40,   1,   4,  1 | (24u << 16),
                    0,  0,   0,  0,  0,        0,   blue, blue, red, red});
    const auto bytes = emf.Bytes();
    const auto info = ReadMetafileInfo(TByteView(bytes), 96);
    ASSERT_TRUE(info);
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(kCanvas);
    QPainter p(&image);
    PlayMetafile(p, TByteView(bytes), *info, QRectF(0, 0, 40, 40));
    p.end();
    EXPECT_EQ(CountOf(image, Is(Qt::blue)), 40 * 40);

    // Red and blue, drawn with a negative width: blue comes first.
    TEmfBuilder mirrored;
    mirrored.Record(81, {0,
                         0,
                         99,
                         99,
                         100,
                         0,
                         0,
                         0,
                         2,
                         1,
                         80,
                         40,
                         120,
                         8,
                         0,
                         0xCC0020,
                         uint32_t(-100),
                         100,
                         40,
                         2,
                         1,
                         1 | (24u << 16),
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0xFFFF0000u,
                         0});
    const QImage flipped = Played(mirrored.Bytes());
    EXPECT_EQ(CountOf(flipped, Is(Qt::blue), QRect(0, 0, 50, 100)), 50 * 100);
    EXPECT_EQ(CountOf(flipped, Is(Qt::red), QRect(50, 0, 50, 100)), 50 * 100);
}

TEST(Readers, KeptFuzzReproducersStayHarmless) {
    // Every input a fuzzer once tripped over, through every reader.
    const char* root = std::getenv("TAVOLIX_TEST_DATA");
    const std::filesystem::path dir = std::filesystem::path(root ? root : "tests/data") / "fuzz";
    static int warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString&) { warnings += type == QtWarningMsg; });
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        ++files;
        warnings = 0;
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(entry.path().string(), 1 << 20, bytes));
        const TByteView view(bytes);
        DecodeBitmap(view);
        IcoBytesToImage(ExtractIconImage(view, 32, 32));
        TMemorySource source(view);
        ExtractFirstIcon(source);
        // At the size the fuzzer played it, and at a corpus test's.
        const auto info = ReadMetafileInfo(view, 96);
        const std::pair<QRect, QSize> plays[] = {{QRect(2, 2, 76, 36), QSize(96, 48)},
                                                 {QRect(20, 20, 200, 100), QSize(240, 140)}};
        for (const auto& [target, canvas] : plays) {
            if (!info)
                break;
            QImage image(canvas, QImage::Format_RGB32);
            image.fill(kCanvas);
            QPainter p(&image);
            PlayMetafile(p, view, *info, target);
            p.end();
            const QRect drawn = BoundsOf(image, [](QColor x) { return x.rgb() != kCanvas.rgb(); });
            EXPECT_TRUE(drawn.isNull() || target.contains(drawn)) << entry.path();
        }
        EXPECT_EQ(warnings, 0) << entry.path();
    }
    qInstallMessageHandler(previous);
    EXPECT_GT(files, 0);
}

namespace {
constexpr std::uint32_t kNullPen = 0x80000008u;
constexpr std::uint32_t Rgb(int r, int g, int b) {
    return std::uint32_t(r) | (std::uint32_t(g) << 8) | (std::uint32_t(b) << 16);
}
} // namespace

TEST(MetafilePlayer, ClipRegionsExcludedRectanglesAndTheirReset) {
    TEmfBuilder emf;
    emf.Record(37, {kNullPen}).Record(39, {1, 0, Rgb(0, 255, 0), 0}).Record(37, {1});
    emf.Record(29, {40, 40, 60, 60}).Record(43, {0, 0, 100, 100}); // a green field with a hole
    // Only a 20-pixel corner, then the default clip again.
    emf.Record(75, {48, 5, 32, 1, 1, 16, 0, 0, 20, 20, 0, 0, 20, 20});
    emf.Record(39, {2, 0, Rgb(255, 0, 0), 0}).Record(37, {2}).Record(43, {0, 0, 100, 100});
    emf.Record(75, {0, 5}).Record(39, {3, 0, Rgb(0, 0, 255), 0}).Record(37, {3}).Record(43, {45, 45, 55, 55});
    const QImage image = Played(emf.Bytes());
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::red))), Str(QRect(0, 0, 20, 20)));
    EXPECT_EQ(Str(BoundsOf(image, Is(kCanvas))), Str(QRect(40, 40, 20, 20)));
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::blue))), Str(QRect(45, 45, 10, 10))) << "the clip was reset";

    TWmfBuilder wmf; // the same hole in a Windows metafile
    wmf.Record(0x02FA, {5, 0, 0, 0, 0}).Record(0x012D, {0});
    wmf.Record(0x02FC, {0, 0xFF00, 0, 0}).Record(0x012D, {1});
    wmf.Record(0x0415, {60, 60, 40, 40}).Record(0x041B, {100, 100, 0, 0});
    EXPECT_EQ(Str(BoundsOf(Played(wmf.Bytes()), Is(kCanvas))), Str(QRect(40, 40, 20, 20)));
}

TEST(MetafilePlayer, TextInTheSystemCodePageAndByGlyphIndex) {
    const QString face = QStringLiteral("IPAPGothic");
    auto withFont = [&](std::uint32_t charSet) {
        TEmfBuilder b;
        std::vector<std::uint32_t> font = {1, static_cast<std::uint32_t>(-40), 0, 0, 0, 400, charSet << 24};
        font.resize(8 + 16, 0); // the face name from the ninth word
        for (int i = 0; i < face.size(); ++i)
            font[8 + i / 2] |= std::uint32_t(face[i].unicode()) << (16 * (i % 2));
        b.RecordV(82, font).Record(37, {1}).Record(18, {1});
        return b;
    };
    // ExtTextOut at (10, 30): `count` characters (bytes for the ANSI record), string at 76, no dx.
    auto text = [](TEmfBuilder b, std::uint32_t type, std::uint32_t options, std::uint32_t count,
                   std::vector<std::uint32_t> chars) {
        std::vector<std::uint32_t> r = {0, 0, 0, 0, 1, 0, 0, 10, 30, count, 76, options, 0, 0, 0, 0, 0};
        r.insert(r.end(), chars.begin(), chars.end());
        b.RecordV(type, r);
        return b.Bytes();
    };
    // "日本": Shift-JIS 93 FA 96 7B, UTF-16 65E5 672C.
    const QImage wide = Played(text(withFont(1), 84, 0, 2, {0x672C65E5u}));
    const QImage ansi = Played(text(withFont(1), 83, 0, 4, {0x7B96FA93u}));
    ASSERT_GT(CountOf(wide, Is(Qt::black)), 20);
    EXPECT_EQ(wide, ansi) << "DEFAULT_CHARSET text in Shift-JIS";
    const QRawFont raw = QRawFont::fromFont([&] {
        QFont f(face);
        f.setPixelSize(40);
        return f;
    }());
    const QList<quint32> glyphs = raw.glyphIndexesForString(QStringLiteral("日本"));
    ASSERT_EQ(glyphs.size(), 2);
    const QImage indexed = Played(text(withFont(1), 84, 0x10, 2, {glyphs[0] | (glyphs[1] << 16)}));
    const QRect ink = BoundsOf(wide, Is(Qt::black)), indexedInk = BoundsOf(indexed, Is(Qt::black));
    EXPECT_TRUE(Lands(indexedInk, ink, 2)) << "glyph indices drawn as the glyphs they name";
}

TEST(MetafilePlayer, LessCommonRecordsDrawWhereTheySay) {
    const std::uint32_t orange = 0x00FF8000; // as a 32-bit BGRA pixel
    TEmfBuilder emf;
    emf.Record(37, {kNullPen});
    // SetDIBitsToDevice: a 2 x 2 bitmap at (10, 10), drawn at its own size.
    emf.Record(80, {0,      0,      0,     0,  10, 10,  0,
                    0,      2,      2,     76, 40, 116, 16,
                    0,      0,      2,     40, 2,  2,   1 | (32u << 16),
                    0,      0,      0,     0,  0,  0,   orange,
                    orange, orange, orange});
    // GradientFill: red to blue, left to right over (0, 80)-(100, 100).
    emf.Record(118, {0, 0, 0, 0, 2, 1, 0, 0, 80, 0xFF00, 0, 100, 100, 0, 0xFF00, 0, 1});
    // FillRgn with a green brush over (60, 10)-(80, 30).
    emf.Record(39, {1, 0, Rgb(0, 255, 0), 0});
    emf.Record(71, {0, 0, 0, 0, 48, 1, 32, 1, 1, 16, 60, 10, 80, 30, 60, 10, 80, 30});
    // PolyDraw with the black pen: a move and a line.
    emf.Record(37, {0x80000007u}).Record(56, {0, 0, 0, 0, 2, 10, 50, 90, 50, 0x0206});
    // AlphaBlend of red at half constant alpha; TransparentBlt of red and blue, red left out.
    const std::uint32_t one = FloatBits(1.0f), red = 0x00FF0000, blue = 0x000000FF;
    emf.Record(114,
               {0,  0,   0,  0, 30, 30, 10, 10, 128u << 16,      0, 0, one, 0, 0, one, 0,   0,   0,   0,  108,
                40, 148, 16, 2, 2,  40, 2,  2,  1 | (32u << 16), 0, 0, 0,   0, 0, 0,   red, red, red, red});
    emf.Record(116,
               {0,  0,   0, 0, 50, 60, 20, 10, Rgb(255, 0, 0),  0, 0, one, 0, 0, one, 0,   0,   0, 0, 108,
                40, 148, 8, 2, 1,  40, 2,  1,  1 | (32u << 16), 0, 0, 0,   0, 0, 0,   red, blue});
    const QImage image = Played(emf.Bytes());
    EXPECT_EQ(Str(BoundsOf(image, Near(QColor(228, 100, 100), 12))), Str(QRect(30, 30, 10, 10)));
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::blue))), Str(QRect(60, 60, 10, 10)));
    EXPECT_EQ(CountOf(image, Is(Qt::red), QRect(50, 60, 10, 10)), 0);
    EXPECT_EQ(Str(BoundsOf(image, Is(QColor(255, 128, 0)))), Str(QRect(10, 10, 2, 2)));
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::green))), Str(QRect(60, 10, 20, 20)));
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::black))), Str(QRect(10, 50, 81, 1)));
    const QColor left = image.pixelColor(2, 90), right = image.pixelColor(97, 90);
    EXPECT_GT(left.red(), 200) << "gradient starts red";
    EXPECT_GT(right.blue(), 200) << "gradient ends blue";

    TWmfBuilder wmf; // PatBlt with the brush, SetPixel
    wmf.Record(0x02FC, {0, 0xFF00, 0, 0}).Record(0x012D, {0});
    wmf.Record(0x061D, {0x0021, 0x00F0, 10, 20, 5, 5}).Record(0x041F, {0x00FF, 0, 50, 70});
    const QImage w = Played(wmf.Bytes());
    EXPECT_EQ(Str(BoundsOf(w, Is(Qt::green))), Str(QRect(5, 5, 20, 10)));
    EXPECT_EQ(Str(BoundsOf(w, Is(Qt::red))), Str(QRect(70, 50, 1, 1)));
}

// A blit without a source does what its raster operation says: nothing for
// the destination kept as it is (diagram tools end their pictures with one),
// the brush, black.
TEST(MetafilePlayer, BlitsWithoutSourceFollowTheirRasterOperation) {
    auto blit = [](TEmfBuilder& b, std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
                   std::uint32_t rop) {
        std::vector<std::uint32_t> words = {0, 0, 0, 0, x, y, w, h, rop};
        words.resize(23, 0);
        b.RecordV(76, words);
    };
    TEmfBuilder emf;
    emf.Record(37, {kNullPen}).Record(39, {1, 0, Rgb(0, 255, 0), 0}).Record(37, {1});
    emf.Record(43, {0, 0, 100, 100}).Record(37, {0x80000000u}); // green, then the white brush
    blit(emf, 0, 0, 100, 100, 0x00AA0029);
    emf.Record(39, {2, 0, Rgb(255, 0, 0), 0}).Record(37, {2});
    blit(emf, 0, 0, 50, 50, 0x00F00021);
    blit(emf, 50, 50, 50, 50, 0x00000042);
    const QImage image = Played(emf.Bytes());
    EXPECT_EQ(CountOf(image, Is(Qt::green)), 100 * 100 - 2 * 50 * 50);
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::red))), Str(QRect(0, 0, 50, 50)));
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::black))), Str(QRect(50, 50, 50, 50)));

    TWmfBuilder wmf; // PatBlt keeping the destination
    wmf.Record(0x02FC, {0, 0xFF00, 0, 0}).Record(0x012D, {0}).Record(0x041B, {100, 100, 0, 0});
    wmf.Record(0x02FC, {0, 0x00FF, 0, 0})
        .Record(0x012D, {1})
        .Record(0x061D, {0x0029, 0x00AA, 100, 100, 0, 0});
    EXPECT_EQ(CountOf(Played(wmf.Bytes()), Is(Qt::red)), 0);
}

// A file past the budgets shows what it drew up to there; a freed WMF slot is
// the next one filled (the lowest free, as the table's owner expects).
TEST(MetafilePlayer, BudgetsKeepWhatWasDrawnAndSlotsAreReused) {
    TEmfBuilder emf;
    emf.Record(37, {kNullPen})
        .Record(39, {1, 0, Rgb(255, 0, 0), 0})
        .Record(37, {1})
        .Record(43, {0, 0, 50, 50});
    for (int i = 0; i < 20000; ++i)
        emf.Record(43, {60, 60, 61, 61});
    emf.Record(39, {2, 0, Rgb(0, 0, 255), 0}).Record(37, {2}).Record(43, {0, 0, 100, 100});
    const QImage image = Played(emf.Bytes());
    EXPECT_EQ(Str(BoundsOf(image, Is(Qt::red), QRect(0, 0, 55, 55))), Str(QRect(0, 0, 50, 50)));
    EXPECT_EQ(CountOf(image, Is(Qt::blue)), 0) << "drawn past the budget";

    TWmfBuilder wmf;
    wmf.Record(0x02FA, {5, 0, 0, 0, 0}).Record(0x012D, {0});                 // slot 0: no pen
    wmf.Record(0x02FC, {0, 0x00FF, 0, 0}).Record(0x02FC, {0, 0xFF00, 0, 0}); // slots 1 red, 2 green
    wmf.Record(0x01F0, {1}).Record(0x02FC, {0, 0, 0x00FF, 0});               // slot 1 freed, then blue there
    wmf.Record(0x012D, {1}).Record(0x041B, {100, 100, 0, 0});
    EXPECT_EQ(Str(BoundsOf(Played(wmf.Bytes()), Is(Qt::blue))), Str(QRect(0, 0, 100, 100)));
}
