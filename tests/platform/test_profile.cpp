#include "TestDir.h"
#include "platform/AtomicFile.h"
#include "platform/Profile.h"

#include <cerrno>
#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavolix::platform;

namespace {

std::string Read(const std::string& path) {
    std::string text;
    EXPECT_FALSE(ReadWholeFile(path, text)) << path;
    return text;
}

const std::string kSample = "; settings\n"
                            "orphan=outside any section\n"
                            "[TAVOLIX]\n"
                            "ChildBaseNO = 3 \n"
                            "Color=blue\n"
                            "\n"
                            "[ no1 ]\n"
                            "\t1 =\t/home/u/a b.html\t\n"
                            ";2=commented out\n"
                            "2=/home/u/\n"
                            "2=second of two\n"
                            "[NO1]\n"
                            "3=from a duplicate section\n"
                            "[Other]\n"
                            "x=y=z\n";

} // namespace

TEST(ProfileText, FindsSectionsAndKeysIgnoringCaseAndTrimsValues) {
    const TProfileText p(kSample);
    struct Case {
        const char* Section;
        const char* Key;
        std::optional<std::string> Value;
    } cases[] = {
        {"TAVOLIX", "ChildBaseNO", "3"},
        {"tavolix", "childbaseno", "3"},
        {"NO1", "1", "/home/u/a b.html"}, // blanks and tabs around both key and value go
        {"NO1", "2", "/home/u/"},         // a comment line is no key; the first duplicate counts
        {"NO1", "3", std::nullopt},       // only the first of two same-named sections counts
        {"Other", "x", "y=z"},            // the first "=" splits
        {"Other", "orphan", std::nullopt},
        {"", "orphan", std::nullopt}, // lines before any section belong to none
        {"NO2", "1", std::nullopt},
        {"TAVOLIX", "Missing", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(p.Get(c.Section, c.Key), c.Value) << c.Section << "/" << c.Key;
}

TEST(ProfileText, ReadsCrLfFilesAndLastLineWithoutBreak) {
    const TProfileText p("[A]\r\nk=v \r\n[B]\r\nk=last");
    EXPECT_EQ(p.Get("A", "k"), "v");
    EXPECT_EQ(p.Get("B", "k"), "last");
}

TEST(ProfileText, CutsLongValuesAt1023BytesOnACharacterBoundary) {
    const std::string ascii(1500, 'a');
    EXPECT_EQ(TProfileText("[S]\nk=" + ascii + "\n").Get("S", "k"), std::string(1023, 'a'));
    // 1022 ASCII bytes, then a 3-byte character that would straddle the limit.
    const std::string cut = std::string(1022, 'b') + "日本";
    EXPECT_EQ(TProfileText("[S]\nk=" + cut + "\n").Get("S", "k"), std::string(1022, 'b'));
    const std::string exact = std::string(1020, 'c') + "日";
    EXPECT_EQ(TProfileText("[S]\nk=" + exact + "x\n").Get("S", "k"), exact);
}

TEST(ProfileText, WritingOneKeyKeepsEveryOtherLineInOrder) {
    struct Case {
        const char* Name;
        std::string Before, Section, Key, Value, After;
    } cases[] = {
        {"replace in place, other spelling of section and key", kSample, "no1", "1", "/x;y z.html",
         "; settings\norphan=outside any section\n[TAVOLIX]\nChildBaseNO = 3 \nColor=blue\n\n[ no1 ]\n"
         "1=/x;y z.html\n;2=commented out\n2=/home/u/\n2=second of two\n[NO1]\n3=from a duplicate section\n"
         "[Other]\nx=y=z\n"},
        {"new key goes after the section's last key, before blank lines", kSample, "TAVOLIX", "New", " v ",
         "; settings\norphan=outside any section\n[TAVOLIX]\nChildBaseNO = 3 \nColor=blue\nNew= v \n\n"
         "[ no1 ]\n\t1 =\t/home/u/a b.html\t\n;2=commented out\n2=/home/u/\n2=second of two\n[NO1]\n"
         "3=from a duplicate section\n[Other]\nx=y=z\n"},
        {"new section at the end", "[A]\nk=1\n", "NO10", "6", "26/12/08", "[A]\nk=1\n[NO10]\n6=26/12/08\n"},
        {"empty file", "", "TAVOLIX", "ChildBaseNO", "1", "[TAVOLIX]\nChildBaseNO=1\n"},
        {"last line without a break", "[A]\nk=1", "A", "j", "2", "[A]\nk=1\nj=2"},
        {"section header as last line", "[A]", "A", "j", "2", "[A]\nj=2"},
        {"new section after a text without final break", "[A]\nk=1", "B", "j", "2", "[A]\nk=1\n[B]\nj=2\n"},
        {"CR LF file keeps CR LF", "[A]\r\nk=1\r\n", "A", "j", "2", "[A]\r\nk=1\r\nj=2\r\n"},
        {"CR LF kept on a replaced line", "[A]\r\nk=1\r\n[B]\r\n", "A", "K", "22", "[A]\r\nK=22\r\n[B]\r\n"},
        {"a key of the same name in another section is not touched", "[A]\nk=1\n[B]\nk=2\n", "B", "k", "3",
         "[A]\nk=1\n[B]\nk=3\n"},
    };
    for (const auto& c : cases) {
        TProfileText p(c.Before);
        ASSERT_TRUE(p.Set(c.Section, c.Key, c.Value)) << c.Name;
        EXPECT_EQ(p.Text(), c.After) << c.Name;
        EXPECT_TRUE(p.Get(c.Section, c.Key).has_value()) << c.Name;
    }
}

TEST(ProfileText, ChangesToOneParsedTextReadAsAFreshParseDoes) {
    TProfileText p("\xEF\xBB\xBF[A]\r\nk=1\r\n\r\n[B]\r\n; note\r\nk=2\r\n[A]\r\nk=shadowed");
    const std::pair<const char*, const char*> steps[] = {
        {"B", "k"}, {"A", "new"}, {"C", "k"}, {"A", "k"}, {"B", "longer key"}, {"C", "k"}, {"D", "x"},
    };
    std::string value = "v";
    for (const auto& [section, key] : steps) {
        value += "++";
        ASSERT_TRUE(p.Set(section, key, value)) << section << key;
        const TProfileText fresh(p.Text());
        for (const char* s : {"A", "B", "C", "D"})
            for (const char* k : {"k", "new", "longer key", "x"})
                EXPECT_EQ(p.Get(s, k), fresh.Get(s, k))
                    << "after " << section << "/" << key << ": " << s << "/" << k;
        EXPECT_EQ(p.Get(section, key), value);
    }
    EXPECT_EQ(p.Get("A", "k"), "v++++++++");
}

TEST(ProfileText, ValuesGoInRawAndComeBackTrimmedOnly) {
    for (std::string value : {"*.gif; *.jpg", "a  ;  b", "; leading semicolon", "[x]", "k=v", "日本語 ﾃﾞｰﾀ",
                              "\"quoted\"", "100%", ""}) {
        TProfileText p;
        ASSERT_TRUE(p.Set("NO1", "3", value)) << value;
        EXPECT_EQ(p.Get("NO1", "3"), value) << value;
    }
    TProfileText p;
    ASSERT_TRUE(p.Set("NO1", "3", "  blanks around  "));
    EXPECT_EQ(p.Get("NO1", "3"), "blanks around");
}

TEST(ProfileText, RefusesWhatCannotBeOneLine) {
    struct Case {
        const char *Section, *Key, *Value;
    } cases[] = {
        {"S", "k", "two\nlines"}, {"S", "k", "cr\r"}, {"S\n", "k", "v"}, {"S]", "k", "v"},
        {"", "k", "v"},           {"S", "", "v"},     {"S", "a=b", "v"}, {"S", ";k", "v"},
        {"S", "[k", "v"},         {"S", " k", "v"},   {"S", "k\n", "v"},
    };
    for (const auto& c : cases) {
        TProfileText p("[S]\nk=old\n");
        EXPECT_FALSE(p.Set(c.Section, c.Key, c.Value)) << c.Section << "|" << c.Key << "|" << c.Value;
        EXPECT_EQ(p.Text(), "[S]\nk=old\n");
    }
}

TEST(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
    TTestDir dir;
    EXPECT_EQ(GetProfileString(dir.Path("none.INI"), "TAVOLIX", "ChildBaseNO", "10"), "10");
    dir.File("a.INI", "[TAVOLIX]\nChildBaseNO=4\n");
    EXPECT_EQ(GetProfileString(dir.Path("a.INI"), "TAVOLIX", "ChildBaseNO", "10"), "4");
    EXPECT_EQ(GetProfileString(dir.Path("a.INI"), "NO1", "1"), "");
    EXPECT_EQ(GetProfileString(dir.Path("a.INI"), "TAVOLIX", "Other", "d"), "d");
}

TEST(ProfileFile, WritesCreateAndUpdateTheFile) {
    TTestDir dir;
    const std::string ini = dir.Path("t.INI");
    ASSERT_FALSE(WriteProfileString(ini, "TAVOLIX", "ChildBaseNO", "1"));
    ASSERT_FALSE(WriteProfileStrings(ini, "NO1", {{"1", "/p/a.html"}, {"2", "/p/"}, {"3", "*.gif"}}));
    ASSERT_FALSE(WriteProfileString(ini, "tavolix", "CHILDBASENO", "2"));
    EXPECT_EQ(Read(ini), "[TAVOLIX]\nCHILDBASENO=2\n[NO1]\n1=/p/a.html\n2=/p/\n3=*.gif\n");
    // No temporary left behind; the lock file stays for the next writer.
    EXPECT_EQ(EntryNames(dir.Root()), (std::set<std::string>{"t.INI", "t.INI.lock"}));
}

TEST(ProfileFile, AByteOrderMarkIsSkippedAndKept) {
    TTestDir dir;
    const std::string bom = "\xEF\xBB\xBF";
    dir.File("t.INI", bom + "[TAVOLIX]\r\nChildBaseNO=3\r\n");
    EXPECT_EQ(GetProfileString(dir.Path("t.INI"), "TAVOLIX", "ChildBaseNO"), "3");
    ASSERT_FALSE(WriteProfileString(dir.Path("t.INI"), "TAVOLIX", "ChildBaseNO", "4"));
    EXPECT_EQ(Read(dir.Path("t.INI")), bom + "[TAVOLIX]\r\nChildBaseNO=4\r\n");
}

TEST(ProfileFile, ARefusedValueWritesNothing) {
    TTestDir dir;
    dir.File("t.INI", "[NO1]\n1=old\n");
    auto err = WriteProfileStrings(dir.Path("t.INI"), "NO1", {{"1", "new"}, {"2", "bad\nline"}});
    ASSERT_TRUE(err);
    EXPECT_EQ(err->Errno, EINVAL);
    EXPECT_EQ(Read(dir.Path("t.INI")), "[NO1]\n1=old\n");
}

TEST(ProfileFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    TTestDir dir;
    dir.File("ro/t.INI", "[NO1]\n1=old\n");
    dir.Chmod("ro", 0555);
    TWithoutDacOverride asUser;
    auto err = WriteProfileString(dir.Path("ro/t.INI"), "NO1", "1", "new");
    ASSERT_TRUE(err);
    EXPECT_EQ(err->Errno, EACCES);
    EXPECT_EQ(err->Path, dir.Path("ro/t.INI"));
    EXPECT_FALSE(err->SystemText().empty());
    EXPECT_EQ(Read(dir.Path("ro/t.INI")), "[NO1]\n1=old\n");
    EXPECT_EQ(EntryNames(dir.Path("ro")), std::set<std::string>{"t.INI"});
}

TEST(AtomicFile, KeepsPermissionsAndWritesThroughSymlinks) {
    TTestDir dir;
    dir.File("real/t.INI", "old");
    dir.Chmod("real/t.INI", 0640);
    dir.Symlink("link.INI", dir.Path("real/t.INI"));
    ASSERT_FALSE(WriteFileAtomic(dir.Path("link.INI"), "new"));
    struct stat st;
    ASSERT_EQ(lstat(dir.Path("link.INI").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Read(dir.Path("real/t.INI")), "new");
    ASSERT_EQ(stat(dir.Path("real/t.INI").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicFile, NewFileFollowsTheUmask) {
    TTestDir dir;
    mode_t old = umask(027);
    auto err = WriteFileAtomic(dir.Path("n.html"), "x");
    umask(old);
    ASSERT_FALSE(err);
    struct stat st;
    ASSERT_EQ(stat(dir.Path("n.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicFile, MissingFolderIsAnError) {
    TTestDir dir;
    auto err = WriteFileAtomic(dir.Path("gone/p.html"), "x");
    ASSERT_TRUE(err);
    EXPECT_EQ(err->Errno, ENOENT);
    EXPECT_EQ(err->Path, dir.Path("gone/p.html"));
    ASSERT_FALSE(MakeParentDirectories(dir.Path("gone/deeper/p.html")));
    EXPECT_FALSE(WriteFileAtomic(dir.Path("gone/deeper/p.html"), "x"));
}

// Temporary files of a writer that was killed before its rename go with the
// next write beside them; those of a living process, and other names, stay.
TEST(AtomicFile, TemporariesOfAProcessThatIsGoneAreRemovedByTheNextWrite) {
    TTestDir dir;
    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = ".tavolix-" + std::to_string(gone) + "-3.tmp";
    const std::string living = ".tavolix-" + std::to_string(getppid()) + "-0.tmp";
    for (const std::string& name : {stale, living, std::string(".tavolix-x-1.tmp"), std::string("keep.tmp")})
        dir.File(name, "partial");
    dir.Dir(".tavolix-" + std::to_string(gone) + "-4.tmp");
    ASSERT_FALSE(WriteFileAtomic(dir.Path("TAVOLIX.INI"), "new"));
    EXPECT_EQ(EntryNames(dir.Root()),
              (std::set<std::string>{"TAVOLIX.INI", living, ".tavolix-x-1.tmp", "keep.tmp",
                                     ".tavolix-" + std::to_string(gone) + "-4.tmp"}));
}

TEST(AtomicFile, ANameOfTheLongestLengthCanBeReplaced) {
    TTestDir dir;
    const std::string name(255, 'n');
    dir.File(name, "old");
    ASSERT_FALSE(WriteFileAtomic(dir.Path(name), "new"));
    EXPECT_EQ(Read(dir.Path(name)), "new");
    EXPECT_EQ(EntryNames(dir.Root()), std::set<std::string>{name});
}
