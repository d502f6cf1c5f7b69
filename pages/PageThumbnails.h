#pragma once

#include "pages/PageWriter.h"
#include "platform/AtomicFile.h"
#include "thumbs/ThumbnailPool.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace tavolix::pages {

// How far a page with thumbnails has come, read on another thread (the
// progress window's); Stop ends the writing at the next picture.
class TPageProgress {
public:
    void Stop() { FStop = true; }
    bool StopRequested() const { return FStop; }
    int Done() const { return FDone; }
    int Total() const { return FTotal; }
    // The picture whose thumbnail is being made.
    std::string Current() const;

    void SetTotal(int total) { FTotal = total; }
    void SetDone(int done, std::string current);

private:
    std::atomic<bool> FStop{false};
    std::atomic<int> FDone{0}, FTotal{0};
    mutable std::mutex FMutex;
    std::string FCurrent;
};

// The file in the thumbnails' folder that names the page it belongs to: a
// folder of that name is replaced only when its marker names this page and
// it holds nothing but the page's thumbnails.
inline constexpr const char* kThumbnailMarker = ".tavolix-page";

// Writes the page with thumbnails: the picture helpers make each picture's
// files into a new folder beside the page (ThumbnailFolderOf), which then
// takes the old folder's place as a whole before the page is replaced. A
// picture they cannot make is a link line. Any failure (a thumbnail or the
// page that cannot be written, a folder beside the page that is not one of
// ours, no helper that can run) and a stop leave the old page and folder as
// they were; a stop gives ECANCELED.
//
// Made on the pool's owner's thread; Write (once) may run on any other and
// never touches the pool itself, so a writer stuck in a file system that
// stopped answering may outlive it.
class TThumbnailPageWriter {
public:
    explicit TThumbnailPageWriter(thumbs::TThumbnailPool& pool);
    ~TThumbnailPageWriter();
    TThumbnailPageWriter(const TThumbnailPageWriter&) = delete;
    TThumbnailPageWriter& operator=(const TThumbnailPageWriter&) = delete;

    platform::TIoResult Write(TPageInput in, TPageProgress& progress);

private:
    struct TMailbox;
    std::shared_ptr<TMailbox> FMailbox;
    std::shared_ptr<thumbs::TThumbnailPool::TClient> FClient;
};

// Writes a page with thumbnails on this thread.
platform::TIoResult WriteThumbnailPage(TPageInput in, thumbs::TThumbnailPool& pool, TPageProgress& progress);

} // namespace tavolix::pages
