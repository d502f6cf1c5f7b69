#include "Gate.h"
#include "dirtree/DirReader.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>

using namespace tavolix;
using dirtree::TDirReader;
using dirtree::TReadClock;

namespace {

// "/dead" hangs at the gate; every other folder holds one entry named after it.
dirtree::TDirLister GatedLister(std::shared_ptr<TGate> gate, std::shared_ptr<std::atomic<int>> returned) {
    return [gate, returned](const std::string& dir, std::vector<platform::TFindData>& out) {
        if (dir == "/dead")
            gate->Pass();
        out.push_back({dir.substr(1), platform::faDirectory, 0, {}});
        ++*returned;
        return true;
    };
}

TEST(DirReader, AListingStuckInTheKernelHoldsNeitherTheQueueNorTheOwner) {
    auto gate = std::make_shared<TGate>();
    auto returned = std::make_shared<std::atomic<int>>(0);
    {
        // One listing at a time: the next waits until the stuck one counts as stuck.
        TDirReader reader(GatedLister(gate, returned), 1, std::chrono::milliseconds(30));
        auto dead = reader.Submit("/dead");
        auto next = reader.Submit("/next");
        EXPECT_EQ(reader.Submit("/dead"), dead) << "asked again, it waits on the same thread";
        const auto giveUp = TReadClock::now() + std::chrono::seconds(20);
        while (!reader.WaitFor({next}, TReadClock::now() + std::chrono::milliseconds(20)) &&
               TReadClock::now() < giveUp)
            reader.Pump();
        ASSERT_TRUE(reader.IsDone(*next));
        EXPECT_TRUE(next->Ok);
        EXPECT_EQ(next->Entries.at(0).Name, "next");
        EXPECT_FALSE(reader.IsDone(*dead));
        EXPECT_EQ(gate->Waiting(), 1);
    } // the reader goes without waiting for its stuck thread
    EXPECT_EQ(gate->Waiting(), 1);
    EXPECT_EQ(*returned, 1);
    gate->Open();
}

} // namespace
