#include "TestDir.h"
#include "pages/PageWriter.h"
#include "pages/PathFunctions.h"
#include "words/CoreWords.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

using namespace tavolix::pages;
using tavolix::platform::ReadWholeFile;
using tavolix::platform::TMountTable;

namespace {

std::vector<std::string> Lines(const std::string& page) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < page.size()) {
        std::size_t end = page.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back("<no CR LF>" + page.substr(pos));
            break;
        }
        lines.push_back(page.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

TPageInput Sample() {
    TPageInput in;
    in.PageFileName = "/home/u/web/index.html";
    in.BaseDir = "/home/u/pics";
    in.Key = "*.gif";
    in.TotalSize = 1234567;
    in.Items = {
        {"/home/u/pics/cat.GIF", "12,345", "26/12/08"},
        {"/home/u/pics/sub/doc.txt", "0", "00/00/00"},
        {"/home/u/web/logo.Jpeg", "1,222,222", "99/01/31"},
    };
    in.SortOrderName = "Directory";
    in.SortDirectionName = "Upword";
    in.CreationText = "2026/12/08 14:03:05";
    in.Texts = tavolix::words::PageTexts();
    return in;
}

// The entry line of the only item of a page for `path`.
std::string ItemLine(TPageInput in, const std::string& path) {
    in.Items = {{path, "1", "26/01/02"}};
    auto lines = Lines(PageText(in));
    return lines.size() > 3 ? lines[lines.size() - 3] : std::string();
}

std::string Read(const std::string& path) {
    std::string text;
    EXPECT_FALSE(ReadWholeFile(path, text)) << path;
    return text;
}

} // namespace

TEST(PageWriter, GoldenPage) {
    const std::vector<std::string> expected = {
        "<HTML>",
        "<HEAD>",
        "<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">",
        "<TITLE>ＴＡＶＯＬＩＸ：( 2026/12/08 14:03:05 ) 編集結果</TITLE>",
        "</HEAD>",
        "<BODY bgcolor = \"#ffffff\">",
        "<CENTER>",
        "<H2>検索対象ディレクトリ = /home/u/pics/</H2>",
        "<BR>",
        "<H2>指定検索キー  =  *.gif</H2>",
        "<BR>",
        "<BR>",
        "<H3>ファイル数合計 = 3 ；  サイズ合計 = 1,234,567 Bytes</H3>",
        "<BR>",
        "<H3 ><FONT COLOR=\"red\">Sorted by : Directory → Upword</FONT></H3>",
        "</CENTER>",
        "<BR>",
        "<BR>",
        "<IMG SRC=\"../pics/cat.GIF\" ALT=\"/home/u/pics/cat.GIF\" ALIGN=\"center\" HSPACE =\"5\">cat.GIF :  "
        "12,345 "
        "bytes 26/12/08 ( 1/3 )",
        "<BR>",
        "<BR>",
        "<A HREF=\"../pics/sub/doc.txt\">/home/u/pics/sub/doc.txt</A> :  0 bytes 00/00/00 ( 2/3 )",
        "<BR>",
        "<BR>",
        "<IMG SRC=\"logo.Jpeg\" ALT=\"/home/u/web/logo.Jpeg\" ALIGN=\"center\" HSPACE =\"5\">logo.Jpeg :  "
        "1,222,222 bytes 99/01/31 ( 3/3 )",
        "</BODY>",
        "</HTML>",
    };
    const std::string page = PageText(Sample());
    auto lines = Lines(page);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
    EXPECT_TRUE(page.ends_with("</HTML>\r\n"));
    EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), std::count(page.begin(), page.end(), '\r'));
    EXPECT_FALSE(page.starts_with("\xEF\xBB\xBF"));
}

