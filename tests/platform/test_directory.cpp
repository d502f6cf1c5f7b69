#include "TestDir.h"
#include "platform/Directory.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavolix::platform;

namespace {

// Names in the order readdir delivers them, read independently of the code under test.
std::vector<std::string> RawEntries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return names;
    while (struct dirent* e = readdir(d))
        names.emplace_back(e->d_name);
    closedir(d);
    return names;
}

// The names of `keep` in the order readdir delivers them.
std::vector<std::string> InEnumerationOrder(const std::string& dir, const std::set<std::string>& keep) {
    std::vector<std::string> names;
    for (const auto& n : RawEntries(dir))
        if (keep.count(n))
            names.push_back(n);
    return names;
}

std::vector<std::string> FileNames(const TDirContents& c) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.FileCount(); ++i)
        names.emplace_back(c.FileName(i));
    return names;
}

std::map<std::string, TDirContents::TFile> FilesByName(const TDirContents& c) {
    std::map<std::string, TDirContents::TFile> files;
    for (std::size_t i = 0; i < c.FileCount(); ++i)
        files[std::string(c.FileName(i))] = c.File(i);
    return files;
}

std::map<std::string, TFindData> FindByName(const std::string& dir, std::string_view pattern,
                                            TFindWhat what = TFindWhat::All) {
    std::vector<TFindData> found;
    EXPECT_TRUE(FindFiles(dir, pattern, found, what));
    std::map<std::string, TFindData> byName;
    for (auto& f : found)
        byName[f.Name] = f;
    return byName;
}

void MakeSocket(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

int OpenFdCount() {
    return static_cast<int>(RawEntries("/proc/self/fd").size());
}

int HighestFd() {
    int high = 0;
    for (const auto& n : RawEntries("/proc/self/fd"))
        if (n[0] != '.')
            high = std::max(high, std::stoi(n));
    return high;
}

// Lowers the descriptor limit for the lifetime of the object.
struct TFdLimit {
    struct rlimit Saved {};
    explicit TFdLimit(rlim_t limit) {
        getrlimit(RLIMIT_NOFILE, &Saved);
        struct rlimit low = Saved;
        low.rlim_cur = std::min(limit, Saved.rlim_cur);
        setrlimit(RLIMIT_NOFILE, &low);
    }
    ~TFdLimit() { setrlimit(RLIMIT_NOFILE, &Saved); }
};

} // namespace

class DirectoryTest : public ::testing::Test {
protected:
    TTestDir T;
};

TEST_F(DirectoryTest, ReadSplitsFilesAndSubdirsInEnumerationOrder) {
    T.File("a.txt", "12345");
    T.File("b.TXT");
    T.File("c.dat");
    T.Dir("sub");
    T.Dir("d.txt");
    T.Dir(".cache");
    T.Symlink("link.txt", "c.dat");
    T.Symlink("dirlink", "sub");
    T.Symlink("dead.txt", "nowhere");
    T.Symlink("loop.txt", "loop.txt");

    TDirectory dir = TDirectory::Open(T.Root());
    ASSERT_TRUE(dir.IsOpen());
    EXPECT_EQ(dir.Error(), 0);
    TDirContents c;
    ASSERT_TRUE(dir.Read(TWildcard("*.txt"), c));

    const auto wantDirs = InEnumerationOrder(T.Root(), {".", "..", "sub", "d.txt", ".cache", "dirlink"});
    EXPECT_EQ(FileNames(c),
              InEnumerationOrder(T.Root(), {"a.txt", "b.TXT", "link.txt", "dead.txt", "loop.txt"}));
    EXPECT_EQ(c.Subdirs(), wantDirs);
    for (std::size_t i = 0; i < c.Subdirs().size(); ++i)
        EXPECT_EQ(c.SubdirIsLink(i), c.Subdirs()[i] == "dirlink") << c.Subdirs()[i];

    auto byName = FilesByName(c);
    EXPECT_EQ(byName["a.txt"].Size, 5);
    EXPECT_EQ(byName["a.txt"].Attr, 0u);
    EXPECT_EQ(byName["link.txt"].Attr, std::uint32_t{faLink}) << "stat'ed through the link";
    EXPECT_EQ(byName["dead.txt"].Attr, std::uint32_t{faSysFile | faLink});
    EXPECT_EQ(byName["loop.txt"].Attr, std::uint32_t{faSysFile | faLink});

    // A second pass over the same open directory starts again from the top.
    TDirContents again;
    ASSERT_TRUE(dir.Read(TWildcard("*"), again));
    EXPECT_EQ(again.Subdirs(), wantDirs);
    EXPECT_EQ(again.FileCount(), 6u);
}

