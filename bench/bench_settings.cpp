// The settings file and the page: registering a page, listing the ring of a
// big settings file, writing a page of 100,000 hits. Files go to $TMPDIR.
#include "pages/PageWriter.h"
#include "platform/AtomicFile.h"
#include "settings/SavedPages.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace tavolix;

namespace {

std::string Scratch() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavolix-bench-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return dir;
}

settings::TSavedPageFields Record(int n) {
    const std::string s = std::to_string(n);
    return {"/home/u/web/page" + s + ".html", "/home/u/pics/" + s + "/", "*.gif", s, s + ",000",
            "2026/12/08 12:00:0" + s};
}

settings::TSavedPages Loaded(const std::string& file) {
    settings::TSavedPages ring(file);
    (void)ring.Load();
    return ring;
}

void BM_RegisterPage(benchmark::State& state) {
    const std::string file = Scratch() + "/register.INI";
    settings::TSavedPages ring = Loaded(file);
    for (int n = 1; n <= 10; ++n)
        (void)ring.Register(Record(n), {});
    int n = 0;
    for (auto _ : state)
        if (ring.Register(Record(++n), {}))
            state.SkipWithError("registration failed");
}
BENCHMARK(BM_RegisterPage)->Unit(benchmark::kMillisecond);

// About 4 MB of other sections ahead of a full ring.
std::string BigSettingsFile() {
    const std::string file = Scratch() + "/big.INI";
    std::string text;
    for (int i = 0; text.size() < (4u << 20); ++i)
        text += "[Other" + std::to_string(i) + "]\nName=" + std::string(40, 'x') +
                "\nValue=" + std::to_string(i) + "\n";
    text += "[TAVOLIX]\nChildBaseNO=4\n";
    for (int slot = 1; slot <= 10; ++slot) {
        const auto r = Record(slot);
        text += "[NO" + std::to_string(slot) + "]\n";
        for (int key = 1; key <= 6; ++key)
            text += std::to_string(key) + "=" + r[key - 1] + "\n";
    }
    if (platform::WriteFileAtomic(file, text))
        std::abort();
    return file;
}

void BM_ListRingOfBigFile(benchmark::State& state) {
    static const std::string file = BigSettingsFile();
    for (auto _ : state) {
        settings::TSavedPages ring = Loaded(file);
        auto items = ring.MenuItems();
        benchmark::DoNotOptimize(items.data());
    }
}
BENCHMARK(BM_ListRingOfBigFile)->Unit(benchmark::kMillisecond);

pages::TPageInput HundredThousandHits() {
    pages::TPageInput in;
    in.PageFileName = Scratch() + "/pages/index.html";
    in.BaseDir = Scratch();
    in.Key = "*.*";
    in.SortOrderName = "Name";
    in.SortDirectionName = "Upword";
    in.CreationText = "2026/12/08 12:00:00";
    for (int i = 0; i < 100000; ++i) {
        const std::string dir = Scratch() + (i % 3 ? "/pics/" : "/pages/sub/") + std::to_string(i / 9) + "/";
        in.Items.push_back({dir + "file #" + std::to_string(i) + (i % 2 ? ".gif" : ".txt"),
                            std::to_string(i % 50000), "26/12/08"});
    }
    return in;
}

void BM_PageText100k(benchmark::State& state) {
    static const pages::TPageInput in = HundredThousandHits();
    for (auto _ : state) {
        std::string page = pages::PageText(in);
        benchmark::DoNotOptimize(page.data());
    }
}
BENCHMARK(BM_PageText100k)->Unit(benchmark::kMillisecond);

void BM_WritePage100k(benchmark::State& state) {
    static const pages::TPageInput in = HundredThousandHits();
    (void)platform::MakeParentDirectories(in.PageFileName);
    for (auto _ : state)
        if (pages::WritePage(in))
            state.SkipWithError("page write failed");
}
BENCHMARK(BM_WritePage100k)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
