#include "PixelChecks.h"
#include "TestDir.h"
#include "pictures/PictureLoad.h"
#include "results/ItemPainter.h"
#include "ui/WaitCursor.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (its header is not always installed).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

using namespace tavolix::results;
using namespace tavolix::pictures;
namespace ui = tavolix::ui;

namespace {

const QColor kCanvas(200, 200, 200); // what the list's own background painting left
const QColor kListBack(Qt::white);
const QColor kHighlight(0, 0, 128);
const QColor kHighlightText(Qt::white);
const QColor kIcon32(10, 200, 30);
const QColor kIcon16(200, 10, 200);
constexpr int L = 20, T = 50, IH = 40;

std::string Data(const std::string& name) {
    const char* root = std::getenv("TAVOLIX_TEST_DATA");
    return std::string(root ? root : "tests/data") + "/pictures/" + name;
}

QFont ListFont() {
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(15);
    return f;
}

TItemPaintInput Item(const std::string& path, bool selected = false) {
    TItemPaintInput in;
    in.FullPath = path;
    in.ItemRect = QRect(L, T, 200, IH);
    in.ItemHeight = IH;
    in.Columns = 2;
    in.ListWidth = 400;
    in.Font = ListFont();
    in.Selected = selected;
    in.TextColor = Qt::black;
    in.BackColor = kListBack;
    in.HighlightColor = kHighlight;
    in.HighlightTextColor = kHighlightText;
    return in;
}

QImage Paint(const TItemPaintInput& in, QSize size = QSize(480, 160)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kCanvas);
    QPainter p(&image);
    // As the list hands it over: text on an opaque background of the surface's colour.
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(in.Selected ? in.HighlightColor : in.BackColor);
    p.setBrush(in.Selected ? in.HighlightColor : in.BackColor);
    PaintResultItem(p, in);
    p.end();
    return image;
}

int Width(const QString& text) {
    return QFontMetrics(ListFont()).horizontalAdvance(text);
}
int Height() {
    return QFontMetrics(ListFont()).height();
}
QString NameOf(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.substr(path.rfind('/') + 1)));
}

std::string Str(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

const TPixelTest kGreen = [](QColor c) {
    return c.red() < 30 && c.green() > 100 && c.green() < 160 && c.blue() < 30;
};

} // namespace

TEST(ItemPainter, GroupsByUpperCasedExtension) {
    struct Case {
        const char* path;
        TItemGroup group;
    } cases[] = {
        {"/a/b.ico", TItemGroup::IconFile},
        {"/a/b.bMp", TItemGroup::Bitmap},
        {"/a/b.WMF", TItemGroup::Metafile},
        {"/a/b.exe", TItemGroup::ShellIcon},
        {"/a/b.Dll", TItemGroup::ShellIcon},
        {"/a/b.hlp", TItemGroup::ShellIcon},
        {"/a/b.lnk", TItemGroup::ShellIcon},
        {"/a/b.ani", TItemGroup::ShellIcon},
        {"/a/b.vbx", TItemGroup::ShellIcon},
        {"/a/b.gif", TItemGroup::NameOnly},
        {"/a/b.emf", TItemGroup::Metafile},
        {"/a/b", TItemGroup::NameOnly},
        {"/a.bmp/b", TItemGroup::NameOnly},
        {"/a/b.bmp.txt", TItemGroup::NameOnly},
        {"/a/.bmp", TItemGroup::Bitmap},
        {"/a/b.\xef\xbd\x82mp", TItemGroup::NameOnly}, // full-width letters are no ASCII
    };
    for (const Case& c : cases)
        EXPECT_EQ(GroupOf(c.path), c.group) << c.path;
    EXPECT_EQ(UpperExt("/x/name.tar.gz"), ".GZ");
    EXPECT_EQ(UpperExt("/x/\xe5\x86\x99\xe7\x9c\x9f.jpeg"), ".JPEG");
    EXPECT_EQ(PictureSizeText(640, 480).toUtf8(), QByteArray("640\xc3\x97"
                                                             "480"));
}

