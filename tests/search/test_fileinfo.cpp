#include "TestDir.h"
#include "WalkLog.h"
#include "search/FieldText.h"
#include "search/FileInfo.h"
#include "search/SearchJob.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <map>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <vector>

using namespace tavolix::search;

namespace {

std::int32_t Pack(int y, int mo, int d, int h, int mi, int s) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(y - 1980) << 25 | mo << 21 | d << 16 |
                                     h << 11 | mi << 5 | s / 2);
}

const TFileInfo* Find(const TFileInfoList& list, std::string_view name) {
    for (const TFileInfo* r : list.Items())
        if (r->Name() == name)
            return r;
    return nullptr;
}

int OpenFdCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

// The same walk done plainly with readdir: files ending in ".txt" first, then
// every directory entry, entering those without a leading dot.
void ReferenceWalk(const std::string& dir, std::vector<std::string>& log, std::vector<std::string>& files) {
    std::vector<std::pair<std::string, bool>> entries;
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    while (struct dirent* e = readdir(d))
        entries.emplace_back(e->d_name, e->d_type == DT_DIR);
    closedir(d);
    for (const auto& [name, isDir] : entries)
        if (!isDir && name.size() > 4 && name.ends_with(".txt"))
            files.push_back(dir + name);
    for (const auto& [name, isDir] : entries) {
        if (!isDir)
            continue;
        log.push_back(dir + name + " #" + std::to_string(files.size()));
        if (name[0] != '.') {
            ReferenceWalk(dir + name + "/", log, files);
            log.push_back("left");
        }
    }
}

} // namespace

TEST(DirWithBackslash, AppendsOnlyWhenMissing) {
    EXPECT_EQ(DirWithBackslash(""), "");
    EXPECT_EQ(DirWithBackslash("/"), "/");
    EXPECT_EQ(DirWithBackslash("/a"), "/a/");
    EXPECT_EQ(DirWithBackslash("/a/"), "/a/");
}

