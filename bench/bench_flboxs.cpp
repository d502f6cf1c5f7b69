// Filling the result list box with a million records: the item list, the
// model reset and the first layout, and the heap an item costs.
#include "SyntheticRecords.h"
#include "hitview/FLBoxS.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>
#include <random>

#include <QCoreApplication>

using namespace tavolix::search;
using namespace tavolix::hitview;

namespace {

constexpr int kRecords = 1000000;

// Records as a walk would leave them, a few hidden ones, sorted by name.
std::unique_ptr<TFileItemList> MakeItems(int n) {
    auto items = std::make_unique<TFileItemList>();
    tavolix::bench::AddSyntheticRecords(items->Files(), static_cast<std::size_t>(n), 7, true);
    items->Files().SortFiles();
    return items;
}

std::size_t HeapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

void LayOut(TFileListBoxS& box) {
    box.doItemsLayout();
    QCoreApplication::processEvents();
}

// A new list box over a million records: its fill (the item list and the
// model), showing it and the first layout. The heap it adds, per item.
void BM_FirstFill(benchmark::State& state) {
    double bytesPerItem = 0, fillBytesPerItem = 0;
    int items = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto records = MakeItems(kRecords);
        malloc_trim(0);
        const std::size_t before = HeapInUse();
        state.ResumeTiming();

        auto box = std::make_unique<TFileListBoxS>(nullptr, std::move(records));
        state.PauseTiming();
        fillBytesPerItem = static_cast<double>(HeapInUse() - before) / box->Items().Count();
        state.ResumeTiming();
        box->resize(900, 600);
        box->SetColumns(3);
        box->show();
        LayOut(*box);

        state.PauseTiming();
        items = box->Items().Count();
        const std::size_t recordBytes = box->FileItems().Files().MemoryUsed();
        bytesPerItem = static_cast<double>(HeapInUse() - before) / items;
        state.counters["record_bytes_per_file"] = static_cast<double>(recordBytes) / kRecords;
        box.reset();
        state.ResumeTiming();
    }
    state.counters["items"] = items;
    state.counters["added_bytes_per_item"] = bytesPerItem;
    state.counters["fill_bytes_per_item"] = fillBytesPerItem;
}
BENCHMARK(BM_FirstFill)->Unit(benchmark::kMillisecond)->Iterations(3);

TFileListBoxS& SharedBox() {
    static TFileListBoxS* box = [] {
        auto* b = new TFileListBoxS(nullptr, MakeItems(kRecords));
        b->resize(900, 600);
        b->SetColumns(3);
        b->show();
        LayOut(*b);
        return b;
    }();
    return *box;
}

// A refill of a shown list box (what a change of direction or filter costs).
void BM_Refill(benchmark::State& state) {
    TFileListBoxS& box = SharedBox();
    bool hidden = false;
    for (auto _ : state) {
        box.SetShowHiddenSysFile(hidden);
        hidden = !hidden;
        LayOut(box);
        benchmark::DoNotOptimize(box.TopIndex());
    }
    state.counters["items"] = box.Items().Count();
}
BENCHMARK(BM_Refill)->Unit(benchmark::kMillisecond);

// A header click on a shown list box: a new sort order (the sort of a
// million records), the refill and the layout.
void BM_Resort(benchmark::State& state) {
    TFileListBoxS& box = SharedBox();
    const TSortOrder orders[] = {TSortOrder::soSize, TSortOrder::soName, TSortOrder::soTime,
                                 TSortOrder::soExt};
    std::size_t i = 0;
    for (auto _ : state) {
        box.SetSortOrder(orders[i++ % 4]);
        LayOut(box);
        benchmark::DoNotOptimize(box.TopIndex());
    }
}
BENCHMARK(BM_Resort)->Unit(benchmark::kMillisecond)->Iterations(4);

// Painting one screen of items after a scroll into the middle of the list.
void BM_PaintScreen(benchmark::State& state) {
    TFileListBoxS& box = SharedBox();
    box.SetTopIndex(box.Items().Count() / 2);
    for (auto _ : state) {
        QPixmap shot = box.grab();
        benchmark::DoNotOptimize(shot.cacheKey());
    }
}
BENCHMARK(BM_PaintScreen)->Unit(benchmark::kMillisecond);

} // namespace
