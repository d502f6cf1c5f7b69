// The real tavolix-page with its picture helper, in a kernel that has
// Landlock and in one that seems to have none.
#include "TestDir.h"
#include "TestPictures.h"

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TRun {
    int Code = -1;
    std::string Err;
};

// landlock_create_ruleset fails as in a kernel without it, for the program
// and every process it starts.
bool HideLandlock() {
    constexpr unsigned kLandlockCreateRuleset = 444;
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kLandlockCreateRuleset, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TRun Page(const std::vector<std::string>& args, bool oldKernel) {
    int err[2];
    if (::pipe(err) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(err[1], 2);
        ::close(err[0]);
        if (oldKernel && !HideLandlock())
            _exit(99);
        std::vector<char*> argv = {const_cast<char*>(TAVOLIX_PAGE)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TAVOLIX_PAGE, argv.data());
        _exit(98);
    }
    ::close(err[1]);
    TRun run;
    char buf[4096];
    for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;)
        run.Err.append(buf, static_cast<std::size_t>(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(PageHelper, AKernelWithoutTheSandboxIsToldOnceAndThePageIsStillMade) {
    TTestDir dir;
    setenv("XDG_CACHE_HOME", dir.Path("cache").c_str(), 1);
    setenv("TAVOLIX_SETTINGS", dir.Path("settings.INI").c_str(), 1);
    for (const char* name : {"a.jpg", "b.png", "c.jpg"})
        dir.File(std::string("pics/") + name,
                 PictureBytes(HalvesImage(300, 200), name[2] == 'p' ? "png" : "jpg"));
    const std::string note = "without its full sandbox";
    for (const bool oldKernel : {false, true}) {
        const std::string page = dir.Path(oldKernel ? "old.html" : "new.html");
        const TRun run =
            Page({"--thumbnails", "--no-register", "-o", page, dir.Path("pics"), "*.*"}, oldKernel);
        EXPECT_EQ(run.Code, 0) << run.Err;
        // Its helper is no less able to make the pictures.
        std::size_t thumbnails = 0;
        for (const auto& e : std::filesystem::directory_iterator(page.substr(0, page.size() - 5) + ".files"))
            thumbnails += e.path().filename().string().starts_with(".") ? 0 : 1;
        EXPECT_EQ(thumbnails, 3u * 2) << oldKernel; // the shown and the 2x of each
        if (oldKernel) {
            EXPECT_EQ(Count(run.Err, note), 1u) << run.Err;
            EXPECT_NE(run.Err.find("Landlock"), std::string::npos) << run.Err;
        } else {
            EXPECT_EQ(Count(run.Err, note), 0u) << run.Err;
        }
    }
    unsetenv("XDG_CACHE_HOME");
    unsetenv("TAVOLIX_SETTINGS");
}
