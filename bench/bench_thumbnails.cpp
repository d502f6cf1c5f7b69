// The pictures view over big photos, and the picture helper against the
// toolkit's reader in the same process:
//   bench_thumbnails screen DIR     the first screen of a result window over
//                                   DIR with the pictures view on: complete with
//                                   an empty thumbnail cache, then with a filled
//                                   one; item paints, a full repaint, and the
//                                   longest the window's thread was away
//   bench_thumbnails cpu DIR...     CPU time per JPEG thumbnail in the helpers
//                                   and with QImageReader::setScaledSize here;
//                                   the helpers' peak memory over every file
//   bench_thumbnails files FILE...  CPU and wall time of a 256-pixel thumbnail
//                                   of each file: a helper started for it (its
//                                   start included, as a desktop's thumbnailer
//                                   is started a file), and one helper over
//                                   ten links to it in a row
//   bench_thumbnails sandbox DIR [ROUNDS]
//                                   CPU time per JPEG thumbnail with the
//                                   helper's sandbox and without it, by turns
// The thumbnail cache goes to a temporary folder ($XDG_CACHE_HOME is set).
#include "hitview/FLBoxS.h"
#include "results/PictureView.h"
#include "results/ResultWindowHost.h"
#include "results/findf.h"
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
#include <tuple>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImageReader>
#include <QTimer>

using namespace tavolix;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