TEST(FileTimeToFileDate, PacksLocalTimeWithinItsRange) {
    struct Case {
        std::time_t When;
        std::int32_t Expected;
    } cases[] = {
        {LocalEpoch(1979, 12, 31, 23, 59, 59), 0},
        {LocalEpoch(1980, 1, 1, 0, 0, 0), Pack(1980, 1, 1, 0, 0, 0)},
        {LocalEpoch(1998, 8, 1, 13, 5, 7), Pack(1998, 8, 1, 13, 5, 6)}, // odd seconds truncated
        {LocalEpoch(2107, 12, 31, 23, 59, 58), Pack(2107, 12, 31, 23, 59, 58)},
        {LocalEpoch(2108, 1, 1, 0, 0, 0), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileTimeToFileDate({c.When, 0}), c.Expected) << c.When;
}

class WalkTest : public ::testing::Test {
protected:
    std::vector<std::string> Search(std::string_view mask, std::string base = "") {
        list.ChangeMask(mask);
        list.ClearFiles();
        list.SearchTree(base.empty() ? T.Root() : base);
        std::vector<std::string> paths;
        for (const TFileInfo* r : list.Items())
            paths.push_back(r->Path().substr(T.Root().size()));
        return paths;
    }
    TTestDir T;
    TFileInfoList list;
};

TEST_F(WalkTest, DirectoryTextsAndExtensions) {
    T.File("README", "1");
    T.File(".profile", "22");
    T.File("a.b.c");
    T.File("sub/photo.tar.gz");
    for (std::string base : {T.Root(), T.Root() + "/"}) {
        Search("*.*", base);
        ASSERT_EQ(list.Count(), 4u);
        EXPECT_EQ(Find(list, "README")->Dir(), T.Root() + "/");
        EXPECT_EQ(Find(list, "photo.tar.gz")->Dir(), T.Root() + "/sub/");
    }
    EXPECT_EQ(Find(list, "README")->Ext(), "");
    EXPECT_EQ(Find(list, ".profile")->Ext(), ".profile");
    EXPECT_EQ(Find(list, "a.b.c")->Ext(), ".c");
    EXPECT_EQ(Find(list, "photo.tar.gz")->Ext(), ".gz");
    EXPECT_EQ(list.FFileCount, 4);
    EXPECT_EQ(list.FTotalSize, 3);
}

TEST_F(WalkTest, MaskDecidesFilesOnlyAndIsOnePattern) {
    T.File("x.gif");
    T.File("Y.GIF");
    T.File("z.gifs");
    T.File("a.gif;b.jpg");
    T.File("b.jpg");
    T.File("pics.gif/in.gif");   // a directory named like a hit is searched, not listed
    T.File(".cache/hidden.gif"); // dot directories are not entered
    T.File("deep/er/abc.txt");
    T.File("deep/er/abbc.txt");
    using V = std::vector<std::string>;
    auto sorted = [](V v) { return std::sort(v.begin(), v.end()), v; };
    EXPECT_EQ(sorted(Search("*.gif")), (V{"/Y.GIF", "/pics.gif/in.gif", "/x.gif"}));
    EXPECT_EQ(Search("*.gif;*.jpg"), (V{"/a.gif;b.jpg"}));
    EXPECT_EQ(Search("a?c.*"), (V{"/deep/er/abc.txt"}));
    EXPECT_EQ(Search("nothing.*"), V{});
    EXPECT_EQ(Search(""), V{});
    EXPECT_EQ(list.FFileCount, 0);
}

TEST_F(WalkTest, HiddenSystemAndReadOnlyFilesAreCounted) {
    T.File(".hid.gif", "12345");
    ASSERT_EQ(mkfifo(T.Path("pipe.gif").c_str(), 0644), 0);
    T.File("ro.gif", "abc");
    T.Chmod("ro.gif", 0444);
    T.File("plain.gif", "ab");
    Search("*.gif");
    ASSERT_EQ(list.Count(), 4u);
    EXPECT_EQ(list.FFileCount, 4);
    EXPECT_EQ(list.FTotalSize, 10);
    EXPECT_EQ(AttrToText(Find(list, ".hid.gif")->Attr), "H");
    EXPECT_EQ(AttrToText(Find(list, "pipe.gif")->Attr), "S");
    EXPECT_EQ(AttrToText(Find(list, "ro.gif")->Attr), "R");
    EXPECT_EQ(AttrToText(Find(list, "plain.gif")->Attr), "");
}

TEST_F(WalkTest, TimesSizesAndOddBytes) {
    T.File("old.txt");
    T.SetTime("old.txt", LocalEpoch(1979, 6, 1, 12, 0, 0));
    T.File("aug.txt");
    T.SetTime("aug.txt", LocalEpoch(1998, 8, 1, 13, 5, 0));
    T.SparseFile("big.txt", 5LL << 30);
    T.SparseFile("more/big3.txt", 3LL << 30);
    T.File("caf\xE9.txt", "1");
    T.File("\x82\xA0\x5C.txt", "1"); // Shift-JIS with a backslash second byte
    Search("*.txt");
    ASSERT_EQ(list.Count(), 6u);
    EXPECT_EQ(Find(list, "old.txt")->Time, 0);
    EXPECT_EQ(FileDateToText(Find(list, "aug.txt")->Time), "98/08/01-13:05");
    EXPECT_EQ(SizeToText(Find(list, "big.txt")->Size), "5,368,709,120");
    EXPECT_EQ(list.FTotalSize, (8LL << 30) + 2);
    ASSERT_NE(Find(list, "caf\xE9.txt"), nullptr);
    ASSERT_NE(Find(list, "\x82\xA0\x5C.txt"), nullptr);
}

// 2023-10-29 00:30 and 01:10 UTC: in Berlin 02:30 summer time and, 40
// minutes later, 02:10 winter time; in Tokyo 09:30 and 10:10.
TEST_F(WalkTest, TimeOrderHoldsAcrossAClockChange) {
    const std::time_t earlier = 1698539400, later = 1698541800;
    T.File("a later.txt");
    T.SetTime("a later.txt", later);
    T.File("b earlier.txt");
    T.SetTime("b earlier.txt", earlier);
    list.ChangeSortOrder(TSortOrder::soTime);
    EXPECT_EQ(Search("*.txt"), (std::vector<std::string>{"/b earlier.txt", "/a later.txt"}));
    // Off the caller's thread too, the records taken while it walks (copied) or at its end.
    for (const bool whileWalking : {true, false}) {
        TFileInfoList found;
        found.ChangeSortOrder(TSortOrder::soTime);
        const std::unique_ptr<TSearchJob> job = TSearchJob::Start(found, T.Root());
        while (whileWalking && !job->WaitForEnd(std::chrono::milliseconds(0)))
            job->TakeRecords(found);
        ASSERT_TRUE(job->WaitForEnd(std::chrono::seconds(60)));
        job->Finish(found);
        ASSERT_EQ(found.Count(), 2u);
        EXPECT_EQ(found.Item(0)->Name(), "b earlier.txt") << whileWalking;
    }
    // Each still shows the local time of its own moment.
    std::tm tm{};
    char shown[32];
    ASSERT_TRUE(localtime_r(&later, &tm));
    std::strftime(shown, sizeof shown, "%y/%m/%d-%H:%M", &tm);
    EXPECT_EQ(FileDateToText(Find(list, "a later.txt")->Time), shown);
}

// A folder is walked once, under its own path when the walk reaches it
// without a link, else under the first link by name; never under a link that
// the directory merely lists first. Links back into the walk's own path are
// never followed. On tmpfs a directory lists its entries in the order they
// were made (or its reverse): two bases made in opposite orders.
TEST(WalkLinks, AFolderIsListedUnderItsOwnPathWhateverTheEntryOrder) {
    struct statfs fs {};
    if (statfs("/dev/shm", &fs) != 0 || fs.f_type != TMPFS_MAGIC)
        GTEST_SKIP() << "no tmpfs at /dev/shm to choose the order of entries";
    TTestDir t("/dev/shm");
    // Outside the bases, reached through links only, one of them below another.
    t.File("out/O/o.txt");
    t.File("out/O/sub/s.txt");
    t.Symlink("out/O/sub/P", "../../P");
    t.File("out/P/p.txt");
    const std::vector<std::string> made{"A", "L1", "L2", "M1", "M2"};
    std::vector<std::vector<std::string>> listed;
    for (const std::string base : {"one", "two"}) {
        std::vector<std::string> order = made;
        if (base == "two")
            std::reverse(order.begin(), order.end());
        for (const std::string& name : order) {
            if (name == "A") {
                t.File(base + "/A/f.txt");
                t.Symlink(base + "/A/up", "..");
                t.Symlink(base + "/A/me", ".");
            } else {
                t.Symlink(base + "/" + name, name[0] == 'L' ? "A" : "../out/O");
            }
        }
        std::vector<std::string> names;
        DIR* d = opendir(t.Path(base).c_str());
        ASSERT_NE(d, nullptr);
        while (struct dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        closedir(d);
        listed.push_back(names);
    }
    std::reverse(listed[1].begin(), listed[1].end());
    ASSERT_EQ(listed[0], listed[1]) << "the two bases must list their entries in opposite orders";

    for (const std::string base : {"one", "two"})
        for (int threads : {1, 8}) {
            SCOPED_TRACE(base + " " + std::to_string(threads));
            TFileInfoList list;
            list.SetWalkThreads(threads);
            list.ChangeMask("*.txt");
            list.SearchTree(t.Path(base));
            std::vector<std::string> paths;
            for (const TFileInfo* r : list.Items())
                paths.push_back(r->Path().substr(t.Path(base).size()));
            EXPECT_EQ(paths, (std::vector<std::string>{"/A/f.txt", "/M1/o.txt", "/M1/sub/P/p.txt",
                                                       "/M1/sub/s.txt"}));
            EXPECT_EQ(list.Stats().ReachedAgain, 3);
            EXPECT_EQ(list.Stats().LoopsAvoided, 2);
        }

    // Walked again under every link, loops are still refused.
    TFileInfoList list;
    TWalkOptions again;
    again.WalkLinkedFoldersAgain = true;
    list.SetWalkOptions(again);
    list.ChangeMask("*.txt");
    list.SearchTree(t.Path("one"));
    EXPECT_EQ(list.Count(), 9u);
    EXPECT_EQ(list.Stats().ReachedAgain, 0);
    EXPECT_EQ(list.Stats().LoopsAvoided, 6);
}

// Dot folders and exclusions leave folders out, and each is counted; an
// exclusion with a "/" is a path below the base, one without a name anywhere.
// With a filter of sizes a link to a file counts as the file it leads to,
// once: not where the file is found under its own path, whether the walk
// meets the link before or after it, else under its first link by path. A
// search of names finds every name, the links marked as links.
TEST_F(WalkTest, WithASizeFilterALinkedFileCountsOnce) {
    TTestDir outside;
    outside.SparseFile("other.bin", 200'000'000);
    T.SparseFile("m/big.bin", 200'000'000);
    T.File("m/small.bin", "x");
    T.Symlink("a/early.bin", "../m/big.bin");
    T.Symlink("z/late.bin", "../m/big.bin");
    T.Symlink("c/x.bin", outside.Path("other.bin"));
    T.Symlink("b/y.bin", outside.Path("other.bin"));
    T.Symlink("c/tiny.bin", "../m/small.bin");
    for (const int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        list.SetWalkThreads(threads);
        TWalkOptions options;
        options.Filter.MinSize = 100'000'000;
        list.SetWalkOptions(options);
        const std::vector<std::string> big = Search("*.bin");
        EXPECT_EQ(std::set<std::string>(big.begin(), big.end()),
                  (std::set<std::string>{"/m/big.bin", "/b/y.bin"}));
        EXPECT_EQ(list.FFileCount, 2);
        EXPECT_EQ(list.FTotalSize, 400'000'000);
        EXPECT_EQ(list.Stats().FileLinksAgain, 3);

        list.SetWalkOptions({});
        EXPECT_EQ(Search("*.bin").size(), 7u);
        EXPECT_NE(Find(list, "early.bin")->Attr & tavolix::platform::faLink, 0u);
        EXPECT_EQ(Find(list, "big.bin")->Attr & tavolix::platform::faLink, 0u);
        EXPECT_EQ(list.Stats().FileLinksAgain, 0);
    }
}

TEST_F(WalkTest, ChoicesLeaveFoldersOutAndCountThem) {
    for (const char* f : {".config/app/a.gif", "src/node_modules/x/b.gif", "node_modules/c.gif",
                          "src/cache/d.gif", "Cache/e.gif", ".git/f.gif", "ok/g.gif", "src/.hidden/h.gif"})
        T.File(f);
    struct TCase {
        bool Hidden;
        std::vector<std::string> Exclude;
        std::set<std::string> Found;
        std::int64_t Dot, Excluded;
    } cases[] = {
        {false,
         {},
         {"/Cache/e.gif", "/node_modules/c.gif", "/ok/g.gif", "/src/cache/d.gif",
          "/src/node_modules/x/b.gif"},
         3,
         0},
        {true,
         {},
         {"/.config/app/a.gif", "/.git/f.gif", "/Cache/e.gif", "/node_modules/c.gif", "/ok/g.gif",
          "/src/.hidden/h.gif", "/src/cache/d.gif", "/src/node_modules/x/b.gif"},
         0,
         0},
        {true,
         {"node_modules", ".git", "*/cache"},
         {"/.config/app/a.gif", "/Cache/e.gif", "/ok/g.gif", "/src/.hidden/h.gif"},
         0,
         4},
        {false, {" /src/node_modules/ ", "CACHE", "", "app"}, {"/node_modules/c.gif", "/ok/g.gif"}, 3, 3},
        {false, {"s?c/*"}, {"/Cache/e.gif", "/node_modules/c.gif", "/ok/g.gif"}, 3, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Exclude) + (c.Hidden ? " hidden" : ""));
        TWalkOptions options;
        options.HiddenFolders = c.Hidden;
        options.Exclude = c.Exclude;
        list.SetWalkOptions(options);
        const std::vector<std::string> found = Search("*.gif");
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), c.Found);
        EXPECT_EQ(list.Stats().DotFolders, c.Dot);
        EXPECT_EQ(list.Stats().Excluded, c.Excluded);
        EXPECT_EQ(list.Stats().NotSearched(), c.Dot + c.Excluded);
    }
}

