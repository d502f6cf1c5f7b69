// The page with thumbnails against the picture helper's own work:
//   bench_page DIR [OUT]   the helpers make DIR's pictures into the thumbnail
//                          cache (as the pictures view asks for them), from
//                          an empty cache; then the page with thumbnails of
//                          DIR is written to OUT (default a temporary
//                          folder) from an empty cache, another page from the
//                          cache the first one filled, and the first page
//                          again (its unchanged pictures' files taken over)
// Each run on two helpers (the program's pool); wall time and CPU time (the
// helpers' and this process's). The thumbnail cache goes to a temporary folder ($XDG_CACHE_HOME is set).
#include "pages/PageThumbnails.h"
#include "thumbs/ThumbnailPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace tavolix;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

// The CPU time of this process and of the helpers it reaped.
double CpuSeconds() {
    double seconds = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage r{};
        getrusage(who, &r);
        seconds += r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    }
    return seconds;
}

thumbs::TPoolOptions Options() {
    thumbs::TPoolOptions o;
    o.HelperPath = TAVOLIX_THUMBNAILER;
    o.Processes = 2;
    return o;
}

struct TFigure {
    double Wall = 0, Cpu = 0;
    int Ok = 0;
};

// The pictures view's work: a large thumbnail of each file, made and cached.
TFigure Raw(const std::vector<std::string>& files) {
    std::mutex mutex;
    std::condition_variable done;
    int replies = 0, ok = 0;
    const double cpu = CpuSeconds();
    const auto start = TClock::now();
    {
        thumbs::TThumbnailPool pool(Options());
        auto client = pool.Connect([&](thumbs::TThumbReply&& reply) {
            std::lock_guard lock(mutex);
            ++replies;
            ok += reply.Status == thumbs::TReplyStatus::Ok;
            done.notify_all();
        });
        std::vector<thumbs::TThumbRequest> requests;
        for (std::size_t i = 0; i < files.size(); ++i) {
            thumbs::TThumbRequest q;
            q.Id = i + 1;
            q.Size = thumbs::TThumbSize::Large;
            q.Path = files[i];
            requests.push_back(q);
        }
        client->SetWanted(requests);
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return replies == static_cast<int>(files.size()); });
        client->Close();
    } // the helpers are killed and reaped: their CPU is counted
    return {std::chrono::duration<double>(TClock::now() - start).count(), CpuSeconds() - cpu, ok};
}

TFigure Page(const std::vector<std::string>& files, const std::string& pageFile) {
    pages::TPageInput in;
    in.PageFileName = pageFile;
    in.BaseDir = fs::path(files.front()).parent_path().string();
    in.Key = "*.*";
    in.SortOrderName = "Name";
    in.SortDirectionName = "Upword";
    in.CreationText = "2026/12/08 14:03:05";
    for (const std::string& file : files)
        in.Items.push_back({file, std::to_string(fs::file_size(file)), "26/12/08"});
    const double cpu = CpuSeconds();
    const auto start = TClock::now();
    {
        thumbs::TThumbnailPool pool(Options());
        pages::TPageProgress progress;
        if (const platform::TIoResult error = pages::WriteThumbnailPage(in, pool, progress))
            std::fprintf(stderr, "%s: %s\n", error->Path.c_str(), error->SystemText().c_str());
    }
    TFigure figure{std::chrono::duration<double>(TClock::now() - start).count(), CpuSeconds() - cpu, 0};
    for (const auto& e : fs::directory_iterator(pages::ThumbnailFolderOf(pageFile)))
        figure.Ok += e.path().filename().string().ends_with("-2x.jpg") ||
                     e.path().filename().string().ends_with("-2x.png");
    return figure;
}

void Print(const char* what, const TFigure& f, std::size_t n) {
    std::printf("%-34s %7.2f s wall, %7.2f s CPU (%6.2f ms a picture), %d made\n", what, f.Wall, f.Cpu,
                f.Cpu * 1000 / double(std::max<std::size_t>(n, 1)), f.Ok);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [OUT]\n", argv[0]);
        return 2;
    }
    const fs::path cache = fs::temp_directory_path() / ("tavolix-bench-cache-" + std::to_string(getpid()));
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const fs::path out = argc > 2
                             ? fs::absolute(argv[2])
                             : fs::temp_directory_path() / ("tavolix-bench-page-" + std::to_string(getpid()));
    fs::create_directories(out);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(fs::absolute(argv[1])))
        if (e.is_regular_file())
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    if (files.empty())
        return 2;

    fs::remove_all(cache);
    const TFigure raw = Raw(files);
    fs::remove_all(cache);
    const TFigure cold = Page(files, (out / "cold.html").string());
    const TFigure warm = Page(files, (out / "warm.html").string());
    const TFigure again = Page(files, (out / "cold.html").string());
    std::printf("%zu files (the page's \"made\": its 2x files)\n", files.size());
    Print("helper, large thumbnails, empty:", raw, files.size());
    Print("page with thumbnails, empty cache:", cold, files.size());
    Print("another page, filled cache:", warm, files.size());
    Print("the first page again:", again, files.size());
    std::printf("page / helper: %.2f wall, %.2f CPU\n", cold.Wall / raw.Wall, cold.Cpu / raw.Cpu);
    fs::remove_all(cache);
    if (argc <= 2)
        fs::remove_all(out);
    return 0;
}