TEST(ItemPainter, NameOnlyItemsLeaveTheIconAreaEmpty) {
    for (const char* name :
         {"/nowhere/a.gif", "/nowhere/Photo.JPG", "/nowhere/no extension", "/nowhere/x.png"}) {
        const QImage image = Paint(Item(name));
        const QRect band = BoundsOf(image, Is(kListBack));
        EXPECT_EQ(Str(band), Str(QRect(L + 32 + 12, T + (IH - 15) / 2, Width(NameOf(name)), Height())))
            << name;
        EXPECT_EQ(BoundsOf(
                      image, [](QColor c) { return c.rgb() != kCanvas.rgb(); }, QRect(0, 0, L + 44, 160)),
                  QRect())
            << name;
        EXPECT_GT(CountOf(image, Near(Qt::black, 60), band), 3) << name;
    }
}

TEST(ItemPainter, ControlCharactersInNamesAreShownNotObeyed) {
    const struct {
        const char* Name;
        QString Shown;
    } cases[] = {{"evil\xE2\x80\xAEgpj.txt", QStringLiteral("evil\\u202Egpj.txt")},
                 {"two\r\nlines.txt", QStringLiteral("two\\u000D\\u000Alines.txt")}};
    for (const auto& c : cases) {
        QImage reference(480, 160, QImage::Format_RGB32);
        reference.fill(kCanvas);
        QPainter p(&reference);
        p.setFont(ListFont());
        p.setClipRect(QRect(L, T, 200, IH));
        const QFontMetrics fm(ListFont());
        const int x = L + 32 + 12, y = T + (IH - 15) / 2;
        p.fillRect(QRect(x, y, fm.horizontalAdvance(c.Shown), fm.height()), kListBack);
        p.drawText(x, y + fm.ascent(), c.Shown);
        p.end();
        EXPECT_TRUE(Paint(Item(std::string("/nowhere/") + c.Name)) == reference) << c.Shown.toStdString();
    }
}

TEST(ItemPainter, BitmapBoxesCentredAndLimitedPerAxis) {
    struct Case {
        const char* file;
        QRect box; // relative to (L, T)
    } cases[] = {
        {"green_10x10.bmp", {2, 15, 10, 10}}, {"green_20x60.bmp", {2, 2, 20, 36}},
        {"green_30x12.bmp", {2, 14, 30, 12}}, {"core24_7x5.bmp", {2, 17, 7, 5}},
        {"mono_16x8.bmp", {2, 16, 16, 8}},    {"pal8_12x10.bmp", {2, 15, 12, 10}},
        {"rle8_10x6.bmp", {2, 17, 10, 6}},    {"rle4_9x6.bmp", {2, 17, 9, 6}},
        {"v4_565_8x8.bmp", {2, 16, 8, 8}},    {"v5_topdown_6x4.bmp", {2, 18, 6, 4}},
    };
    for (const Case& c : cases) {
        const QImage image = Paint(Item(Data(c.file)));
        EXPECT_EQ(Str(BoundsOf(image, kGreen)), Str(c.box.translated(L, T))) << c.file;
        EXPECT_EQ(CountOf(image, kGreen), c.box.width() * c.box.height()) << c.file;
    }
    // Wider than the column allows: the width gives way, the height stays.
    const std::string wide = Data("green_300x20.bmp");
    const int tw = std::max(Width(NameOf(wide)), Width(QStringLiteral("300×20")));
    const QImage image = Paint(Item(wide));
    EXPECT_EQ(Str(BoundsOf(image, kGreen)), Str(QRect(L + 2, T + 10, 200 - tw - 20, 20)));
}

TEST(ItemPainter, PictureTextsAroundTheMiddleLine) {
    for (const char* file : {"green_10x10.bmp", "green_20x60.bmp", "blue_10px.wmf"}) {
        const std::string path = Data(file);
        const QImage image = Paint(Item(path));
        const QImage pic =
            GroupOf(path) == TItemGroup::Bitmap ? LoadBitmapFile(path) : QImage(10, 10, QImage::Format_RGB32);
        const QString size = PictureSizeText(pic.width(), pic.height());
        const int x = L + pic.width() + 10;
        const QRect name = BoundsOf(image, Is(kListBack), QRect(0, 0, 480, T + IH / 2));
        const QRect sizeBand = BoundsOf(image, Is(kListBack), QRect(0, T + IH / 2, 480, 100));
        EXPECT_EQ(Str(name), Str(QRect(x, T + IH / 2 - Height() - 2, Width(NameOf(path)), Height()))) << file;
        EXPECT_EQ(Str(sizeBand), Str(QRect(x, T + 22, Width(size), Height()))) << file;
        EXPECT_GT(CountOf(image, Near(Qt::red, 60), name), 5) << file;
        EXPECT_GT(CountOf(image, Near(Qt::black, 60), sizeBand), 3) << file;
    }
}

