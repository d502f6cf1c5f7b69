#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Holds the threads that pass it until it opens, as a share whose server
// stopped answering holds its callers. Share it (std::shared_ptr) with the
// threads: one may still be leaving Pass when the test ends. Passing gives
// up after a minute, so a fault shows as a failed check, not a hung test.
class TGate {
public:
    void Open() {
        std::lock_guard<std::mutex> hold(FLock);
        FOpen = true;
        FOpened.notify_all();
    }
    void Close() {
        std::lock_guard<std::mutex> hold(FLock);
        FOpen = false;
    }
    // True when the gate opened, false when waiting gave up.
    bool Pass() {
        std::unique_lock<std::mutex> hold(FLock);
        ++FWaiting;
        const bool opened = FOpened.wait_for(hold, std::chrono::minutes(1), [this] { return FOpen; });
        --FWaiting;
        return opened;
    }
    int Waiting() {
        std::lock_guard<std::mutex> hold(FLock);
        return FWaiting;
    }

private:
    std::mutex FLock;
    std::condition_variable FOpened;
    bool FOpen = false;
    int FWaiting = 0;
};
