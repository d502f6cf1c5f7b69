#include "TestDir.h"
#include "WalkLog.h"
#include "search/FileInfo.h"
#include "search/FileSort.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavolix::search;

namespace {

int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

std::vector<std::string> Listing(const TFileInfoList& list) {
    std::vector<std::string> lines;
    for (const TFileInfo* r : list.Items())
        lines.push_back(r->Path() + "\t" + std::to_string(r->Size) + "\t" + std::to_string(r->Time) + "\t" +
                        std::to_string(r->Attr));
    return lines;
}

// A seeded tree full of ties: few names, mostly in two cases, few sizes and
// times, spread over directories of every width, with dot directories, a
// loop, links to folders walked elsewhere, an unreadable directory and odd
// bytes in names.
void MakeTieTree(TTestDir& t, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const char* names[] = {"readme", "README", "a.gif", "A.GIF", "x", "#1 & <2>.txt", "写真.JPG", "caf\xE9"};
    std::vector<std::string> dirs{""};
    for (int i = 0; i < 150; ++i) {
        std::string parent = dirs[rng() % dirs.size()];
        std::string name =
            (rng() % 10 == 0 ? "." : "") + std::string(names[rng() % 8]) + std::to_string(i % 7);
        dirs.push_back(parent + (parent.empty() ? "" : "/") + name + "_" + std::to_string(i));
        t.Dir(dirs.back());
    }
    for (int i = 0; i < 1500; ++i) {
        const std::string& d = dirs[rng() % dirs.size()];
        const std::string rel = (d.empty() ? "" : d + "/") + names[rng() % 8] + std::to_string(i % 3 ? 0 : i);
        t.File(rel, std::string(rng() % 3, 'x'));
        t.SetTime(rel, LocalEpoch(2001, 1 + static_cast<int>(rng() % 2), 1, 0, 0));
    }
    t.Symlink(dirs[5] + "/up", "..");
    // Each link may come before or after its folder in the walk.
    for (int i = 0; i < 12; ++i)
        t.Symlink(dirs[rng() % dirs.size()] + "/link" + std::to_string(i), t.Path(dirs[1 + rng() % 40]));
    t.Dir("locked/in");
    t.File("locked/in/readme", "x");
    t.Chmod("locked", 0);
}

} // namespace

std::vector<std::int64_t> Counts(const TWalkStats& s) {
    return {s.DirectoriesRead, s.LoopsAvoided, s.ReachedAgain, s.DotFolders, s.Excluded, s.Denied};
}

// The records, their order in every sort order, every progress call and the
// counts are those of the one-thread walk, whatever the number of threads
// and whatever the choices.
TEST(DirWalker, ThreadCountsGiveTheSameListing) {
    TTestDir t;
    MakeTieTree(t, 3);
    TWithoutDacOverride noOverride;
    TWalkOptions hiddenAndExcluded;
    hiddenAndExcluded.HiddenFolders = true;
    hiddenAndExcluded.Exclude = {"x*", "*/A.GIF?_*", "/readme*"};
    TWalkOptions again;
    again.WalkLinkedFoldersAgain = true;
    for (const TWalkOptions& options : {TWalkOptions(), hiddenAndExcluded, again}) {
        SCOPED_TRACE(::testing::PrintToString(options.Exclude) + (options.HiddenFolders ? " hidden" : "") +
                     (options.WalkLinkedFoldersAgain ? " again" : ""));
        std::vector<std::string> calls1, order1;
        std::vector<std::vector<std::string>> sorted1;
        std::vector<std::int64_t> counts1;
        for (int threads : {1, 2, 8, 32}) {
            SCOPED_TRACE(threads);
            TFileInfoList list;
            TWalkLog log(list);
            list.SetWalkThreads(threads);
            list.SetWalkOptions(options);
            list.ChangeMask("*");
            log.Walk(t.Root());
            const TWalkStats& stats = list.Stats();
            EXPECT_GT(stats.LoopsAvoided, 0);
            EXPECT_EQ(stats.NoDescriptors, 0);
            EXPECT_EQ(stats.ReachedAgain > 0, !options.WalkLinkedFoldersAgain);
            EXPECT_EQ(stats.DotFolders > 0, !options.HiddenFolders);
            EXPECT_EQ(stats.Excluded > 0, !options.Exclude.empty());
            const std::vector<std::int64_t> counts{stats.DirectoriesRead, stats.LoopsAvoided,
                                                   stats.ReachedAgain,    stats.DotFolders,
                                                   stats.Excluded,        stats.Denied};
            std::vector<std::vector<std::string>> sorted;
            for (auto order : {TSortOrder::soDirectory, TSortOrder::soName, TSortOrder::soExt,
                               TSortOrder::soSize, TSortOrder::soTime}) {
                list.ChangeSortOrder(order);
                sorted.push_back(Listing(list));
            }
            if (threads == 1) {
                ASSERT_GT(sorted[0].size(), 300u);
                calls1 = log.Calls;
                order1 = log.WalkOrder;
                sorted1 = sorted;
                counts1 = counts;
                continue;
            }
            EXPECT_EQ(log.Calls, calls1);
            EXPECT_EQ(log.WalkOrder, order1);
            EXPECT_EQ(sorted, sorted1);
            EXPECT_EQ(counts, counts1);
        }
    }
}

