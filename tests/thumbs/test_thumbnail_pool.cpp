#include "TestDir.h"
#include "TestPictures.h"
#include "thumbs/ThumbnailCache.h"
#include "thumbs/ThumbnailPool.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace tavolix::thumbs;

namespace {

// The replies a client got, by request id, as the pool's thread hands them over.
class TReplies {
public:
    void Add(TThumbReply&& reply) {
        std::lock_guard lock(FMutex);
        FById[reply.Id] = std::move(reply);
        FChanged.notify_all();
    }
    // Waits (bounded, failing the test) until every id has a reply.
    bool WaitFor(const std::vector<std::uint64_t>& ids) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_for(lock, std::chrono::seconds(60), [&] {
            for (std::uint64_t id : ids)
                if (!FById.contains(id))
                    return false;
            return true;
        });
    }
    TThumbReply Get(std::uint64_t id) {
        std::lock_guard lock(FMutex);
        return FById.at(id);
    }
    bool Has(std::uint64_t id) {
        std::lock_guard lock(FMutex);
        return FById.contains(id);
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::map<std::uint64_t, TThumbReply> FById;
};

// Waits (bounded) for something the pool's thread brings about.
template <class F> bool Eventually(F&& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

class ThumbnailPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The helpers inherit it: the cache is the test's.
        setenv("XDG_CACHE_HOME", Dir.Path("cache").c_str(), 1);
        Dir.File("good.png", PictureBytes(HalvesImage(300, 150), "png"));
    }
    void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

    TPoolOptions Options(int processes = 1) const {
        TPoolOptions o;
        o.HelperPath = TAVOLIX_THUMBNAILER;
        o.HelperArgs = {"--test-decoders"};
        o.Processes = processes;
        o.BudgetMs = 1500;
        return o;
    }
    TThumbRequest Request(std::uint64_t id, const std::string& rel) const {
        TThumbRequest q;
        q.Id = id;
        q.Path = Dir.Path(rel);
        return q;
    }

    TTestDir Dir;
    TReplies Replies;
};

} // namespace

TEST_F(ThumbnailPoolTest, AHelperMakesPicturesAndANewOneFindsThemInTheCache) {
    {
        TThumbnailPool pool(Options());
        auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
        client->SetWanted({Request(1, "good.png")});
        ASSERT_TRUE(Replies.WaitFor({1}));
        EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Ok);
        EXPECT_EQ(Replies.Get(1).Source, TReplySource::Made);
        EXPECT_EQ(Replies.Get(1).Width, 128);
    }
    TThumbnailPool again(Options());
    auto client = again.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(2, "good.png")});
    ASSERT_TRUE(Replies.WaitFor({2}));
    EXPECT_EQ(Replies.Get(2).Source, TReplySource::Cache);
}

TEST_F(ThumbnailPoolTest, ACrashingAHangingAndAGreedyDecoderCostOnlyTheirFiles) {
    Dir.File("a.crash-test.png", "x");
    Dir.File("b.hang-test.png", "x");
    Dir.File("c.alloc-test.png", "x");
    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "a.crash-test.png"), Request(2, "b.hang-test.png"),
                       Request(3, "c.alloc-test.png"), Request(4, "good.png")});
    ASSERT_TRUE(Replies.WaitFor({1, 2, 3, 4}));
    EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Failed);
    EXPECT_EQ(Replies.Get(2).Status, TReplyStatus::Failed);
    EXPECT_EQ(Replies.Get(3).Status, TReplyStatus::Failed);
    EXPECT_EQ(Replies.Get(4).Status, TReplyStatus::Ok);
    // Each took its own helper down. Which limit ends the greedy one, its
    // memory or its time, depends on the machine (a sanitized build is slow
    // to reach its memory limit): either is a failure of that file alone.
    const TPoolStats stats = pool.Stats();
    EXPECT_GE(stats.Crashed, 1);
    EXPECT_GE(stats.TimedOut, 1);
    EXPECT_EQ(stats.Crashed + stats.TimedOut, 3);
    EXPECT_GE(stats.Started, 4);

    // The next helper records them as failed when it has nothing else to do.
    for (const char* name : {"a.crash-test.png", "b.hang-test.png", "c.alloc-test.png"}) {
        const std::string record = FailPath(Dir.Path("cache/thumbnails"), ThumbnailUri(Dir.Path(name)));
        EXPECT_TRUE(Eventually([&] { return std::filesystem::exists(record); })) << name;
    }
}