TEST(ItemPainter, MetafilesAreTopAligned) {
    struct Case {
        const char* file;
        QSize natural;
        QRect box;
    } cases[] = {
        {"blue_10px.wmf", {10, 10}, {2, 2, 10, 10}},
        {"enhanced_10px.wmf", {10, 10}, {2, 2, 10, 10}},
        {"blue_1440.wmf", {96, 48}, {2, 2, 96, 36}}, // one inch by half an inch; the height is limited
        {"blue_inch0.wmf", {20, 10}, {2, 2, 20, 10}},
    };
    for (Case c : cases) {
        const QImage image = Paint(Item(Data(c.file)));
        // The width gives way to the texts when the column is short of room.
        const int tw = std::max(Width(c.file), Width(PictureSizeText(c.natural.width(), c.natural.height())));
        if (c.box.width() + 20 > 200 - tw)
            c.box.setWidth(200 - tw - 20);
        EXPECT_EQ(Str(BoundsOf(image, Is(Qt::blue))), Str(c.box.translated(L, T))) << c.file;
        EXPECT_EQ(CountOf(image, Is(Qt::blue)), c.box.width() * c.box.height()) << c.file;
    }
}

TEST(ItemPainter, UnreadablePicturesShowZeroByZero) {
    // The reference: the same texts painted where an empty picture puts them.
    auto reference = [](const std::string& path) {
        QImage image(480, 160, QImage::Format_RGB32);
        image.fill(kCanvas);
        QPainter p(&image);
        p.setFont(ListFont());
        const QFontMetrics fm(ListFont());
        const QString name = NameOf(path), size = QStringLiteral("0×0");
        p.fillRect(QRect(L + 10, T + 20 - fm.height() - 2, fm.horizontalAdvance(name), fm.height()),
                   kListBack);
        p.setPen(Qt::red);
        p.drawText(L + 10, T + 20 - fm.height() - 2 + fm.ascent(), name);
        p.fillRect(QRect(L + 10, T + 22, fm.horizontalAdvance(size), fm.height()), kListBack);
        p.setPen(Qt::black);
        p.drawText(L + 10, T + 22 + fm.ascent(), size);
        return image;
    };
    TTestDir dir;
    QFile bitmap(QString::fromStdString(Data("green_10x10.bmp")));
    ASSERT_TRUE(bitmap.open(QIODevice::ReadOnly));
    dir.File("bitmap.wmf", bitmap.readAll().toStdString()); // a bitmap named as a metafile
    dir.File("empty.bmp");
    for (std::string path :
         {Data("not_a_picture.bmp"), Data("truncated.bmp"), Data("huge_claim.bmp"), Data("bad_checksum.wmf"),
          Data("plain_old.wmf"), Data("missing.bmp"), Data("missing.wmf"), dir.Path("bitmap.wmf"),
          dir.Path("empty.bmp"), dir.Root() + "/"}) {
        if (path.back() == '/') { // a directory named like a bitmap
            dir.Dir("folder.bmp");
            path = dir.Path("folder.bmp");
        }
        EXPECT_TRUE(Paint(Item(path)) == reference(path)) << path;
    }
}