TEST_F(DirectoryTest, AttributesSizesAndTimesOfRealEntries) {
    T.File("plain");
    T.File("ro.txt");
    T.Chmod("ro.txt", 0444);
    T.File(".group-writable");
    T.Chmod(".group-writable", 0464);
    T.File(".hidden");
    T.Dir("rodir");
    T.Chmod("rodir", 0555);
    ASSERT_EQ(mkfifo(T.Path("fifo").c_str(), 0644), 0);
    MakeSocket(T.Path("sock"));
    T.Symlink("to-ro", "ro.txt");
    T.Symlink("dangling", "missing");
    T.SparseFile("huge.bin", std::int64_t{5} << 30);
    T.SetTime("plain", 1234567890);
    T.SetTime("ro.txt", -86400 * 365);     // before 1970
    T.SetTime("huge.bin", 4102444800 + 1); // after 2038
    struct timespec ts[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, T.Path(".hidden").c_str(), ts, 0), 0);

    TDirectory dir = TDirectory::Open(T.Root());
    TDirContents c;
    ASSERT_TRUE(dir.Read(TWildcard("*"), c));
    auto files = FilesByName(c);
    auto found = FindByName(T.Root(), "*");

    const std::map<std::string, std::uint32_t> attrs{
        {"plain", 0},
        {"ro.txt", faReadOnly},
        {".hidden", faHidden},
        {"fifo", faSysFile},
        {"sock", faSysFile},
        {"to-ro", faReadOnly | faLink},
        {"dangling", faSysFile | faLink},
        {"huge.bin", 0},
        {".group-writable", faHidden | faReadOnly},
    };
    EXPECT_EQ(files.size(), attrs.size());
    for (const auto& [name, attr] : attrs) {
        EXPECT_EQ(files[name].Attr, attr) << name;
        EXPECT_EQ(found[name].Attr, attr) << name;
    }
    EXPECT_EQ(found["rodir"].Attr, std::uint32_t{faDirectory | faReadOnly});
    EXPECT_EQ(found["rodir"].Size, 0);
    for (const auto& [name, f] : found)
        EXPECT_EQ(f.Attr & faArchive, 0u) << name;

    EXPECT_EQ(files["huge.bin"].Size, std::int64_t{5} << 30);
    EXPECT_EQ(found["huge.bin"].Size, std::int64_t{5} << 30);
    EXPECT_EQ(files["plain"].WriteTime.Seconds, 1234567890);
    EXPECT_EQ(found["plain"].WriteTime.Seconds, 1234567890);
    EXPECT_EQ(files["ro.txt"].WriteTime.Seconds, -86400 * 365);
    EXPECT_EQ(files["huge.bin"].WriteTime.Seconds, 4102444801);
    EXPECT_EQ(files[".hidden"].WriteTime.Seconds, 1700000000);
    EXPECT_EQ(files[".hidden"].WriteTime.Nanoseconds, 123456789);
}

TEST_F(DirectoryTest, NamesWithArbitraryBytesSurvive) {
    const std::vector<std::string> names{
        "\xff\xfe name", "a\nb", "日本語.txt", "ﾊﾝｶｸ", "sp ace", "q?uote\"*", "<&>%41", "\x01", "a\\b",
    };
    for (const auto& n : names)
        T.File(n, n);
    T.Dir("\xe9t\xe9");

    TDirectory dir = TDirectory::Open(T.Root());
    TDirContents c;
    ASSERT_TRUE(dir.Read(TWildcard("*.*"), c));
    auto got = FileNames(c);
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()),
              std::set<std::string>(names.begin(), names.end()));
    for (const auto& [name, f] : FilesByName(c))
        EXPECT_EQ(f.Size, static_cast<std::int64_t>(name.size())) << name;
    EXPECT_NE(std::find(c.Subdirs().begin(), c.Subdirs().end(), "\xe9t\xe9"), c.Subdirs().end());
    EXPECT_TRUE(dir.OpenChild("\xe9t\xe9").IsOpen());

    auto found = FindByName(T.Root(), "*");
    for (const auto& n : names)
        EXPECT_EQ(found.count(n), 1u) << n;
}

