#include "platform/Wildcard.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

using tavolix::platform::TWildcard;

namespace {

struct TCase {
    std::string_view Pattern;
    std::vector<std::string_view> Matching, NotMatching;
};

void CheckAll(const std::vector<TCase>& cases) {
    for (const auto& c : cases) {
        const TWildcard w(c.Pattern);
        for (auto name : c.Matching)
            EXPECT_TRUE(w.Matches(name)) << "\"" << c.Pattern << "\" should match \"" << name << "\"";
        for (auto name : c.NotMatching)
            EXPECT_FALSE(w.Matches(name)) << "\"" << c.Pattern << "\" should not match \"" << name << "\"";
    }
}

} // namespace

TEST(Wildcard, StarsAndDots) {
    CheckAll({
        {"*.gif", {"a.GIF", "x.y.gif", ".gif"}, {"pics.gif.bak", "gif", "agif"}},
        {"*.*", {"README", "..", "a.b.c"}, {}},
        {"*.", {"README", "a.", "a.b.", "a..", " ."}, {"a.txt", ".profile", "a.b", ".a"}},
        {"a*.", {"abc", "a."}, {"a.b"}},
        {"a*", {"a.b.c"}, {"ba"}},
        {"*a", {"a.a"}, {"ab"}},
        {"*.t*", {"a.txt.bak", "a.bak.txt"}, {"a.b"}},
        {"*.tar.gz", {"x.y.tar.gz"}, {"x.gz"}},
        {"a.*", {"a", "a.b.c"}, {"ab"}},
    });
}

TEST(Wildcard, QuestionMarks) {
    CheckAll({
        {"*.?", {"a", "a.b", ".b"}, {"a.bc"}},
        {"???.txt", {"ab.txt", "abc.txt"}, {"abcd.txt"}},
        {"a?b", {"AXB"}, {"a.b", "ab"}},
        {"a??", {"a", "abc"}, {"abcd", "a.b"}},
    });
}

TEST(Wildcard, TrailingDotsAndBlanksAreDropped) {
    CheckAll({
        {"README.", {"README"}, {"README.md"}},
        {"*.txt. .", {"a.txt"}, {"a.txt.bak"}},
        {"* ", {"a.b"}, {}},
        {"* .", {"ab", "a."}, {"a.b"}}, // ended in "." : the final star stops at the last dot
        {"*.*.", {"a.b"}, {}},
        {"", {}, {"a"}},
        {"...", {}, {"a", "."}},
        {"  ", {}, {"a", " "}},
        {"*", {}, {""}},
    });
}

TEST(Wildcard, DosWildcardCharacters) {
    CheckAll({
        {"<.gif", {"a.b.gif"}, {"gif"}},
        {"<", {"abc"}, {"a.b", "a."}},
        {"<<", {"a.a", ".a", "a..a", " .a", "abc", "a."}, {}},
        {"<<.gif", {"a.b.gif", "a.gif"}, {"a.gif.x"}},
        {"<.", {"abc", "a."}, {"a.b"}},
        {"a<<b", {"a.b", "a.x.b", "ab"}, {"a.bc"}},
        {">", {"a"}, {"ab"}},
        {"a\"b", {"a.b"}, {"ab"}},
        {"a\"", {"a", "a."}, {"ab"}},
    });
}

TEST(Wildcard, EverythingElseIsLiteral) {
    CheckAll({
        {"*.gif;*.jpg", {"a.gif;b.jpg"}, {"a.gif", "b.jpg"}},
        {"[ab]", {"[AB]"}, {"a"}},
        {"%41", {"%41"}, {"A"}},
        {"a&b c#", {"A&B C#"}, {"a&bc#"}},
        {"a+b", {"a+b"}, {"aab"}},
        {"a\\b", {"a\\b"}, {"a/b"}},
    });
}

TEST(Wildcard, UnicodeCaseIsIgnoredPerCharacter) {
    CheckAll({
        {"É*", {"é.png"}, {"e.png"}},
        {"é*", {"É"}, {}},
        {"straße", {"STRAßE"}, {"STRASSE"}},
        {"ß", {}, {"ẞ", "ss"}}, // ß has no simple upper case
        {"σ", {"Σ", "ς"}, {}},
        {"ａｂｃ", {"ＡＢＣ"}, {"abc"}},
        {"*.ｇｉｆ", {"写真.ＧＩＦ"}, {"写真.gif"}},
        {"写真*.JPG", {"写真001.jpg"}, {"写001.jpg"}},
        {"しゃしん", {}, {"シャシン"}},
        {"ｶﾅ", {}, {"カナ"}},
        {"?.txt", {"日.txt"}, {"日本.txt"}},
        {"??.txt", {"日.txt", "日本.txt"}, {}},
        {"*.gif", {"é.GIF"}, {"é.GIFé"}},
    });
}

