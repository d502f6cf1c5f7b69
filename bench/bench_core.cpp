// Sorting and text forms over a million synthetic records (sorting also over
// ten million), and the memory a record costs.
#include "SyntheticRecords.h"
#include "search/FieldText.h"
#include "search/FileInfo.h"
#include "search/FileSort.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>
#include <random>

using namespace tavolix::search;

namespace {

constexpr std::size_t kRecords = 1000000;

std::unique_ptr<TFileInfoList> MakeList(std::size_t n, std::uint64_t seed) {
    auto list = std::make_unique<TFileInfoList>();
    tavolix::bench::AddSyntheticRecords(*list, n, seed);
    return list;
}

TFileInfoList& Shared() {
    static auto list = MakeList(kRecords, 42);
    return *list;
}

// Arguments: the order, and the threads (1, or 0 for one per core).
void BM_Sort(benchmark::State& state) {
    const auto order = static_cast<TSortOrder>(state.range(0));
    const auto threads = static_cast<int>(state.range(1));
    const std::vector<TFileInfo*> walkOrder = Shared().Items();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TFileInfo*> items = walkOrder;
        state.ResumeTiming();
        SortFileInfos(items, order, threads);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetLabel(std::string(SortOrderName(order)) + (threads == 1 ? " 1 thread" : " all cores"));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
}
BENCHMARK(BM_Sort)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

TFileInfoList& Shared10M() {
    static auto list = MakeList(10 * kRecords, 42);
    return *list;
}

// Ten million records on all cores. Arguments: the order, and where the
// items start: 0 in walk order, 1 sorted by name (a click on a column title
// after the first sort).
void BM_Sort10M(benchmark::State& state) {
    const auto order = static_cast<TSortOrder>(state.range(0));
    const bool fromName = state.range(1) != 0;
    std::vector<TFileInfo*> start = Shared10M().Items();
    if (fromName)
        SortFileInfos(start, TSortOrder::soName, 0);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TFileInfo*> items = start;
        state.ResumeTiming();
        SortFileInfos(items, order, 0);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetLabel(std::string(SortOrderName(order)) + (fromName ? " from name order" : " from walk order"));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 10 * kRecords));
}
BENCHMARK(BM_Sort10M)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_FileDateToText(benchmark::State& state) {
    const auto& items = Shared().Items();
    std::size_t i = 0;
    for (auto _ : state) {
        auto s = FileDateToText(items[i++ % items.size()]->Time);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_FileDateToText);

void BM_SizeToText(benchmark::State& state) {
    const auto& items = Shared().Items();
    std::size_t i = 0;
    for (auto _ : state) {
        auto s = SizeToText(items[i++ % items.size()]->Size);
        benchmark::DoNotOptimize(s.data());
    }
}
BENCHMARK(BM_SizeToText);

// Heap bytes per record, names and directory texts included, as malloc sees them.
void BM_MemoryPerHit(benchmark::State& state) {
    double perHit = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto list = MakeList(kRecords, 7);
        const std::size_t after = mallinfo2().uordblks;
        perHit = static_cast<double>(after - before) / kRecords;
        benchmark::DoNotOptimize(list.get());
    }
    state.counters["bytes_per_hit"] = perHit;
}
BENCHMARK(BM_MemoryPerHit)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