TEST(ItemPainter, SelectedItemsUseComplementBands) {
    struct Case {
        const char* file;
        QColor band, text;
    } cases[] = {
        {"green_10x10.bmp", {0, 255, 255}, Qt::red},     {"blue_10px.wmf", {0, 255, 255}, Qt::red},
        {"two_sizes.ico", {127, 255, 255}, {128, 0, 0}}, {"prog_icon.exe", {255, 255, 0}, Qt::blue},
        {"prog_noicon.exe", {255, 255, 0}, Qt::blue},    {"help.hlp", {255, 255, 0}, Qt::blue},
        {"some.gif", kHighlight, kHighlightText},
    };
    for (const Case& c : cases) {
        const QImage image = Paint(Item(Data(c.file), true));
        const QRect band = BoundsOf(image, Is(c.band));
        ASSERT_FALSE(band.isNull()) << c.file;
        EXPECT_GT(CountOf(image, Near(c.text, 50), band), 5) << c.file;
        // No band of the surface's own highlight unless the type keeps it.
        if (c.band != kHighlight) {
            EXPECT_EQ(CountOf(image, Is(kHighlight)), 0) << c.file;
        }
    }
    // Picture items: the size text is black on the same band as the red name.
    const QImage image = Paint(Item(Data("green_10x10.bmp"), true));
    const QRect sizeBand = BoundsOf(image, Is(QColor(0, 255, 255)), QRect(0, T + IH / 2, 480, 100));
    EXPECT_EQ(sizeBand.top(), T + 22);
    EXPECT_GT(CountOf(image, Near(Qt::black, 60), sizeBand), 3);
    EXPECT_EQ(CountOf(image, Near(Qt::red, 60), sizeBand), 0);
}

TEST(ItemPainter, IconsAtTheIconPosition) {
    for (const char* file :
         {"prog_icon.exe", "prog64_icon.dll", "prog16_icon.exe", "arrow.cur", "spin.ani", "two_sizes.ico"}) {
        for (bool selected : {false, true}) {
            const QImage image = Paint(Item(Data(file), selected));
            EXPECT_EQ(Str(BoundsOf(image, Is(kIcon32))), Str(QRect(L + 4, T + 4, 32, 32))) << file;
            EXPECT_EQ(CountOf(image, Is(kIcon16)), 0) << file;
            const QColor back = selected ? (GroupOf(file) == TItemGroup::IconFile ? QColor(127, 255, 255)
                                                                                  : QColor(255, 255, 0))
                                         : kListBack;
            EXPECT_EQ(Str(BoundsOf(image, Is(back))), Str(QRect(L + 44, T + 12, Width(file), Height())))
                << file;
        }
    }
    // Another standard icon size moves the icon and the name with it.
    TItemPaintInput in = Item(Data("prog_icon.exe"));
    in.IconSize = QSize(16, 16);
    const QImage image = Paint(in);
    EXPECT_EQ(Str(BoundsOf(image, Is(kIcon16))), Str(QRect(L + 4, T + 12, 16, 16)));
    EXPECT_EQ(BoundsOf(image, Is(kListBack)).left(), L + 16 + 12);
}

TEST(ItemPainter, ProgramsWithoutIconsKeepTheirNameInBlue) {
    const QRect expected(L + 44, T + 12, 0, Height());
    for (const char* file : {"prog_noicon.exe", "prog_nores.scr", "dos_only.exe", "help.hlp", "shortcut.lnk",
                             "missing.exe", "gone.exe"}) {
        const std::string path = Data(file);
        const QImage image = Paint(Item(path));
        const QRect band = BoundsOf(image, Is(kListBack));
        EXPECT_EQ(band.topLeft(), expected.topLeft()) << file;
        EXPECT_EQ(band.width(), Width(NameOf(path))) << file;
        EXPECT_GT(CountOf(image, Near(Qt::blue, 60), band), 5) << file;
        EXPECT_EQ(CountOf(
                      image, [](QColor c) { return c.rgb() != kCanvas.rgb(); }, QRect(0, 0, L + 44, 160)),
                  0)
            << file;
    }
}

TEST(ItemPainter, BusyCursorOnlyAroundMetafiles) {
    for (const char* file : {"blue_10px.wmf", "shapes.wmf", "bad_checksum.wmf", "missing.wmf",
                             "green_10x10.bmp", "prog_icon.exe", "a.gif"}) {
        TItemPaintInput in = Item(Data(file));
        in.WaitCursor = true;
        const int before = ui::TWaitCursor::TimesShown();
        Paint(in);
        EXPECT_EQ(ui::TWaitCursor::TimesShown() - before, GroupOf(file) == TItemGroup::Metafile ? 1 : 0)
            << file;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << file;
    }
    // Without the flag no cursor is shown.
    const int before = ui::TWaitCursor::TimesShown();
    Paint(Item(Data("blue_10px.wmf")));
    EXPECT_EQ(ui::TWaitCursor::TimesShown(), before);
}

