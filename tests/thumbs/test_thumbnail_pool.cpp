#include "TestDir.h"
#include "TestPictures.h"
#include "pictures/ByteView.h"
#include "thumbs/ThumbnailCache.h"
#include "thumbs/ThumbnailPool.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QLibraryInfo>

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

// The helpers this process started that are still running.
std::vector<pid_t> LiveHelpers() {
    std::vector<pid_t> helpers;
    DIR* proc = ::opendir("/proc");
    while (const dirent* e = proc ? ::readdir(proc) : nullptr) {
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.find("(tavolix-thumb") == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &parent) == 2 &&
            parent == ::getpid() && state != 'Z')
            helpers.push_back(std::atoi(e->d_name));
    }
    if (proc)
        ::closedir(proc);
    return helpers;
}

// A line of /proc/PID/status: "NoNewPrivs:\t1" gives "1".
std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name + ":"))
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    }
    return {};
}

std::string LinkOf(const std::string& path) {
    std::error_code error;
    return std::filesystem::read_symlink(path, error).string();
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

// A link named like a picture that leads into the kernel's own files: no
// helper is handed a descriptor onto the memory of the process that opened
// it, and the window's own reader doesn't read it either.
TEST_F(ThumbnailPoolTest, AFileOfTheKernelsOwnReachesNoHelperAndIsNotRead) {
    ASSERT_EQ(::symlink("/proc/self/mem", Dir.Path("mem.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("/proc/self/mem", Dir.Path("mem.bmp").c_str()), 0);
    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "mem.jpg"), Request(2, "good.png")});
    ASSERT_TRUE(Replies.WaitFor({1, 2}));
    EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Unreadable);
    EXPECT_EQ(Replies.Get(2).Status, TReplyStatus::Ok);
    EXPECT_EQ(pool.Stats().Sent, 1);
    EXPECT_FALSE(tavolix::pictures::TFileSource(Dir.Path("mem.bmp")).IsOpen());
    EXPECT_TRUE(tavolix::pictures::TFileSource(Dir.Path("good.png")).IsOpen());
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
    EXPECT_EQ(Replies.Get(4).Source, TReplySource::Made);
    // Whichever limit ended the greedy one (its memory, or its time on a busy
    // machine or in a sanitized build), each failure is recorded before its
    // answer, and only the bad files' are.
    const std::string root = Dir.Path("cache/thumbnails");
    for (const char* name : {"a.crash-test.png", "b.hang-test.png", "c.alloc-test.png"})
        EXPECT_TRUE(std::filesystem::exists(FailPath(root, ThumbnailUri(Dir.Path(name))))) << name;
    EXPECT_FALSE(std::filesystem::exists(FailPath(root, ThumbnailUri(Dir.Path("good.png")))));
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

// None installed, or one that ends before its hello as ours does when it
// cannot decode here: every file is answered at once as not available, and
// none is recorded as failed (it may be a good picture).
TEST_F(ThumbnailPoolTest, WithoutAHelperThatCanRunEveryRequestIsUnavailableAndNothingRecorded) {
    Dir.File("ends-at-once", "#!/bin/sh\nexit 3\n");
    ::chmod(Dir.Path("ends-at-once").c_str(), 0755);
    const std::string root = Dir.Path("cache/thumbnails");
    std::uint64_t id = 0;
    for (const char* helper : {"no such helper", "ends-at-once"}) {
        TPoolOptions options = Options();
        options.HelperPath = Dir.Path(helper);
        TThumbnailPool pool(options);
        EXPECT_EQ(pool.Available(), std::string(helper) == "ends-at-once");
        auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
        const std::uint64_t first = ++id, second = ++id;
        client->SetWanted({Request(first, "good.png"), Request(second, "good.png")});
        ASSERT_TRUE(Replies.WaitFor({first, second})) << helper;
        EXPECT_EQ(Replies.Get(first).Status, TReplyStatus::Unavailable) << helper;
        EXPECT_EQ(Replies.Get(second).Status, TReplyStatus::Unavailable) << helper;
        EXPECT_FALSE(std::filesystem::exists(FailPath(root, ThumbnailUri(Dir.Path("good.png"))))) << helper;
        EXPECT_EQ(pool.Stats().Crashed, 0) << helper;
        client->Close();
        client->SetWanted({Request(++id, "good.png")}); // after Close: never answered, never a crash
    }
}

// GNOME's platform theme ends a process that cannot reach the display, as
// the helper in its sandbox cannot: the helper loads no theme.
TEST_F(ThumbnailPoolTest, UnderTheDesktopsGtkThemeAHelperStillMakesPictures) {
    const std::string plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platformthemes/libqgtk3.so";
    if (!std::filesystem::exists(plugin))
        GTEST_SKIP() << "no GTK platform theme here (qt6-gtk-platformtheme): " << plugin;
    setenv("QT_QPA_PLATFORMTHEME", "gtk3", 1);
    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "good.png")});
    const bool answered = Replies.WaitFor({1});
    unsetenv("QT_QPA_PLATFORMTHEME");
    ASSERT_TRUE(answered);
    EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Ok);
    EXPECT_EQ(Replies.Get(1).Width, 128);
    EXPECT_FALSE(
        std::filesystem::exists(FailPath(Dir.Path("cache/thumbnails"), ThumbnailUri(Dir.Path("good.png")))));
}

