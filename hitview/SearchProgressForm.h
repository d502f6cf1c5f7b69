#pragma once

#include "search/FileItems.h"
#include "search/SearchJob.h"

#include <cstdint>
#include <functional>
#include <string_view>

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

class QLabel;

namespace tavolix::hitview {

// The window a search shows while it walks: the entry being looked at and
// the number of files found so far.
class TSearchProgressForm : public QWidget {
    Q_OBJECT

public:
    explicit TSearchProgressForm(QWidget* owner);

    // Sets both labels: the path of the entry and "集計数 ： " + count.
    void ShowEntry(std::string_view path, std::int64_t fileCount);
    // How often ShowEntry ran.
    int EntriesShown() const { return FEntriesShown; }
    // Closed (title bar, Escape): the walk is to stop.
    bool StopRequested() const { return FStopRequested; }

    QLabel* kkk;
    QLabel* nnn;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    int FEntriesShown = 0;
    bool FStopRequested = false;
};

// Runs the walk's side of the window while the walk runs on its own thread:
// at each tick of the window's clock it takes the records found, sets the
// progress labels to the latest entry and its count (when the refresh
// interval has passed since they were last set; the window's creation
// counts), and sees to a stop. What is painted is never more than one
// interval behind the walk, and the labels are not laid out again for
// every directory.
class TProgressRelay final {
public:
    // `over` tells that the walk is over for the window (it went, or asked
    // to stop); `step` follows each tick. Without a clock, a steady one.
    TProgressRelay(std::function<bool()> over, search::TFileInfoList& files, search::TSearchJob& job,
                   TSearchProgressForm* form, int intervalMs, std::function<std::int64_t()> clockMs,
                   std::function<void()> step);

    // One tick; false once the walk is over for this window.
    bool Tick();

private:
    std::function<bool()> FOver;
    search::TFileInfoList& FFiles;
    search::TSearchJob& FJob;
    QPointer<TSearchProgressForm> FForm;
    int FIntervalMs;
    std::function<std::int64_t()> FClock;
    std::function<void()> FStep;
    QElapsedTimer FTimer;
    std::int64_t FLastShown = 0;
};

} // namespace tavolix::hitview
