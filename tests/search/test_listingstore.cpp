#include "TestDir.h"
#include "search/DirWalker.h"
#include "search/ListingStore.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tavolix::search;
using tavolix::platform::TFileTime;
using tavolix::platform::TWildcard;
namespace fs = std::filesystem;

namespace {

// Every call of a walk and its counts, as text: two walks that tell the
// same text found the same.
struct TTranscript final : TWalkVisitor {
    std::string Text;
    void DirectoryRead(const std::string& dir, const tavolix::platform::TDirContents& c) override {
        Text += "D " + dir + "\n";
        for (std::size_t i = 0; i < c.FileCount(); ++i) {
            const auto& f = c.File(i);
            Text += std::string(c.FileName(i)) + " " + std::to_string(f.Attr) + " " + std::to_string(f.Size) +
                    " " + std::to_string(f.WriteTime.Seconds) + "." +
                    std::to_string(f.WriteTime.Nanoseconds) + " " + std::to_string(f.Id.Inode) + "\n";
        }
    }
    void EnteringDirectory(const std::string& dir, std::string_view name) override {
        Text += "E " + dir + std::string(name) + "\n";
    }
    void LeftDirectory() override { Text += "L\n"; }
    void Unread(const TUnreadDir& d) override {
        Text += "U " + d.Path + " " + std::to_string(d.Error) + (d.Partly ? " partly\n" : "\n");
    }
    void NotSearched(const std::string& path, TNotSearched why) override {
        Text += "N " + path + " " + std::to_string(static_cast<int>(why)) + "\n";
    }
};

std::string Walk(const std::string& base, TListingStore* store, const std::string& key = "*",
                 const TWalkOptions& options = {}, int threads = 1) {
    const TWildcard mask(key);
    TDirWalker walker(mask, threads);
    walker.SetOptions(options);
    walker.SetListingStore(store);
    TTranscript t;
    const TWalkStats s = walker.Walk(base, t);
    t.Text += "read " + std::to_string(s.DirectoriesRead) + " unread " + std::to_string(s.Unreadable()) +
              " loops " + std::to_string(s.LoopsAvoided) + " again " + std::to_string(s.ReachedAgain) + " " +
              std::to_string(s.FileLinksAgain) + " not searched " + std::to_string(s.NotSearched()) + "\n";
    return t.Text;
}

// A folder's write time set ahead of the clock (the status time cannot be
// set): the later of the two is what the store compares.
void SetFolderTime(const std::string& path, std::int64_t seconds) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// A clock far enough ahead of the real one for folder times set between
// them to be later than any status time the tests make.
constexpr std::int64_t kAhead = 86400;

struct TClock {
    std::int64_t Seconds = std::time(nullptr) + kAhead;
    void Use(TListingStore& store) {
        store.SetClock([this] { return TFileTime{Seconds, 0}; });
    }
};

} // namespace