// Folders that can't be read are passed over, but counted by cause and named
// in walk order; one that can be listed but not entered gives its names.
TEST_F(WalkTest, UnreadableDirectoriesAreCountedAndNamed) {
    T.File("ok/a.txt");
    T.File("locked/b.txt");
    T.File("locked/sub/c.txt");
    T.File("listonly/e.txt", "12345");
    T.File("z/d.txt");
    T.Chmod("locked", 0);
    T.Chmod("listonly", 0444);
    TWithoutDacOverride noOverride;
    if (int probe = open(T.Path("locked").c_str(), O_RDONLY); probe >= 0 && close(probe) == 0)
        GTEST_SKIP() << "cannot drop the permission override here";
    for (int threads : {1, 8}) {
        list.SetWalkThreads(threads);
        const std::vector<std::string> found = Search("*.txt");
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()),
                  (std::set<std::string>{"/listonly/e.txt", "/ok/a.txt", "/z/d.txt"}));
        for (const TFileInfo* r : list.Items())
            if (r->Name() == "e.txt") {
                EXPECT_EQ(r->Size, 0);
                EXPECT_EQ(r->Time, 0);
            }
        const TWalkStats& stats = list.Stats();
        EXPECT_EQ(stats.Denied, 2);
        EXPECT_EQ(stats.Unreadable(), 2);
        ASSERT_EQ(stats.UnreadDirs.size(), 2u);
        std::map<std::string, bool> partly;
        for (const TUnreadDir& d : stats.UnreadDirs) {
            EXPECT_EQ(d.Cause, TUnreadCause::Denied);
            EXPECT_EQ(d.Error, EACCES);
            partly[d.Path] = d.Partly;
        }
        EXPECT_EQ(partly,
                  (std::map<std::string, bool>{{T.Path("listonly/"), true}, {T.Path("locked/"), false}}));
        EXPECT_EQ(stats.BaseError, 0);
    }
    Search("*.txt", T.Path("locked"));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Stats().BaseError, EACCES);
    Search("*.txt", T.Path("missing"));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.FFileCount, 0);
    EXPECT_EQ(list.Stats().BaseError, ENOENT);
}

