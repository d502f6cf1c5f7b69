#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <string_view>

// Seconds since the epoch of a local date and time (the test's time zone).
std::time_t LocalEpoch(int year, int month, int day, int hour, int minute, int second = 0);

// The names in a directory, "." and ".." left out.
std::set<std::string> EntryNames(const std::string& dir);

// A temporary directory tree for tests, removed again (permissions restored
// first) when the object goes. Paths are relative to Root() and use "/".
class TTestDir {
public:
    TTestDir();
    // Made in `parent` rather than $TMPDIR.
    explicit TTestDir(const std::string& parent);
    ~TTestDir();
    TTestDir(const TTestDir&) = delete;
    TTestDir& operator=(const TTestDir&) = delete;

    const std::string& Root() const { return FRoot; }
    // Root() + "/" + rel
    std::string Path(std::string_view rel) const;

    // Creates the file (and its parent directories) with the given bytes.
    void File(std::string_view rel, std::string_view contents = {});
    // A sparse file of the given size.
    void SparseFile(std::string_view rel, std::int64_t size);
    void Dir(std::string_view rel);
    void Symlink(std::string_view rel, std::string_view target);
    // Last-write time in seconds since the epoch (UTC).
    void SetTime(std::string_view rel, std::time_t when);
    void Chmod(std::string_view rel, unsigned mode);
    // A folder the walk takes minutes over, made in no time: it and each of
    // its `levels` below hold `file` (when given) and two links to the next
    // level, so a walk that follows every link again
    // (TWalkOptions::WalkLinkedFoldersAgain) meets 2^levels folders.
    void Ladder(std::string_view rel, int levels, std::string_view file = {});

private:
    std::string FRoot;
};

// While alive, the calling thread runs without the capabilities that let root
// ignore file permissions, so permission tests behave as for a normal user.
class TWithoutDacOverride {
public:
    TWithoutDacOverride();
    ~TWithoutDacOverride();
    TWithoutDacOverride(const TWithoutDacOverride&) = delete;
    TWithoutDacOverride& operator=(const TWithoutDacOverride&) = delete;

private:
    bool FDropped = false;
    unsigned FSaved[2] = {0, 0};
};

// Runs `body` in a forked child and returns what it returns (0 for success),
// or -1 when the child died or outlived `seconds`. With a `fileSizeLimit`
// the child's files can't grow past that many bytes: a write beyond fails
// with EFBIG (SIGXFSZ ignored), as on a full disk. The child leaves by
// _exit, so nothing of the test's state is torn down twice.
int RunInChild(const std::function<int()>& body, std::uint64_t fileSizeLimit = 0, unsigned seconds = 60);
