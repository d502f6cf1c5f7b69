#pragma once

#include "pages/PageWriter.h"
#include "platform/AtomicFile.h"
#include "results/ResultWindowHost.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QObject>
#include <QString>

class QWidget;

namespace tavolix::search {
class TFileItemList;
} // namespace tavolix::search

namespace tavolix::results {

// What a page is made of: the hits in their order and the search that found them.
struct TPageSource {
    const search::TFileItemList* Items = nullptr;
    std::string BaseDir;
    std::string Key;
    std::int64_t TotalSize = 0;
    bool Thumbnails = false; // the page with thumbnails
};

// Writes a result window's page: asks for its name, writes it on a thread of
// its own while the window's thread runs its event loop (with the progress
// window and its Stop), registers it in the frame's saved pages and offers to
// open it. Lives as long as its window.
class TPageSaver : public QObject {
    Q_OBJECT

public:
    TPageSaver(TResultWindowHost& host, QWidget* window);
    ~TPageSaver() override;

    // True when the window is to close now: it was closed while the page was
    // written (or stopped), and no question was asked. Returns at once while
    // a page is being written (one page at a time).
    bool Save(const TPageSource& source);
    bool Busy() const { return FRun != nullptr; }
    // Writers still running, also those left behind on a share that stopped
    // answering (tests wait for them: a thread still running at exit upsets
    // LeakSanitizer).
    static int WritersRunning();
    // The window is closing: the page being written stops, or is finished
    // without questions.
    void RequestStop() { FStopRequested = true; }

    // The save dialog's answer (empty = cancelled); an empty function
    // restores the file dialog.
    using TSaveFileNameProvider = std::function<QString(QWidget* parent, const QString& lastName)>;
    static void SetSaveFileNameProvider(TSaveFileNameProvider provider);

private:
    // ECANCELED when stopped.
    platform::TIoResult WriteOffThread(pages::TPageInput input, bool thumbnails);
    // The written page: the browser now, or word of where to find it later.
    void OfferToOpen(const std::string& page);

    TResultWindowHost& FHost;
    QWidget* FWindow;
    QString FLastSaveName;
    bool FStopRequested = false;
    struct TRun;
    std::shared_ptr<TRun> FRun; // set while a page is being written
};

} // namespace tavolix::results
