#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace tavolix::test {

// A FUSE file system whose folders can stop answering, as a hard-mounted
// share whose server died (tests/support/stall_fs.py, python3-fuse).
// Under Root():
//   ok/            a.gif, b.txt, sub/c.gif: answers like any folder
//   dead/          stat and opendir answer; reading its entries never returns
//   deadfile.bmp   stat answers (1000 bytes); open never returns
//   hang/stuck/    hang/ lists stuck, but stat of hang/stuck never returns
//   slow/          SlowEntries files f00000.gif ...; each stat takes SlowDelayUs
// A call that never returns blocks in the kernel, beyond any signal but
// SIGKILL, until Release() or the end of the object.
class TStallFs {
public:
    struct TOptions {
        int SlowEntries = 20000;
        int SlowDelayUs = 1000;
    };
    explicit TStallFs(TOptions options);
    TStallFs() : TStallFs(TOptions{}) {}
    // Kills the server, so that every pending call fails, and detaches the mount.
    ~TStallFs();
    TStallFs(const TStallFs&) = delete;
    TStallFs& operator=(const TStallFs&) = delete;

    // False when /dev/fuse is missing or mounting failed.
    bool Mounted() const { return FMounted; }
    // Not mounted because this machine has no FUSE: a test may skip. Any
    // other failure to mount is a broken setup, and a test fails on it.
    bool NoFuseHere() const { return FNoFuse; }
    // Why it is not mounted, for GTEST_SKIP() << Why().
    const std::string& Why() const { return FWhy; }
    // The mount point, without a trailing slash.
    const std::string& Root() const { return FRoot; }
    // Every blocked call, and every later one, fails with EIO.
    void Release();

private:
    void Unmount();

    std::string FRoot;
    std::string FLog;
    std::string FWhy;
    pid_t FServer = -1;
    bool FMounted = false;
    bool FNoFuse = false;
};

// Lets a share that stopped answering go after `patience`, unless ended
// first: a call that waits on it then fails, instead of holding the test.
class TLetGoLater {
public:
    TLetGoLater(TStallFs& fs, std::chrono::seconds patience)
        : FThread([this, &fs, patience] {
              std::unique_lock hold(FLock);
              if (!FEnded.wait_for(hold, patience, [this] { return FDone; })) {
                  FLetGo = true;
                  fs.Release();
              }
          }) {}
    ~TLetGoLater() { End(); }
    TLetGoLater(const TLetGoLater&) = delete;
    TLetGoLater& operator=(const TLetGoLater&) = delete;
    // True when the share had to be let go.
    bool End() {
        {
            std::lock_guard hold(FLock);
            FDone = true;
        }
        FEnded.notify_all();
        if (FThread.joinable())
            FThread.join();
        return FLetGo;
    }

private:
    std::mutex FLock;
    std::condition_variable FEnded;
    bool FDone = false, FLetGo = false;
    std::thread FThread;
};

} // namespace tavolix::test

// Mounts `var` or ends the test: skipped where the machine has no FUSE,
// failed where it has one and mounting failed.
#define TAVOLIX_MOUNT_STALL_FS(var, ...)                                                                     \
    ::tavolix::test::TStallFs var{__VA_ARGS__};                                                              \
    if (!var.Mounted()) {                                                                                    \
        if (var.NoFuseHere())                                                                                \
            GTEST_SKIP() << var.Why();                                                                       \
        FAIL() << var.Why();                                                                                 \
    }