// Key and name compare as their NFC forms: "é" typed composed (U+00E9)
// finds a name stored decomposed ("e" U+0301), and the other way round.
TEST(Wildcard, ComposedAndDecomposedNamesMatchAlike) {
    CheckAll({
        {"caf\u00e9*", {"cafe\u0301.gif", "CAFE\u0301.GIF", "caf\u00e9.gif"}, {"cafe.gif", "cafe\u0300.gif"}},
        {"cafe\u0301*", {"caf\u00e9.gif", "CAF\u00c9"}, {"cafe"}},
        {"caf?.gif", {"cafe\u0301.gif"}, {"cafe\u0301\u0301.gif"}},
        {"*\u00e9", {"xe\u0301"}, {"xe\u0301x"}},
        // Canonical order of marks: dot below (220) before acute (230).
        {"q\u0323\u0301", {"q\u0301\u0323"}, {"q\u0301"}},
        {"\u304c*", {"\u304b\u3099.txt"}, {"\u304b.txt"}}, // が as か + voiced mark
        {"*.gif", {"cafe\u0301.gif"}, {}},
        // Not UTF-8: as before, the bytes themselves; the mark is not composed.
        {"\xff"
         "e\u0301*",
         {"\xff"
          "e\u0301.gif"},
         {"\xff\u00e9.gif"}},
        {"\xff\u00e9*",
         {"\xff\u00e9.gif"},
         {"\xff"
          "e\u0301.gif"}},
        {"\uff76\uff85", {}, {"\u30ab\u30ca"}}, // half-width stays half-width (no NFKC)
    });
}

TEST(Wildcard, BytesThatAreNotUtf8MatchThemselves) {
    CheckAll({
        {"*.gif", {"\xff.gif"}, {}},
        {"\xff*", {"\xff.gif"}, {"\xfe.gif"}},
        {"?.gif", {"\xff.gif"}, {"\xff\xfe.gif"}},
        {"\xe9", {"\xe9"}, {"\xc9", "\xc3\xa9"}}, // Latin-1 é: no case, and not the UTF-8 é
        {"\xe3\x81*", {"\xe3\x81x"}, {"\xe3x"}},
        {"\xe3*", {"\xe3\x81x"}, {}}, // a truncated sequence is its bytes
    });
}

TEST(Wildcard, LongPatternsUseTheHeap) {
    const std::string qm300(300, '?');
    EXPECT_TRUE(TWildcard(qm300).Matches(std::string(300, 'x')));
    EXPECT_TRUE(TWildcard(qm300).Matches(std::string(299, 'x')));
    EXPECT_FALSE(TWildcard(qm300).Matches(std::string(301, 'x')));

    const TWildcard w(std::string(150, 'a') + "*" + std::string(150, 'b'));
    ASSERT_GT(w.Tokens().size(), 256u);
    EXPECT_TRUE(w.Matches(std::string(150, 'A') + "x.y" + std::string(150, 'b')));
    EXPECT_FALSE(w.Matches(std::string(150, 'a') + std::string(149, 'b')));
}

TEST(Wildcard, ManyStarsDoNotBacktrack) {
    const std::string as(255, 'a');
    EXPECT_FALSE(TWildcard("*a*a*a*a*a*a*a*b").Matches(as));
    EXPECT_TRUE(TWildcard("*a*a*a*a*a*a*a*b").Matches(std::string(254, 'a') + "b"));
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "*a";
    EXPECT_TRUE(TWildcard(many).Matches(as));
    EXPECT_FALSE(TWildcard(many + "*.").Matches(as + ".x"));
    EXPECT_FALSE(TWildcard(many + "c").Matches(as));
}

TEST(Wildcard, MatchesAll) {
    EXPECT_TRUE(TWildcard("*").MatchesAll());
    EXPECT_TRUE(TWildcard("*.*").MatchesAll());
    EXPECT_TRUE(TWildcard("*.*.").MatchesAll());
    EXPECT_FALSE(TWildcard("*.").MatchesAll());
    EXPECT_FALSE(TWildcard("<").MatchesAll());
    EXPECT_FALSE(TWildcard("**.").MatchesAll());
}

