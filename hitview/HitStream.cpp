#include "hitview/HitStream.h"

#include "hitview/ListBoxModel.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTimer>

namespace tavolix::hitview {

using namespace search;

namespace {

// Lists of this many records are sorted on a thread of their own (a sort of
// fewer takes a few milliseconds).
constexpr std::size_t kSortLaterFrom = 100000;

// How often a streaming walk's hits join the items (milliseconds): the
// views place items without laying them out, but the records' own list
// grows by copying, so a long list takes them in somewhat larger steps.
qint64 AppendIntervalMs(int items) {
    return std::min<qint64>(100, kSearchTickMs + items / 40000);
}

} // namespace

std::vector<std::pair<int, int>> SelectedRows(const QItemSelectionModel& selection) {
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : selection.selection())
        if (range.isValid())
            ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

// What was selected, current and at the top, as records: the order changes.
struct THitStream::TKeptPlace {
    bool All = false; // every item selected
    std::unordered_set<const TFileInfo*> Selected;
    const TFileInfo* Current = nullptr;
    const TFileInfo* Top = nullptr;

    void Keep(const THitView& view, const TFileItemList& items) {
        const auto ranges = SelectedRows(*view.Selection());
        All = ranges.size() == 1 && ranges[0].first == 0 && ranges[0].second + 1 >= items.Count();
        if (!All)
            for (const auto& [from, to] : ranges)
                for (int i = from; i <= to; ++i)
                    Selected.insert(items.Item(i));
        // The current item of a list without a selection is only where the keys start.
        if (All || !Selected.empty())
            Current = items.Item(view.Selection()->currentIndex().row());
        // A list at its beginning stays there: the first hits in order show.
        const int top = view.TopIndex();
        Top = top > 0 ? items.Item(top) : nullptr;
    }