// Progress callbacks and the record order of the walk, against readdir, with
// the default descriptor limit and with one that forces closing and reopening.
TEST_F(WalkTest, WalkOrderAndProgressMatchReaddir) {
    T.File("readme.md");
    T.File(".cache/x.txt");
    for (std::string a : {"p", "q", "r"})
        for (std::string b : {"", "/k", "/l", "/k/m", "/k/m/n", "/l/o"}) {
            T.File(a + b + "/f" + a + ".txt");
            T.File(a + b + "/g.txt");
        }
    std::vector<std::string> refLog, refFiles;
    ReferenceWalk(T.Root() + "/", refLog, refFiles);
    ASSERT_EQ(refLog[0].back(), '0'); // the base has no hits of its own
    std::vector<std::string> sortedByDefault;
    for (std::size_t limit : {std::size_t{256}, std::size_t{2}}) {
        SCOPED_TRACE(limit);
        TWalkLog log(list);
        list.SetOpenDirectoryLimit(limit);
        list.ChangeMask("*.txt");
        list.ClearFiles();
        const int fds = OpenFdCount();
        log.Walk(T.Root());
        EXPECT_EQ(OpenFdCount(), fds);
        EXPECT_EQ(log.Calls, refLog);
        EXPECT_EQ(log.WalkOrder, refFiles);
        std::vector<std::string> sorted;
        for (const TFileInfo* r : list.Items())
            sorted.push_back(r->Path());
        if (sortedByDefault.empty())
            sortedByDefault = sorted;
        EXPECT_EQ(sorted, sortedByDefault);
    }
}

