#pragma once

#include "search/FileItems.h"
#include "search/FileSort.h"
#include "search/SearchJob.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QObject>

class QItemSelectionModel;
class QTimer;

namespace tavolix::hitview {

class TFileListModel;

// The selected rows as ascending, disjoint ranges (first, last): ranges of
// the same rows in other columns, or touching ones, are one.
std::vector<std::pair<int, int>> SelectedRows(const QItemSelectionModel& selection);

// The view that shows the hits, as far as the stream keeps its places.
struct THitView {
    TFileListModel* Model = nullptr;
    std::function<QItemSelectionModel*()> Selection;
    // The first item shown, and scrolling to show an item first.
    std::function<int()> TopIndex;
    std::function<void(int)> SetTopIndex;
};

// The window takes what the walk found and looks at its progress this often
// (milliseconds).
inline constexpr int kSearchTickMs = 10;
// How long a stopped walk may do nothing before it is left behind as stuck.
inline constexpr int kStopGraceMs = 50;

// The hits of a list box as they come and as they are ordered: a walk that
// streams its records into the items at the window's ticks, and the sorts a
// long list has made on a thread of its own. Across a change of order the
// selected items, the current one and the top one are kept as records. The
// window's thread never waits on the file system here.
class THitStream final : public QObject {
    Q_OBJECT

public:
    THitStream(THitView view, std::shared_ptr<search::TFileItemList> items);
    // A walk still running is stopped; one stuck in the kernel is left behind.
    ~THitStream() override;

    // See TFileListBoxS::StartSearch.
    bool Start(const std::string& baseDir, search::TSearchJob::TWalkRun walk);
    // Ends a running walk; its records so far are kept.
    void Stop();
    bool Running() const { return FRun != nullptr; }
    // The entry the walk looks at; "" when none runs.
    std::string Path() const;

    // The order asked for last (one queued behind a running sort included).
    search::TSortOrder SortOrder() const;
    void SetSortOrder(search::TSortOrder value);
    bool IsSorting() const { return FItems->Sorting(); }
    // A sort under way is waited for and applied; one queued follows it.
    void SettleOrder();

signals:
    void SearchStep();
    void SearchEnding();
    void SearchFinished();

private:
    struct TKeptPlace;
    struct TRun;

    void StreamTick();
    void EndStream();
    void FinishStream();
    void SortTick();
    void StartQueuedSort();
    void KeepACurrentItem();

    THitView FView;
    std::shared_ptr<search::TFileItemList> FItems;
    std::unique_ptr<TRun> FRun;
    QTimer* FStreamTimer;
    QTimer* FSortTimer;
    bool FSortQueued = false;
    search::TSortOrder FQueuedSort = search::TSortOrder::soName;
};

} // namespace tavolix::hitview
