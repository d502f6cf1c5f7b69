// Millions of hits in one result window: while they stream in, how long the
// window's thread is away from its event loop (the gaps of a 1 ms timer);
// how long until every row is shown in its final order, against the walk
// alone; a re-sort by each order as a click asks it; a scroll to any row and
// a jump to the end; the heap a hit costs beyond its name's bytes; and the
// heap left once the window is closed.
//   bench_many_hits [--hits N] [--rate HITS_PER_S] [--details] [--tree DIR KEY]
// Without --tree the hits are made up (directories of nine files) and fed at
// RATE a second (0: as fast as they are made); with it, DIR is walked.
#include "SyntheticRecords.h"
#include "hitview/FLBoxS.h"
#include "results/DetailsView.h"
#include "search/FileSort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>

using namespace tavolix;
using hitview::TFileListBoxS;
using search::TSortOrder;

namespace {

std::size_t HeapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// The gaps between the fires of a 1 ms timer: how long the window's thread
// was away from its event loop.
class TGapMeter {
public:
    TGapMeter() {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(1);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 now = FClock.nsecsElapsed();
            FGaps.push_back(static_cast<double>(now - FLast) / 1e6);
            FLast = now;
        });
    }
    void Start() {
        FGaps.clear();
        FClock.start();
        FLast = 0;
        FTimer.start();
    }
    void Stop() { FTimer.stop(); }
    void Print(const char* what) const {
        std::vector<double> g = FGaps;
        if (g.empty()) {
            std::printf("%-24s no gaps measured\n", what);
            return;
        }
        std::sort(g.begin(), g.end());
        const auto at = [&](double q) {
            return g[std::min(g.size() - 1, static_cast<std::size_t>(q * g.size()))];
        };
        const auto over = [&](double ms) {
            return std::count_if(g.begin(), g.end(), [ms](double x) { return x > ms; });
        };
        std::printf("%-24s gaps: median %.2f ms, p99 %.2f ms, worst %.1f ms; %ld over 16 ms, %ld over 100 ms "
                    "(of %zu)\n",
                    what, at(0.5), at(0.99), g.back(), static_cast<long>(over(16)),
                    static_cast<long>(over(100)), g.size());
    }

private:
    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLast = 0;
    std::vector<double> FGaps;
};

// A made-up walk: `hits` files in folders of nine, handed over at `rate` a
// second. Its own end is timed (the walk alone), and the names' bytes summed.
struct TMadeUpWalk {
    std::size_t Hits = 10000000;
    double Rate = 2000000;
    std::atomic<std::int64_t> EndedNs{0};
    std::atomic<std::size_t> NameBytes{0};
    QElapsedTimer Clock;

    search::TSearchJob::TWalkRun Run() {
        return [this](search::TWalkVisitor& visitor, const std::atomic<bool>& stop) {
            std::mt19937_64 rng(7);
            std::size_t names = 0;
            const auto start = std::chrono::steady_clock::now();
            for (std::size_t done = 0, folder = 0; done < Hits && !stop.load(); ++folder) {
                const std::string parent = "/home/user/data/" + std::to_string(folder / 1000) + "/";
                const std::string name = bench::RandomName(rng) + std::to_string(folder);
                visitor.EnteringDirectory(parent, name);
                platform::TDirContents contents;
                for (int i = 0; i < 9 && done < Hits; ++i, ++done) {
                    const std::string file = bench::RandomName(rng);
                    names += file.size();
                    contents.AddFile(file, static_cast<std::int64_t>(rng() % 5000000),
                                     {static_cast<std::int64_t>(1.6e9 + rng() % 200000000), 0});
                }
                visitor.DirectoryRead(parent + name + "/", contents);
                visitor.LeftDirectory();
                if (Rate > 0 && folder % 64 == 0) {
                    const auto due =
                        start + std::chrono::nanoseconds(static_cast<std::int64_t>(done / Rate * 1e9));
                    std::this_thread::sleep_until(due);
                }
            }
            NameBytes = names;
            EndedNs = Clock.nsecsElapsed();
            return search::TWalkStats{};
        };
    }
};

struct TWindow {
    QWidget Frame;
    TFileListBoxS* Grid;
    results::TDetailsView* Details;
    explicit TWindow(bool details) {
        auto* layout = new QVBoxLayout(&Frame);
        Grid = new TFileListBoxS(&Frame);
        Grid->SetColumns(3);
        Details = new results::TDetailsView(*Grid, &Frame);
        layout->addWidget(Grid);
        layout->addWidget(Details);
        Grid->setVisible(!details);
        Details->setVisible(details);
        Frame.resize(1000, 700);
        Frame.show();
        QApplication::processEvents();
    }
    QAbstractItemView* Shown() {
        return Details->isVisible() ? static_cast<QAbstractItemView*>(Details) : Grid;
    }
};