// The second form: pictures as thumbnails beside the page, linked to
// themselves; every other line as in the first.
TEST(PageWriter, ThumbnailFormLinksEachThumbnailToItsPictureAndKeepsTheOtherLines) {
    TPageInput in = Sample();
    in.PageFileName = "/home/u/web/a&b \"#%41 <写真>\r\n\xE9.html"; // not UTF-8 either
    in.Items = {
        {"/home/u/pics/cat.GIF", "12,345", "26/12/08"},
        {"/home/u/pics/sub/doc.txt", "0", "00/00/00"},
        {"/home/u/pics/two\r\nlines & \"q\" <x> %41 #.png", "7", "26/01/02"},
        {"/home/u/web/broken.jpg", "1", "26/01/02"}, // the helper could not make it
    };
    const auto part = Lines(PageText(in));
    in.WithThumbnails = true;
    in.Thumbs = {{"c1.jpg", "c1-2x.jpg", 256, 144}, {}, {"p2.png", "", 64, 60}, {}};
    const auto lines = Lines(PageText(in));
    ASSERT_EQ(lines.size(), part.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 18 && i != 24 && i != 27) {
            EXPECT_EQ(lines[i], part[i]) << "line " << i + 1;
        }
    }
    const std::string folder = "a%26b%20%22%23%2541%20%3C%E5%86%99%E7%9C%9F%3E%0D%0A%E9.files/";
    EXPECT_EQ(lines[18], "<A HREF=\"../pics/cat.GIF\"><IMG SRC=\"" + folder + "c1.jpg\" srcset=\"" + folder +
                             "c1-2x.jpg 2x\" WIDTH=256 HEIGHT=144 loading=\"lazy\" decoding=\"async\""
                             " ALT=\"/home/u/pics/cat.GIF\"></A>cat.GIF :  12,345 bytes 26/12/08 ( 1/4 )");
    EXPECT_EQ(
        lines[24],
        "<A HREF=\"../pics/two%0D%0Alines%20%26%20%22q%22%20%3Cx%3E%20%2541%20%23.png\">"
        "<IMG SRC=\"" +
            folder +
            "p2.png\" WIDTH=64 HEIGHT=60 loading=\"lazy\" decoding=\"async\""
            " ALT=\"/home/u/pics/two\\u000D\\u000Alines &amp; &quot;q&quot; &lt;x&gt; %41 #.png\"></A>"
            "two\\u000D\\u000Alines &amp; &quot;q&quot; &lt;x&gt; %41 #.png :  7 bytes 26/01/02 ( 3/4 )");
    // A picture without a thumbnail is a link, even one the first form shows inline.
    EXPECT_EQ(lines[27], "<A HREF=\"broken.jpg\">/home/u/web/broken.jpg</A> :  1 bytes 26/01/02 ( 4/4 )");
}

TEST(PageWriter, ThumbnailFolderIsNamedAfterThePage) {
    struct Case {
        const char *Page, *Folder;
    } cases[] = {
        {"/w/photos.html", "/w/photos.files"}, {"/w/a.b.htm", "/w/a.b.files"},
        {"/w/name.", "/w/name.files"},         {"/w/index", "/w/index.files"},
        {"/w/.html", "/w/.html.files"},        {"/w/x.files", "/w/x.files.files"}, // never the page itself
    };
    for (const auto& c : cases)
        EXPECT_EQ(ThumbnailFolderOf(c.Page), c.Folder) << c.Page;
}

TEST(PageWriter, EmptyListAndLargeCounts) {
    TPageInput in = Sample();
    in.Items.clear();
    in.TotalSize = 0;
    auto lines = Lines(PageText(in));
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[12], "<H3>ファイル数合計 = 0 ；  サイズ合計 = 0 Bytes</H3>");
    EXPECT_EQ(lines[15], "</CENTER>");
    EXPECT_EQ(lines[16], "</BODY>");

    in.Items.assign(12345, TPageItem{"/home/u/web/x.txt", "1", "26/01/02"});
    in.TotalSize = 5'000'000'000; // sums past 32 bits stay right
    lines = Lines(PageText(in));
    EXPECT_EQ(lines[12], "<H3>ファイル数合計 = 12,345 ；  サイズ合計 = 5,000,000,000 Bytes</H3>");
    EXPECT_EQ(lines[lines.size() - 3],
              "<A HREF=\"x.txt\">/home/u/web/x.txt</A> :  1 bytes 26/01/02 ( 12345/12345 )");
    EXPECT_EQ(PageRecord(in)[3], "12,345");
    EXPECT_EQ(PageRecord(in)[4], "5,000,000,000");
}

TEST(PageWriter, ImagesAreGifAndJpegInAnyCase) {
    struct Case {
        const char* Name;
        bool Image;
    } cases[] = {
        {"a.gif", true},      {"a.GIF", true},  {"a.jpg", true},  {"a.JPG", true},
        {"a.jpeg", true},     {"a.Jpeg", true}, {"a.JPEG", true}, {"a.png", false},
        {"a.bmp", false},     {"a.ico", false}, {"noext", false}, {"a.", false},
        {"a.gif.txt", false}, {"a.jpe", false}, {"gif", false},   {".gif", true},
    };
    const TPageInput in = Sample();
    for (const auto& c : cases) {
        const std::string path = std::string("/home/u/web/") + c.Name;
        const std::string line = ItemLine(in, path);
        if (c.Image)
            EXPECT_EQ(line, "<IMG SRC=\"" + PercentEncodePath(c.Name) + "\" ALT=\"" + path +
                                "\" ALIGN=\"center\" HSPACE =\"5\">" + c.Name +
                                " :  1 bytes 26/01/02 ( 1/1 )")
                << c.Name;
        else
            EXPECT_EQ(line, "<A HREF=\"" + PercentEncodePath(c.Name) + "\">" + path +
                                "</A> :  1 bytes 26/01/02 ( 1/1 )")
                << c.Name;
    }
}