    void Restore(const THitView& view, const TFileItemList& items) const {
        TFileListModel& model = *view.Model;
        if (!All && Selected.empty() && !Current && !Top)
            return;
        int currentRow = -1;
        int topRow = -1;
        QItemSelection selection;
        for (int i = 0, first = -1; i <= items.Count(); ++i) {
            const TFileInfo* r = items.Item(i);
            if (r && r == Current)
                currentRow = i;
            if (r && r == Top)
                topRow = i;
            const bool chosen = r && !All && Selected.count(r) > 0;
            if (chosen && first < 0)
                first = i;
            if (!chosen && first >= 0) {
                selection.select(model.index(first, 0), model.index(i - 1, 0));
                first = -1;
            }
        }
        if (All && items.Count() > 0)
            selection.select(model.index(0, 0), model.index(items.Count() - 1, 0));
        QItemSelectionModel& selected = *view.Selection();
        if (currentRow >= 0)
            selected.setCurrentIndex(model.index(currentRow, 0), QItemSelectionModel::NoUpdate);
        if (!selection.isEmpty())
            selected.select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (topRow >= 0)
            view.SetTopIndex(topRow);
    }
};

// A walk of the list box's own: the window's thread only ever takes what
// the walk's thread has handed over.
struct THitStream::TRun {
    std::unique_ptr<TSearchJob> Job;
    QElapsedTimer Clock;
    qint64 LastTaken = 0;
    std::string Path;
    // The walk is over and its hits are being sorted on a thread of their own.
    bool Ordering = false;
    TKeptPlace Kept;
};

THitStream::THitStream(THitView view, std::shared_ptr<TFileItemList> items)
    : FView(std::move(view)), FItems(std::move(items)) {
    FStreamTimer = new QTimer(this);
    FStreamTimer->setInterval(kSearchTickMs);
    connect(FStreamTimer, &QTimer::timeout, this, [this] { StreamTick(); });
    FSortTimer = new QTimer(this);
    FSortTimer->setInterval(kSearchTickMs);
    connect(FSortTimer, &QTimer::timeout, this, [this] { SortTick(); });
}

THitStream::~THitStream() {
    // A walk stuck in the kernel is left behind; its records go with us.
    if (FRun && !FRun->Job->StopAndWait(std::chrono::milliseconds(kStopGraceMs)))
        FRun->Job->Abandon();
}

bool THitStream::Start(const std::string& baseDir, TSearchJob::TWalkRun walk) {
    // No item may point at a record about to be released.
    FItems->ClearItems();
    FView.Model->ItemsChanged();
    TFileInfoList& files = FItems->Files();
    FSortTimer->stop();
    files.ClearFiles();
    FRun = std::make_unique<TRun>();
    FRun->Job = TSearchJob::Start(files, baseDir, std::move(walk));
    FRun->Path = baseDir;
    FRun->Clock.start();
    FStreamTimer->start();
    // A tiny tree is walked before the first tick.
    if (FRun->Job->WaitForEnd(std::chrono::milliseconds(kSearchTickMs)))
        EndStream();
    return true;
}

void THitStream::Stop() {
    if (!FRun)
        return;
    FRun->Job->Stop();
    EndStream();
}

std::string THitStream::Path() const {
    return FRun ? FRun->Path : std::string();
}

TSortOrder THitStream::SortOrder() const {
    return FSortQueued ? FQueuedSort : FItems->WantedSortOrder();
}

void THitStream::SetSortOrder(TSortOrder value) {
    if (FItems->Sorting()) {
        // One at a time: this one follows.
        FSortQueued = value != FItems->WantedSortOrder();
        FQueuedSort = value;
        return;
    }
    if (FItems->Files().Count() < kSortLaterFrom) {
        FItems->SetSortOrder(value);
        return;
    }
    if (value == FItems->SortOrder())
        return;
    FItems->SortLater(value);
    FSortTimer->start();
}

void THitStream::SortTick() {
    // The stream's tick sees to its own order.
    if (FRun || !FItems->TakeSort())
        return;
    FSortTimer->stop();
    StartQueuedSort();
}

void THitStream::StartQueuedSort() {
    if (!FSortQueued)
        return;
    FSortQueued = false;
    SetSortOrder(FQueuedSort);
}

void THitStream::SettleOrder() {
    if (FRun)
        return;
    FItems->TakeSort(true);
    FSortTimer->stop();
    if (FSortQueued) {
        FSortQueued = false;
        FItems->SetSortOrder(FQueuedSort);
    }
}

// The keys move from the current item: a list that took the focus while it
// was empty gets one, as it would have on taking the focus.
void THitStream::KeepACurrentItem() {
    QItemSelectionModel& selection = *FView.Selection();
    TFileListModel& model = *FView.Model;
    if (!selection.currentIndex().isValid() && model.rowCount() > 0)
        selection.setCurrentIndex(model.index(0, 0), QItemSelectionModel::NoUpdate);
}

void THitStream::StreamTick() {
    TRun& run = *FRun;
    if (run.Ordering) {
        if (!FItems->Files().SortDone())
            return;
        // Kept as the order comes: the user may have chosen meanwhile.
        run.Kept.Keep(FView, *FItems);
        FItems->TakeSort();
        return FinishStream();
    }
    const bool ended = run.Job->Ended();
    const qint64 now = run.Clock.elapsed();
    if (ended)
        return EndStream();
    // A sort asked for while the walk goes on: the hits so far in that order.
    if (FItems->Sorting() && FItems->Files().SortDone()) {
        FItems->TakeSort();
        StartQueuedSort();
    }
    if (now - run.LastTaken >= AppendIntervalMs(FItems->Count())) {
        run.Job->TakeRecords(FItems->Files());
        FItems->AppendNewRecords();
        run.LastTaken = now;
        KeepACurrentItem();
    }
    run.Path = run.Job->Progress().Path;
    emit SearchStep();
}

void THitStream::EndStream() {
    if (!FRun || FRun->Ordering)
        return;
    TRun& run = *FRun;
    // A walk that does not end when asked is stuck in the kernel (a share
    // that stopped answering): it is left behind with what it found.
    if (!run.Job->StopAndWait(std::chrono::milliseconds(kStopGraceMs)))
        run.Job->Abandon();
    TFileInfoList& files = FItems->Files();
    // Every hit is shown while they are put in order.
    run.Job->TakeRecords(files);
    FItems->AppendNewRecords();
    emit SearchEnding();
    if (files.Count() < kSortLaterFrom) {
        FStreamTimer->stop();
        run.Kept.Keep(FView, *FItems);
        FItems->ClearItems(); // the records are about to move
        run.Job->Finish(files);
        FItems->FillItems();
        return FinishStream();
    }
    run.Job->FinishLater(files);
    run.Ordering = true;
    run.Path.clear();
    if (!FStreamTimer->isActive())
        FStreamTimer->start();
}

void THitStream::FinishStream() {
    const std::unique_ptr<TRun> run = std::move(FRun);
    FStreamTimer->stop();
    run->Kept.Restore(FView, *FItems);
    KeepACurrentItem();
    emit SearchFinished();
    StartQueuedSort();
}

} // namespace tavolix::hitview
