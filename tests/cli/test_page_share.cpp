// The real tavolix-page on a share that stopped answering (a FUSE file
// system whose calls never return, tests/support/stall_fs.py). Any wait of
// the test is bounded: the share is let go after two minutes, so that a
// command held by it ends, and the test fails, instead of hanging.
#include "StallFs.h"
#include "TestDir.h"
#include "TestPictures.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kPatience = std::chrono::minutes(2);

// tavolix-page started in English, its standard output and error read as they come.
class TPageRun {
public:
    explicit TPageRun(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            return;
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            for (int fd : {out[0], out[1], err[0], err[1]})
                ::close(fd);
            ::setenv("LC_ALL", "en_US.UTF-8", 1);
            ::unsetenv("LANGUAGE");
            std::vector<char*> argv = {const_cast<char*>(TAVOLIX_PAGE)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(TAVOLIX_PAGE, argv.data());
            _exit(98);
        }
        ::close(out[1]);
        ::close(err[1]);
        FOut = out[0];
        FErr = err[0];
    }
    ~TPageRun() {
        for (int fd : {FOut, FErr})
            if (fd >= 0)
                ::close(fd);
    }

    // Reads until standard error holds `text` or both streams ended; true for the first.
    bool ReadUntil(const std::string& text) {
        while (Err.find(text) == std::string::npos) {
            if (!ReadSome())
                return Err.find(text) != std::string::npos;
        }
        return true;
    }
    // Reads both streams to their end and waits for the command: its exit code.
    int Finish() {
        while (ReadSome()) {
        }
        int status = 0;
        if (FPid <= 0 || ::waitpid(FPid, &status, 0) != FPid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t Pid() const { return FPid; }

    std::string Out, Err;

private:
    // False once both streams have ended.
    bool ReadSome() {
        pollfd fds[] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
        if (FOut < 0 && FErr < 0)
            return false;
        if (::poll(fds, 2, -1) < 0)
            return errno == EINTR;
        std::string* into[] = {&Out, &Err};
        int* fd[] = {&FOut, &FErr};
        for (int i = 0; i < 2; ++i) {
            if (*fd[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(*fd[i], buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(*fd[i]);
                *fd[i] = -1;
            }
        }
        return FOut >= 0 || FErr >= 0;
    }

    pid_t FPid = -1;
    int FOut = -1, FErr = -1;
};

class PageShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CACHE_HOME", Dir.Path("cache").c_str(), 1);
        setenv("TAVOLIX_SETTINGS", Dir.Path("settings.INI").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CACHE_HOME");
        unsetenv("TAVOLIX_SETTINGS");
    }
    TTestDir Dir;
};

} // namespace

// A picture whose file never opens gets no thumbnail, and the command ends
// once its page is written, though a thread of it still waits on the share.
TEST_F(PageShareTest, APageWithThumbnailsEndsThoughAPicturesFileNeverOpens) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    Dir.File("pics/a.png", PictureBytes(HalvesImage(300, 200), "png"));
    ASSERT_EQ(::symlink((fs.Root() + "/deadfile.bmp").c_str(), Dir.Path("pics/dead.bmp").c_str()), 0);
    const std::string page = Dir.Path("page.html");
    tavolix::test::TLetGoLater letGo(fs, kPatience);
    TPageRun run({"--thumbnails", "--no-register", "-o", page, Dir.Path("pics"), "*.*"});
    EXPECT_EQ(run.Finish(), 0) << run.Err;
    EXPECT_FALSE(letGo.End()) << "the command waited on the share";
    EXPECT_NE(run.Out.find("/pics/dead.bmp\t"), std::string::npos) << run.Out;
    std::size_t thumbnails = 0;
    for (const auto& e : std::filesystem::directory_iterator(Dir.Path("page.files")))
        thumbnails += e.path().filename().string().starts_with(".") ? 0 : 1;
    EXPECT_EQ(thumbnails, 2u); // a.png's, shown and 2x
}

// A search held by a folder that never answers names it on standard error,
// the base itself or a folder below it; a signal then ends the command with
// 4, the hits found until then printed and no page written.
TEST_F(PageShareTest, AFolderThatNeverAnswersIsNamedAndASignalEndsTheSearchWith4) {
    TAVOLIX_MOUNT_STALL_FS(fs);
    tavolix::test::TLetGoLater letGo(fs, kPatience);
    struct TCase {
        std::string Base, Waited, Hit;
        int Signal;
    };
    for (const TCase& c : {TCase{fs.Root(), fs.Root() + "/dead", fs.Root() + "/ok/a.gif\t", SIGINT},
                           TCase{fs.Root() + "/dead", fs.Root() + "/dead", "", SIGTERM}}) {
        const std::string page = Dir.Path("stopped.html");
        TPageRun run({"--no-register", "-o", page, c.Base, "*.gif"});
        ASSERT_TRUE(run.ReadUntil("tavolix-page: waiting for " + c.Waited + " (no progress for 5 s)\n"))
            << c.Base << ": " << run.Err;
        ASSERT_EQ(::kill(run.Pid(), c.Signal), 0);
        EXPECT_EQ(run.Finish(), 4) << c.Base << ": " << run.Err;
        EXPECT_NE(run.Err.find(c.Waited + "/: not read (did not answer)"), std::string::npos) << run.Err;
        EXPECT_NE(
            run.Err.find("the search was stopped: the hits found until then are printed, no page is written"),
            std::string::npos)
            << run.Err;
        if (c.Hit.empty())
            EXPECT_EQ(run.Out, "");
        else
            EXPECT_NE(run.Out.find(c.Hit), std::string::npos) << run.Out;
        EXPECT_FALSE(std::filesystem::exists(page)) << c.Base;
    }
    EXPECT_FALSE(letGo.End()) << "the command waited on the share";
}
