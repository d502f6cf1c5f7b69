#include "StallFs.h"
#include "TestDir.h"
#include "platform/ExecuteFile.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavolix::platform;

namespace {

// What the fake opener saw: its working folder, its arguments, whether the
// probe descriptor was inherited, its blocked-signal mask, its activation token.
struct TSeen {
    std::string Cwd;
    std::vector<std::string> Args;
    std::string ProbeFd;
    std::string SigBlk;
    std::string Token;
};

class ExecuteFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        FOut = FDir.Path("out");
        FDir.File("bin/fake-open", "#!/bin/sh\n"
                                   "out='" +
                                       FOut +
                                       "'\n"
                                       "{\n"
                                       "  pwd -P\n"
                                       "  if [ -e /proc/$$/fd/" +
                                       std::to_string(kProbeFd) +
                                       " ]; then echo yes; else echo no; fi\n"
                                       // builtins only: dash blocks signals while it waits for a child
                                       "  while IFS= read -r l; do case \"$l\" in SigBlk:*) echo "
                                       "\"${l#SigBlk:?}\";; esac; done < /proc/$$/status\n"
                                       "  printf '%s\\n' \"${XDG_ACTIVATION_TOKEN-none}\"\n"
                                       "  for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n"
                                       "} > \"$out.tmp\"\n"
                                       "mv \"$out.tmp\" \"$out\"\n");
        FDir.Chmod("bin/fake-open", 0755);
        SetOpenerProgram(FDir.Path("bin/fake-open"));
    }
    void TearDown() override {
        SetOpenerProgram({});
        SetFileOpener({});
        SetLaunchEnvironment({});
        unsetenv("XDG_ACTIVATION_TOKEN");
    }

    // Waits (bounded) until the fake opener has written its record.
    bool Wait(TSeen& seen) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (access(FOut.c_str(), F_OK) != 0) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::ifstream in(FOut);
        std::getline(in, seen.Cwd);
        std::getline(in, seen.ProbeFd);
        std::getline(in, seen.SigBlk);
        std::getline(in, seen.Token);
        for (std::string line; std::getline(in, line);) {
            seen.Args.push_back(line);
        }
        unlink(FOut.c_str());
        return true;
    }

    static std::string Cwd() {
        char buf[4096];
        return getcwd(buf, sizeof buf) ? buf : "";
    }

    static constexpr int kProbeFd = 57;
    TTestDir FDir;
    std::string FOut;
};

TEST_F(ExecuteFileTest, PassesTheNameWholeAndRunsInTheFolder) {
    std::string longName = "/media/" + std::string(200, 'a') + "/" + std::string(200, 'b') + "/" +
                           std::string(200, 'c') + ".html";
    std::string longFolder = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" +
                             std::string(120, 'f') + "/" + std::string(120, 'g') + "/" + std::string(60, 'h');
    FDir.Dir(longFolder);
    FDir.Dir("odd & # %41 ? \"q\" 日本語 \xff\xfe");
    struct TCase {
        std::string Name, Folder, WantArg, WantCwd;
    };
    const std::vector<TCase> cases = {
        {"/srv/web/index.html", FDir.Path("odd & # %41 ? \"q\" 日本語 \xff\xfe"), "/srv/web/index.html",
         FDir.Path("odd & # %41 ? \"q\" 日本語 \xff\xfe")},
        {"/tmp/file with spaces & <b>.gif", "", "/tmp/file with spaces & <b>.gif", Cwd()},
        {"/tmp/\xff\xfe raw bytes #1 %41.jpg", "", "/tmp/\xff\xfe raw bytes #1 %41.jpg", Cwd()},
        {longName, FDir.Path(longFolder), longName, FDir.Path(longFolder)},
        {"file:///tmp/a%20b.html#topic-1200", "", "file:///tmp/a%20b.html#topic-1200", Cwd()},
        {"-rf.html", FDir.Path(""), "./-rf.html", FDir.Path("")},
        {"--help", "", "./--help", Cwd()},
    };
    ASSERT_GT(longName.size(), 500u);
    ASSERT_GT(FDir.Path(longFolder).size(), 500u);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name.substr(0, 60));
        ASSERT_TRUE(ExecuteFile(c.Name, "--ignored param", c.Folder, 1));
        TSeen seen;
        ASSERT_TRUE(Wait(seen));
        std::string wantCwd = c.WantCwd;
        if (!wantCwd.empty() && wantCwd.back() == '/') {
            wantCwd.pop_back();
        }
        EXPECT_EQ(seen.Cwd, wantCwd);
        EXPECT_EQ(seen.Args, std::vector<std::string>{c.WantArg});
    }
}

