// A warm walk of a tree against one that goes over listings kept from an
// earlier walk, and what keeping them costs a walk. The tree is
// $TAVOLIX_TREE (made by gen_tree; default /tmp/tavolix-tree), walked for
// "*.gif" (few files looked at) and for "*" (every file looked at).
#include "search/DirWalker.h"
#include "search/ListingStore.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/stat.h>

using namespace tavolix::search;

namespace {

std::string Tree() {
    const char* tree = std::getenv("TAVOLIX_TREE");
    return tree ? tree : "/tmp/tavolix-tree";
}

struct TCount final : TWalkVisitor {
    std::size_t Files = 0;
    void DirectoryRead(const std::string&, const tavolix::platform::TDirContents& c) override {
        Files += c.FileCount();
    }
    void EnteringDirectory(const std::string&, std::string_view) override {}
    void LeftDirectory() override {}
};

const char* const kKeys[] = {"*.gif", "*"};

std::size_t WalkOnce(TListingStore* store, const char* key, int threads) {
    const tavolix::platform::TWildcard mask(key);
    TDirWalker walker(mask, threads);
    walker.SetListingStore(store);
    TCount count;
    walker.Walk(Tree(), count);
    return count.Files;
}

// The clock a day ahead, so that a tree just made is kept too.
void Ahead(TListingStore& store) {
    store.SetClock([] { return tavolix::platform::TFileTime{std::time(nullptr) + 86400, 0}; });
}

bool HaveTree(benchmark::State& state) {
    struct stat st;
    if (stat(Tree().c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    state.SkipWithError("no tree: make one with gen_tree, or set TAVOLIX_TREE");
    return false;
}

// Arguments: the key (0 "*.gif", 1 "*"), the threads (1, or 0 for the default).
int ThreadsOf(const benchmark::State& state) {
    return state.range(1) == 0 ? DefaultWalkThreads() : static_cast<int>(state.range(1));
}

void BM_WarmWalk(benchmark::State& state) {
    if (!HaveTree(state))
        return;
    const char* key = kKeys[state.range(0)];
    WalkOnce(nullptr, key, ThreadsOf(state)); // warms the kernel's caches
    for (auto _ : state)
        benchmark::DoNotOptimize(WalkOnce(nullptr, key, ThreadsOf(state)));
    state.SetLabel(std::string(key) + " no store");
}

void BM_FromStore(benchmark::State& state) {
    if (!HaveTree(state))
        return;
    const char* key = kKeys[state.range(0)];
    const std::size_t heapBefore = mallinfo2().uordblks;
    TListingStore store("");
    Ahead(store);
    WalkOnce(&store, key, ThreadsOf(state));
    malloc_trim(0);
    const double heap = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heapBefore);
    for (auto _ : state)
        benchmark::DoNotOptimize(WalkOnce(&store, key, ThreadsOf(state)));
    const TListingStore::TCounts c = store.Counts();
    state.counters["folders"] = static_cast<double>(c.Folders);
    state.counters["entries"] = static_cast<double>(c.Entries);
    state.counters["bytes/entry"] =
        c.Entries ? static_cast<double>(c.Bytes) / static_cast<double>(c.Entries) : 0;
    // The heap the filled store holds (its index of folders too), an entry.
    state.counters["heap/entry"] = c.Entries ? heap / static_cast<double>(c.Entries) : 0;
    state.counters["file MB"] = static_cast<double>(c.Bytes + 64) / 1e6;
    state.SetLabel(std::string(key) + " from the store");
}

// Every folder read and kept into an empty store.
void BM_Keeping(benchmark::State& state) {
    if (!HaveTree(state))
        return;
    const char* key = kKeys[state.range(0)];
    WalkOnce(nullptr, key, ThreadsOf(state));
    for (auto _ : state) {
        auto store = std::make_unique<TListingStore>("");
        Ahead(*store);
        benchmark::DoNotOptimize(WalkOnce(store.get(), key, ThreadsOf(state)));
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.SetLabel(std::string(key) + " keeping");
}

} // namespace

BENCHMARK(BM_WarmWalk)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FromStore)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Keeping)->ArgsProduct({{0, 1}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
