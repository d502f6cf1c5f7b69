#include "TestDir.h"
#include "cli/PageCommand.h"
#include "platform/AtomicFile.h"
#include "search/DirWalker.h"
#include "search/ListingStore.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using tavolix::cli::RunPageCommand;

namespace {

struct TRun {
    int Code;
    std::string Out, Err;
};

TRun Page(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int code = RunPageCommand(args, out, err);
    return {code, out.str(), err.str()};
}

class PageCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        T.File("b.GIF", "bbb");
        T.File("A.gif", "aaaaa");
        T.File(".h.gif", "hhhhhhh");
        T.File("sub dir/c.gif", "ccc");
        T.File("x.txt", "not a hit");
        for (const char* f : {"b.GIF", "A.gif", "sub dir/c.gif"})
            T.SetTime(f, LocalEpoch(1998, 8, 1, 13, 5));
        T.SetTime(".h.gif", LocalEpoch(1979, 12, 31, 0, 0));
        T.Chmod("A.gif", 0444);
        // The walk's choices in the user's own settings file must not reach the tests.
        setenv("TAVOLIX_SETTINGS", T.Path("default.INI").c_str(), 1);
        // Nor the listings the user's searches keep.
        setenv("XDG_CACHE_HOME", Cache.Root().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TAVOLIX_SETTINGS");
        unsetenv("XDG_CACHE_HOME");
    }
    std::string Line(const char* rel, const char* size, const char* date, const char* attr) const {
        return T.Path(rel) + "\t" + size + "\t" + date + "\t" + attr + "\n";
    }
    TTestDir T;
    TTestDir Cache;
};

} // namespace