TEST(PageWriter, HostileNamesAreEscapedAndEncoded) {
    TPageInput in = Sample();
    in.PageFileName = "/p/q&a/index.html";
    in.BaseDir = "/p/<base> & \"dir\"";
    in.Key = "<script>alert(\"&\")</script>*.gif";
    in.Items = {
        {"/p/q&a/a \"b\" <c> & d #1 %41 ?.png", "1", "26/01/02"},
        {"/p/q&a/sub dir/写真 #2.gif", "2", "26/01/02"},
        {"/p/x\xE9y.txt", "3", "26/01/02"}, // not UTF-8
    };
    auto lines = Lines(PageText(in));
    EXPECT_EQ(lines[7], "<H2>検索対象ディレクトリ = /p/&lt;base&gt; &amp; &quot;dir&quot;/</H2>");
    EXPECT_EQ(lines[9],
              "<H2>指定検索キー  =  &lt;script&gt;alert(&quot;&amp;&quot;)&lt;/script&gt;*.gif</H2>");
    EXPECT_EQ(lines[18],
              "<A HREF=\"a%20%22b%22%20%3Cc%3E%20%26%20d%20%231%20%2541%20%3F.png\">"
              "/p/q&amp;a/a &quot;b&quot; &lt;c&gt; &amp; d #1 %41 ?.png</A> :  1 bytes 26/01/02 ( 1/3 )");
    EXPECT_EQ(lines[21],
              "<IMG SRC=\"sub%20dir/%E5%86%99%E7%9C%9F%20%232.gif\" ALT=\"/p/q&amp;a/sub dir/写真 #2.gif\""
              " ALIGN=\"center\" HSPACE =\"5\">写真 #2.gif :  2 bytes 26/01/02 ( 2/3 )");
    EXPECT_EQ(lines[24], "<A HREF=\"../x%E9y.txt\">/p/x\xEF\xBF\xBDy.txt</A> :  3 bytes 26/01/02 ( 3/3 )");
}

TEST(PageWriter, ControlCharactersInNamesAreShownAndLinksKeepTheBytes) {
    TPageInput in = Sample();
    in.Items = {
        {"/home/u/pics/two\r\nlines.gif", "1", "26/01/02"},
        {"/home/u/pics/evil\xE2\x80\xAEgpj.exe", "2", "26/01/02"},
    };
    auto lines = Lines(PageText(in));
    // One line an entry, as for any name.
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[18],
              "<IMG SRC=\"../pics/two%0D%0Alines.gif\" ALT=\"/home/u/pics/two\\u000D\\u000Alines.gif\""
              " ALIGN=\"center\" HSPACE =\"5\">two\\u000D\\u000Alines.gif :  1 bytes 26/01/02 ( 1/2 )");
    EXPECT_EQ(lines[21],
              "<A HREF=\"../pics/evil%E2%80%AEgpj.exe\">/home/u/pics/evil\\u202Egpj.exe</A> :  2 bytes "
              "26/01/02 ( 2/2 )");
    EXPECT_EQ(lines[23], "</HTML>");
}