// A tree changed at random between searches: each search with the store
// finds what a fresh walk does, to the byte. The test moves the write time
// of each folder it changes on, to a virtual moment that the store's clock
// follows, as a real clock would pass between the changes and the reads.
TEST(ListingStore, RandomChangesFindWhatAFreshWalkFinds) {
    // TAVOLIX_SEED=N repeats the run of a seed told by a failure.
    const char* given = std::getenv("TAVOLIX_SEED");
    const unsigned seed =
        given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    TTestDir T;
    TListingStore store("");
    TClock clock;
    clock.Use(store);
    std::int64_t moment = clock.Seconds - kAhead / 2;
    const auto pick = [&rng](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    std::vector<std::string> dirs, files, all;
    const auto scan = [&] {
        dirs = {T.Root()};
        files.clear();
        all.clear();
        std::error_code e;
        for (auto it =
                 fs::recursive_directory_iterator(T.Root(), fs::directory_options::skip_permission_denied, e);
             it != fs::recursive_directory_iterator(); it.increment(e)) {
            all.push_back(it->path());
            if (it->is_symlink())
                continue;
            (it->is_directory() ? dirs : files).push_back(it->path());
        }
    };
    std::vector<std::string> changed;
    const auto parentOf = [](const std::string& p) { return fs::path(p).parent_path().string(); };
    int serial = 0;
    const auto newName = [&] {
        static const char* kNames[] = {"a", "B.txt", ".dot", "c.tmp", "d", "e.TXT"};
        const int n = serial++;
        return std::string(kNames[n % 6]) + std::to_string(n);
    };
    scan();
    std::uint64_t hits = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        moment += 10;
        changed.clear();
        for (int op = 0, ops = 1 + static_cast<int>(pick(3)); op < ops; ++op) {
            const std::string dir = dirs[pick(dirs.size())];
            switch (pick(11)) {
            case 0: // a file
                std::ofstream(dir + "/" + newName()) << std::string(pick(3000), 'x');
                changed.push_back(dir);
                break;
            case 1: // a folder
                fs::create_directory(dir + "/" + newName());
                changed.push_back(dir);
                break;
            case 2: // a file or link removed
                if (!all.empty()) {
                    const std::string p = all[pick(all.size())];
                    if (!fs::is_directory(fs::symlink_status(p)) && fs::remove(p))
                        changed.push_back(parentOf(p));
                }
                break;
            case 3: // renamed, maybe into another folder
                if (!all.empty()) {
                    const std::string p = all[pick(all.size())];
                    const std::string to = dir + "/" + newName();
                    if (to.rfind(p + "/", 0) != 0 && ::rename(p.c_str(), to.c_str()) == 0) {
                        changed.push_back(parentOf(p));
                        changed.push_back(dir);
                    }
                }
                break;
            case 4: // grown in place: its folder does not change
                if (!files.empty())
                    std::ofstream(files[pick(files.size())], std::ios::app) << std::string(pick(2000), 'y');
                break;
            case 5: // touched
                if (!files.empty()) {
                    const struct timespec t[2] = {{0, UTIME_OMIT},
                                                  {static_cast<time_t>(pick(2000000000)), 0}};
                    utimensat(AT_FDCWD, files[pick(files.size())].c_str(), t, 0);
                }
                break;
            case 6: { // a link to a file, a folder, or nothing
                const std::string to = pick(3) == 0  ? T.Path("gone")
                                       : all.empty() ? dir
                                                     : all[pick(all.size())];
                if (::symlink(to.c_str(), (dir + "/" + newName()).c_str()) == 0)
                    changed.push_back(dir);
                break;
            }
            case 7: // a folder's permission taken away, or given back
                if (dir != T.Root())
                    ::chmod(dir.c_str(), pick(3) == 0 ? 0755 : pick(2) ? 0 : 0644);
                break;
            case 8: // a folder and all below it removed
                if (dir != T.Root()) {
                    std::error_code e;
                    fs::remove_all(dir, e);
                    changed.push_back(parentOf(dir));
                }
                break;
            case 9: // a file replaced by a folder of its name
                if (!files.empty()) {
                    const std::string p = files[pick(files.size())];
                    if (fs::remove(p) && fs::create_directory(p))
                        changed.push_back(parentOf(p));
                }
                break;
            default: // nothing changed: the store is used as it is
                break;
            }
            scan();
        }
        for (const std::string& d : changed)
            if (fs::exists(d))
                SetFolderTime(d, moment);
        // Now and then read just after the change: nothing may be kept then.
        clock.Seconds = moment + (pick(5) == 0 ? 1 : 5);
        TWalkOptions options;
        options.HiddenFolders = pick(2) == 0;
        if (pick(4) == 0)
            options.Exclude = {"d*"};
        if (pick(3) == 0) {
            options.Filter.MinSize = 1000;
            options.Filter.Prepare();
        }
        const std::string key = pick(2) ? "*" : "*.t*";
        const int threads = pick(2) ? 1 : 4;
        const std::uint64_t before = store.Counts().Hits;
        TWithoutDacOverride asUser;
        const std::string kept = Walk(T.Root(), &store, key, options, threads);
        const std::string fresh = Walk(T.Root(), nullptr, key, options, threads);
        ASSERT_EQ(kept, fresh);
        hits += store.Counts().Hits - before;
    }
    EXPECT_GT(hits, 200u); // the store was used, not only filled
}

// A file rewritten in place leaves its folder as it was: a size filter
// still sees the file's new size.
TEST(ListingStore, FileRewrittenInPlaceUnderASizeFilter) {
    TTestDir T;
    T.File("sub/big.bin", std::string(10, 'a'));
    TListingStore store("");
    TClock clock;
    clock.Use(store);
    TWalkOptions options;
    options.Filter.MinSize = 100;
    options.Filter.Prepare();
    EXPECT_EQ(Walk(T.Root(), &store, "*", options), Walk(T.Root(), nullptr, "*", options));
    std::ofstream(T.Path("sub/big.bin"), std::ios::trunc) << std::string(500, 'b');
    const std::string kept = Walk(T.Root(), &store, "*", options);
    EXPECT_EQ(kept, Walk(T.Root(), nullptr, "*", options));
    EXPECT_NE(kept.find("big.bin 0 500"), std::string::npos) << kept;
    EXPECT_EQ(store.Counts().Hits, 2u); // the base and sub, from the store
}

// A change in the second the folder was read gives it the same time again,
// as a coarse clock would: a listing read then is never used.
TEST(ListingStore, FolderChangedInTheSecondItWasRead) {
    TTestDir T;
    T.File("sub/one.txt");
    TListingStore store("");
    TClock clock;
    clock.Use(store);
    const std::int64_t t = clock.Seconds - 10;
    SetFolderTime(T.Path("sub"), t);
    clock.Seconds = t + 1;
    Walk(T.Root(), &store);
    T.File("sub/two.txt");
    SetFolderTime(T.Path("sub"), t);
    clock.Seconds = t + 60;
    const std::string kept = Walk(T.Root(), &store);
    EXPECT_EQ(kept, Walk(T.Root(), nullptr));
    EXPECT_NE(kept.find("two.txt"), std::string::npos) << kept;
    // Read later, it is kept and used.
    EXPECT_EQ(Walk(T.Root(), &store), kept);
    EXPECT_GE(store.Counts().Hits, 1u);
}

