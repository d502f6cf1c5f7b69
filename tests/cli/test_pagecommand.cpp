#include "TestDir.h"
#include "cli/PageCommand.h"

#include <cctype>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
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
    }
    std::string Line(const char* rel, const char* size, const char* date, const char* attr) const {
        return T.Path(rel) + "\t" + size + "\t" + date + "\t" + attr + "\n";
    }
    TTestDir T;
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
        {{"--threads", "0", T.Root(), "*.gif"}},
        {{"-jx", T.Root(), "*.gif"}},
        {{T.Root(), "*.gif", "--threads"}},
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

    T.Chmod("sub dir", 0);
    TWithoutDacOverride noOverride;
    if (int probe = open(T.Path("sub dir").c_str(), O_RDONLY); probe >= 0 && close(probe) == 0)
        GTEST_SKIP() << "cannot drop the permission override here";
    r = Page({T.Path("sub dir"), "*.gif"});
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find(T.Path("sub dir")), std::string::npos) << r.Err;
    r = Page({T.Root(), "*.gif"}); // an unreadable subdirectory is only passed over
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out.find("c.gif"), std::string::npos);
}

TEST_F(PageCommandTest, HelpVersionAndEndOfOptions) {
    TRun r = Page({"--help"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out.rfind("Usage: tavolix-page", 0), 0u);
    r = Page({T.Root(), "--version", "*.gif"});
    EXPECT_EQ(r.Code, 0);
    ASSERT_EQ(r.Out.rfind("tavolix-page ", 0), 0u);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(r.Out[13]))) << r.Out;
    T.File("-x.gif");
    r = Page({"--", T.Root(), "-*"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out.rfind(T.Path("-x.gif") + "\t0\t", 0), 0u) << r.Out;
}

// Lost directories are an error (4), not a smaller result; the thread count
// changes nothing printed.
TEST_F(PageCommandTest, ThreadsAndRunningOutOfDescriptors) {
    const TRun one = Page({"--threads", "1", T.Root(), "*.gif"});
    EXPECT_EQ(Page({"-j8", T.Root(), "*.gif"}).Out, one.Out);
    EXPECT_EQ(Page({"--threads=3", T.Root(), "*.gif"}).Out, one.Out);
    const pid_t pid = fork();
    if (pid == 0) {
        syscall(SYS_close_range, 3u, ~0u, 0u);
        const struct rlimit rl { 4, 4 }; // the base alone can be opened
        setrlimit(RLIMIT_NOFILE, &rl);
        TRun r = Page({T.Root(), "*.gif"});
        _exit(r.Code == 4 && r.Err.find("too many open files") != std::string::npos &&
                      r.Out.find("A.gif") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