TEST_F(DirectoryTest, FindFilesDirectoriesOnly) {
    T.File("sa.txt");
    T.File("sb");
    T.Dir("sub");
    T.Dir("other");
    T.Symlink("slink", "sub");
    T.Symlink("sdead", "none");
    T.Symlink("sfile", "sa.txt");

    auto all = FindByName(T.Root(), "s*");
    EXPECT_EQ(all.size(), 6u);
    EXPECT_TRUE(all["sub"].IsDirectory());
    EXPECT_TRUE(all["slink"].IsDirectory());
    EXPECT_FALSE(all["sfile"].IsDirectory());

    std::vector<TFindData> dirs;
    ASSERT_TRUE(FindFiles(T.Root(), "*", dirs, TFindWhat::DirectoriesOnly));
    std::vector<std::string> got;
    for (const auto& d : dirs) {
        got.push_back(d.Name);
        EXPECT_TRUE(d.IsDirectory()) << d.Name;
    }
    EXPECT_EQ(got, InEnumerationOrder(T.Root(), {".", "..", "sub", "other", "slink"}));

    EXPECT_EQ(FindByName(T.Root(), "s*", TFindWhat::DirectoriesOnly).size(), 2u);
    std::vector<TFindData> none{TFindData{}};
    EXPECT_FALSE(FindFiles(T.Path("missing"), "*", none));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(FindFiles(T.Path("sa.txt"), "*", none));
}

TEST_F(DirectoryTest, UnreadableDirectoryFailsAndClearsContents) {
    T.File("locked/inside.txt");
    T.Chmod("locked", 0);
    T.Dir("searchonly");
    T.Chmod("searchonly", 0100);

    TDirContents c;
    ASSERT_TRUE(TDirectory::Open(T.Root()).Read(TWildcard("*"), c));
    ASSERT_FALSE(c.Subdirs().empty());

    TWithoutDacOverride noOverride;
    TDirectory locked = TDirectory::Open(T.Path("locked"));
    EXPECT_FALSE(locked.IsOpen());
    EXPECT_EQ(locked.Error(), EACCES);
    EXPECT_FALSE(locked.Read(TWildcard("*"), c));
    EXPECT_EQ(c.FileCount(), 0u);
    EXPECT_TRUE(c.Subdirs().empty());
    EXPECT_FALSE(TDirectory::Open(T.Root()).OpenChild("locked").IsOpen());
    EXPECT_FALSE(TDirectory::Open(T.Path("searchonly")).IsOpen());

    std::vector<TFindData> found;
    EXPECT_FALSE(FindFiles(T.Path("locked"), "*", found));
    EXPECT_TRUE(found.empty());
}

TEST(Directory, ReadErrorIsNotReportedAsSuccess) {
    // A process's net directory can no longer be listed once the process is gone.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pause();
        _exit(0);
    }
    const std::string path = "/proc/" + std::to_string(child) + "/net";
    TDirectory dir = TDirectory::Open(path);
    TDirContents c;
    const bool before = static_cast<bool>(dir.Read(TWildcard("*"), c));
    DIR* probe = opendir(path.c_str());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    errno = 0;
    const bool probeFails = probe && !readdir(probe) && errno != 0;
    if (probe)
        closedir(probe);
    if (!dir.IsOpen() || !before || !probeFails)
        GTEST_SKIP() << "this kernel still lists a dead process's net directory";
    ASSERT_GT(c.Subdirs().size(), 2u);
    EXPECT_FALSE(dir.Read(TWildcard("*"), c));
    EXPECT_TRUE(c.Subdirs().empty());
    std::vector<TFindData> found;
    EXPECT_FALSE(dir.Find("*", found, TFindWhat::All));
}