void RunUntil(const std::function<bool()>& done) {
    while (!done())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    TMadeUpWalk walk;
    bool details = false;
    std::string treeDir, treeKey;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--hits") && i + 1 < argc)
            walk.Hits = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--rate") && i + 1 < argc)
            walk.Rate = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--details"))
            details = true;
        else if (!std::strcmp(argv[i], "--tree") && i + 2 < argc) {
            treeDir = argv[++i];
            treeKey = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--hits N] [--rate HITS_PER_S] [--details] [--tree DIR KEY]\n",
                         argv[0]);
            return 2;
        }
    }

    malloc_trim(0);
    const std::size_t heapBefore = HeapInUse();
    auto window = std::make_unique<TWindow>(details);
    TFileListBoxS& box = *window->Grid;
    const std::size_t heapEmpty = HeapInUse();
    TGapMeter gaps;
    bool finished = false;
    QObject::connect(&box, &TFileListBoxS::SearchFinished, [&] { finished = true; });

    // The stream, to every row shown in its final order.
    QElapsedTimer clock;
    double walkAloneMs = 0;
    if (treeDir.empty()) {
        std::printf("%zu made-up hits at %.0f a second, %s\n", walk.Hits, walk.Rate,
                    details ? "details view" : "grid");
        gaps.Start();
        clock.start();
        walk.Clock.start();
        box.StartSearch("/home/user/data/", walk.Run());
    } else {
        // The walk alone first, warm: the same walk with no window taking it.
        box.SetMask(treeKey);
        search::TFileInfoList alone;
        alone.ChangeMask(treeKey);
        QElapsedTimer t;
        alone.SearchTree(treeDir);
        t.start();
        alone.ClearFiles();
        alone.SearchTree(treeDir);
        walkAloneMs = Ms(t);
        std::printf("%s %s: the walk alone %.0f ms\n", treeDir.c_str(), treeKey.c_str(), walkAloneMs);
        gaps.Start();
        clock.start();
        box.StartSearch(treeDir);
    }
    RunUntil([&] { return finished; });
    QApplication::processEvents();
    window->Shown()->viewport()->repaint();
    const double shownMs = Ms(clock);
    gaps.Stop();
    if (treeDir.empty())
        walkAloneMs = static_cast<double>(walk.EndedNs.load()) / 1e6;
    const int hits = box.Items().Count();
    std::printf("%d hits: walk %.0f ms, every row shown in order %.0f ms (%.2f times the walk)\n", hits,
                walkAloneMs, shownMs, shownMs / std::max(1.0, walkAloneMs));
    gaps.Print("while streaming");

    malloc_trim(0);
    const std::size_t heapFull = HeapInUse();
    const std::size_t nameBytes = treeDir.empty() ? walk.NameBytes.load() : [&] {
        std::size_t n = 0;
        for (int i = 0; i < hits; ++i)
            n += box.Items().Strings(i).size();
        return n;
    }();
    std::printf("heap: %.1f bytes a hit beyond its name (%.1f MB of names, %.1f MB in all)\n",
                (static_cast<double>(heapFull - heapEmpty) - static_cast<double>(nameBytes)) /
                    std::max(1, hits),
                static_cast<double>(nameBytes) / 1e6, static_cast<double>(heapFull - heapEmpty) / 1e6);

    // A click on a column title: each order, then back to the name.
    for (TSortOrder order : {TSortOrder::soDirectory, TSortOrder::soExt, TSortOrder::soSize,
                             TSortOrder::soTime, TSortOrder::soName}) {
        finished = false;
        gaps.Start();
        clock.start();
        box.SetSortOrder(order);
        RunUntil([&] { return box.SortOrder() == order && !box.IsSorting(); });
        window->Shown()->viewport()->repaint();
        const double ms = Ms(clock);
        gaps.Stop();
        char what[64];
        std::snprintf(what, sizeof what, "sort by %s %.0f ms", search::SortOrderName(order), ms);
        gaps.Print(what);
    }

    // A scroll to rows anywhere, and the jump to the end, each painted.
    std::mt19937 rng(3);
    double worstScroll = 0;
    for (int i = 0; i < 50; ++i) {
        clock.start();
        const int row = static_cast<int>(rng() % static_cast<unsigned>(std::max(1, hits)));
        if (details)
            window->Details->scrollTo(window->Details->model()->index(row, 0),
                                      QAbstractItemView::PositionAtTop);
        else
            box.SetTopIndex(row);
        window->Shown()->viewport()->repaint();
        worstScroll = std::max(worstScroll, Ms(clock));
    }
    clock.start();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(window->Shown(), &end);
    window->Shown()->viewport()->repaint();
    const double endMs = Ms(clock);
    std::printf("scroll to a row anywhere: worst of 50 %.1f ms; End %.1f ms\n", worstScroll, endMs);

    // Closed: the heap goes back.
    window.reset();
    QApplication::processEvents();
    malloc_trim(0);
    const std::size_t heapAfter = HeapInUse();
    std::printf("closed: %.1f MB of the heap kept (of %.1f MB)\n",
                (static_cast<double>(heapAfter) - static_cast<double>(heapBefore)) / 1e6,
                static_cast<double>(heapFull - heapBefore) / 1e6);
    return 0;
}
