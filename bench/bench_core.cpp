// Sorting and text forms over a million synthetic records, and the memory a
// record costs.
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

std::string RandomName(std::mt19937_64& rng) {
    static const char* kSyl[] = {"ka", "To", "ri", "mo", "NA", "shi", "ze", "pu", "lo", "van", "ix", "ed", "_", "0"};
    static const char* kExt[] = {".gif", ".jpg", ".png", ".txt", ".html", ".c", ".h", "", ".JPEG", ".tar.gz"};
    std::string s;
    for (int i = 1 + static_cast<int>(rng() % 5); i > 0; --i)
        s += kSyl[rng() % 14];
    s += std::to_string(rng() % 1000);
    return s + kExt[rng() % 10];
}

// A list filled as a walk would fill it: directories of about nine files.
std::unique_ptr<TFileInfoList> MakeList(std::size_t n, std::uint64_t seed) {
    auto list = std::make_unique<TFileInfoList>();
    std::mt19937_64 rng(seed);
    const std::string* dir = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 9 == 0)
            dir = list->ShareDir("/home/user/data/" + RandomName(rng) + "/" + std::to_string(i / 9) + "/");
        list->AddFile(dir, RandomName(rng), static_cast<std::int64_t>(rng() % 5000000),
                      static_cast<std::int32_t>(0x20000000 + rng() % 0x1FFFFFFF), 0);
    }
    return list;
}

TFileInfoList& Shared() {
    static auto list = MakeList(kRecords, 42);
    return *list;
}

void BM_Sort(benchmark::State& state) {
    const auto order = static_cast<TSortOrder>(state.range(0));
    const std::vector<TFileInfo*> walkOrder = Shared().Items();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<TFileInfo*> items = walkOrder;
        state.ResumeTiming();
        SortFileInfos(items, order);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetLabel(SortOrderName(order));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
}
BENCHMARK(BM_Sort)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(3);

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