TEST(PageWriter, EscapingAndEncodingRules) {
    EXPECT_EQ(HtmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e'f");
    EXPECT_EQ(HtmlEscape("日本語ｶﾀｶﾅ"), "日本語ｶﾀｶﾅ");
    // Bad sequences: a lone continuation byte, an overlong "/", a surrogate, a cut-off character.
    EXPECT_EQ(HtmlEscape("\x80x\xC0\xAFy\xED\xA0\x80z\xE6\x97"),
              "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz\xEF\xBF\xBD\xEF"
              "\xBF\xBD");
    EXPECT_EQ(HtmlEscape("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(PercentEncodePath("AZaz09-._~/"), "AZaz09-._~/");
    EXPECT_EQ(PercentEncodePath(" !\"#$%&'()*+,:;=?@[\\]^`{|}"),
              "%20%21%22%23%24%25%26%27%28%29%2A%2B%2C%3A%3B%3D%3F%40%5B%5C%5D%5E%60%7B%7C%7D");
    EXPECT_EQ(PercentEncodePath("日"), "%E6%97%A5");
    EXPECT_EQ(ThousandsText(0), "0");
    EXPECT_EQ(ThousandsText(999), "999");
    EXPECT_EQ(ThousandsText(1000), "1,000");
    EXPECT_EQ(ThousandsText(-1234567, "."), "-1.234.567");
    EXPECT_EQ(ThousandsText(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(PageWriter, NetworkModeLinksByShareName) {
    TPageInput in = Sample();
    in.Network = true;
    in.Volumes = TMountTable::FromText("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                       "2 1 0:50 / /mnt/nas rw - cifs //srv/photos rw\n"
                                       "3 1 0:51 / /mnt/v6 rw - nfs [fe80::1]:/data rw\n");
    in.PageFileName = "/mnt/nas/web/index.html";
    in.BaseDir = "/mnt/nas/pics";
    in.Items = {
        {"/mnt/nas/pics/a b.gif", "1", "26/01/02"},
        {"/mnt/nas/pics/#.png", "1", "26/01/02"},
        {"/home/u/x.png", "1", "26/01/02"}, // local: a relative link still works
        {"/mnt/v6/a.gif", "1", "26/01/02"},
    };
    auto lines = Lines(PageText(in));
    EXPECT_EQ(lines[7], "<H2>検索対象ディレクトリ = //srv/photos/pics/</H2>");
    EXPECT_EQ(lines[18],
              "<IMG SRC=\"file://srv/photos/pics/a%20b.gif\" ALT=\"/mnt/nas/pics/a b.gif\" ALIGN=\"center\""
              " HSPACE =\"5\">a b.gif :  1 bytes 26/01/02 ( 1/4 )");
    EXPECT_EQ(
        lines[21],
        "<A HREF=\"file://srv/photos/pics/%23.png\">/mnt/nas/pics/#.png</A> :  1 bytes 26/01/02 ( 2/4 )");
    EXPECT_EQ(lines[24], "<A HREF=\"../../../home/u/x.png\">/home/u/x.png</A> :  1 bytes 26/01/02 ( 3/4 )");
    EXPECT_TRUE(lines[27].starts_with("<IMG SRC=\"file://[fe80::1]/data/a.gif\"")) << lines[27];
    // The saved-pages record keeps the local form.
    EXPECT_EQ(PageRecord(in)[1], "/mnt/nas/pics/");

    in.Network = false;
    lines = Lines(PageText(in));
    EXPECT_EQ(lines[7], "<H2>検索対象ディレクトリ = /mnt/nas/pics/</H2>");
    EXPECT_TRUE(lines[18].starts_with("<IMG SRC=\"../pics/a%20b.gif\"")) << lines[18];
}

TEST(PageWriter, PageFileNameGetsHtmlOnlyWithoutExtension) {
    struct Case {
        const char *Chosen, *Page;
    } cases[] = {
        {"/w/index", "/w/index.html"}, {"/w/index.htm", "/w/index.htm"},  {"/w/page.txt", "/w/page.txt"},
        {"/w/name.", "/w/name."},      {"/w.d/index", "/w.d/index.html"}, {"/w/.page", "/w/.page"},
        {"/w/結果", "/w/結果.html"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PageFileName(c.Chosen), c.Page) << c.Chosen;

    EXPECT_EQ(AbsolutePath("/a/./b//c/../d.html"), "/a/b/d.html");
    EXPECT_EQ(AbsolutePath("/../x"), "/x");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(AbsolutePath("out/p.html"), (std::string(cwd) == "/" ? "" : std::string(cwd)) + "/out/p.html");
}

TEST(PageWriter, WritesTheFileAndReplacesAnOldOne) {
    TTestDir dir;
    dir.File("web/index.html", "old page");
    TPageInput in = Sample();
    in.PageFileName = dir.Path("web/index.html");
    ASSERT_FALSE(WritePage(in));
    EXPECT_EQ(Read(in.PageFileName), PageText(in));
    EXPECT_EQ(EntryNames(dir.Path("web")), std::set<std::string>{"index.html"});
}

TEST(PageWriter, AFolderThatRefusesTheFileIsAnError) {
    TTestDir dir;
    dir.File("ro/index.html", "old page");
    dir.Chmod("ro", 0555);
    TPageInput in = Sample();
    in.PageFileName = dir.Path("ro/index.html");
    TWithoutDacOverride asUser;
    auto err = WritePage(in);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->Errno, EACCES);
    EXPECT_EQ(err->Path, in.PageFileName);
    EXPECT_EQ(Read(in.PageFileName), "old page");
}

TEST(PageWriter, AWriteThatFailsMidwayLeavesTheOldPage) {
    TTestDir dir;
    const std::string old(3000, 'o');
    dir.File("web/index.html", old);
    TPageInput in = Sample();
    in.PageFileName = dir.Path("web/index.html");
    in.Items.assign(2000, TPageItem{"/home/u/pics/a.gif", "1", "26/01/02"}); // far past the limit below

    const int code = RunInChild(
        [&] {
            auto err = WritePage(in);
            return err && err->Errno == EFBIG ? 0 : 1;
        },
        8192);
    EXPECT_EQ(code, 0) << "the write did not report EFBIG";
    EXPECT_EQ(Read(in.PageFileName), old);
    EXPECT_EQ(EntryNames(dir.Path("web")), std::set<std::string>{"index.html"});
}
