#include "TestDir.h"
#include "search/ContentReader.h"
#include "search/FileInfo.h"
#include "search/SearchJob.h"
#include "search/TextMatcher.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tavolix::search;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<const TTextMatcher> Matcher(std::string text, bool ignoreCase = false, bool words = false,
                                            bool regex = false) {
    auto m = TTextMatcher::Make({std::move(text), ignoreCase, words, regex});
    EXPECT_TRUE(m);
    return m;
}

// Where `text` is found in `subject`, or -1 (-2 past the bounds).
long FoundAt(const std::shared_ptr<const TTextMatcher>& m, std::string_view subject) {
    TTextMatcher::TScratch scratch(*m);
    const TFound f = m->Find(subject, scratch);
    return f.End == TFindEnd::Found ? static_cast<long>(f.Offset) : f.End == TFindEnd::Limit ? -2 : -1;
}

TContentResult Read(const std::shared_ptr<const TTextMatcher>& m, std::string_view bytes, std::size_t block,
                    std::size_t tail = 64) {
    return TContentReader(m, block, tail).ReadBytes(bytes);
}

} // namespace

TEST(TextMatcher, LiteralCaseWordsRegexAndTheirFaults) {
    // A literal's regex characters stand for themselves.
    EXPECT_EQ(FoundAt(Matcher("a.b(\\E"), "axb( a.b(\\E"), 5);
    EXPECT_EQ(FoundAt(Matcher("a.b"), "axb"), -1);
    // Case-blind by Unicode, not ASCII alone.
    EXPECT_EQ(FoundAt(Matcher("ärger", true), "Viel \xC3\x84RGER"), 5);
    EXPECT_EQ(FoundAt(Matcher("ärger"), "Viel \xC3\x84RGER"), -1);
    // Whole words: a letter beyond ASCII is part of the word.
    EXPECT_EQ(FoundAt(Matcher("foo", false, true), "foobar foo."), 7);
    EXPECT_EQ(FoundAt(Matcher("caf", false, true), "caf\xC3\xA9 caf"), 6);
    EXPECT_EQ(FoundAt(Matcher("ab|cd", false, true, true), "abx cd"), 4);
    EXPECT_EQ(FoundAt(Matcher("fo+\\b", false, false, true), "fo fooo"), 0);
    // Bytes that are not UTF-8 are matched past, not refused.
    EXPECT_EQ(FoundAt(Matcher("x"), "\xFF\xC3 x"), 3);
    // A fault is named at its offset in the text given, with or without words.
    for (bool words : {false, true}) {
        TPatternError e;
        EXPECT_FALSE(TTextMatcher::Make({"a)bc", false, words, true}, &e));
        EXPECT_EQ(e.Offset, 1u);
        EXPECT_FALSE(e.Message.empty());
    }
    // Backtracking without end stops at the bounds and says so.
    EXPECT_EQ(FoundAt(Matcher("(a+)+$", false, false, true), std::string(5000, 'a') + "b"), -2);
}

TEST(ContentReader, LinesAcrossBlocksLongLinesAndTheirEnds) {
    const auto foo = Matcher("foo");
    const auto fooRe = Matcher("fo+$", false, false, true);
    // "foo" split between the blocks of 16 bytes, on the third line; a
    // regular expression sees the line without its CR.
    const std::string text = "a\nbc\n0123456789fo"
                             "o\r\nfoo";
    for (const auto& m : {foo, fooRe}) {
        const TContentResult r = Read(m, text, 16);
        ASSERT_EQ(r.End, TContentEnd::Match);
        EXPECT_EQ(r.Match, (TContentMatch{3, 11, "0123456789foo"}));
    }
    // Lines passed over before a match may start are still counted; a
    // match that would cross a line end is no match, one later on is.
    EXPECT_EQ(Read(Matcher("x\\s+y", false, false, true), "a\r\nx\ny\nzz x  y\r\n", 64).Match,
              (TContentMatch{4, 4, "zz x  y"}));
    EXPECT_EQ(Read(Matcher("x\\s+y", false, false, true), "x\ny\n", 64).End, TContentEnd::NoMatch);
    // An empty match that only fits after the last line end.
    EXPECT_EQ(Read(Matcher("x|", false, true, true), "ab\n", 64).End, TContentEnd::NoMatch);
    // The last line without a line end.
    EXPECT_EQ(Read(foo, "a\nx foo", 4).Match, (TContentMatch{2, 3, "x foo"}));
    // Past the kept line start a line is matched in pieces; the column
    // counts from the line's start.
    const std::string longLine = "\n" + std::string(170, 'x') + "foo" + std::string(500, 'y') + "\n";
    const TContentResult r = Read(foo, longLine, 16, 64);
    ASSERT_EQ(r.End, TContentEnd::Match);
    EXPECT_EQ(r.Match.Line, 2);
    EXPECT_EQ(r.Match.Column, 171);
    EXPECT_LE(r.Match.Text.size(), TContentReader::kShownBytes);
    EXPECT_NE(r.Match.Text.find("xfooy"), std::string::npos);
    EXPECT_EQ(Read(foo, "bar\nbaz", 4).End, TContentEnd::NoMatch);
    // A NUL in the first block is binary; one later is not looked for.
    EXPECT_EQ(Read(foo, std::string("ab\0foo", 6) + std::string(20, 'z'), 16).End, TContentEnd::Binary);
    EXPECT_EQ(Read(foo, std::string(20, 'z') + std::string("\n\0 foo", 6), 16).End, TContentEnd::Match);
}

