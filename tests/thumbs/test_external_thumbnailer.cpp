#include "thumbs/ExternalThumbnailer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tavolix::thumbs;

TEST(ExternalThumbnailer, RegistrationsAreReadAsTheDesktopWritesThem) {
    const auto entry = ParseThumbnailerEntry("# a comment\n[Other Group]\nExec=wrong\n"
                                             "[Thumbnailer Entry]\r\nTryExec=/usr/bin/t\r\n"
                                             "Exec=/usr/bin/t -s %s \"a \\\"quoted\\\" word\" %u %o\r\n"
                                             "MimeType=font/ttf;application/x-font-ttf;;\r\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->TryExec, "/usr/bin/t");
    EXPECT_EQ(entry->Exec,
              (std::vector<std::string>{"/usr/bin/t", "-s", "%s", "a \"quoted\" word", "%u", "%o"}));
    EXPECT_EQ(entry->MimeTypes, (std::vector<std::string>{"font/ttf", "application/x-font-ttf"}));
    EXPECT_FALSE(ParseThumbnailerEntry("[Thumbnailer Entry]\nExec=\"unclosed\nMimeType=a/b\n"));
    EXPECT_FALSE(ParseThumbnailerEntry("[Thumbnailer Entry]\nExec=t\n"));

    // The heaviest pattern first, then the longest; only plain "*.ext" ones.
    const auto globs = ParseMimeGlobs("# x\n50:application/gzip:*.gz\n50:application/x-tgz:*.tar.gz\n"
                                      "80:text/x-c:*.C:cs\n10:text/x-readme:README*\n50:bad\n"
                                      "50:image/x:*.[ab]\n");
    ASSERT_EQ(globs.size(), 3u);
    EXPECT_EQ(globs[0].first, ".c");
    EXPECT_EQ(globs[0].second, "text/x-c");
    EXPECT_EQ(globs[1].first, ".tar.gz");
    EXPECT_EQ(globs[2].first, ".gz");
}

TEST(ExternalThumbnailer, TheCommandSeesTheFileUnderAFixedNameAndNothingElseOfTheUsers) {
    const std::vector<std::string> words = SandboxedCommand({"/usr/bin/t", "-s", "%s", "%u", "%o", "100%%"},
                                                            "/home/u/a b/$(x).Odt", "/run/out", 256);
    const auto bind = std::find(words.begin(), words.end(), "/home/u/a b/$(x).Odt");
    ASSERT_NE(bind, words.end());
    EXPECT_EQ(*(bind - 1), "--ro-bind");
    EXPECT_EQ(*(bind + 1), "/input/file.Odt");
    EXPECT_NE(std::find(words.begin(), words.end(), "--unshare-all"), words.end());
    const auto tail = std::find(words.begin(), words.end(), "--");
    ASSERT_NE(tail, words.end());
    EXPECT_EQ(std::vector<std::string>(tail + 1, words.end()),
              (std::vector<std::string>{"/usr/bin/t", "-s", "256", "file:///input/file.Odt",
                                        "/output/thumbnail.png", "100%"}));
    // Every folder bound is /usr, the file or the output.
    for (auto it = words.begin(); it != tail; ++it) {
        if (*it == "--bind" || *it == "--ro-bind") {
            EXPECT_TRUE(it[1] == "/usr" || it[1] == "/home/u/a b/$(x).Odt" || it[1] == "/run/out") << it[1];
        }
    }
}
