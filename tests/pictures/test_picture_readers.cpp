#include "TestDir.h"
#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"
#include "pictures/IconFile.h"
#include "pictures/Metafile.h"
#include "pictures/ProgramIcons.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tavolix::pictures;

namespace {

std::string Data(const std::string& name) {
    const char* root = std::getenv("TAVOLIX_TEST_DATA");
    return std::string(root ? root : "tests/data") + "/" + name;
}

std::vector<std::uint8_t> Bytes(const std::string& name) {
    std::vector<std::uint8_t> out;
    EXPECT_TRUE(ReadWholeFile(Data(name), 1 << 24, out)) << name;
    return out;
}

void Put32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(std::vector<std::uint8_t>& b, std::size_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::optional<TDibInfo> CheckFile(const std::vector<std::uint8_t>& b) {
    return CheckBitmapFile(TByteView(b), b.size());
}

} // namespace

TEST(BitmapInfo, AcceptsTheCommonVariants) {
    struct Case {
        const char* file;
        int width, height, bits;
        std::uint32_t headerSize, compression;
        bool topDown;
    } cases[] = {
        {"pictures/green_10x10.bmp", 10, 10, 24, 40, kBiRgb, false},
        {"pictures/core24_7x5.bmp", 7, 5, 24, 12, kBiRgb, false},
        {"pictures/mono_16x8.bmp", 16, 8, 1, 40, kBiRgb, false},
        {"pictures/pal8_12x10.bmp", 12, 10, 8, 40, kBiRgb, false},
        {"pictures/rle8_10x6.bmp", 10, 6, 8, 40, kBiRle8, false},
        {"pictures/rle4_9x6.bmp", 9, 6, 4, 40, kBiRle4, false},
        {"pictures/v4_565_8x8.bmp", 8, 8, 16, 108, kBiBitFields, false},
        {"pictures/v5_topdown_6x4.bmp", 6, 4, 32, 124, kBiRgb, true},
    };
    for (const Case& c : cases) {
        const auto info = CheckFile(Bytes(c.file));
        ASSERT_TRUE(info) << c.file;
        EXPECT_EQ(info->Width, c.width) << c.file;
        EXPECT_EQ(info->Height, c.height) << c.file;
        EXPECT_EQ(info->BitCount, c.bits) << c.file;
        EXPECT_EQ(info->HeaderSize, c.headerSize) << c.file;
        EXPECT_EQ(info->Compression, c.compression) << c.file;
        EXPECT_EQ(info->TopDown, c.topDown) << c.file;
    }
}

TEST(BitmapInfo, RefusesHostileAndBrokenHeaders) {
    EXPECT_FALSE(CheckFile(Bytes("pictures/huge_claim.bmp")));
    EXPECT_FALSE(CheckFile(Bytes("pictures/truncated.bmp")));
    EXPECT_FALSE(CheckFile(Bytes("pictures/not_a_picture.bmp")));
    EXPECT_FALSE(CheckFile({}));

    const std::vector<std::uint8_t> good = Bytes("pictures/green_10x10.bmp");
    ASSERT_TRUE(CheckFile(good));
    struct Mutation {
        const char* what;
        std::size_t off;
        int width; // 16 or 32 bits
        std::uint32_t value;
    } mutations[] = {
        {"signature", 0, 16, 0x4D42 ^ 0x0101},
        {"header size 64", 14, 32, 64},
        {"header size 0", 14, 32, 0},
        {"planes 2", 26, 16, 2},
        {"7 bits", 28, 16, 7},
        {"JPEG inside", 30, 32, 4},
        {"RLE8 at 24 bits", 30, 32, kBiRle8},
        {"bit fields at 24 bits", 30, 32, kBiBitFields},
        {"width 0", 18, 32, 0},
        {"negative width", 18, 32, 0xFFFFFFF6u},
        {"height 0", 22, 32, 0},
        {"most negative height", 22, 32, 0x80000000u},
        {"huge width", 18, 32, 70000},
        {"area over the cap", 18, 32, 40000},
        {"pixels past the end", 10, 32, 100},
        {"pixel offset inside the header", 10, 32, 20},
        {"300 colours", 46, 32, 300},
    };
    for (const Mutation& m : mutations) {
        std::vector<std::uint8_t> b = good;
        if (m.width == 16)
            Put16(b, m.off, static_cast<std::uint16_t>(m.value));
        else
            Put32(b, m.off, m.value);
        if (std::strcmp(m.what, "area over the cap") == 0)
            Put32(b, 22, 40000);
        EXPECT_FALSE(CheckFile(b)) << m.what;
    }
    // Top-down run-length data does not exist.
    std::vector<std::uint8_t> rle = Bytes("pictures/rle8_10x6.bmp");
    Put32(rle, 22, static_cast<std::uint32_t>(-6));
    EXPECT_FALSE(CheckFile(rle));
}

TEST(IconFile, BestEntryPrefersExactSizeThenDepthThenNearestLarger) {
    auto e = [](int w, int h, int bits) { return TIconEntry{w, h, bits, 1, 0}; };
    struct Case {
        const char* what;
        std::vector<TIconEntry> entries;
        int want;
    } cases[] = {
        {"exact among others", {e(16, 16, 32), e(32, 32, 32), e(48, 48, 32)}, 1},
        {"deepest of the exact ones", {e(32, 32, 4), e(32, 32, 32), e(32, 32, 8)}, 1},
        {"smallest larger", {e(16, 16, 32), e(64, 64, 32), e(48, 48, 32)}, 2},
        {"largest smaller", {e(16, 16, 32), e(24, 24, 32)}, 1},
        {"0 means 256", {e(0, 0, 32), e(16, 16, 32)}, 0},
        {"only one", {e(16, 16, 1)}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BestIconEntry(c.entries, 32, 32), c.want) << c.what;
    EXPECT_EQ(BestIconEntry({}, 32, 32), -1);
}

TEST(IconFile, ReadsIcoCurAndAni) {
    const auto ico = Bytes("pictures/two_sizes.ico");
    const auto dir = ReadIconDirectory(TByteView(ico));
    ASSERT_TRUE(dir);
    ASSERT_EQ(dir->size(), 2u);
    const auto best = ExtractIconImage(TByteView(ico), 32, 32);
    ASSERT_GT(best.size(), 22u);
    EXPECT_EQ(best[6], 32); // the 32 x 32 image, not the first one
    EXPECT_EQ(ExtractIconImage(TByteView(ico), 16, 16)[6], 16);

    const auto png = Bytes("pictures/png_entry.ico");
    EXPECT_FALSE(ExtractIconImage(TByteView(png), 32, 32).empty());

    const auto ani = Bytes("pictures/spin.ani");
    const TByteView frame = FirstAniFrame(TByteView(ani));
    ASSERT_GT(frame.Size(), 0u);
    const auto fromAni = ExtractIconImage(frame, 16, 16);
    ASSERT_FALSE(fromAni.empty());
    EXPECT_EQ(fromAni[6], 32); // the first frame, though a later one fits better
}

TEST(IconFile, SkipsEntriesThatLieAndRefusesDirectoriesThatDo) {
    const auto ico = Bytes("pictures/two_sizes.ico"); // 16 x 16, then 32 x 32
    struct Mutation {
        const char* what;
        std::size_t off;
        std::uint32_t value;
        bool wide;
        int shown; // width of the image still shown; 0: the directory is refused
    } mutations[] = {
        {"type 3", 2, 3, false, 0},
        {"no entries", 4, 0, false, 0},
        {"too many entries", 4, 60000, false, 0},
        {"32 x 32 image past the end", 6 + 16 + 12, 0xFFFFFF00u, true, 16},
        {"16 x 16 image size past the end", 6 + 8, 0x7FFFFFFFu, true, 32},
    };
    for (const Mutation& m : mutations) {
        auto b = ico;
        if (m.wide)
            Put32(b, m.off, m.value);
        else
            Put16(b, m.off, static_cast<std::uint16_t>(m.value));
        const auto dir = ReadIconDirectory(TByteView(b));
        if (m.shown == 0) {
            EXPECT_FALSE(dir) << m.what;
            continue;
        }
        ASSERT_TRUE(dir) << m.what;
        EXPECT_EQ(dir->size(), 1u) << m.what;
        const auto best = ExtractIconImage(TByteView(b), 32, 32);
        ASSERT_GT(best.size(), 22u) << m.what;
        EXPECT_EQ(best[6], m.shown) << m.what;
    }
    auto both = ico; // no entry left
    Put32(both, 6 + 8, 0x7FFFFFFFu);
    Put32(both, 6 + 16 + 12, 0xFFFFFF00u);
    EXPECT_FALSE(ReadIconDirectory(TByteView(both)));
    // An image whose header claims more pixels than the entry holds.
    auto b = ico;
    const std::uint32_t second = TByteView(b).U32(6 + 16 + 12);
    Put32(b, second + 4, 64);
    Put32(b, second + 8, 128);
    EXPECT_EQ(ExtractIconImage(TByteView(b), 32, 32)[6], 16); // the next best one
}

TEST(ProgramIcons, FollowsTheShellConvention) {
    struct Case {
        const char* file;
        TProgramIcon::THandle handle;
        int width; // of the icon, when there is one
    } cases[] = {
        {"pictures/prog_icon.exe", TProgramIcon::kIcon, 32},
        {"pictures/prog64_icon.dll", TProgramIcon::kIcon, 32},
        {"pictures/prog16_icon.exe", TProgramIcon::kIcon, 32},
        {"pictures/arrow.cur", TProgramIcon::kIcon, 32},
        {"pictures/spin.ani", TProgramIcon::kIcon, 32},
        {"pictures/prog_noicon.exe", TProgramIcon::kNoIcon, 0},
        {"pictures/prog_nores.scr", TProgramIcon::kNoIcon, 0},
        {"pictures/dos_only.exe", TProgramIcon::kNoIcon, 0},
        {"pictures/help.hlp", TProgramIcon::kNotAnIconFile, 0},
        {"pictures/shortcut.lnk", TProgramIcon::kNotAnIconFile, 0},
        {"pictures/no such file.exe", TProgramIcon::kNotAnIconFile, 0},
    };
    for (const Case& c : cases) {
        const TProgramIcon icon = ExtractFirstIcon(Data(c.file));
        EXPECT_EQ(icon.Handle, c.handle) << c.file;
        if (c.handle == TProgramIcon::kIcon) {
            ASSERT_GT(icon.IcoBytes.size(), 22u) << c.file;
            EXPECT_EQ(icon.IcoBytes[6], c.width) << c.file;
        } else {
            EXPECT_TRUE(icon.IcoBytes.empty()) << c.file;
        }
    }
}

TEST(ProgramIcons, NeverBlocksOnSpecialFiles) {
    TTestDir dir;
    const std::string fifo = dir.Path("pipe.exe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ExtractFirstIcon(fifo).Handle, TProgramIcon::kNotAnIconFile);
    EXPECT_EQ(ExtractFirstIcon(dir.Root()).Handle, TProgramIcon::kNotAnIconFile);
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(ReadWholeFile(fifo, 100, out));
}

TEST(ProgramIcons, SurvivesEveryTruncation) {
    // Each prefix of a program with icons is a broken program: never an icon
    // from outside the bytes, never a crash.
    const auto exe = Bytes("pictures/prog_icon.exe");
    int icons = 0;
    for (std::size_t n = 0; n < exe.size(); n += 7) {
        TMemorySource src(TByteView(exe.data(), n));
        const TProgramIcon icon = ExtractFirstIcon(src);
        if (n >= 64) {
            EXPECT_NE(icon.Handle, TProgramIcon::kNotAnIconFile) << n;
        }
        icons += icon.Handle == TProgramIcon::kIcon;
    }
    EXPECT_LT(icons, static_cast<int>(exe.size() / 7)); // short prefixes give none
    TMemorySource whole{TByteView(exe)};
    EXPECT_EQ(ExtractFirstIcon(whole).Handle, TProgramIcon::kIcon);
}

namespace {
// Counts the bytes read through it.
class TCountingSource : public TMemorySource {
public:
    using TMemorySource::TMemorySource;
    bool Read(std::uint64_t off, void* dst, std::size_t n) const override {
        FBytesRead += n;
        return TMemorySource::Read(off, dst, n);
    }
    mutable std::size_t FBytesRead = 0;
};
} // namespace

TEST(ProgramIcons, EachIconIsReadOncePerLookUp) {
    // A group naming one broken 4 KiB icon 512 times.
    const auto exe = Bytes("pictures/prog_same_icon.exe");
    const TCountingSource source{TByteView(exe)};
    EXPECT_EQ(ExtractFirstIcon(source).Handle, TProgramIcon::kNoIcon);
    EXPECT_LT(source.FBytesRead, 2 * 4096 + 16 * 1024) << "the same icon read again and again";
}

TEST(Metafile, SizesFromTheHeaders) {
    struct Case {
        const char* file;
        int dpi;
        TMetafileKind kind;
        int width, height;
    } cases[] = {
        {"pictures/blue_10px.wmf", 96, TMetafileKind::Placeable, 10, 10},
        {"pictures/blue_10px.wmf", 120, TMetafileKind::Placeable, 13, 13}, // 12.5 rounds up
        {"pictures/blue_inch0.wmf", 96, TMetafileKind::Placeable, 20, 10}, // 0 units per inch: 96
        {"pictures/blue_1440.wmf", 96, TMetafileKind::Placeable, 96, 48},
        {"pictures/blue_1440.wmf", 144, TMetafileKind::Placeable, 144, 72},
        {"pictures/blue_10px.emf", 96, TMetafileKind::Enhanced, 10, 10},
        // 100 reference pixels at 1024 px over 320 mm: 31.25 mm, 118 px at 96 per inch.
        {"pictures/shapes.emf", 96, TMetafileKind::Enhanced, 118, 118},
    };
    for (const Case& c : cases) {
        const auto bytes = Bytes(c.file);
        const auto info = ReadMetafileInfo(TByteView(bytes), c.dpi);
        ASSERT_TRUE(info) << c.file;
        EXPECT_EQ(info->Kind, c.kind) << c.file;
        EXPECT_EQ(info->Width, c.width) << c.file << " at " << c.dpi;
        EXPECT_EQ(info->Height, c.height) << c.file << " at " << c.dpi;
    }
}

TEST(Metafile, AnythingElseIsUnreadable) {
    EXPECT_FALSE(ReadMetafileInfo(TByteView(Bytes("pictures/bad_checksum.wmf")), 96));
    EXPECT_FALSE(ReadMetafileInfo(TByteView(Bytes("pictures/plain_old.wmf")), 96));
    EXPECT_FALSE(ReadMetafileInfo(TByteView(Bytes("pictures/green_10x10.bmp")), 96));
    EXPECT_FALSE(ReadMetafileInfo(TByteView(), 96));
    auto emf = Bytes("pictures/blue_10px.emf");
    EXPECT_FALSE(ReadMetafileInfo(TByteView(emf.data(), emf.size() - 4), 96)) << "truncated";
    auto sig = emf;
    sig[41] = 'X';
    EXPECT_FALSE(ReadMetafileInfo(TByteView(sig), 96)) << "signature";
    auto wmf = Bytes("pictures/blue_10px.wmf");
    Put16(wmf, 22 + 2, 10); // header length is 9 words
    Put16(wmf, 20, PlaceableChecksum(TByteView(wmf)));
    EXPECT_FALSE(ReadMetafileInfo(TByteView(wmf), 96)) << "standard header";
}

TEST(Metafile, RecordsStopAtTheEndAndAtBrokenSizes) {
    auto count = [](const std::vector<std::uint8_t>& b) {
        const auto info = ReadMetafileInfo(TByteView(b), 96);
        EXPECT_TRUE(info);
        TMetaRecordReader reader(TByteView(b), *info);
        TMetaRecord r;
        int n = 0;
        while (reader.Next(r)) {
            EXPECT_GE(r.Bytes.Size(), 6u);
            ++n;
        }
        return n;
    };
    auto wmf = Bytes("pictures/blue_10px.wmf");
    EXPECT_EQ(count(wmf), 7);          // the end-of-file record is not handed out
    Put32(wmf, 40 + 10 + 10, 0x10000); // the third record claims 128 KiB
    EXPECT_EQ(count(wmf), 2);
    auto emf = Bytes("pictures/blue_10px.emf");
    EXPECT_EQ(count(emf), 4);
    Put32(emf, 108 + 4, 6); // a record size that is no multiple of 4
    EXPECT_EQ(count(emf), 0);
}