TEST_F(ExecuteFileTest, LeavesNoChildAndNoInheritedStateBehind) {
    int probe = open("/dev/null", O_RDONLY); // without O_CLOEXEC
    ASSERT_GE(probe, 0);
    ASSERT_EQ(dup2(probe, kProbeFd), kProbeFd);
    sigset_t blocked, saved;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &saved);
    // The token of the program's own start, spent: never handed on.
    setenv("XDG_ACTIVATION_TOKEN", "spent", 1);

    bool started = ExecuteFile("/tmp/x.html", "", "", 5);

    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    close(kProbeFd);
    close(probe);
    ASSERT_TRUE(started);
    // The intermediate child is already reaped; the opener is not our child.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    TSeen seen;
    ASSERT_TRUE(Wait(seen));
    EXPECT_EQ(seen.ProbeFd, "no");
    EXPECT_EQ(seen.SigBlk, "0000000000000000");
    EXPECT_EQ(seen.Token, "none");

    // A fresh token for each launch, where the desktop gives one.
    SetLaunchEnvironment([] { return std::vector<std::string>{"XDG_ACTIVATION_TOKEN=fresh 1"}; });
    ASSERT_TRUE(ExecuteFile("/tmp/x.html", "", "", 5));
    TSeen again;
    ASSERT_TRUE(Wait(again));
    EXPECT_EQ(again.Token, "fresh 1");
    EXPECT_EQ(again.Args, std::vector<std::string>{"/tmp/x.html"});
}

TEST_F(ExecuteFileTest, ReportsWhatCannotStart) {
    EXPECT_FALSE(ExecuteFile("", "", "", 1));
    EXPECT_FALSE(ExecuteFile("/tmp/x.html", "", FDir.Path("no such folder"), 1));
    FDir.File("not-executable", "#!/bin/sh\n");
    SetOpenerProgram(FDir.Path("not-executable"));
    EXPECT_FALSE(ExecuteFile("/tmp/x.html", "", "", 1));
    SetOpenerProgram(FDir.Path("missing"));
    EXPECT_FALSE(ExecuteFile("/tmp/x.html", "", "", 1));
    // A script whose interpreter is missing fails at exec, in the grandchild.
    FDir.File("bad-interp", "#!/nonexistent/sh\n");
    FDir.Chmod("bad-interp", 0755);
    SetOpenerProgram(FDir.Path("bad-interp"));
    EXPECT_FALSE(ExecuteFile("/tmp/x.html", "", "", 1));
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ExecuteFileTest, AFolderThatDoesNotAnswerHoldsTheLaunchNotTheCaller) {
    TAVOLIX_MOUNT_STALL_FS(share, tavolix::test::TStallFs::TOptions{1, 1});
    auto started = std::async(
        std::launch::async, [&] { return ExecuteFile("/tmp/x.html", "", share.Root() + "/hang/stuck", 1); });
    const bool returned = started.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    share.Release(); // the working folder fails now: nothing is started
    ASSERT_TRUE(returned);
    EXPECT_TRUE(started.get()) << "still under way counts as started";
}

// Opening many files waits for them all at once: files whose folder doesn't
// answer don't add their waits up; what can't start isn't counted.
TEST_F(ExecuteFileTest, ManyFilesShareOneWait) {
    TAVOLIX_MOUNT_STALL_FS(share, tavolix::test::TStallFs::TOptions{1, 1});
    constexpr int kStuck = 10;
    std::vector<TOpenRequest> requests(kStuck,
                                       TOpenRequest{"/tmp/x.html", "", share.Root() + "/hang/stuck", 1});
    requests.push_back({"", "", "", 1});
    const auto start = std::chrono::steady_clock::now();
    auto started = std::async(std::launch::async, [&] { return ExecuteFiles(requests); });
    const bool returned = started.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    const auto took = std::chrono::steady_clock::now() - start;
    share.Release();
    ASSERT_TRUE(returned);
    EXPECT_EQ(started.get(), kStuck) << "still under way counts as started";
    // One after another they would take kLaunchWaitMs each.
    EXPECT_LT(took, std::chrono::milliseconds(kStuck * kLaunchWaitMs));

    EXPECT_EQ(ExecuteFiles({{"/tmp/a b.txt", "", "", 1}}), 1);
    TSeen seen;
    ASSERT_TRUE(Wait(seen));
    EXPECT_EQ(seen.Args, std::vector<std::string>{"/tmp/a b.txt"});
}

TEST_F(ExecuteFileTest, FindsTheOpenerOnPath) {
    const char* old = std::getenv("PATH");
    std::string saved = old ? old : "";
    setenv("PATH", ("/nonexistent::" + FDir.Path("bin") + ":" + saved).c_str(), 1);
    SetOpenerProgram("fake-open");
    bool started = ExecuteFile("/tmp/p.html", "", "", 1);
    SetOpenerProgram("not-there-either");
    bool missing = ExecuteFile("/tmp/p.html", "", "", 1);
    setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(started);
    EXPECT_FALSE(missing);
    TSeen seen;
    ASSERT_TRUE(Wait(seen));
    EXPECT_EQ(seen.Args, std::vector<std::string>{"/tmp/p.html"});
}

TEST_F(ExecuteFileTest, ReplacedOpenerGetsEveryRequestAndNoLaunch) {
    std::vector<TOpenRequest> seen;
    SetFileOpener([&](const TOpenRequest& r) { seen.push_back(r); });
    SetOpenerProgram(FDir.Path("missing")); // a real launch would fail
    EXPECT_TRUE(ExecuteFile("/a/b.html", "p", "/a", 1));
    EXPECT_TRUE(ExecuteFile("", "", "", 5));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].FileName, "/a/b.html");
    EXPECT_EQ(seen[0].Params, "p");
    EXPECT_EQ(seen[0].Folder, "/a");
    EXPECT_EQ(seen[0].ShowCmd, 1);
    EXPECT_EQ(seen[1].ShowCmd, 5);
    SetFileOpener({});
    EXPECT_FALSE(ExecuteFile("/a/b.html", "", "", 1));
}

} // namespace
