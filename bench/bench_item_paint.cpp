// Painting one screen of result items (two columns of fifteen 40-pixel rows)
// from the files on disk, as every repaint does: 30 bitmaps of 1024 x 768,
// 30 metafiles, 30 programs with icons.
#include "pictures/PictureLoad.h"
#include "results/ItemPainter.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

using tavolix::pictures::LoadBitmapFile;

using namespace tavolix::results;
namespace fs = std::filesystem;

namespace {

constexpr int kItems = 30, kRows = 15, kItemHeight = 40, kListWidth = 800;

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("tavolix-bench-items-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void WriteBitmap(const fs::path& path, int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<uchar>(x + seed);
            row[3 * x + 1] = static_cast<uchar>(y * 3);
            row[3 * x + 2] = static_cast<uchar>((x ^ y) + seed);
        }
    }
    image.save(QString::fromStdString(path.string()), "BMP");
}

std::vector<std::string> Files(const std::string& kind) {
    std::vector<std::string> out;
    const fs::path data = fs::path(TAVOLIX_TEST_DATA) / "pictures";
    for (int i = 0; i < kItems; ++i) {
        fs::path p = WorkDir() / (kind + std::to_string(i));
        if (kind == "picture") {
            p += ".bmp";
            if (!fs::exists(p))
                WriteBitmap(p, 1024, 768, i);
        } else {
            p += kind == "metafile" ? ".wmf" : ".exe";
            if (!fs::exists(p))
                fs::copy_file(data / (kind == "metafile" ? "shapes.wmf" : "prog_icon.exe"), p);
        }
        out.push_back(p.string());
    }
    return out;
}

void PaintScreen(benchmark::State& state, const std::vector<std::string>& files) {
    QImage screen(kListWidth, kRows * kItemHeight, QImage::Format_RGB32);
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(15);
    for (auto _ : state) {
        screen.fill(Qt::white);
        QPainter p(&screen);
        for (int i = 0; i < kItems; ++i) {
            TItemPaintInput in;
            in.FullPath = files[i];
            in.ItemRect =
                QRect((i / kRows) * (kListWidth / 2), (i % kRows) * kItemHeight, kListWidth / 2, kItemHeight);
            in.ItemHeight = kItemHeight;
            in.Columns = 2;
            in.ListWidth = kListWidth;
            in.Font = font;
            PaintResultItem(p, in);
        }
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
    state.counters["items/s"] =
        benchmark::Counter(double(kItems) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_PaintScreenOfBitmaps(benchmark::State& state) {
    PaintScreen(state, Files("picture"));
}
void BM_PaintScreenOfMetafiles(benchmark::State& state) {
    PaintScreen(state, Files("metafile"));
}
void BM_PaintScreenOfPrograms(benchmark::State& state) {
    PaintScreen(state, Files("program"));
}

void BM_DecodeOneBitmap(benchmark::State& state) {
    const std::string file = Files("picture")[0];
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadBitmapFile(file).constBits());
}

BENCHMARK(BM_PaintScreenOfBitmaps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintScreenOfMetafiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintScreenOfPrograms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOneBitmap)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(WorkDir(), ec);
    return 0;
}
