// How soon a Stop takes effect: starts the search of DIR for KEY, asks it
// to stop after AFTER_MS, and prints the time from the request to the end
// of the walk alone (the records handed over), then to the end of a result
// list's search (the hits sorted and filled), the hits found, and whether
// the walk had to be left behind (stuck in the kernel). Made for a folder
// of a million files and for tests/support/stall_fs.py (dead/ and slow/):
//   bench_stop DIR KEY [AFTER_MS] [ROUNDS]
#include "hitview/FLBoxS.h"
#include "search/FileInfo.h"
#include "search/SearchJob.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

using namespace tavolix::search;
using namespace tavolix::hitview;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR KEY [AFTER_MS] [ROUNDS]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const std::string dir = argv[1];
    const int after = argc > 3 ? std::atoi(argv[3]) : 500;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    std::vector<double> walkMs, ms;
    std::printf("%6s %13s %13s %10s %8s %12s\n", "round", "walk stop ms", "list stop ms", "hits", "stopped",
                "left behind");
    for (int round = 1; round <= rounds; ++round) {
        double walkStop = -1;
        {
            TFileInfoList files;
            files.ChangeMask(argv[2]);
            const std::unique_ptr<TSearchJob> job = TSearchJob::Start(files, dir);
            if (!job->WaitForEnd(std::chrono::milliseconds(after))) {
                QElapsedTimer t;
                t.start();
                job->Stop();
                if (job->WaitForEnd(std::chrono::seconds(1)))
                    walkStop = static_cast<double>(t.nsecsElapsed()) / 1e6;
                else
                    job->Abandon();
                job->TakeRecords(files);
                walkMs.push_back(walkStop);
            }
        }
        TFileListBoxS box;
        box.SetMask(argv[2]);
        QElapsedTimer sinceStop;
        double stopToEnd = -1;
        QTimer::singleShot(after, &box, [&] {
            sinceStop.start();
            box.StopSearch();
        });
        QObject::connect(&box, &TFileListBoxS::SearchFinished, &box, [&] {
            if (sinceStop.isValid())
                stopToEnd = static_cast<double>(sinceStop.nsecsElapsed()) / 1e6;
        });
        box.SearchFiles(dir);
        std::printf("%6d %13.1f %13.1f %10d %8s %12d\n", round, walkStop, stopToEnd, box.GetFileCount(),
                    box.SearchStopped() ? "yes" : "no", TSearchJob::LeftBehind());
        if (stopToEnd >= 0)
            ms.push_back(stopToEnd);
    }
    using TFigures = std::pair<const char*, std::vector<double>*>;
    for (const auto& [what, v] : {TFigures{"walk", &walkMs}, TFigures{"list", &ms}}) {
        if (v->empty())
            continue;
        std::sort(v->begin(), v->end());
        std::printf("%s stop->end: median %.1f ms, worst %.1f ms over %zu stopped rounds (-1: left behind)\n",
                    what, (*v)[v->size() / 2], v->back(), v->size());
    }
    std::fflush(stdout);
    // Walks left behind are still in the kernel: leave without waiting for them.
    std::_Exit(0);
}
