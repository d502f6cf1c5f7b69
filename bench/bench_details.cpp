// The details view over a million hits: how long each frame of a scroll
// takes (the scroll, its paint and the flush), and selecting every hit and
// copying their paths.
#include "SyntheticRecords.h"
#include "hitview/FLBoxS.h"
#include "results/DetailsView.h"
#include "results/HitTransfer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>
#include <random>
#include <time.h>
#include <vector>

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace tavolix;
using hitview::TFileListBoxS;
using search::TFileItemList;

namespace {

constexpr int kRecords = 1000000;

// A window as a result window holds them: the grid, and the details view
// shown in its place.
struct TWindow {
    QWidget Frame;
    TFileListBoxS* Grid;
    results::TDetailsView* Details;
};

TWindow& Shared() {
    static TWindow* window = [] {
        auto* w = new TWindow;
        auto items = std::make_unique<TFileItemList>();
        bench::AddSyntheticRecords(items->Files(), kRecords, 7, true);
        items->Files().SortFiles();
        auto* layout = new QVBoxLayout(&w->Frame);
        w->Grid = new TFileListBoxS(&w->Frame, std::move(items));
        w->Grid->SetColumns(3);
        w->Details = new results::TDetailsView(*w->Grid, &w->Frame);
        layout->addWidget(w->Grid);
        layout->addWidget(w->Details);
        w->Frame.resize(1000, 700);
        w->Frame.show();
        QCoreApplication::processEvents();
        return w;
    }();
    return *window;
}

void Show(TWindow& w, bool details) {
    w.Grid->setVisible(!details);
    w.Details->setVisible(details);
    QCoreApplication::processEvents();
}

// The window thread's CPU time, in milliseconds: what the machine's other
// load doesn't move.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// One frame a step: a scroll by three rows (a wheel notch), by a page, or to
// anywhere (the scroll bar dragged), then everything up to the flush.
void BM_ScrollFrame(benchmark::State& state) {
    TWindow& w = Shared();
    Show(w, true);
    QScrollBar* bar = w.Details->verticalScrollBar();
    const int pageRows = w.Details->viewport()->height() / w.Details->rowHeight(0);
    const bool perPixel = w.Details->verticalScrollMode() == QAbstractItemView::ScrollPerPixel;
    const int row = perPixel ? w.Details->rowHeight(0) : 1;
    std::mt19937 rng(11);
    std::vector<double> frames, cpu;
    bar->setValue(bar->maximum() / 3);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        int next = bar->value();
        switch (state.range(0)) {
        case 0:
            next += 3 * row;
            break;
        case 1:
            next += pageRows * row;
            break;
        default:
            next = static_cast<int>(rng() % static_cast<unsigned>(bar->maximum() + 1));
        }
        if (next > bar->maximum())
            next = 0;
        QElapsedTimer frame;
        frame.start();
        const double cpuBefore = ThreadCpuMs();
        bar->setValue(next);
        QCoreApplication::processEvents();
        cpu.push_back(ThreadCpuMs() - cpuBefore);
        frames.push_back(static_cast<double>(frame.nsecsElapsed()) / 1e6);
    }
    state.counters["rows"] = w.Details->model()->rowCount();
    state.counters["median_ms"] = Percentile(frames, 0.5);
    state.counters["p99_ms"] = Percentile(frames, 0.99);
    state.counters["worst_ms"] = *std::max_element(frames.begin(), frames.end());
    state.counters["cpu_p99_ms"] = Percentile(cpu, 0.99);
    state.counters["cpu_worst_ms"] = *std::max_element(cpu.begin(), cpu.end());
}
BENCHMARK(BM_ScrollFrame)->Arg(0)->Arg(1)->Arg(2)->Iterations(300)->Unit(benchmark::kMillisecond);

// Ctrl+A, then Ctrl+C: the selection (and its repaint) in the view shown,
// every path in the list's order, the clipboard's data, and the clipboard
// taking it. Arg 0: the grid, 1: the details view.
void BM_SelectAllAndCopy(benchmark::State& state) {
    TWindow& w = Shared();
    const bool details = state.range(0) == 1;
    Show(w, details);
    QAbstractItemView* view = details ? static_cast<QAbstractItemView*>(w.Details) : w.Grid;
    double selectMs = 0, dataMs = 0, clipboardMs = 0, cpuMs = 0, textMs = 0, urisMs = 0, textMb = 0;
    std::size_t copied = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.Grid->SetItemIndex(0);
        QCoreApplication::processEvents();
        state.ResumeTiming();

        const double cpuBefore = ThreadCpuMs();
        QElapsedTimer t;
        t.start();
        view->selectAll();
        QCoreApplication::processEvents();
        // The status panels count the selection.
        benchmark::DoNotOptimize(w.Grid->SelectionTotals().Bytes);
        selectMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        t.restart();
        QMimeData* data = results::SelectedHitsMimeData(*w.Grid);
        dataMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        t.restart();
        results::CopyToClipboard(data);
        clipboardMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        cpuMs = ThreadCpuMs() - cpuBefore;
        // What a paste asks of the window afterwards: the text, or the URIs.
        t.restart();
        const QByteArray text = data->data(QStringLiteral("text/plain"));
        textMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        t.restart();
        const QByteArray uris = data->data(QStringLiteral("text/uri-list"));
        urisMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
        copied = static_cast<std::size_t>(uris.count("\r\n"));
        textMb = static_cast<double>(text.size()) / 1e6;
    }
    state.counters["selected"] = w.Grid->SelectedCount();
    state.counters["copied"] = static_cast<double>(copied);
    state.counters["select_ms"] = selectMs;
    state.counters["data_ms"] = dataMs;
    state.counters["clipboard_ms"] = clipboardMs;
    state.counters["cpu_ms"] = cpuMs;
    state.counters["paste_text_ms"] = textMs;
    state.counters["paste_uris_ms"] = urisMs;
    state.counters["text_MB"] = textMb;
}
BENCHMARK(BM_SelectAllAndCopy)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// Fitting the columns to a million hits as a view first shows them: each
// record read once (its size, name, folder and type), the widest few
// measured, in parts between which the window takes its events. Later fits
// read only the hits added since. part_cpu_ms: the longest part.
void BM_FitColumns(benchmark::State& state) {
    TWindow& w = Shared();
    Show(w, false);
    double totalMs = 0, partMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto view = std::make_unique<results::TDetailsView>(*w.Grid);
        view->resize(1000, 600);
        state.ResumeTiming();
        totalMs = partMs = 0;
        // Hidden, the view fits only when asked: once a part.
        for (int part = 0; part < 22; ++part) {
            const double cpuBefore = ThreadCpuMs();
            view->FitColumns();
            const double ms = ThreadCpuMs() - cpuBefore;
            totalMs += ms;
            partMs = std::max(partMs, ms);
        }
        state.PauseTiming();
        state.counters["size_px"] = view->ColumnWidths()[results::dcSize];
        view.reset();
        state.ResumeTiming();
    }
    state.counters["rows"] = kRecords;
    state.counters["cpu_ms"] = totalMs;
    state.counters["part_cpu_ms"] = partMs;
}
BENCHMARK(BM_FitColumns)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