// A stop ends the pool's threads with the walk: the records are the walk's
// first ones, no descriptor or thread is left behind.
TEST(DirWalker, AStopReachesThePool) {
    TTestDir t;
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 4; ++f)
            t.File("d" + std::to_string(d) + "/e/f" + std::to_string(f));
    TFileInfoList list;
    TWalkLog all(list);
    list.SetWalkThreads(1);
    all.Walk(t.Root());

    const int fds = CountEntries("/proc/self/fd"), threads = CountEntries("/proc/self/task");
    TWalkLog stopped(list);
    stopped.StopAfter = 10;
    list.SetWalkThreads(8);
    list.ClearFiles();
    stopped.Walk(t.Root());
    EXPECT_TRUE(list.Stats().Stopped);
    EXPECT_EQ(stopped.Entered, 10u);
    ASSERT_LT(stopped.WalkOrder.size(), all.WalkOrder.size());
    EXPECT_TRUE(std::equal(stopped.WalkOrder.begin(), stopped.WalkOrder.end(), all.WalkOrder.begin()));
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

// Under a small descriptor limit, a tree far deeper than the limit is read
// whole; where even the base's children can't be opened, the loss is counted.
TEST(DirWalker, SmallDescriptorLimit) {
    constexpr int kDepth = 600;
    TTestDir t;
    std::string rel = "top";
    for (int i = 0; i < kDepth; ++i) {
        t.File(rel + "/hit" + std::to_string(i), "x");
        rel += "/d";
    }
    // Walked once here first: the sanitizer checks each visitor's type once
    // a process, through a pipe the children below have no descriptors for.
    TFileInfoList whole;
    whole.SearchTree(t.Root());
    ASSERT_EQ(whole.Count(), std::size_t{kDepth});
    auto walkUnderLimit = [&](int threads, int spare) {
        const pid_t pid = fork();
        if (pid == 0) {
            // The standard three and `spare` more: the limit bounds the
            // numbers, so none above may stay open.
            syscall(SYS_close_range, 3u, ~0u, 0u);
            const auto limit = static_cast<rlim_t>(3 + spare);
            const struct rlimit rl { limit, limit };
            setrlimit(RLIMIT_NOFILE, &rl);
            TFileInfoList list;
            list.SetWalkThreads(threads);
            list.SearchTree(t.Root());
            const bool whole = list.Count() == kDepth && list.Stats().NoDescriptors == 0;
            const bool reported = list.Stats().NoDescriptors > 0 && list.Count() < kDepth;
            _exit(whole ? 10 : reported ? 11 : 12);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    for (int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        EXPECT_EQ(walkUnderLimit(threads, 61), 10);
        EXPECT_EQ(walkUnderLimit(threads, 1), 11);
    }
}