TEST(ItemPainter, NarrowColumnsNeverDrawOutsideTheItem) {
    for (const char* file : {"green_30x12.bmp", "green_300x20.bmp", "blue_1440.wmf", "shapes.wmf",
                             "enhanced_10px.wmf", "prog_icon.exe", "a.gif"}) {
        for (int listWidth : {0, 60, 100}) {
            TItemPaintInput in = Item(Data(file));
            in.ListWidth = listWidth;
            in.ItemRect = QRect(L, T, listWidth / 2, IH);
            const QImage image = Paint(in);
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (!in.ItemRect.contains(x, y) && image.pixelColor(x, y) != kCanvas) {
                        ADD_FAILURE() << file << " at width " << listWidth << ": pixel at " << x << "," << y;
                        y = image.height();
                        break;
                    }
                }
            }
        }
    }
    // A negative box draws no picture at all.
    TItemPaintInput in = Item(Data("green_30x12.bmp"));
    in.ListWidth = 100;
    in.ItemRect = QRect(L, T, 400, IH);
    EXPECT_EQ(CountOf(Paint(in), kGreen), 0);
}

TEST(ItemPainter, ExtensionCaseAndOddNames) {
    QFile source(QString::fromStdString(Data("green_10x10.bmp")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    TTestDir dir;
    for (const char* name : {"a.Bmp", "b.bMP", "c.BMP", "写真 & \"x\" %41.bmp", "\xff\xfe.bmp", "ｶﾀｶﾅ.bmp"}) {
        dir.File(name, bytes.toStdString());
        const std::string path = dir.Path(name);
        const QImage image = Paint(Item(path));
        EXPECT_EQ(Str(BoundsOf(image, kGreen)), Str(QRect(L + 2, T + 15, 10, 10))) << name;
        EXPECT_EQ(BoundsOf(image, Is(kListBack), QRect(0, 0, 480, T + 20)).width(), Width(NameOf(path)))
            << name;
    }
}

namespace {
// Bytes in use: the heap's own count under AddressSanitizer (whose quarantine
// keeps freed memory resident), else the resident set.
#if defined(__SANITIZE_ADDRESS__)
long UsedKiB() {
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
}
#else
long UsedKiB() {
    long size = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return -1;
    const int got = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}
#endif
} // namespace

TEST(ItemPainter, MemoryStaysFlatOverManyRepaints) {
    const char* files[] = {"green_300x20.bmp", "shapes.wmf", "shapes.emf",     "prog_icon.exe",
                           "two_sizes.ico",    "spin.ani",   "huge_claim.bmp", "a.gif"};
    QImage image(480, 160, QImage::Format_RGB32);
    QPainter p(&image);
    auto paintMany = [&](int n) {
        for (int i = 0; i < n; ++i)
            PaintResultItem(p, Item(Data(files[i % std::size(files)]), i % 3 == 0));
    };
    paintMany(500); // warm up caches of fonts and glyphs
    const long before = UsedKiB();
    paintMany(5000);
    const long after = UsedKiB();
    ASSERT_GT(before, 0);
    const long growthKiB = after - before;
    RecordProperty("memory_growth_kib", std::to_string(growthKiB));
    EXPECT_LT(growthKiB, 8 * 1024) << "memory in use grew by " << growthKiB << " KiB";
}

// The pictures view draws a grid: a square of the chosen side per cell with
// the name and the pixel size below.
TEST(ItemPainter, PicturesViewTilesKeepThePictureItsRoom) {
    constexpr int kTileHeight = 170, kSide = 96;
    auto tile = [](const std::string& path, const TItemPicture* picture) {
        TItemPaintInput in = Item(path);
        in.ItemRect = QRect(L, T, 200, kTileHeight);
        in.ItemHeight = kTileHeight;
        in.PicturesView = true;
        in.PictureSide = kSide;
        in.Picture = picture;
        return in;
    };
    const QSize canvas(480, 260);
    TItemPicture picture;
    picture.State = TItemPicture::TState::Ready;
    picture.Image = QImage(128, 64, QImage::Format_ARGB32_Premultiplied);
    picture.Image.fill(Qt::blue);
    picture.PictureSize = QSize(5120, 2560);
    // 2:1 at the full side, centred in the cell, whatever the name's length.
    const QRect shortName = BoundsOf(Paint(tile("/nowhere/photo.jpg", &picture), canvas), Near(Qt::blue, 8));
    EXPECT_EQ(shortName.size(), QSize(kSide, kSide / 2));
    EXPECT_LE(std::abs((shortName.left() - L) - (L + 200 - 1 - shortName.right())), 1) << Str(shortName);
    const std::string longName =
        "/nowhere/a very long name of a holiday photo taken high in the mountains.jpeg";
    const QImage drawn = Paint(tile(longName, &picture), canvas);
    EXPECT_EQ(Str(BoundsOf(drawn, Near(Qt::blue, 8))), Str(shortName));
    // The name is cut to the cell, not the picture.
    const QRect text = BoundsOf(drawn, Near(Qt::red, 60), QRect(0, shortName.bottom() + 1, 480, 200));
    EXPECT_GE(text.left(), L);
    EXPECT_LE(text.right(), L + 200);

    // A transparent picture lies on a checkerboard of two greys, so white shows.
    TItemPicture logo = picture;
    logo.Image = QImage(128, 64, QImage::Format_ARGB32_Premultiplied);
    logo.Scaled = {};
    logo.Image.fill(Qt::transparent);
    QPainter(&logo.Image).fillRect(0, 0, 64, 64, Qt::white);
    logo.Transparent = HasTransparentPixels(logo.Image);
    EXPECT_TRUE(logo.Transparent);
    EXPECT_FALSE(HasTransparentPixels(picture.Image));
    const QImage onBoard = Paint(tile("/nowhere/logo.png", &logo), canvas);
    const QRect clear(shortName.center().x() + 4, shortName.top(), kSide / 2 - 4, kSide / 2);
    EXPECT_EQ(CountOf(onBoard, Is(Qt::white), clear), 0);
    EXPECT_GT(CountOf(onBoard, Is(QColor(204, 204, 204)), clear), 100);
    EXPECT_GT(CountOf(onBoard, Is(QColor(170, 170, 170)), clear), 100);
    EXPECT_EQ(
        CountOf(Paint(tile("/nowhere/photo.jpg", &picture), canvas), Is(QColor(170, 170, 170)), shortName),
        0);

    // Not made yet: an empty box of the full side; selected, a frame, not a fill.
    EXPECT_EQ(BoundsOf(Paint(tile("/nowhere/photo.jpg", nullptr), canvas), Is(QColor(160, 160, 160))).size(),
              QSize(kSide, kSide));
    TItemPaintInput selected = tile("/nowhere/photo.jpg", nullptr);
    selected.Selected = true;
    const QImage framed = Paint(selected, canvas);
    EXPECT_GT(CountOf(framed, Is(kHighlight)), 2 * 170);
    EXPECT_EQ(CountOf(framed, Is(kHighlight), shortName), 0);
    // Other files are names, unless the cache had a thumbnail of theirs.
    picture = {};
    picture.State = TItemPicture::TState::Failed;
    const QImage text1 = Paint(tile("/nowhere/notes.txt", &picture), canvas);
    EXPECT_EQ(CountOf(text1, Is(QColor(160, 160, 160))), 0);
    EXPECT_GT(CountOf(text1, Near(Qt::black, 60)), 10);

    // Not a picture: 0×0 below its name. No helper could run: said so
    // instead, for the file may well be one.
    const int failedSize =
        BoundsOf(Paint(tile("/nowhere/photo.jpg", &picture), canvas), Near(Qt::black, 60)).width();
    EXPECT_NEAR(failedSize, Width(PictureSizeText(0, 0)), 3);
    picture.State = TItemPicture::TState::Unavailable;
    const QImage unavailable = Paint(tile("/nowhere/photo.jpg", &picture), canvas);
    EXPECT_NEAR(BoundsOf(unavailable, Near(Qt::black, 60)).width(),
                Width(QCoreApplication::translate("tavolix::results::TPictureView", "表示できません")), 3);
}