namespace {

enum { kStar = -1, kDosStar = -2, kDosQm = -3, kDosDot = -4 };

// The rule written out again as plain backtracking: an independent oracle
// for short ASCII inputs.
std::vector<int> RefCompile(std::string p) {
    const bool endedInDot = !p.empty() && p.back() == '.';
    while (!p.empty() && (p.back() == '.' || p.back() == ' '))
        p.pop_back();
    if (p == "*.*")
        return {kStar};
    std::vector<int> t;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i], next = i + 1 < p.size() ? p[i + 1] : '\0';
        if (c == '?' || c == '>')
            t.push_back(kDosQm);
        else if (c == '<' || (c == '*' && next == '.'))
            t.push_back(kDosStar);
        else if (c == '"' || (c == '.' && (next == '?' || next == '*')))
            t.push_back(kDosDot);
        else if (c == '*')
            t.push_back(kStar);
        else
            t.push_back(std::toupper(static_cast<unsigned char>(c)));
    }
    if (endedInDot && !p.empty() && (p.back() == '*' || p.back() == '<')) {
        t.back() = kDosStar;
        t.push_back(kDosDot);
    }
    return t;
}

bool RefMatch(const std::vector<int>& t, std::size_t p, const std::string& n, std::size_t i) {
    if (p == t.size())
        return i == n.size();
    const bool end = i == n.size();
    switch (t[p]) {
    case kStar:
        for (std::size_t k = i; k <= n.size(); ++k)
            if (RefMatch(t, p + 1, n, k))
                return true;
        return false;
    case kDosStar:
        for (std::size_t k = i; k <= n.size(); ++k) {
            if (RefMatch(t, p + 1, n, k))
                return true;
            const bool nextIsDosStar = p + 1 < t.size() && t[p + 1] == kDosStar;
            if (k < n.size() && n[k] == '.' && n.find('.', k + 1) == std::string::npos && !nextIsDosStar)
                return false;
        }
        return false;
    case kDosQm:
        return (end || n[i] == '.') ? RefMatch(t, p + 1, n, i) : RefMatch(t, p + 1, n, i + 1);
    case kDosDot:
        return end ? RefMatch(t, p + 1, n, i) : n[i] == '.' && RefMatch(t, p + 1, n, i + 1);
    default:
        return !end && std::toupper(static_cast<unsigned char>(n[i])) == t[p] && RefMatch(t, p + 1, n, i + 1);
    }
}

void Enumerate(std::string_view alphabet, std::size_t maxLen, std::vector<std::string>& out) {
    std::vector<std::string> level{""};
    for (std::size_t len = 1; len <= maxLen; ++len) {
        std::vector<std::string> next;
        for (const auto& s : level)
            for (char c : alphabet)
                next.push_back(s + c);
        out.insert(out.end(), next.begin(), next.end());
        level = std::move(next);
    }
}

} // namespace

TEST(Wildcard, AgreesWithBacktrackingOnAllShortInputs) {
    std::vector<std::string> patterns{""}, names;
    Enumerate("aB.*?<>\" ", 4, patterns);
    Enumerate("abA.", 4, names);
    int mismatches = 0;
    for (const auto& p : patterns) {
        const TWildcard w(p);
        const auto ref = RefCompile(p);
        for (const auto& n : names) {
            const bool expected = RefMatch(ref, 0, n, 0);
            if (w.Matches(n) != expected && ++mismatches <= 10)
                ADD_FAILURE() << "pattern \"" << p << "\" name \"" << n << "\" expected " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Wildcard, KeyListsMatchAnyOfTheirPatterns) {
    const struct {
        std::string_view Keys;
        std::vector<std::string_view> Matching, NotMatching;
    } cases[] = {
        {"*.jpg;*.png;*.heic", {"a.JPG", "b.png", "c.Heic"}, {"d.gif", "a.jpg;x", "a.pngx"}},
        {" a.jpg ; b.png ", {"a.jpg", "B.PNG"}, {" a.jpg", "a.jpg ; b.png"}},
        {"a?c;;", {"abc", "aXc"}, {"abcd", "a.c"}},
        {"*.gif;*.*", {"anything", "a.b"}, {""}},
        {";; ;", {}, {"a", ";"}},
        {"", {}, {"a"}},
    };
    for (const auto& c : cases) {
        const TWildcard w = TWildcard::AnyOf(c.Keys);
        for (auto name : c.Matching)
            EXPECT_TRUE(w.Matches(name)) << "\"" << c.Keys << "\" should match \"" << name << "\"";
        for (auto name : c.NotMatching)
            EXPECT_FALSE(w.Matches(name)) << "\"" << c.Keys << "\" should not match \"" << name << "\"";
    }
    EXPECT_TRUE(TWildcard::AnyOf("*.gif;*").MatchesAll());
    // Without lists, ";" is part of the one pattern.
    EXPECT_TRUE(TWildcard::Key("*.gif;*.jpg", false).Matches("a.gif;b.jpg"));
    EXPECT_FALSE(TWildcard::Key("*.gif;*.jpg", false).Matches("a.gif"));
    EXPECT_TRUE(TWildcard::Key("*.gif;*.jpg", true).Matches("a.gif"));
}
