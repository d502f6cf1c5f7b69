#include "TestDir.h"
#include "thumbs/Md5.h"
#include "thumbs/ThumbnailCache.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tavolix::thumbs;

namespace {

struct TChunk {
    std::string Type, Data;
    bool CrcOk;
};

// The chunks of a PNG, each with whether its CRC holds.
std::vector<TChunk> Chunks(const std::string& png) {
    std::vector<TChunk> out;
    std::size_t at = 8;
    auto u32 = [&](std::size_t p) {
        return std::uint32_t(std::uint8_t(png[p])) << 24 | std::uint32_t(std::uint8_t(png[p + 1])) << 16 |
               std::uint32_t(std::uint8_t(png[p + 2])) << 8 | std::uint32_t(std::uint8_t(png[p + 3]));
    };
    while (at + 12 <= png.size()) {
        const std::uint32_t length = u32(at);
        if (at + 12 + length > png.size())
            break;
        out.push_back({png.substr(at + 4, 4), png.substr(at + 8, length),
                       PngCrc(std::string_view(png).substr(at + 4, 4 + length)) == u32(at + 8 + length)});
        at += 12 + length;
    }
    return out;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST(ThumbnailCache, UriEscapesEveryByteTheDesktopsEscape) {
    struct {
        std::string Path, Uri;
    } cases[] = {
        {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
        {"/tmp/写真 #1 100%.jpg", "file:///tmp/%E5%86%99%E7%9C%9F%20%231%20100%25.jpg"},
        // Kept as they are, as GLib keeps them in a path.
        {"/a/!$&'()*+,-.:=@_~b", "file:///a/!$&'()*+,-.:=@_~b"},
        {"/a/\"<>?[\\]^`{|};", "file:///a/%22%3C%3E%3F%5B%5C%5D%5E%60%7B%7C%7D%3B"},
        {"/raw/\xFF\x01\x7F", "file:///raw/%FF%01%7F"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ThumbnailUri(c.Path), c.Uri) << c.Path;
}

TEST(ThumbnailCache, NamesAreTheMd5OfTheUri) {
    // RFC 1321's test suite, over and across the 56- and 64-byte block edges.
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // The standard's own example.
    EXPECT_EQ(ThumbnailName("file:///home/jens/photos/me.png"), "c6ee772d9e49320e97ec29a7eb5b1697.png");

    const std::string uri = ThumbnailUri("/tmp/写真 #1 100%.jpg");
    EXPECT_EQ(ThumbnailPath("/c/thumbnails", TThumbSize::Normal, uri),
              "/c/thumbnails/normal/" + Md5Hex(uri) + ".png");
    EXPECT_EQ(ThumbnailPath("/c/thumbnails", TThumbSize::Large, uri),
              "/c/thumbnails/large/" + Md5Hex(uri) + ".png");
    EXPECT_EQ(FailPath("/c/thumbnails", uri),
              "/c/thumbnails/fail/" + std::string(FailFolderName()) + "/" + Md5Hex(uri) + ".png");
    EXPECT_TRUE(FailFolderName().starts_with("tavolix-"));

    EXPECT_EQ(ThumbnailRoot("/x/cache", "/home/u"), "/x/cache/thumbnails");
    EXPECT_EQ(ThumbnailRoot("relative", "/home/u"), "/home/u/.cache/thumbnails");
    EXPECT_EQ(ThumbnailRoot(nullptr, nullptr), "");
    EXPECT_EQ(ThumbSizeFor(72), TThumbSize::Normal);
    EXPECT_EQ(ThumbSizeFor(129), TThumbSize::Large);
    EXPECT_TRUE(IsInsideRoot("/c/thumbnails", "/c/thumbnails/normal/x.png"));
    EXPECT_FALSE(IsInsideRoot("/c/thumbnails", "/c/thumbnails2/x.png"));
}

TEST(ThumbnailCache, ValidOnlyForTheSameUriMTimeAndSize) {
    const TOriginal original{"file:///p/a.jpg", 1700000000, 1234};
    struct {
        TThumbKeys Keys;
        bool Valid;
    } cases[] = {
        {{"file:///p/a.jpg", "1700000000", "1234"}, true},
        {{"file:///p/a.jpg", "1700000000", std::nullopt}, true},
        {{"file:///p/a.jpg", "1700000000.25", std::nullopt}, true},
        {{"file:///p/a.jpg", "1700000001", "1234"}, false}, // the file changed since
        {{"file:///p/a.jpg", "1700000000", "1235"}, false},
        {{"file:///p/b.jpg", "1700000000", "1234"}, false}, // another file's
        {{"file:///p/a.jpg", std::nullopt, std::nullopt}, false},
        {{std::nullopt, "1700000000", std::nullopt}, false},
        {{"file:///p/a.jpg", "1700000000x", std::nullopt}, false},
        {{"file:///p/a.jpg", "", std::nullopt}, false},
        {{"file:///p/a.jpg", "1700000000", "12x"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsThumbnailOf(c.Keys, original), c.Valid)
            << c.Keys.Uri.value_or("-") << " " << c.Keys.MTime.value_or("-") << " "
            << c.Keys.Size.value_or("-");
}

TEST(ThumbnailCache, TextKeysGoRightAfterTheHeaderWithTheirChecksums) {
    const TOriginal original{ThumbnailUri("/p/写真 #1.jpg"), 1700000000, 99};
    const std::vector<TChunk> chunks = Chunks(FailureRecordPng(original));
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks.front().Type, "IHDR");
    EXPECT_EQ(chunks.back().Type, "IEND");
    std::vector<std::string> texts;
    for (const TChunk& c : chunks) {
        EXPECT_TRUE(c.CrcOk) << c.Type;
        if (c.Type == "tEXt")
            texts.push_back(c.Data);
    }
    EXPECT_EQ(chunks[1].Type, "tEXt");
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::string("Thumb::URI\0", 11) + original.Uri),
              texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::string("Thumb::MTime\0", 13) + "1700000000"),
              texts.end());

    EXPECT_EQ(AddPngText("GIF89a", {}), "");
    EXPECT_EQ(AddPngText(FailureRecordPng(original), {{"", "x"}}), "");
    EXPECT_EQ(AddPngText(FailureRecordPng(original), {{"k\n", "x"}}), "");
    EXPECT_EQ(AddPngText(FailureRecordPng(original), {{"k", std::string("a\0b", 3)}}), "");
}

TEST(ThumbnailCache, FilesAreWrittenPrivatelyAndWhole) {
    TTestDir dir;
    const mode_t old = ::umask(022);
    const std::string root = dir.Path("cache/thumbnails");
    const std::string file = ThumbnailPath(root, TThumbSize::Normal, "file:///x");
    ASSERT_FALSE(WriteCacheFile(file, "first"));
    ASSERT_FALSE(WriteCacheFile(file, "second"));
    ::umask(old);
    EXPECT_EQ(ModeOf(root), 0700u);
    EXPECT_EQ(ModeOf(root + "/normal"), 0700u);
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ReadAll(file), "second");
    EXPECT_EQ(EntryNames(root + "/normal").size(), 1u); // no temporary left
}