// A listing that breaks off keeps the entries read before: a process's
// descriptor folder can't be listed on once the process is gone, and with
// more descriptors than one pass of the kernel's listing holds, it goes
// between two passes.
TEST(Directory, AReadThatBreaksOffKeepsWhatItRead) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit rl {};
        getrlimit(RLIMIT_NOFILE, &rl);
        rl.rlim_cur = std::min<rlim_t>(rl.rlim_max, 8192);
        setrlimit(RLIMIT_NOFILE, &rl);
        int n = 0;
        while (n < 6000 && dup(0) >= 0)
            ++n;
        (void)!write(ready[1], &n, sizeof n);
        pause();
        _exit(0);
    }
    close(ready[1]);
    int opened = 0;
    (void)!read(ready[0], &opened, sizeof opened);
    close(ready[0]);
    struct TKiller final : TReadWatch {
        pid_t Child;
        explicit TKiller(pid_t child) : Child(child) {}
        void Progress(std::size_t) override {
            if (Child > 0) {
                kill(Child, SIGKILL);
                waitpid(Child, nullptr, 0);
                Child = -1;
            }
        }
    } killer(child);
    TDirectory dir = TDirectory::Open("/proc/" + std::to_string(child) + "/fd");
    TDirContents c;
    const TReadResult r = dir.Read(TWildcard("*"), c, &killer);
    killer.Progress(0);
    if (opened < 6000 || r)
        GTEST_SKIP() << "the descriptor folder did not break off here (" << opened << " descriptors)";
    EXPECT_EQ(r.End, TReadEnd::Failed);
    EXPECT_NE(r.Error, 0);
    ASSERT_GT(c.FileCount(), 0u) << "what was read before the error is kept";
    for (std::size_t i = 0; i < c.FileCount(); ++i)
        EXPECT_EQ(c.FileName(i).find_first_not_of("0123456789"), std::string_view::npos) << c.FileName(i);
}

namespace {

// A chain of directories deeper than PATH_MAX, built and removed through descriptors.
struct TDeepChain {
    std::vector<int> Fds;
    std::string Name = std::string(200, 'd');
    explicit TDeepChain(const std::string& root, int depth) {
        Fds.push_back(open(root.c_str(), O_RDONLY | O_DIRECTORY));
        for (int i = 0; i < depth && Fds.back() >= 0; ++i) {
            mkdirat(Fds.back(), Name.c_str(), 0755);
            Fds.push_back(openat(Fds.back(), Name.c_str(), O_RDONLY | O_DIRECTORY));
        }
    }
    ~TDeepChain() {
        if (Fds.back() >= 0)
            unlinkat(Fds.back(), "deep.txt", 0);
        for (std::size_t i = Fds.size(); i-- > 1;) {
            if (Fds[i] >= 0)
                close(Fds[i]);
            if (Fds[i - 1] >= 0)
                unlinkat(Fds[i - 1], Name.c_str(), AT_REMOVEDIR);
        }
        if (Fds[0] >= 0)
            close(Fds[0]);
    }
};

} // namespace