// Files that are not as the store writes them are refused, never trusted,
// and made anew by the next save.
TEST(ListingStore, HostileFilesAreRefusedAndMadeAnew) {
    TTestDir T, Cache;
    T.File("a/b/c.txt", "c");
    T.Symlink("a/link", "b");
    const std::string folder = Cache.Path("tavolix");
    TClock clock;
    std::string file, good;
    {
        TListingStore store(folder);
        clock.Use(store);
        Walk(T.Root(), &store);
        ASSERT_FALSE(store.Save());
        struct stat st;
        ASSERT_EQ(stat(T.Root().c_str(), &st), 0);
        file = store.FileOf(st.st_dev);
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        std::ifstream in(file, std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string fresh = Walk(T.Root(), nullptr);
    const auto write = [&](const std::string& bytes) {
        fs::remove(file);
        std::ofstream(file, std::ios::binary) << bytes;
        ::chmod(file.c_str(), 0600);
    };
    // The untouched file is used.
    {
        TListingStore store(folder);
        clock.Use(store);
        EXPECT_EQ(Walk(T.Root(), &store), fresh);
        EXPECT_EQ(store.Counts().Hits, 3u);
        EXPECT_EQ(store.Counts().Refused, 0u);
    }
    std::vector<std::pair<std::string, std::function<void()>>> harms = {
        {"cut short", [&] { write(good.substr(0, good.size() - 3)); }},
        {"a byte changed", [&] { write(std::string(good).replace(good.size() - 2, 1, "/")); }},
        {"a count raised", [&] { write(std::string(good).replace(40, 1, "\x7f")); }},
        {"grown", [&] { write(good + "x"); }},
        {"writable by others",
         [&] {
             write(good);
             ::chmod(file.c_str(), 0666);
         }},
        {"another owner's",
         [&] {
             write(good);
             ASSERT_EQ(::chown(file.c_str(), 1, 1), 0);
         }},
        {"a link",
         [&] {
             write(good);
             fs::rename(file, file + ".x");
             fs::create_symlink(file + ".x", file);
         }},
    };
    for (auto& [what, harm] : harms) {
        SCOPED_TRACE(what);
        harm();
        {
            TListingStore store(folder);
            clock.Use(store);
            EXPECT_EQ(Walk(T.Root(), &store), fresh);
            EXPECT_EQ(store.Counts().Hits, 0u);
            EXPECT_EQ(store.Counts().Refused, 1u);
            EXPECT_FALSE(store.Save());
        }
        TListingStore again(folder);
        clock.Use(again);
        EXPECT_EQ(Walk(T.Root(), &again), fresh);
        EXPECT_EQ(again.Counts().Hits, 3u);
        fs::remove(file + ".x");
    }
    // Every shorter piece of a sound file is refused whole.
    struct stat st;
    ASSERT_EQ(stat(T.Root().c_str(), &st), 0);
    TListingStore probe("");
    std::uint64_t id = 0;
    std::memcpy(&id, good.data() + 24, sizeof id);
    EXPECT_TRUE(probe.LoadBytes(st.st_dev, id, good));
    EXPECT_EQ(probe.Counts().Bytes + 64, good.size()); // counted as the file holds it
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(probe.LoadBytes(st.st_dev, id, std::string_view(good).substr(0, n))) << n;
    EXPECT_FALSE(probe.LoadBytes(st.st_dev + 1, id, good));
}

// All the files together stay within the limit: the least recently
// written go first, the one just written stays.
TEST(ListingStore, FilesBeyondTheLimitGoLeastRecentlyWrittenFirst) {
    TTestDir T, Cache;
    T.File("a/x.txt");
    const std::string folder = Cache.Path("tavolix");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const auto& [name, when] : {std::pair{"dev-1.listings", 1000}, {"dev-2.listings", 2000}}) {
        std::ofstream(folder + "/" + name) << std::string(3000, 'x');
        const struct timespec t[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/" + name).c_str(), t, 0), 0);
    }
    TListingStore store(folder, 5000);
    TClock clock;
    clock.Use(store);
    Walk(T.Root(), &store);
    ASSERT_FALSE(store.Save());
    struct stat st;
    ASSERT_EQ(stat(T.Root().c_str(), &st), 0);
    EXPECT_TRUE(fs::exists(store.FileOf(st.st_dev)));
    EXPECT_FALSE(fs::exists(folder + "/dev-1.listings"));
    EXPECT_TRUE(fs::exists(folder + "/dev-2.listings"));
}