double Ms(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

double CpuSeconds(int who) {
    rusage r{};
    getrusage(who, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

class TBenchHost : public results::TResultWindowHost {
public:
    std::string Dir;
    thumbs::TThumbnailPool* Pool = nullptr;
    search::TSearchQuery SearchQuery() const override {
        search::TSearchQuery query;
        query.BaseDir = Dir;
        query.Key = "*.*";
        return query;
    }
    void AddKeyToHistory(const std::string&) override {}
    int FrameWidth() const override { return 1400; }
    int DirectoryPanelWidth() const override { return 220; }
    int DirectoryPanelHeight() const override { return 900; }
    void ShowPanels() override {}
    void SetQuickKeysEnabled(bool) override {}
    void SetWindowMenuEnabled(bool) override {}
    void SetStatusText(const QString&) override {}
    int ResultWindowCount() const override { return 1; }
    void FocusDirectoryTree() override {}
    void SearchFind1Click() override {}
    void Help1Click() override {}
    void ShowHelpTopic(int) override {}
    void About1Click() override {}
    bool IsNetworkDriveSelected() const override { return false; }
    QString RegisterSavedPage(const std::array<std::string, 6>&) override { return {}; }
    QWidget* DialogParent() override { return nullptr; }
    settings::TViewChoices ViewChoices() const override {
        settings::TViewChoices view;
        view.Pictures = true;
        return view;
    }
    thumbs::TThumbnailPool* ThumbnailPool() override { return Pool; }
};

thumbs::TPoolOptions Options() {
    thumbs::TPoolOptions o;
    o.HelperPath = TAVOLIX_THUMBNAILER;
    return o;
}

// One window from search to a complete first screen.
void FirstScreen(const std::string& dir, const char* label) {
    TBenchHost host;
    host.Dir = dir;
    thumbs::TThumbnailPool pool(Options());
    host.Pool = &pool;
    results::TMDIChild window(host);
    if (!window.FormCreate())
        return;
    // Hits stream in while the walk goes on: the screen is timed once they are all there.
    if (window.Searching()) {
        QEventLoop walk;
        QObject::connect(&window, &results::TMDIChild::WalkEnded, &walk, &QEventLoop::quit);
        walk.exec();
    }
    // The longest the event loop was away, from a 1 ms timer's view.
    double longestGapMs = 0;
    auto last = TClock::now();
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = TClock::now();
        longestGapMs = std::max(longestGapMs, Ms(now - last));
        last = now;
    });
    // Each item's paint: wall time, and this thread's CPU time (what the
    // paint itself cost, whatever else the machine ran meanwhile).
    std::vector<double> itemPaints, itemCpu;
    auto original = window.ListBox1->OnDrawItem;
    window.ListBox1->OnDrawItem = [&](QPainter& p, int index, const QRect& rect, bool selected) {
        const auto start = TClock::now();
        const double cpu = ThreadCpuMs();
        original(p, index, rect, selected);
        itemPaints.push_back(Ms(TClock::now() - start));
        itemCpu.push_back(ThreadCpuMs() - cpu);
    };
    const auto start = TClock::now();
    window.show();
    last = TClock::now();
    ticker.start();
    int visible = 0;
    for (int i = 0; i < window.ListBox1->Items().Count(); ++i) {
        if (window.ListBox1->visualRect(window.ListBox1->model()->index(i, 0))
                .intersects(window.ListBox1->viewport()->rect()))
            ++visible;
    }
    // Done when every visible item's picture has arrived and been painted.
    // The loop sleeps between events, as the program's does: a loop that
    // polls would take a core from the helpers it waits for.
    int arrived = 0;
    QEventLoop loop;
    QObject::connect(&window.Pictures(), &results::TPictureView::PictureArrived, [&](int index) {
        if (window.ListBox1->visualRect(window.ListBox1->model()->index(index, 0))
                .intersects(window.ListBox1->viewport()->rect()) &&
            ++arrived >= visible)
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (arrived < visible)
        loop.exec();
    QApplication::processEvents();
    const double complete = Ms(TClock::now() - start);
    ticker.stop();
    auto worst = [](const std::vector<double>& v) {
        return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
    };
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    };
    const auto repaintStart = TClock::now();
    const double repaintCpu = ThreadCpuMs();
    window.ListBox1->viewport()->repaint();
    const double repaint = Ms(TClock::now() - repaintStart), repaintCpuMs = ThreadCpuMs() - repaintCpu;
    window.close();
    std::printf(
        "%-13s visible %2d  complete %7.1f ms | item paints %zu: worst %5.2f ms (CPU %5.2f), median %4.2f"
        " | full repaint %5.2f ms (CPU %5.2f) | longest event-loop gap %5.1f ms\n",
        label, visible, complete, itemPaints.size(), worst(itemPaints), worst(itemCpu), median(itemPaints),
        repaint, repaintCpuMs, longestGapMs);
}

struct TWaiter {
    std::mutex Mutex;
    std::condition_variable Done;
    int Replies = 0, Ok = 0;
};

// Makes a thumbnail of every file from an empty cache: the CPU time of the
// helpers and of this process's pool (which opens and writes the files), the
// wall time, and how many were made.
std::tuple<double, double, int> MakeAll(const std::vector<std::string>& files, thumbs::TPoolOptions options,
                                        thumbs::TThumbSize size = thumbs::TThumbRequest{}.Size) {
    fs::remove_all(std::getenv("XDG_CACHE_HOME"));
    TWaiter waiter;
    const double before = CpuSeconds(RUSAGE_CHILDREN) + CpuSeconds(RUSAGE_SELF);
    const auto start = TClock::now();
    {
        thumbs::TThumbnailPool pool(options);
        auto client = pool.Connect([&](thumbs::TThumbReply&& reply) {
            std::lock_guard lock(waiter.Mutex);
            ++waiter.Replies;
            waiter.Ok += reply.Status == thumbs::TReplyStatus::Ok;
            waiter.Done.notify_all();
        });
        std::vector<thumbs::TThumbRequest> requests;
        for (std::size_t i = 0; i < files.size(); ++i) {
            thumbs::TThumbRequest q;
            q.Id = i + 1;
            q.Size = size;
            q.Path = files[i];
            requests.push_back(q);
        }
        client->SetWanted(requests);
        std::unique_lock lock(waiter.Mutex);
        waiter.Done.wait(lock, [&] { return waiter.Replies == int(files.size()); });
    } // the helpers are killed and reaped: their CPU is counted
    const double wall = Ms(TClock::now() - start);
    return {CpuSeconds(RUSAGE_CHILDREN) + CpuSeconds(RUSAGE_SELF) - before, wall, waiter.Ok};
}

thumbs::TPoolOptions PoolOf(int processes, std::vector<std::string> helperArgs = {}) {
    thumbs::TPoolOptions options = Options();
    options.Processes = processes;
    options.HelperArgs = std::move(helperArgs);
    return options;
}

std::vector<std::string> JpegsIn(const std::string& dir) {
    std::vector<std::string> jpegs;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string ext = e.path().extension().string();
        if (e.is_regular_file() && (ext == ".jpg" || ext == ".jpeg"))
            jpegs.push_back(e.path().string());
    }
    std::sort(jpegs.begin(), jpegs.end());
    return jpegs;
}

// What the sandbox costs: the same JPEGs made with it and without it, by
// turns so that the machine's other load falls on both alike.
void Sandbox(const std::string& dir, int rounds) {
    const std::vector<std::string> jpegs = JpegsIn(dir);
    if (jpegs.empty())
        return;
    std::vector<double> with, without;
    // A helper that failed its files would look cheap: what was made is shown.
    std::vector<int> madeWith, madeWithout;
    for (int round = 0; round < rounds; ++round) {
        const auto [cpu, wall, made] = MakeAll(jpegs, PoolOf(1));
        with.push_back(cpu * 1000 / double(jpegs.size()));
        madeWith.push_back(made);
        const auto [cpuOpen, wallOpen, madeOpen] = MakeAll(jpegs, PoolOf(1, {"--no-sandbox"}));
        without.push_back(cpuOpen * 1000 / double(jpegs.size()));
        madeWithout.push_back(madeOpen);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("JPEG thumbnails: %zu, %d rounds; CPU each (helper and pool, start included)\n", jpegs.size(),
                rounds);
    for (int round = 0; round < rounds; ++round)
        std::printf("  round %d: sandboxed %7.2f ms (%d made), without sandbox %7.2f ms (%d made)\n",
                    round + 1, with[round], madeWith[round], without[round], madeWithout[round]);
    std::printf("  median:  sandboxed %7.2f ms, without sandbox %7.2f ms: %+.1f %%\n", median(with),
                median(without), (median(with) / median(without) - 1) * 100);
}

void Cpu(const std::vector<std::string>& dirs) {
    std::vector<std::string> jpegs, pngs, all;
    for (const std::string& dir : dirs) {
        for (const auto& e : fs::directory_iterator(dir)) {
            if (!e.is_regular_file())
                continue;
            all.push_back(e.path().string());
            const std::string ext = e.path().extension().string();
            if (!e.path().filename().string().starts_with("photo"))
                continue;
            if (ext == ".jpg" || ext == ".jpeg")
                jpegs.push_back(e.path().string());
            if (ext == ".png")
                pngs.push_back(e.path().string());
        }
    }
    std::sort(jpegs.begin(), jpegs.end());
    std::sort(all.begin(), all.end());

    const auto [helperCpu, helperWall, ok] = MakeAll(jpegs, PoolOf(1));
    // In this process, the toolkit's reader decoding at the thumbnail's size.
    const double before = CpuSeconds(RUSAGE_SELF);
    for (const std::string& file : jpegs) {
        QImageReader reader(QString::fromStdString(file));
        reader.setAutoTransform(true);
        const QSize size = reader.size();
        reader.setScaledSize(size.scaled(128, 128, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (image.isNull())
            std::fprintf(stderr, "%s: not decoded\n", file.c_str());
    }
    const double inProcess = CpuSeconds(RUSAGE_SELF) - before;
    const double n = jpegs.empty() ? 1 : double(jpegs.size());
    std::printf("JPEG thumbnails: %zu (%d made)\n", jpegs.size(), ok);
    std::printf("  helper and pool (start included):      %7.2f ms CPU each, %7.1f ms wall in all\n",
                helperCpu * 1000 / n, helperWall);
    std::printf("  QImageReader + setScaledSize here:     %7.2f ms CPU each\n", inProcess * 1000 / n);
    std::printf("  ratio helper / in-process:             %7.2f\n",
                inProcess > 0 ? helperCpu / inProcess : 0);

    if (!pngs.empty()) {
        const auto [pngCpu, pngWall, pngOk] = MakeAll(pngs, PoolOf(1));
        std::printf("PNG thumbnails: %zu (%d made): helper %7.2f ms CPU each, %7.1f ms wall in all\n",
                    pngs.size(), pngOk, pngCpu * 1000 / double(pngs.size()), pngWall);
    }
    const auto [allCpu, allWall, allOk] = MakeAll(all, PoolOf(2));
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("every file (%zu, %d made) on two helpers: %.1f s CPU, %.1f s wall; "
                "largest helper's peak memory %.1f MiB\n",
                all.size(), allOk, allCpu, allWall / 1000, children.ru_maxrss / 1024.0);
}

// One helper for FILES, started for them (its start counted) with room for a
// slow file: CPU time (helper and pool) and wall time.
std::pair<double, double> OneHelper(const std::vector<std::string>& files, thumbs::TThumbSize size) {
    thumbs::TPoolOptions options = PoolOf(1);
    options.BudgetMs = 60000;
    const auto [cpu, wall, made] = MakeAll(files, options, size);
    if (made != int(files.size()))
        std::fprintf(stderr, "%d of %zu not made\n", int(files.size()) - made, files.size());
    return {cpu, wall};
}

void Files(const std::vector<std::string>& files) {
    constexpr int kRounds = 10;
    const fs::path links = fs::temp_directory_path() / ("tavolix-bench-links-" + std::to_string(getpid()));
    std::printf("%-32s %26s %26s\n", "256-pixel thumbnail of", "helper a file: CPU / wall",
                "warm helper: CPU / wall");
    for (const std::string& file : files) {
        std::vector<double> cpu, wall;
        for (int i = 0; i < kRounds; ++i) {
            const auto [c, w] = OneHelper({file}, thumbs::TThumbSize::Large);
            cpu.push_back(c * 1000);
            wall.push_back(w);
        }
        // Links of other names: each a file of its own to the cache.
        fs::create_directories(links);
        std::vector<std::string> names;
        for (int i = 0; i < kRounds; ++i) {
            const fs::path link = links / ("link" + std::to_string(i) + fs::path(file).extension().string());
            fs::remove(link);
            std::error_code error;
            fs::create_hard_link(file, link, error);
            if (error)
                fs::copy_file(file, link);
            names.push_back(link.string());
        }
        const auto [warmCpu, warmWall] = OneHelper(names, thumbs::TThumbSize::Large);
        fs::remove_all(links);
        std::sort(cpu.begin(), cpu.end());
        std::sort(wall.begin(), wall.end());
        std::printf("%-32s %10.1f / %7.1f ms (median) %10.1f / %7.1f ms each\n",
                    fs::path(file).filename().c_str(), cpu[kRounds / 2], wall[kRounds / 2],
                    warmCpu * 1000 / kRounds, warmWall / kRounds);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s screen DIR | cpu DIR... | files FILE... | sandbox DIR [ROUNDS]\n",
                     argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    const fs::path cache = fs::temp_directory_path() / ("tavolix-bench-cache-" + std::to_string(getpid()));
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    QApplication app(argc, argv);
    const std::string mode = argv[1], dir = fs::absolute(argv[2]).string();
    if (mode == "screen") {
        fs::remove_all(cache);
        // The helpers' CPU time, theirs to the end of the window (what they
        // were still making for the screens around it included): set against
        // the wall time, it tells whether both of them kept busy.
        for (const char* label : {"empty cache", "filled cache"}) {
            const double before = CpuSeconds(RUSAGE_CHILDREN);
            FirstScreen(dir, label);
            std::printf("%-13s helpers' CPU %7.1f ms\n", "", (CpuSeconds(RUSAGE_CHILDREN) - before) * 1000);
        }
    } else if (mode == "sandbox") {
        Sandbox(dir, argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
    } else if (mode == "cpu") {
        std::vector<std::string> dirs;
        for (int i = 2; i < argc; ++i)
            dirs.push_back(fs::absolute(argv[i]).string());
        Cpu(dirs);
    } else if (mode == "files") {
        std::vector<std::string> files;
        for (int i = 2; i < argc; ++i)
            files.push_back(fs::absolute(argv[i]).string());
        Files(files);
    }
    fs::remove_all(cache);
    return 0;
}