TEST_F(PageCommandTest, LinesInDisplayOrder) {
    const std::string h = Line(".h.gif", "7", "00/00/00-00:00", "H"),
                      a = Line("A.gif", "5", "98/08/01-13:05", "R"),
                      b = Line("b.GIF", "3", "98/08/01-13:05", ""),
                      c = Line("sub dir/c.gif", "3", "98/08/01-13:05", "");
    TRun r = Page({T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out, h + a + b + c);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(Page({"--sort", "size", "--down", T.Root(), "*.gif"}).Out, h + a + c + b);
    EXPECT_EQ(Page({T.Root() + "/", "*.GIF", "--sort=size"}).Out, b + c + a + h);
    EXPECT_EQ(Page({"--sort", "dir", T.Root(), "*.gif"}).Out, h + a + b + c);
    EXPECT_EQ(Page({"--hide-hidden-system", T.Root(), "*.gif"}).Out, a + b + c);
}

TEST_F(PageCommandTest, CountAndNullForms) {
    const std::string arrow = " \xE2\x86\x92 ";
    TRun r = Page({"--count", "--hide-hidden-system", T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out, " Sorted by : Name" + arrow + "Upword ; Total Files = 4 ; Size = 18 Bytes\n");
    T.SparseFile("huge.gif", 5LL << 30);
    EXPECT_EQ(Page({"--count", "--sort", "time", "--down", T.Root(), "*.gif"}).Out,
              " Sorted by : Time" + arrow + "Down ; Total Files = 5 ; Size = 5,368,709,138 Bytes\n");
    T.File("odd/\xE9t\xE9\t.gif");
    r = Page({"--null", T.Path("odd"), "*.gif"});
    EXPECT_EQ(r.Out, T.Path("odd/\xE9t\xE9\t.gif") + std::string(1, '\0'));
}

TEST_F(PageCommandTest, ExitCodesAndMessages) {
    TRun r = Page({T.Root(), "*.png"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Out, "");
    r = Page({"--count", T.Root(), "*.png"});
    EXPECT_EQ(r.Code, 1);
    struct Case {
        std::vector<std::string> Args;
    } bad[] = {
        {{"--bogus", T.Root(), "*.gif"}},
        {{T.Root()}},
        {{}},
        {{T.Root(), "*.gif", "extra"}},
        {{"--sort"}},
        {{"--sort", "colour", T.Root(), "*.gif"}},
        {{"--sort=", T.Root(), "*.gif"}},
        {{"--count", "--null", T.Root(), "*.gif"}},
        {{"--thumbnails", T.Root(), "*.gif"}}, // a page's thumbnails without the page
        {{T.Path("missing"), "*.gif"}},
        {{T.Path("x.txt"), "*.gif"}},
        {{"", "*.gif"}},
    };
    for (const auto& c : bad) {
        r = Page(c.Args);
        EXPECT_EQ(r.Code, 2) << ::testing::PrintToString(c.Args);
        EXPECT_NE(r.Err, "") << ::testing::PrintToString(c.Args);
        EXPECT_EQ(r.Out, "") << ::testing::PrintToString(c.Args);
    }
    // No picture helper beside this program: no page, said before the walk.
    r = Page({"--thumbnails", "--no-register", "-o", T.Path("t.html"), T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 3);
    EXPECT_NE(r.Err.find("tavolix-thumbnailer"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_FALSE(std::filesystem::exists(T.Path("t.html")));

    T.Chmod("sub dir", 0);
    TWithoutDacOverride noOverride;
    if (int probe = open(T.Path("sub dir").c_str(), O_RDONLY); probe >= 0 && close(probe) == 0)
        GTEST_SKIP() << "cannot drop the permission override here";
    r = Page({T.Path("sub dir"), "*.gif"});
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find(T.Path("sub dir")), std::string::npos) << r.Err;
    // An unreadable subdirectory is named, and the hits are not called complete.
    r = Page({T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 4);
    EXPECT_EQ(r.Out.find("c.gif"), std::string::npos);
    EXPECT_NE(r.Out.find("A.gif"), std::string::npos);
    EXPECT_EQ(r.Err, "tavolix-page: " + T.Path("sub dir/") + ": not read (" + std::strerror(EACCES) +
                         ")\ntavolix-page: 1 directory could not be read in full: 1 permission denied\n");
    EXPECT_EQ(Page({"-o", T.Path("p.html"), "--no-register", T.Root(), "*.png"}).Code, 4)
        << "no hits, but not all was searched";
    // A name's escape sequence is shown, not sent to the terminal.
    T.Dir("esc\x1b[2J");
    T.Chmod("esc\x1b[2J", 0);
    r = Page({T.Root(), "*.gif"});
    EXPECT_NE(r.Err.find(T.Path("esc\\u001B[2J/: not read (")), std::string::npos) << r.Err;
}

TEST_F(PageCommandTest, HelpVersionAndEndOfOptions) {
    TRun r = Page({"--help"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out.rfind("Usage: tavolix-page", 0), 0u);
    // A terminal's 80 columns, each option on its own line.
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
    r = Page({T.Root(), "--version", "*.gif"});
    EXPECT_EQ(r.Code, 0);
    ASSERT_EQ(r.Out.rfind("tavolix-page ", 0), 0u);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(r.Out[13]))) << r.Out;
    T.File("-x.gif");
    r = Page({"--", T.Root(), "-*"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out.rfind(T.Path("-x.gif") + "\t0\t", 0), 0u) << r.Out;
}

namespace {

std::string ReadAll(const std::string& path) {
    std::string text;
    EXPECT_FALSE(tavolix::platform::ReadWholeFile(path, text)) << path;
    return text;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST_F(PageCommandTest, OutputWritesThePageAndRegistersItForSaved) {
    T.Dir("out dir");
    const std::string ini = T.Path("cfg/t.INI");
    const std::string listed = Page({T.Root(), "*.gif"}).Out;
    TRun r = Page({"-o", T.Path("out dir/p&1"), "--settings", ini, T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, listed); // the hits are printed as ever
    EXPECT_EQ(ReadAll(T.Path("out dir/p&1.html")).rfind("<HTML>\r\n", 0), 0u);

    r = Page({"--saved", "--settings", ini});
    EXPECT_EQ(r.Code, 0);
    const auto items = Lines(r.Out);
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0].rfind("(&1) p&&1.html ( ", 0), 0u) << items[0];
    EXPECT_NE(items[0].find("\t 検索ベース = " + T.Root() + "/  ; キー = *.gif  ; 検索数 = 4"),
              std::string::npos)
        << items[0];
    EXPECT_EQ(items[1], "(&2)  (  )\t 検索ベース =   ; キー =   ; 検索数 = ");

    // --no-register writes the page alone.
    r = Page({"--no-register", "-o", T.Path("out dir/q.htm"), "--settings", T.Path("none.INI"), T.Root(),
              "*.gif"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_TRUE(Exists(T.Path("out dir/q.htm")));
    EXPECT_FALSE(Exists(T.Path("none.INI")));
}

TEST_F(PageCommandTest, TenRegistrationsAtOnceAreAllKept) {
    T.Dir("out");
    const std::string ini = T.Path("t.INI");
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int n = 1; n <= 10; ++n) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1); // all start together when the gate closes
            std::ostringstream out, err;
            _exit(RunPageCommand(
                {"-o", T.Path("out/p" + std::to_string(n) + ".html"), "--settings", ini, T.Root(), "*.gif"},
                out, err));
        }
        children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> names;
    for (const std::string& item : Lines(Page({"--saved", "--settings", ini}).Out))
        names.insert(item.substr(item.find(' ') + 1, item.find(".html") - item.find(' ') + 4));
    EXPECT_EQ(names, (std::set<std::string>{"p1.html", "p2.html", "p3.html", "p4.html", "p5.html", "p6.html",
                                            "p7.html", "p8.html", "p9.html", "p10.html"}));
}

TEST_F(PageCommandTest, FailedRegistrationsExitThreeAndChangeNothing) {
    T.Dir("out");
    const std::string ini = T.Path("t.INI");
    ASSERT_EQ(Page({"-o", T.Path("out/first.html"), "--settings", ini, T.Root(), "*.gif"}).Code, 0);
    const std::string settings = ReadAll(ini);

    // Read-only means read-only, root included: no permission override is dropped here.
    T.File("out/ro.html", "kept");
    T.Chmod("out/ro.html", 0444);
    TRun r = Page({"-o", T.Path("out/ro.html"), "--settings", ini, T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 3);
    EXPECT_NE(r.Err.find(T.Path("out/ro.html")), std::string::npos) << r.Err;
    EXPECT_EQ(ReadAll(T.Path("out/ro.html")), "kept");

    T.Chmod("t.INI", 0444);
    r = Page({"-o", T.Path("out/second.html"), "--settings", ini, T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 3);
    EXPECT_EQ(r.Err, "tavolix-page: " + ini + " に書き込めません (the file is read-only)\n");
    T.Chmod("t.INI", 0644);

    // A name the settings file can't hold: refused, naming it.
    T.File("new\nline/d.gif");
    r = Page({"-o", T.Path("out/third.html"), "--settings", ini, T.Path("new\nline"), "*.gif"});
    EXPECT_EQ(r.Code, 3);
    EXPECT_EQ(r.Err, "tavolix-page: \"" + T.Root() +
                         "/new\\nline/\" は改行を含むため、作成データに登録できません\n");
    EXPECT_EQ(ReadAll(ini), settings);
}

TEST_F(PageCommandTest, SpecialSettingsFilesAreRefusedWithoutHanging) {
    T.Dir("out");
    ASSERT_EQ(mkfifo(T.Path("fifo.INI").c_str(), 0644), 0);
    T.Symlink("zero.INI", "/dev/zero");
    T.SparseFile("huge.INI", 17 << 20);
    for (const char* name : {"fifo.INI", "zero.INI", "huge.INI"}) {
        const std::string ini = T.Path(name);
        const int code = RunInChild(
            [&] {
                TRun saved = Page({"--saved", "--settings", ini});
                TRun page = Page({"-o", T.Path("out/p.html"), "--settings", ini, T.Root(), "*.gif"});
                // The ring is unknown: nothing listed, and the status says so.
                const bool ok = saved.Code == 2 && saved.Out.empty() &&
                                saved.Err.find(ini + " を読み込めません (") != std::string::npos &&
                                page.Code == 3 &&
                                page.Err.find(ini + " に書き込めません (") != std::string::npos;
                if (!ok)
                    std::fprintf(stderr, "%s\n%s%s%s", name, saved.Out.c_str(), saved.Err.c_str(),
                                 page.Err.c_str());
                return ok ? 0 : 1;
            },
            0, 30);
        EXPECT_EQ(code, 0) << name;
    }
    struct stat st;
    ASSERT_EQ(lstat(T.Path("fifo.INI").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(lstat(T.Path("huge.INI").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 17 << 20);
}

TEST_F(PageCommandTest, NoPageWithoutShownHitsNorWithoutAWorkingDirectory) {
    T.Dir("out");
    const std::string ini = T.Path("t.INI");
    TRun r = Page({"--hide-hidden-system", "-o", T.Path("out/h.html"), "--settings", ini, T.Root(), ".h.*"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err, "");
    EXPECT_FALSE(Exists(T.Path("out/h.html")));

    const std::string name = "tavolix-gone-" + std::to_string(getpid()) + ".html";
    const int code = RunInChild([&] {
        if (mkdir(T.Path("gone").c_str(), 0755) != 0 || chdir(T.Path("gone").c_str()) != 0 ||
            rmdir(T.Path("gone").c_str()) != 0)
            return 9;
        TRun gone = Page({"-o", name, "--settings", ini, T.Root(), "*.gif"});
        return gone.Code == 2 && !gone.Err.empty() ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(Exists("/" + name));
    EXPECT_FALSE(Exists(ini));
}

TEST_F(PageCommandTest, TheEnvironmentNamesTheSettingsFile) {
    T.Dir("out");
    setenv("TAVOLIX_SETTINGS", T.Path("env.INI").c_str(), 1);
    TRun r = Page({"-o", T.Path("out/e.html"), T.Root(), "*.gif"});
    TRun saved = Page({"--saved"});
    unsetenv("TAVOLIX_SETTINGS");
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(ReadAll(T.Path("env.INI")).find("\n1=" + T.Path("out/e.html") + "\n"), std::string::npos);
    EXPECT_EQ(saved.Out.rfind("(&1) e.html ( ", 0), 0u) << saved.Out;
}

// Lost directories are an error (4), not a smaller result; the thread count
// changes nothing printed.
TEST_F(PageCommandTest, ThreadsAndRunningOutOfDescriptors) {
    const TRun one = Page({"--threads", "1", T.Root(), "*.gif"});
    EXPECT_EQ(Page({"-j8", T.Root(), "*.gif"}).Out, one.Out);
    EXPECT_EQ(Page({"--threads=3", T.Root(), "*.gif"}).Out, one.Out);
    const int code = RunInChild([&] {
        syscall(SYS_close_range, 3u, ~0u, 0u);
        const struct rlimit rl { 4, 4 }; // the base alone can be opened
        setrlimit(RLIMIT_NOFILE, &rl);
        TRun r = Page({T.Root(), "*.gif"});
        return r.Code == 4 && r.Err.find("too many open files") != std::string::npos &&
                       r.Out.find("A.gif") != std::string::npos
                   ? 0
                   : 1;
    });
    EXPECT_EQ(code, 0);
}

// The walk's choices from the command line and from the settings file. What
// they leave out is counted on standard error and is no error.
TEST_F(PageCommandTest, WalkChoicesAndTheFoldersTheyLeaveOut) {
    T.File(".config/app/d.gif");
    T.File("node_modules/m.gif");
    const std::string ini = T.Path("walk.INI");
    struct TCase {
        std::vector<std::string> Args;
        std::size_t Hits;
        std::string Err;
    } cases[] = {
        {{}, 5, "1 folder was not searched: 1 begins with a dot; --hidden-folders searches them\n"},
        {{"--hidden-folders"}, 6, ""},
        {{"--exclude", "node_modules", "--exclude=sub*"},
         3,
         "3 folders were not searched: 1 begins with a dot, 2 excluded; --hidden-folders searches those "
         "beginning with a dot\n"},
        {{"--exclude"}, 0, "--exclude needs a pattern\n"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args{"--settings", ini};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        if (c.Hits > 0)
            args.insert(args.end(), {T.Root(), "*.gif"});
        const TRun r = Page(args);
        EXPECT_EQ(r.Code, c.Hits > 0 ? 0 : 2) << r.Err;
        EXPECT_EQ(Lines(r.Out).size(), c.Hits) << r.Out;
        EXPECT_EQ(r.Err, c.Err.empty() ? "" : "tavolix-page: " + c.Err);
    }

    // The settings file's choices, as the program's menu writes them.
    { std::ofstream(ini) << "[Search]\nHiddenFolders=1\nExclude=node_modules; */app\n"; }
    TRun r = Page({"--settings", ini, T.Root(), "*.gif"});
    EXPECT_EQ(Lines(r.Out).size(), 4u) << r.Out;
    EXPECT_EQ(r.Err, "tavolix-page: 2 folders were not searched: 2 excluded\n");
    r = Page({"--settings", ini, "--no-exclude", "--exclude", "n*", T.Root(), "*.gif"});
    EXPECT_EQ(Lines(r.Out).size(), 5u) << r.Out;
    EXPECT_EQ(r.Err, "tavolix-page: 1 folder was not searched: 1 excluded\n");
}

// -x keeps the walk off a second file system mounted inside the tree.
TEST_F(PageCommandTest, OneFileSystemStaysOffAMountInside) {
    T.Dir("mnt");
    struct TMount {
        std::string Dir;
        bool Done;
        explicit TMount(std::string dir)
            : Dir(std::move(dir)), Done(mount("tavolix-test", Dir.c_str(), "tmpfs", 0, "size=1m") == 0) {}
        ~TMount() {
            if (Done)
                umount2(Dir.c_str(), MNT_DETACH);
        }
    } mounted(T.Path("mnt"));
    if (!mounted.Done)
        GTEST_SKIP() << "mounting a tmpfs was refused here (" << std::strerror(errno) << "): run as root";
    T.File("mnt/on-tmpfs.gif");
    T.File("mnt/deeper/too.gif");
    const TRun all = Page({T.Root(), "*.gif"});
    EXPECT_NE(all.Out.find("on-tmpfs.gif"), std::string::npos);
    EXPECT_EQ(all.Err, "");
    for (const char* x : {"-x", "--one-file-system"}) {
        const TRun r = Page({x, T.Root(), "*.gif"});
        EXPECT_EQ(r.Code, 0);
        EXPECT_EQ(r.Out.find("tmpfs.gif"), std::string::npos) << r.Out;
        EXPECT_EQ(Lines(r.Out).size(), Lines(all.Out).size() - 2);
        EXPECT_EQ(r.Err, "tavolix-page: 1 folder was not searched: 1 on another file system\n");
    }
    // The base's own file system is the one stayed on.
    EXPECT_EQ(Lines(Page({"-x", T.Path("mnt"), "*.gif"}).Out).size(), 2u);
}

// A key typed composed finds a name stored decomposed, printed as stored; a
// name that is not UTF-8 is matched by its bytes alone.
TEST_F(PageCommandTest, KeysFindDecomposedNamesWhichStayAsStored) {
    const std::string decomposed = "nfd/cafe\xcc\x81.gif", latin1 = "nfd/caf\xe9.gif";
    T.File(decomposed);
    T.File(latin1);
    EXPECT_EQ(Page({"--null", T.Path("nfd"), "CAF\xc3\x89*"}).Out, T.Path(decomposed) + '\0');
    EXPECT_EQ(Page({"--null", T.Path("nfd"), "caf\xe9*"}).Out, T.Path(latin1) + '\0');
}

// The filters on a tree of known sizes and dates: applied in the walk,
// combined, repeated for a range; the page says how it was made.
TEST_F(PageCommandTest, FiltersByKindSizeAndTimeOfChange) {
    T.File("f/tiny.jpg", std::string(10, 'x'));
    T.File("f/mid.PNG", std::string(2000, 'x'));
    T.File("f/huge.jpg", std::string(20000, 'x'));
    T.File("f/song.mp3", std::string(2000, 'x'));
    T.File("f/notes.txt", std::string(2000, 'x'));
    T.File("f/photo.jpg.d/inner.txt", "in a folder named like a picture");
    T.SetTime("f/tiny.jpg", LocalEpoch(2020, 6, 1, 12, 0));
    T.SetTime("f/mid.PNG", LocalEpoch(2023, 12, 31, 23, 59));
    T.SetTime("f/huge.jpg", LocalEpoch(2024, 1, 1, 0, 0));
    T.SetTime("f/song.mp3", std::time(nullptr) - 3600);
    T.SetTime("f/notes.txt", std::time(nullptr) - 3 * 86400);
    const std::string dir = T.Path("f");
    auto names = [](const TRun& r) {
        std::set<std::string> found;
        for (const std::string& line : Lines(r.Out)) {
            const std::string path = line.substr(0, line.find('\t'));
            found.insert(path.substr(path.rfind('/') + 1));
        }
        return found;
    };
    using S = std::set<std::string>;
    EXPECT_EQ(names(Page({"--type", "pictures", dir, "*"})), (S{"tiny.jpg", "mid.PNG", "huge.jpg"}));
    EXPECT_EQ(names(Page({"-t", "music", "--type=documents", dir, "*"})),
              (S{"song.mp3", "notes.txt", "inner.txt"}));
    EXPECT_EQ(names(Page({"--size", "+2k", dir, "*"})), (S{"mid.PNG", "huge.jpg", "song.mp3", "notes.txt"}));
    EXPECT_EQ(names(Page({"-S", "+1k", "--size=-2000", dir, "*"})), (S{"mid.PNG", "song.mp3", "notes.txt"}));
    EXPECT_EQ(names(Page({"--size", "+1k", "--size", "+10k", dir, "*"})), (S{"huge.jpg"}))
        << "the narrower bound";
    EXPECT_EQ(names(Page({"--size", "2000", dir, "*.*"})), (S{"mid.PNG", "song.mp3", "notes.txt"}));
    // A date is its local midnight: 2024-01-01 00:00 is within, 23:59 the day before is not.
    EXPECT_EQ(names(Page({"--changed-within", "2024-01-01", "--type", "pictures", dir, "*"})),
              (S{"huge.jpg"}));
    EXPECT_EQ(names(Page({"--changed-before", "2024-01-01", dir, "*"})), (S{"tiny.jpg", "mid.PNG"}));
    EXPECT_EQ(names(Page({"--changed-within", "2d", dir, "*"})), (S{"song.mp3", "inner.txt"}));
    EXPECT_EQ(names(Page({"--changed-within", "7d", "--changed-before", "1d", dir, "*"})), (S{"notes.txt"}));
    TRun r = Page({"--type", "videos", "--type", "archives", dir, "*.mp4"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Out, "");

    // The page's key line tells the filters; without them it is as ever.
    r = Page({"--no-register", "-o", T.Path("p.html"), "--type", "pictures", "--size", "+1k", dir, "*.*"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(ReadAll(T.Path("p.html")).find("<H2>指定検索キー  =  *.*  （ 種類 = 画像 ， 1k 以上 ）</H2>"),
              std::string::npos);
    r = Page({"--no-register", "-o", T.Path("q.html"), dir, "*.*"});
    EXPECT_NE(ReadAll(T.Path("q.html")).find("<H2>指定検索キー  =  *.*</H2>"), std::string::npos);
}

TEST_F(PageCommandTest, BadFilterValuesAreNamedAndExitTwo) {
    const struct {
        std::vector<std::string> Args;
        std::string Named;
    } bad[] = {
        {{"--size", "+lots"}, "'+lots' for --size"},
        {{"--size=10 M"}, "'10 M' for --size"},
        {{"--changed-within", "yesterdayish"}, "'yesterdayish' for --changed-within"},
        {{"--changed-before", "2023-02-29"}, "'2023-02-29' for --changed-before"},
        {{"--type", "photos"}, "unknown kind 'photos' for --type"},
        {{"-t", "Pictures"}, "unknown kind 'Pictures'"},
        {{"--size"}, "--size needs a size"},
    };
    for (const auto& c : bad) {
        std::vector<std::string> args = c.Args;
        if (args.size() > 1 || args[0].find('=') != std::string::npos) {
            args.push_back(T.Root());
            args.push_back("*.gif");
        }
        const TRun r = Page(args);
        EXPECT_EQ(r.Code, 2) << c.Named;
        EXPECT_NE(r.Err.find(c.Named), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

TEST_F(PageCommandTest, KeyListsAndHowToAskForThem) {
    TRun r = Page({T.Root(), "*.txt;*.GIF"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find("--key-lists"), std::string::npos) << "a key with \";\" that found nothing says how";
    EXPECT_EQ(Page({T.Root(), "*.png"}).Err, "") << "no word about lists for a key without \";\"";
    r = Page({"--key-lists", T.Root(), "*.txt; *.GIF"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(Lines(r.Out).size(), 5u);
    // The settings file's choice, as the window's menu sets it.
    std::ofstream(T.Path("default.INI")) << "[Search]\nKeyLists=1\n";
    EXPECT_EQ(Lines(Page({T.Root(), "*.txt;x"}).Out).size(), 1u);
}

// The listings kept find what a fresh walk does, also of a file grown in
// place; a kept file that is not sound is refused, and --no-cache touches
// none. The store is filled here with its clock a day ahead: a real one
// keeps no folder changed in the last two seconds.
TEST_F(PageCommandTest, KeptListingsFindWhatAFreshWalkFinds) {
    const std::string folder = Cache.Path("tavolix");
    {
        tavolix::search::TListingStore store(folder);
        store.SetClock([] { return tavolix::platform::TFileTime{std::time(nullptr) + 86400, 0}; });
        struct TNothing final : tavolix::search::TWalkVisitor {
            void DirectoryRead(const std::string&, const tavolix::platform::TDirContents&) override {}
            void EnteringDirectory(const std::string&, std::string_view) override {}
            void LeftDirectory() override {}
        } nothing;
        const tavolix::platform::TWildcard mask("*");
        tavolix::search::TDirWalker walker(mask, 1);
        walker.SetListingStore(&store);
        walker.Walk(T.Root(), nothing);
        ASSERT_EQ(store.Counts().Kept, 2u);
        ASSERT_FALSE(store.Save());
    }
    std::ofstream(T.Path("sub dir/c.gif"), std::ios::app) << std::string(5000, 'c');
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--csv", T.Root(), "*.gif"}, {"--size", "+4k", T.Root(), "*"}}) {
        std::vector<std::string> fresh = args;
        fresh.insert(fresh.begin(), "--no-cache");
        const TRun kept = Page(args), walked = Page(fresh);
        EXPECT_EQ(kept.Code, 0);
        EXPECT_EQ(kept.Out, walked.Out);
        EXPECT_EQ(kept.Err, walked.Err);
        EXPECT_NE(kept.Out.find("c.gif"), std::string::npos) << kept.Out;
    }
    EXPECT_NE(Page({"--csv", T.Root(), "*.gif"}).Out.find(",5003,"), std::string::npos);
    // A file cut short is refused: the walk reads every folder, keeps none
    // of these (too new) and the file goes.
    const auto files = [&folder] {
        std::vector<std::string> names;
        std::error_code e;
        for (const auto& f : std::filesystem::directory_iterator(folder, e))
            names.push_back(f.path().string());
        return names;
    };
    ASSERT_EQ(files().size(), 1u);
    const std::string file = files()[0];
    ASSERT_EQ(::truncate(file.c_str(), 100), 0);
    EXPECT_EQ(Page({T.Root(), "*.gif"}).Out, Page({"--no-cache", T.Root(), "*.gif"}).Out);
    EXPECT_TRUE(files().empty());
    // --update-cache keeps the folders of a tree older than two seconds.
    const char* data = std::getenv("TAVOLIX_TEST_DATA");
    ASSERT_NE(data, nullptr);
    const std::string seeds = std::string(data) + "/seeds";
    EXPECT_EQ(Page({"--no-cache", seeds, "*"}).Code, 0);
    EXPECT_TRUE(files().empty());
    const TRun update = Page({"--update-cache", seeds});
    EXPECT_EQ(update.Code, 0);
    EXPECT_EQ(update.Out, "");
    EXPECT_EQ(files().size(), 1u);
    EXPECT_EQ(Page({seeds, "*"}).Out, Page({"--no-cache", seeds, "*"}).Out);
    EXPECT_EQ(Page({"--update-cache", seeds, "*"}).Code, 2);
}

TEST_F(PageCommandTest, ContainsKeepsTheHitsHoldingTheText) {
    T.File("sub dir/d.gif", "one\nTwo words\n");
    T.File("e.gif", "twofold\n");
    ASSERT_EQ(::mkfifo(T.Path("notes.gif").c_str(), 0644), 0);
    auto nulled = [](std::initializer_list<std::string> paths) {
        std::string s;
        for (const std::string& p : paths)
            s += p + '\0';
        return s;
    };
    const std::string d = T.Path("sub dir/d.gif"), e = T.Path("e.gif");
    TRun r = Page({"--null", "-i", "--contains", "two", T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out, nulled({d, e}));
    EXPECT_EQ(r.Err, "tavolix-page: not read for the text: 1 link or special file\n");
    EXPECT_EQ(Page({"--null", "-i", "--word", "--contains=two", T.Root(), "*.gif"}).Out, nulled({d}));
    EXPECT_EQ(Page({"--null", "--regex", "--contains", "^t.*d$", T.Root(), "*.gif"}).Out, nulled({e}));
    EXPECT_EQ(Page({"--contains", "two", "--sort", "size", T.Root(), "*.txt"}).Code, 1);
    // --json and --csv tell where; without --contains they stay as they were.
    r = Page({"--json", "--contains", "Two", T.Root(), "*.gif"});
    EXPECT_NE(r.Out.find(",\"system\":false,\"line\":2,\"column\":1,\"text\":\"Two words\"}\n"),
              std::string::npos);
    EXPECT_EQ(Page({"--json", T.Root(), "d.gif"}).Out.find("\"line\""), std::string::npos);
    r = Page({"--csv", "--contains", "fold", T.Root(), "*.gif"});
    EXPECT_EQ(r.Out.substr(0, 59), "path,name,directory,size,time,attributes,line,column,text\r\n");
    EXPECT_TRUE(r.Out.ends_with(",,1,4,twofold\r\n")) << r.Out;
    EXPECT_EQ(Page({"--csv", T.Root(), "e.gif"}).Out.substr(0, 42),
              "path,name,directory,size,time,attributes\r\n");
    // A pattern that can't be compiled is named with its offset before any search.
    r = Page({"--regex", "--contains", "a(b", T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 2);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("'a(b' at offset 3: "), std::string::npos);
    EXPECT_EQ(Page({"-i", T.Root(), "*.gif"}).Code, 2);
    // A candidate that can't be read is named, and the search exits 4.
    T.Chmod("e.gif", 0);
    TWithoutDacOverride noOverride;
    if (int probe = open(e.c_str(), O_RDONLY); probe >= 0 && close(probe) == 0)
        GTEST_SKIP() << "cannot drop the permission override here";
    r = Page({"--null", "-i", "--contains", "two", T.Root(), "*.gif"});
    EXPECT_EQ(r.Code, 4);
    EXPECT_EQ(r.Out, nulled({d}));
    EXPECT_NE(r.Err.find(e + ": not read ("), std::string::npos);
}