TEST_F(DirectoryTest, OpenChildReachesBeyondPathMaxAndReportsErrors) {
    const int depth = PATH_MAX / 200 + 2;
    TDeepChain chain(T.Root(), depth);
    ASSERT_GE(chain.Fds.back(), 0);
    int fd = openat(chain.Fds.back(), "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    close(fd);

    std::string path = T.Root();
    TDirectory dir = TDirectory::Open(path);
    for (int i = 0; i < depth; ++i) {
        dir = dir.OpenChild(chain.Name);
        ASSERT_TRUE(dir.IsOpen()) << "level " << i << " errno " << dir.Error();
        path += "/" + chain.Name;
    }
    ASSERT_GT(path.size(), std::size_t{PATH_MAX});
    EXPECT_EQ(TDirectory::Open(path).Error(), ENAMETOOLONG);
    TDirContents c;
    ASSERT_TRUE(dir.Read(TWildcard("*.txt"), c));
    EXPECT_EQ(FileNames(c), std::vector<std::string>{"deep.txt"});

    T.File("file");
    EXPECT_EQ(TDirectory().OpenChild("x").Error(), EBADF);
    TDirectory root = TDirectory::Open(T.Root());
    EXPECT_EQ(root.OpenChild("file").Error(), ENOTDIR);
    EXPECT_EQ(root.OpenChild("missing").Error(), ENOENT);
    EXPECT_EQ(root.OpenChild(std::string(300, 'n')).Error(), ENAMETOOLONG);
}

TEST_F(DirectoryTest, IdentityFollowsSymlinks) {
    T.Dir("real/inner");
    T.Dir("other");
    T.Symlink("alias", "real");
    TDirectory root = TDirectory::Open(T.Root());
    TDirectory direct = TDirectory::Open(T.Path("real"));
    ASSERT_TRUE(direct.IsOpen());
    EXPECT_EQ(TDirectory::Open(T.Path("alias")).Identity(), direct.Identity());
    EXPECT_EQ(root.OpenChild("alias").Identity(), direct.Identity());
    EXPECT_EQ(direct.OpenChild("inner").OpenChild("..").Identity(), direct.Identity());
    EXPECT_EQ(direct.OpenChild(".").Identity(), direct.Identity());
    EXPECT_FALSE(root.OpenChild("other").Identity() == direct.Identity());
}

TEST_F(DirectoryTest, DescriptorsAreClosed) {
    T.Dir("a/b");
    TDirectory::FlushDeferredCloses();
    const int before = OpenFdCount();
    {
        TDirectory d = TDirectory::Open(T.Root());
        TDirContents c;
        d.Read(TWildcard("*"), c);
        TDirectory moved = d.OpenChild("a");
        TDirectory other = std::move(moved);
        EXPECT_FALSE(moved.IsOpen());
        other = other.OpenChild("b"); // closes "a"
        d = TDirectory::Open(T.Path("none"));
        EXPECT_EQ(d.Error(), ENOENT);
        EXPECT_EQ(OpenFdCount(), before + 1);
    }
    EXPECT_EQ(OpenFdCount(), before);

    // Deferred closes must neither pile up nor catch descriptors still in use.
    std::vector<TDirectory> kept;
    {
        TFdLimit limit(HighestFd() + 200);
        for (int i = 0; i < 3000; ++i) {
            TDirectory d = TDirectory::Open(T.Path("a"));
            ASSERT_TRUE(d.IsOpen()) << "open " << i << " errno " << d.Error();
            if (i % 75 == 0)
                kept.push_back(std::move(d));
            else
                d.CloseDeferred();
        }
    }
    TDirectory::FlushDeferredCloses();
    for (auto& k : kept) {
        TDirContents c;
        EXPECT_TRUE(k.Read(TWildcard("*"), c)) << "a kept directory was closed";
    }
    EXPECT_EQ(OpenFdCount(), before + static_cast<int>(kept.size()));
    kept.clear();
    EXPECT_EQ(OpenFdCount(), before);
}

TEST_F(DirectoryTest, PseudoFileSystems) {
    EXPECT_FALSE(TDirectory::Open(T.Root()).IsPseudoFileSystem());
    EXPECT_FALSE(TDirectory().IsPseudoFileSystem());
    // File systems that hold users' files are searched.
    for (const char* t : {"ext4", "tmpfs", "btrfs", "nfs", "fuse", "overlay", ""})
        EXPECT_FALSE(IsPseudoFileSystemType(t)) << t;
    EXPECT_FALSE(IsPseudoFileSystemMagic(0xef53));
    EXPECT_FALSE(IsPseudoFileSystemMagic(0x01021994));

    for (const char* path : {"/proc", "/sys", "/proc/self"}) {
        TDirectory d = TDirectory::Open(path);
        if (!d.IsOpen())
            GTEST_SKIP() << path << " is not mounted";
        EXPECT_TRUE(d.IsPseudoFileSystem()) << path;
    }
}