TEST_F(ThumbnailPoolTest, AHelperCanReachNoFileNoSocketAndNoProgramAndGoesOn) {
    // Decoders turned against the helper: each makes a picture if it got through.
    for (const char* name : {"a.open-test.png", "b.socket-test.png", "c.exec-test.png", "d.wait-test.png"})
        Dir.File(name, "go");
    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "d.wait-test.png")});
    ASSERT_TRUE(Replies.WaitFor({1}));
    const std::vector<pid_t> helpers = LiveHelpers();
    ASSERT_EQ(helpers.size(), 1u);
    const std::optional<TSandboxState> sandbox = pool.Sandbox();
    ASSERT_TRUE(sandbox);
    // What anyone can read of it: no way to more rights, a filter on its
    // calls, nothing of ours on its standard error, no folder of ours.
    const pid_t helper = helpers.front();
    EXPECT_EQ(StatusField(helper, "NoNewPrivs"), "1");
    EXPECT_EQ(StatusField(helper, "Seccomp"), sandbox->Calls ? "2" : "0");
    EXPECT_TRUE(LinkOf("/proc/" + std::to_string(helper) + "/fd/2").starts_with("pipe:"));
    EXPECT_EQ(LinkOf("/proc/" + std::to_string(helper) + "/cwd"), "/");
    if (!sandbox->Complete())
        GTEST_SKIP() << "no full sandbox in this kernel: " << sandbox->Detail;

    client->SetWanted({Request(2, "a.open-test.png"), Request(3, "b.socket-test.png"),
                       Request(4, "c.exec-test.png"), Request(5, "good.png")});
    ASSERT_TRUE(Replies.WaitFor({2, 3, 4, 5}));
    for (std::uint64_t id : {2, 3, 4})
        EXPECT_EQ(Replies.Get(id).Status, TReplyStatus::Failed) << id;
    EXPECT_FALSE(std::filesystem::exists(Dir.Path("c.exec-test.png.ran")));
    EXPECT_EQ(Replies.Get(5).Status, TReplyStatus::Ok);
    // Refused, not crashed: the same helper did them all.
    EXPECT_EQ(pool.Stats().Started, 1);
    EXPECT_EQ(LiveHelpers(), helpers);
}

TEST_F(ThumbnailPoolTest, AHelperKilledFromOutsideCostsItsGoodFileNothing) {
    Dir.File("slow.wait-test.png", "wait");
    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "slow.wait-test.png")});
    // Its hello said, the helper has the file (one killed before it has read nothing).
    ASSERT_TRUE(
        Eventually([&] { return pool.Stats().Sent == 1 && pool.Sandbox() && LiveHelpers().size() == 1; }));
    // As the OOM killer would, while the helper works on it.
    ::kill(LiveHelpers().front(), SIGKILL);
    const int fd = ::open(Dir.Path("slow.wait-test.png").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::pwrite(fd, "go", 2, 0), 2);
    ::close(fd);
    ASSERT_TRUE(Replies.WaitFor({1}));
    EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Ok);
    EXPECT_EQ(pool.Stats().Retried, 1);
    EXPECT_FALSE(std::filesystem::exists(
        FailPath(Dir.Path("cache/thumbnails"), ThumbnailUri(Dir.Path("slow.wait-test.png")))));
}

TEST_F(ThumbnailPoolTest, TheLastFileOfARunIsRecordedBeforeThePoolEnds) {
    Dir.File("last.crash-test.png", "x");
    const std::string record =
        FailPath(Dir.Path("cache/thumbnails"), ThumbnailUri(Dir.Path("last.crash-test.png")));
    {
        TThumbnailPool pool(Options());
        auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
        client->SetWanted({Request(1, "last.crash-test.png")});
        ASSERT_TRUE(Replies.WaitFor({1}));
        EXPECT_EQ(Replies.Get(1).Status, TReplyStatus::Failed);
        // Tried twice, each time in a helper of its own.
        EXPECT_EQ(pool.Stats().Retried, 1);
        EXPECT_EQ(pool.Stats().Crashed, 1);
    }
    EXPECT_TRUE(std::filesystem::exists(record));
    TThumbnailPool again(Options());
    auto client = again.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(2, "last.crash-test.png")});
    ASSERT_TRUE(Replies.WaitFor({2}));
    EXPECT_EQ(Replies.Get(2).Source, TReplySource::Cache); // not tried again
}

TEST_F(ThumbnailPoolTest, TheCacheIsTheUsersAlone) {
    const std::string root = Dir.Path("cache/thumbnails");
    std::filesystem::create_directories(root + "/normal");
    ASSERT_EQ(::chmod(root.c_str(), 0755), 0);
    ASSERT_EQ(::chmod((root + "/normal").c_str(), 0777), 0);
    // A thumbnail that would pass for ours, but another user wrote it.
    struct stat st;
    ASSERT_EQ(::stat(Dir.Path("good.png").c_str(), &st), 0);
    const TOriginal original{ThumbnailUri(Dir.Path("good.png")), st.st_mtime, st.st_size};
    const std::string theirs = ThumbnailPath(root, TThumbSize::Normal, original.Uri);
    Dir.File(
        "cache/thumbnails/normal/" + ThumbnailName(original.Uri),
        AddPngText(PictureBytes(HalvesImage(128, 64, Qt::green), "png"), ThumbnailKeys(original, 300, 150)));
    if (::chown(theirs.c_str(), 4242, 4242) != 0)
        GTEST_SKIP() << "only root gives a file away";

    TThumbnailPool pool(Options());
    auto client = pool.Connect([this](TThumbReply&& r) { Replies.Add(std::move(r)); });
    client->SetWanted({Request(1, "good.png")});
    ASSERT_TRUE(Replies.WaitFor({1}));
    EXPECT_EQ(Replies.Get(1).Source, TReplySource::Made);
    for (const std::string& folder : {root, root + "/normal"}) {
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
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