// Removes a chain made by FiveThousandLevels from the top: lifts the rest of
// the chain up one level each time, so no path gets long.
struct TChainRemover {
    int Root;
    std::string Chain, Leaf;
    ~TChainRemover() {
        const std::string top = Chain + "/", leafDir = top + Leaf, below = top + Chain;
        while (unlinkat(Root, (leafDir + "/hit.txt").c_str(), 0) == 0 &&
               unlinkat(Root, leafDir.c_str(), AT_REMOVEDIR) == 0 &&
               renameat(Root, below.c_str(), Root, "t") == 0 &&
               unlinkat(Root, Chain.c_str(), AT_REMOVEDIR) == 0 &&
               renameat(Root, "t", Root, Chain.c_str()) == 0) {
        }
        unlinkat(Root, (top + "hit.txt").c_str(), 0);
        unlinkat(Root, Chain.c_str(), AT_REMOVEDIR);
        close(Root);
    }
};

// Deeper than PATH_MAX allows to name, built and removed relative to
// descriptors. Each level has a leaf directory that comes after the chain in
// enumeration order, so the walk must come back to levels whose descriptors
// it gave up, under a common descriptor limit.
TEST_F(WalkTest, AStopEndsTheWalkAndKeepsWhatWasFound) {
    for (int d = 0; d < 20; ++d)
        for (int f = 0; f < 3; ++f)
            T.File("d" + std::to_string(d) + "/f" + std::to_string(f) + ".txt");
    TWalkLog log(list);
    log.StopAfter = 8;
    list.ChangeMask("*.txt");
    log.Walk(T.Root());
    EXPECT_TRUE(list.Stats().Stopped);
    EXPECT_EQ(log.Entered, 8u);
    EXPECT_GT(list.Count(), 0u);
    EXPECT_LT(list.Count(), 60u);
    EXPECT_EQ(list.FFileCount, static_cast<std::int32_t>(list.Count()));
    for (std::size_t i = 1; i < list.Count(); ++i)
        EXPECT_LE(list.Item(i - 1)->Name(), list.Item(i)->Name());
    list.SearchTree(T.Root());
    EXPECT_FALSE(list.Stats().Stopped);
}

