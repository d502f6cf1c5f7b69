#include "thumbs/ByteLru.h"
#include "thumbs/FileKinds.h"

#include <gtest/gtest.h>
#include <string>

using namespace tavolix::thumbs;

TEST(FileKinds, OneTableForTheListThePageAndThePictures) {
    struct {
        const char* Path;
        TPartGroup Part;
        TDecoder Decoder;
        bool PageImage;
    } cases[] = {
        {"/a/b.bmp", TPartGroup::Bitmap, TDecoder::Bitmap, false},
        {"/a/b.Ico", TPartGroup::IconFile, TDecoder::Icon, false},
        {"/a/b.EMF", TPartGroup::Metafile, TDecoder::Metafile, false},
        {"/a/b.exe", TPartGroup::ShellIcon, TDecoder::ProgramIcon, false},
        {"/a/b.ani", TPartGroup::ShellIcon, TDecoder::ProgramIcon, false},
        {"/a/b.GIF", TPartGroup::NameOnly, TDecoder::QtImage, true},
        {"/a/b.Jpeg", TPartGroup::NameOnly, TDecoder::QtImage, true},
        {"/a/b.jpe", TPartGroup::NameOnly, TDecoder::QtImage, false},
        {"/a/b.webp", TPartGroup::NameOnly, TDecoder::QtImage, false},
        {"/a/b.svgz", TPartGroup::NameOnly, TDecoder::Svg, false},
        {"/a/b.PDF", TPartGroup::NameOnly, TDecoder::Pdf, false},
        {"/a/b.heic", TPartGroup::NameOnly, TDecoder::Heif, false},
        {"/a/b.AVIF", TPartGroup::NameOnly, TDecoder::Heif, false},
        {"/a/b.Cr3", TPartGroup::NameOnly, TDecoder::Raw, false},
        {"/a/b.webm", TPartGroup::NameOnly, TDecoder::Video, false},
        {"/a/b.heic.txt", TPartGroup::NameOnly, TDecoder::None, false},
        {"/a/.gif", TPartGroup::NameOnly, TDecoder::QtImage, true}, // a hidden file named by its extension
        {"/a.jpg/readme", TPartGroup::NameOnly, TDecoder::None, false},
        {"/a/pics.gif.bak", TPartGroup::NameOnly, TDecoder::None, false},
        {"/a/写真.JPG", TPartGroup::NameOnly, TDecoder::QtImage, true},
    };
    for (const auto& c : cases) {
        const TFileKind kind = FileKindOf(c.Path);
        EXPECT_EQ(kind.Part, c.Part) << c.Path;
        EXPECT_EQ(kind.Decoder, c.Decoder) << c.Path;
        EXPECT_EQ(kind.PageImage, c.PageImage) << c.Path;
    }
}

TEST(ByteLru, KeepsTheRecentlyUsedWithinItsBudget) {
    TByteLru<int> cache(100);
    cache.Put("a", 1, 40);
    cache.Put("b", 2, 40);
    ASSERT_TRUE(cache.Find("a")); // now b is the oldest
    cache.Put("c", 3, 40);
    EXPECT_TRUE(cache.Contains("a"));
    EXPECT_FALSE(cache.Contains("b"));
    EXPECT_TRUE(cache.Contains("c"));
    EXPECT_EQ(cache.Bytes(), 80u);
    cache.Put("huge", 4, 101); // bigger than the whole budget: not kept, nothing lost
    EXPECT_FALSE(cache.Contains("huge"));
    EXPECT_EQ(cache.Count(), 2u);
    cache.Put("a", 5, 10); // replaced, counted once
    EXPECT_EQ(cache.Bytes(), 50u);
    cache.SetBudget(20);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(*cache.Find("a"), 5);
}
