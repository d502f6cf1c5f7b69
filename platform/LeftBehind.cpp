#include "platform/LeftBehind.h"

#include <condition_variable>
#include <mutex>

namespace tavolix::platform {

namespace {
std::atomic<int> gLeftBehind{0};
} // namespace

class TLeftBehindCounting {
public:
    static void Add(TLeftBehindCount* kind, int by) {
        gLeftBehind.fetch_add(by);
        if (kind)
            kind->FCount.fetch_add(by);
    }
};

int ThreadsLeftBehind() {
    return gLeftBehind.load();
}

bool StartLeftBehind(std::function<void()> work, TLeftBehindCount* kind) {
    TLeftBehindCounting::Add(kind, 1);
    try {
        std::thread([work = std::move(work), kind]() mutable {
            work();
            work = nullptr; // what it holds goes before it stops counting
            TLeftBehindCounting::Add(kind, -1);
        }).detach();
    } catch (const std::system_error&) {
        TLeftBehindCounting::Add(kind, -1);
        return false;
    }
    return true;
}

struct TLeavableThread::TState {
    mutable std::mutex Lock;
    mutable std::condition_variable EndSeen;
    bool Ended = false;
    bool Left = false;
    TLeftBehindCount* Kind = nullptr;
};

TLeavableThread::TLeavableThread(std::function<void()> work, TLeftBehindCount* kind)
    : F(std::make_shared<TState>()) {
    F->Kind = kind;
    FThread = std::thread([state = F, work = std::move(work)]() mutable {
        work();
        work = nullptr;
        bool left = false;
        {
            std::lock_guard hold(state->Lock);
            state->Ended = true;
            left = state->Left;
            state->EndSeen.notify_all();
        }
        // Left behind, it is the last to hold the state.
        TLeftBehindCount* const kind = state->Kind;
        state.reset();
        if (left)
            TLeftBehindCounting::Add(kind, -1);
    });
}

TLeavableThread::~TLeavableThread() {
    Leave();
}

TLeavableThread& TLeavableThread::operator=(TLeavableThread&& other) noexcept {
    if (this != &other) {
        Leave();
        F = std::move(other.F);
        FThread = std::move(other.FThread);
    }
    return *this;
}

bool TLeavableThread::Ended() const {
    if (!FThread.joinable())
        return true;
    std::lock_guard hold(F->Lock);
    return F->Ended;
}

bool TLeavableThread::WaitFor(std::chrono::milliseconds timeout) const {
    if (!FThread.joinable())
        return true;
    std::unique_lock hold(F->Lock);
    return F->EndSeen.wait_for(hold, timeout, [this] { return F->Ended; });
}

bool TLeavableThread::Leave() {
    if (!FThread.joinable())
        return false;
    bool left = false;
    {
        std::lock_guard hold(F->Lock);
        if (!F->Ended) {
            F->Left = true;
            TLeftBehindCounting::Add(F->Kind, 1);
            left = true;
        }
    }
    if (left)
        FThread.detach();
    else
        FThread.join();
    F.reset();
    return left;
}

void TLeavableThread::Join() {
    if (FThread.joinable())
        FThread.join();
    F.reset();
}

} // namespace tavolix::platform