TEST_F(WalkTest, FiveThousandLevels) {
    constexpr int kDepth = 5000;
    int root = open(T.Root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(root, 0);
    // Which of two names this file system lists first, when made in this order.
    ASSERT_EQ(mkdirat(root, "probe", 0755), 0);
    int probe = openat(root, "probe", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(mkdirat(probe, "a", 0755), 0);
    ASSERT_EQ(mkdirat(probe, "b", 0755), 0);
    std::string chain;
    DIR* pd = fdopendir(probe);
    while (struct dirent* e = readdir(pd))
        if (chain.empty() && e->d_name[0] != '.')
            chain = e->d_name;
    closedir(pd);
    const std::string leaf = chain == "a" ? "b" : "a";
    TChainRemover remover{root, chain, leaf};

    int fd = dup(root);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(mkdirat(fd, "a", 0755), 0);
        ASSERT_EQ(mkdirat(fd, "b", 0755), 0);
        close(openat(fd, (leaf + "/hit.txt").c_str(), O_WRONLY | O_CREAT, 0644));
        int child = openat(fd, chain.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = child;
        ASSERT_GE(fd, 0);
    }
    int f = openat(fd, "hit.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(f, "xyz", 3), 3);
    close(f);
    close(fd);

    struct rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    struct rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);
    setrlimit(RLIMIT_NOFILE, &low);
    // One thread, and the pool as far as paths reach with the walking thread
    // below: the same records in the same order.
    list.SetWalkThreads(1);
    const std::vector<std::string> oneThread = Search("hit.txt");
    list.SetWalkThreads(DefaultWalkThreads());
    EXPECT_EQ(Search("hit.txt"), oneThread);
    setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_EQ(list.Count(), std::size_t{kDepth + 1});
    EXPECT_EQ(list.FTotalSize, 3);
    EXPECT_EQ(list.Stats().Unreadable(), 0);
    std::string deepest = T.Root();
    for (int i = 0; i < kDepth; ++i)
        deepest += "/" + chain;
    deepest += "/";
    ASSERT_GT(deepest.size(), static_cast<std::size_t>(PATH_MAX));
    std::set<std::string> dirs;
    for (const TFileInfo* r : list.Items())
        dirs.insert(std::string(r->Dir()));
    EXPECT_EQ(dirs.count(deepest), 1u);
    EXPECT_EQ(dirs.count(deepest.substr(0, deepest.size() - 2) + leaf + "/"), 1u);
}