TEST(ContentReader, TextInUtf16WithItsMark) {
    const auto m = Matcher("f\xC3\xBC\xF0\x9F\x98\x80x"); // "fü😀x"
    auto utf16 = [](bool little, std::u16string_view s) {
        std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : s) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            out += little ? lo : hi;
            out += little ? hi : lo;
        }
        return out;
    };
    for (bool little : {true, false}) {
        // Blocks of 5 bytes split units and surrogate pairs.
        const std::string bytes = utf16(little, u"a\nb \xFFFF f\u00FC\U0001F600x");
        const TContentResult r = Read(m, bytes, 5);
        ASSERT_EQ(r.End, TContentEnd::Match) << little;
        EXPECT_EQ(r.Match, (TContentMatch{2, 7, "b \xEF\xBF\xBF f\xC3\xBC\xF0\x9F\x98\x80x"}));
    }
    // A lone surrogate is a replacement character, not a fault.
    EXPECT_EQ(Read(Matcher("\xEF\xBF\xBDq"), utf16(true, u"\xD800q"), 5).End, TContentEnd::Match);
    // A UTF-8 mark is not part of the first line.
    EXPECT_EQ(Read(Matcher("^a", false, false, true),
                   "\xEF\xBB\xBF"
                   "a",
                   16)
                  .End,
              TContentEnd::Match);
}

TEST(ContentReader, OnlyRegularFilesAreReadToWhereTheyEnd) {
    TTestDir t;
    const auto m = Matcher("foo");
    TContentReader reader(m);
    std::atomic<bool> stop{false};
    t.File("a.txt", "x\nfoo");
    EXPECT_EQ(reader.ReadFile(AT_FDCWD, t.Path("a.txt").c_str(), stop).Match, (TContentMatch{2, 1, "foo"}));
    // A FIFO is not waited for: no writer ever comes.
    ASSERT_EQ(::mkfifo(t.Path("notes.txt").c_str(), 0644), 0);
    EXPECT_EQ(reader.ReadFile(AT_FDCWD, t.Path("notes.txt").c_str(), stop).End, TContentEnd::NotRegular);
    t.Symlink("link.txt", "a.txt");
    EXPECT_EQ(reader.ReadFile(AT_FDCWD, t.Path("link.txt").c_str(), stop).End, TContentEnd::NotRegular);
    EXPECT_EQ(reader.ReadFile(AT_FDCWD, t.Path("gone.txt").c_str(), stop).End, TContentEnd::Unreadable);
    // The size a file states is not what is read: one that grew since
    // (stated 0) and one shorter than stated (a kernel attribute: 4096).
    EXPECT_EQ(TContentReader(Matcher("Name:")).ReadFile(AT_FDCWD, "/proc/self/status", stop).End,
              TContentEnd::Match);
    struct stat st {};
    const char* attribute = "/sys/kernel/mm/transparent_hugepage/enabled";
    if (::stat(attribute, &st) == 0 && st.st_size == 4096) {
        const TContentResult r =
            TContentReader(Matcher("\\]", false, false, true)).ReadFile(AT_FDCWD, attribute, stop);
        EXPECT_EQ(r.End, TContentEnd::Match);
        EXPECT_LT(r.Match.Text.size(), 100u);
    }
    stop = true;
    EXPECT_EQ(reader.ReadFile(AT_FDCWD, t.Path("a.txt").c_str(), stop).End, TContentEnd::Stopped);
}

// Read on several threads, the hits come in the walk's own order, only those
// that hold the text, with where they hold it.
TEST(ContentReader, AWalkKeepsItsOrderOfHits) {
    TTestDir t;
    for (int d = 0; d < 3; ++d)
        for (int f = 0; f < 40; ++f)
            t.File("d" + std::to_string(d) + "/f" + std::to_string(f * 7 % 40) + ".txt",
                   f % 3 == 0 ? "x\nthe needle\n" : "hay\n");
    t.File("d0/sub/bin.txt", std::string("needle\0", 7));
    auto walk = [&t](TContentChoice contents, std::unordered_map<std::string, TContentMatch>* matches) {
        TSearchJob job(t.Root(), "*.txt", 1, 256, {}, std::move(contents), 4);
        EXPECT_TRUE(job.WaitForEnd(60s));
        TFileInfoList list;
        job.TakeRecords(list);
        std::vector<std::string> paths;
        for (const TFileInfo* r : list.Items())
            paths.push_back(r->Path());
        if (matches)
            *matches = job.ContentMatches();
        return paths;
    };
    std::vector<std::string> expected;
    for (const std::string& p : walk({}, nullptr))
        if (p.find("bin.txt") == std::string::npos &&
            std::stoi(p.substr(p.rfind("/f") + 2)) * 23 % 40 % 3 == 0)
            expected.push_back(p);
    std::unordered_map<std::string, TContentMatch> matches;
    EXPECT_EQ(walk({"needle"}, &matches), expected);
    ASSERT_EQ(matches.size(), expected.size());
    EXPECT_EQ(matches.at(expected.front()), (TContentMatch{2, 5, "the needle"}));
}