TEST_F(ThumbnailPoolTest, RequestsThatLeftTheScreenAreDropped) {
    Dir.File("b.hang-test.png", "x");
    for (const char* name : {"x.png", "y.png", "z.png"})
        Dir.File(name, PictureBytes(HalvesImage(20, 20), "png"));
    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "b.hang-test.png")});
    ASSERT_TRUE(Eventually([&] { return pool.Stats().Sent == 1; }));
    // While the only helper hangs, the list scrolls on twice.
    client->SetWanted({Request(2, "x.png"), Request(3, "y.png"), Request(4, "z.png")});
    client->SetWanted({Request(4, "z.png")});
    ASSERT_TRUE(Replies.WaitFor({1, 4}));
    EXPECT_EQ(Replies.Get(4).Status, TReplyStatus::Ok);
    EXPECT_FALSE(Replies.Has(2));
    EXPECT_FALSE(Replies.Has(3));
}

TEST_F(ThumbnailPoolTest, WithoutAHelperEveryRequestFailsAtOnce) {
    TPoolOptions options = Options();
    options.HelperPath = Dir.Path("no such helper");
    TThumbnailPool pool(options);
    EXPECT_FALSE(pool.Available());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "good.png")});
    ASSERT_TRUE(Replies.WaitFor({1}));
    EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Failed);
    client->Close();
    client->SetWanted({Request(2, "good.png")}); // after Close: never answered, never a crash
}

TEST_F(ThumbnailPoolTest, TheDesktopsThumbnailersDrawOtherFilesSeeingNothingButTheFile) {
    // A "thumbnailer" that copies its input, one that reads a file beside
    // it, and one that never ends, each for a type of its own.
    Dir.File("places/mime/globs2", "# comment\n"
                                   "50:application/x-copy:*.copy\n"
                                   "50:application/x-peek:*.peek\n"
                                   "50:application/x-hang:*.hang\n");
    Dir.File("places/thumbnailers/copy.thumbnailer",
             "[Thumbnailer Entry]\nTryExec=cp\nExec=cp %i %o\nMimeType=application/x-copy;\n");
    Dir.File("places/thumbnailers/peek.thumbnailer", "[Thumbnailer Entry]\nExec=/usr/bin/cp \"" +
                                                         Dir.Path("good.png") +
                                                         "\" %o\nMimeType=application/x-peek;\n");
    Dir.File("places/thumbnailers/hang.thumbnailer",
             "[Thumbnailer Entry]\nExec=sleep 1000\nMimeType=application/x-hang;\n");
    Dir.File("pic.copy", PictureBytes(HalvesImage(300, 150), "png"));
    Dir.File("pic.peek", "x");
    Dir.File("pic.hang", "x");
    Dir.File("pic.other", "x");
    TPoolOptions options = Options();
    options.ThumbnailerPlaces = {{Dir.Path("places/thumbnailers")}, {Dir.Path("places/mime/globs2")}};
    options.ExternalMs = 1000;
    TThumbnailPool pool(options);
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    std::vector<TThumbRequest> wanted;
    for (const char* name : {"pic.copy", "pic.peek", "pic.hang", "pic.other"}) {
        wanted.push_back(Request(wanted.size() + 1, name));
        wanted.back().Kind = TRequestKind::CachedOnly;
    }
    client->SetWanted(wanted);
    ASSERT_TRUE(Replies.WaitFor({1, 2, 3, 4}));
    const TThumbReply made = Replies.Get(1);
    ASSERT_EQ(made.Status, TReplyStatus::Ok);
    EXPECT_EQ(made.Source, TReplySource::Made);
    EXPECT_EQ(std::pair(made.Width, made.Height), std::pair(128, 64));
    EXPECT_TRUE(std::filesystem::exists(
        ThumbnailPath(Dir.Path("cache/thumbnails"), TThumbSize::Normal, ThumbnailUri(Dir.Path("pic.copy")))));
    // The other file is not in its sandbox; the one that hangs is ended.
    EXPECT_EQ(Replies.Get(2).Status, TReplyStatus::NoThumbnail);
    EXPECT_EQ(Replies.Get(3).Status, TReplyStatus::NoThumbnail);
    EXPECT_EQ(Replies.Get(4).Status, TReplyStatus::NoThumbnail);
}
