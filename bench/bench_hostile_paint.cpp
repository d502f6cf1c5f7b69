// Paints each file of a directory as a result item, as every repaint does,
// and prints the first paint (fonts and file caches still cold) and the worst
// and the median of the repaints after it, then the worst repaint over all. Made for bench/make_hostile.py's
// files:
//   bench_hostile_paint DIR [PAINTS]
#include "results/ItemPainter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

using namespace tavolix::results;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [PAINTS]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const int paints = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(argv[1])) {
        if (e.is_regular_file())
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    QImage screen(800, 40, QImage::Format_RGB32);
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(15);
    double worst = 0;
    std::string worstFile;
    std::printf("%-20s %12s %10s %10s %10s\n", "file", "bytes", "first ms", "worst ms", "median ms");
    for (const fs::path& file : files) {
        std::vector<double> ms;
        for (int i = 0; i <= paints; ++i) {
            screen.fill(Qt::white);
            QPainter p(&screen);
            TItemPaintInput in;
            in.FullPath = file.string();
            in.ItemRect = QRect(0, 0, 400, 40);
            in.ItemHeight = 40;
            in.Columns = 2;
            in.ListWidth = 800;
            in.Font = font;
            const auto start = std::chrono::steady_clock::now();
            PaintResultItem(p, in);
            p.end();
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        const double first = ms.front();
        ms.erase(ms.begin());
        std::sort(ms.begin(), ms.end());
        std::printf("%-20s %12llu %10.1f %10.1f %10.1f\n", file.filename().c_str(),
                    static_cast<unsigned long long>(fs::file_size(file)), first, ms.back(),
                    ms[ms.size() / 2]);
        if (ms.back() > worst) {
            worst = ms.back();
            worstFile = file.filename().string();
        }
    }
    std::printf("worst item repaint: %.1f ms (%s)\n", worst, worstFile.c_str());
    return 0;
}
