#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

// Work on a thread that may never end: a call stuck in the kernel on a share
// that stopped answering must not hold its caller. Such a thread is left
// behind: detached, never joined, and counted until it ends, so that a
// process ending with some can leave without running its exit handlers
// under them.
namespace tavolix::platform {

// Threads of the whole process that were left behind and have not ended.
int ThreadsLeftBehind();

// The threads of one kind left behind that have not ended; each of them
// counts in ThreadsLeftBehind() too.
class TLeftBehindCount {
public:
    constexpr TLeftBehindCount() = default;
    TLeftBehindCount(const TLeftBehindCount&) = delete;
    TLeftBehindCount& operator=(const TLeftBehindCount&) = delete;
    int Value() const { return FCount.load(); }

private:
    friend class TLeftBehindCounting;
    std::atomic<int> FCount{0};
};

// Runs `work` on a thread that is left behind from its start: it counts
// (and in `kind`, when given) until it ends. False when no thread could be
// started; `work` then never runs.
[[nodiscard]] bool StartLeftBehind(std::function<void()> work, TLeftBehindCount* kind = nullptr);

// Owns one thread that may never end: joined once it has ended, else left
// behind (counted, and in `kind`, until it ends). Its end happens before
// Ended() or WaitFor() say true: what `work` wrote can then be read.
class TLeavableThread {
public:
    TLeavableThread() = default; // no thread: it counts as ended
    // Starts `work` at once; throws std::system_error when no thread could be started.
    explicit TLeavableThread(std::function<void()> work, TLeftBehindCount* kind = nullptr);
    // Leave().
    ~TLeavableThread();
    TLeavableThread(TLeavableThread&&) noexcept = default;
    TLeavableThread& operator=(TLeavableThread&& other) noexcept;

    bool Ended() const;
    // Waits up to `timeout` for the end; true once it has ended.
    bool WaitFor(std::chrono::milliseconds timeout) const;
    // Joined when it has ended, else left behind; true when left behind now.
    bool Leave();
    // For a thread whose work has told it is ending: waits for its end.
    void Join();

private:
    struct TState;
    std::shared_ptr<TState> F;
    std::thread FThread;
};

// Runs `work` on a thread of its own and waits up to `timeout`: its result,
// or nothing when it has not ended by then (the thread is left behind) or no
// thread could be started.
template <class T> std::optional<T> RunWithin(std::chrono::milliseconds timeout, std::function<T()> work) {
    auto result = std::make_shared<std::optional<T>>();
    TLeavableThread thread;
    try {
        thread = TLeavableThread([result, work = std::move(work)] { result->emplace(work()); });
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    if (!thread.WaitFor(timeout))
        return std::nullopt;
    return std::move(*result);
}

} // namespace tavolix::platform
