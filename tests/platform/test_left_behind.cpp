#include "platform/LeftBehind.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using namespace tavolix::platform;
using namespace std::chrono_literals;

namespace {

template <class F> bool Eventually(F&& done) {
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(2ms);
    return done();
}

} // namespace

// Work held until the test lets it go (a call stuck in the kernel) is left
// behind by each way of running it and counted until it ends; work that
// ends gives its result, and an ended thread is joined, not counted.
TEST(LeftBehind, WorkThatDoesNotEndIsLeftBehindAndCountedUntilItEnds) {
    static TLeftBehindCount kind; // outlives the threads that count in it
    std::promise<void> release;
    const std::shared_future<void> gate = release.get_future().share();
    const int before = ThreadsLeftBehind();

    EXPECT_EQ(RunWithin<int>(60s, [] { return 42; }), std::optional<int>(42));
    TLeavableThread ended([] {}, &kind);
    ASSERT_TRUE(ended.WaitFor(60s));
    EXPECT_FALSE(ended.Leave());
    EXPECT_EQ(ThreadsLeftBehind(), before);

    EXPECT_EQ(RunWithin<int>(10ms,
                             [gate] {
                                 gate.wait();
                                 return 1;
                             }),
              std::nullopt);
    {
        TLeavableThread held([gate] { gate.wait(); }, &kind);
        EXPECT_FALSE(held.WaitFor(10ms));
        EXPECT_FALSE(held.Ended());
    } // left behind by its end
    ASSERT_TRUE(StartLeftBehind([gate] { gate.wait(); }, &kind));
    EXPECT_EQ(ThreadsLeftBehind(), before + 3);
    EXPECT_EQ(kind.Value(), 2);

    release.set_value();
    EXPECT_TRUE(Eventually([&] { return ThreadsLeftBehind() == before && kind.Value() == 0; }))
        << ThreadsLeftBehind() - before << " " << kind.Value();
}
