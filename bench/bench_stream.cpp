// The result list that shows hits as the walk finds them, against the one
// that shows them when the walk is over (with its progress window): the
// whole search's wall time (walk, sort, fill) both ways in turn, and for
// the streaming one the time from the start to the first hits painted (the
// other shows none before its end), on a warm tree:
//   bench_stream DIR KEY [ROUNDS]
#include "hitview/FLBoxS.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>

using namespace tavolix::search;
using namespace tavolix::hitview;

namespace {

// Sees the first paint of the list's viewport that has items to paint.
class TFirstPaint final : public QObject {
public:
    TFirstPaint(TFileListBoxS& box, QElapsedTimer& clock) : FBox(box), FClock(clock) {}
    double Ms = -1;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && Ms < 0 && FBox.model()->rowCount() > 0)
            Ms = static_cast<double>(FClock.nsecsElapsed()) / 1e6;
        return false;
    }

private:
    TFileListBoxS& FBox;
    QElapsedTimer& FClock;
};

void Prepare(TFileListBoxS& box, const char* key) {
    box.SetMask(key);
    box.SetColumns(2);
    box.SetItemHeight(40);
    box.resize(800, 600);
    box.show();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR KEY [ROUNDS]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::string dir = argv[1];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    {
        // Warms the tree: the figures are the program's, not the disk's.
        TFileListBoxS box;
        box.SetMask(argv[2]);
        box.SearchFiles(dir);
    }
    std::vector<double> modalMs, streamMs, streamFirst;
    int hits = 0;
    std::printf("%6s %12s %12s %14s %8s\n", "round", "modal ms", "stream ms", "stream first", "hits");
    for (int round = 1; round <= rounds; ++round) {
        QElapsedTimer clock;
        double modal = 0, stream = 0, streamShown = 0;
        {
            TFileListBoxS box;
            Prepare(box, argv[2]);
            clock.start();
            box.SearchFiles(dir);
            modal = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
        {
            TFileListBoxS box;
            Prepare(box, argv[2]);
            TFirstPaint first(box, clock);
            box.viewport()->installEventFilter(&first);
            QEventLoop loop;
            QObject::connect(&box, &TFileListBoxS::SearchFinished, &loop, &QEventLoop::quit);
            clock.start();
            box.StartSearch(dir);
            if (box.IsSearching())
                loop.exec();
            stream = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            QApplication::processEvents();
            streamShown = first.Ms;
            hits = box.GetFileCount();
        }
        modalMs.push_back(modal);
        streamMs.push_back(stream);
        streamFirst.push_back(streamShown);
        std::printf("%6d %12.1f %12.1f %14.1f %8d\n", round, modal, stream, streamShown, hits);
    }
    const double m = Median(modalMs), s = Median(streamMs);
    std::printf(
        "median: modal %.1f ms, streaming %.1f ms (%+.1f %%); streaming's first hits painted %.1f ms\n", m, s,
        (s - m) / m * 100, Median(streamFirst));
    return 0;
}
