#include "StallFs.h"
#include "TestDir.h"
#include "search/FileInfo.h"
#include "search/SearchJob.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace tavolix::search;
using namespace std::chrono_literals;

namespace {

// Polls `condition` until it holds or ten seconds have passed.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::vector<std::string> Paths(const TFileInfoList& list) {
    std::vector<std::string> paths;
    for (const TFileInfo* r : list.Items())
        paths.push_back(r->Path());
    return paths;
}

} // namespace

// A walk stuck in the kernel on a folder that never answers is left behind:
// the hits found before it are there, the folder is named as not answering,
// and the thread ends on its own once the kernel lets it go.
TEST(SearchJob, AWalkStuckOnAFolderThatNeverAnswersIsLeftBehind) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    const int before = TSearchJob::LeftBehind();
    for (int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        TSearchJob job(fs.Root(), "*.gif", threads, 256);
        ASSERT_TRUE(Eventually([&] { return job.Progress().Path == fs.Root() + "/dead"; }))
            << job.Progress().Path;
        job.Stop();
        EXPECT_FALSE(job.WaitForEnd(200ms));
        job.Abandon();
        TFileInfoList list;
        job.TakeRecords(list);
        EXPECT_EQ(Paths(list),
                  (std::vector<std::string>{fs.Root() + "/ok/a.gif", fs.Root() + "/ok/sub/c.gif"}));
        const TWalkStats stats = job.Stats();
        EXPECT_TRUE(stats.Stopped);
        EXPECT_EQ(stats.NotAnswering, 1);
        ASSERT_FALSE(stats.UnreadDirs.empty());
        EXPECT_EQ(stats.UnreadDirs.back().Path, fs.Root() + "/dead/");
    }
    EXPECT_EQ(TSearchJob::LeftBehind(), before + 2);
    fs.Release();
    EXPECT_TRUE(Eventually([&] { return TSearchJob::LeftBehind() == before; }));
}

// Inside one folder of many slow entries the count grows as it is read, a
// stop ends the read at once, and the files read until then are kept.
TEST(SearchJob, AStopActsInsideAFolderOfManySlowEntriesAndKeepsWhatWasRead) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    TSearchJob job(fs.Root() + "/slow", "*.gif", 1, 256);
    ASSERT_TRUE(Eventually([&] { return job.Progress().FileCount >= 100; }));
    job.Stop();
    ASSERT_TRUE(job.WaitForEnd(10s));
    TFileInfoList list;
    job.TakeRecords(list);
    ASSERT_GE(list.Count(), 100u);
    EXPECT_LT(list.Count(), 20000u);
    for (std::size_t i = 0; i < list.Count(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05zu.gif", i);
        ASSERT_EQ(list.Item(i)->Name(), name);
    }
    EXPECT_TRUE(job.Stats().Stopped);
    EXPECT_EQ(job.Stats().Unreadable(), 0);
}

// Records come over in batches while the walk runs; together they are the
// one-thread walk's records in its order.
TEST(SearchJob, BatchesMakeTheWalksListing) {
    TTestDir t;
    for (int d = 0; d < 300; ++d)
        for (int f = 0; f < (d % 7) * 2; ++f)
            t.File("d" + std::to_string(d) + "/f" + std::to_string(f) + ".gif", std::string(f, 'x'));
    TFileInfoList whole;
    whole.SetWalkThreads(1);
    whole.ChangeMask("*.gif");
    whole.ChangeSortOrder(TSortOrder::soSize); // ties keep an order that follows the walk's
    whole.SearchTree(t.Root());
    const auto unsorted = [](const TFileInfoList& l) {
        std::vector<std::string> lines;
        for (const TFileInfo* r : l.Items())
            lines.push_back(r->Path() + "\t" + std::to_string(r->Size));
        return lines;
    };
    // Taken while the walk runs (small batches, copied) or at its end (one
    // batch, whose storage is taken over).
    for (const bool whileWalking : {true, false})
        for (int threads : {1, 8}) {
            SCOPED_TRACE(threads);
            TFileInfoList list;
            list.ChangeMask("*.gif");
            list.ChangeSortOrder(TSortOrder::soSize);
            list.SetWalkThreads(threads);
            std::unique_ptr<TSearchJob> job = TSearchJob::Start(list, t.Root());
            while (whileWalking && !job->WaitForEnd(0ms))
                job->TakeRecords(list);
            ASSERT_TRUE(job->WaitForEnd(60s));
            job->Finish(list);
            EXPECT_EQ(unsorted(list), unsorted(whole)) << whileWalking;
            EXPECT_EQ(list.FFileCount, whole.FFileCount);
            EXPECT_EQ(list.FTotalSize, whole.FTotalSize);
            EXPECT_FALSE(list.Stats().Stopped);
        }
}
