#include "pages/PageThumbnails.h"

#include "pages/PathFunctions.h"
#include "platform/AtomicFolder.h"
#include "thumbs/FileKinds.h"
#include "thumbs/ThumbnailPool.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <memory>
#include <set>
#include <unistd.h>

namespace tavolix::pages {

namespace {

using thumbs::TPageFormat;
using thumbs::TReplyStatus;
using thumbs::TThumbReply;
using thumbs::TThumbRequest;

// Whatever the page does not show goes: a file written for a request whose
// answer the page no longer took.
void KeepOnly(const std::string& folder, const std::set<std::string>& names) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name != kThumbnailMarker && !names.contains(name))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

std::string TPageProgress::Current() const {
    std::lock_guard lock(FMutex);
    return FCurrent;
}

void TPageProgress::SetDone(int done, std::string current) {
    std::lock_guard lock(FMutex);
    FDone = done;
    FCurrent = std::move(current);
}

// Replies handed over from the pool's thread.
struct TThumbnailPageWriter::TMailbox {
    std::mutex Mutex;
    std::condition_variable Arrived;
    std::deque<TThumbReply> Replies;
};

TThumbnailPageWriter::TThumbnailPageWriter(thumbs::TThumbnailPool& pool)
    : FMailbox(std::make_shared<TMailbox>()) {
    FClient = pool.Connect([mailbox = FMailbox](TThumbReply&& reply) {
        std::lock_guard lock(mailbox->Mutex);
        mailbox->Replies.push_back(std::move(reply));
        mailbox->Arrived.notify_one();
    });
}

TThumbnailPageWriter::~TThumbnailPageWriter() {
    FClient->Close();
}

platform::TIoResult WriteThumbnailPage(TPageInput in, thumbs::TThumbnailPool& pool, TPageProgress& progress) {
    return TThumbnailPageWriter(pool).Write(std::move(in), progress);
}

platform::TIoResult TThumbnailPageWriter::Write(TPageInput in, TPageProgress& progress) {
    const platform::TIoError stopped{in.PageFileName, ECANCELED, "stopped"};
    if (progress.StopRequested())
        return stopped;
    platform::TFolderReplacement folder(ThumbnailFolderOf(in.PageFileName), kThumbnailMarker,
                                        thumbs::IsPageFileName);
    if (platform::TIoResult error = folder.Begin("Thumbnails of " + NamePart(in.PageFileName) + "\n"))
        return error;

    // The old page's own thumbnails among the hits get none of their own.
    const std::string ownFolder = ThumbnailFolderOf(in.PageFileName);
    std::vector<TThumbRequest> requests;
    for (std::size_t i = 0; i < in.Items.size(); ++i) {
        const std::string& path = in.Items[i].FullPath;
        if (!thumbs::HasOwnPicture(thumbs::FileKindOf(path)) || path.starts_with(ownFolder + "/"))
            continue;
        TThumbRequest q;
        q.Id = i + 1;
        q.Kind = thumbs::TRequestKind::PageThumbnail;
        q.Size = thumbs::TThumbSize::Large;
        q.Path = path;
        q.Output = folder.NewFolder();
        // The pictures that did not change since the last page are taken from it.
        if (folder.HadOld())
            q.Reuse = ownFolder;
        requests.push_back(std::move(q));
    }
    const int total = static_cast<int>(requests.size());
    progress.SetTotal(total);
    progress.SetDone(0, total > 0 ? requests.front().Path : std::string());

    in.WithThumbnails = true;
    in.Thumbs.assign(in.Items.size(), {});
    std::set<std::string> shown;
    if (total > 0) {
        TMailbox* const mailbox = FMailbox.get();
        const auto& client = FClient;
        client->SetWanted(requests);
        int answered = 0;
        while (answered < total) {
            std::deque<TThumbReply> replies;
            {
                std::unique_lock lock(mailbox->Mutex);
                // Woken by a reply; a stop is looked at every tenth of a second.
                mailbox->Arrived.wait_for(lock, std::chrono::milliseconds(100),
                                          [&] { return !mailbox->Replies.empty(); });
                replies.swap(mailbox->Replies);
            }
            if (progress.StopRequested()) {
                client->Close();
                return stopped;
            }
            for (const TThumbReply& reply : replies) {
                if (reply.Id < 1 || reply.Id > in.Items.size())
                    continue;
                if (reply.Status == TReplyStatus::NotWritten) {
                    client->Close();
                    return platform::TIoError{ownFolder, reply.WriteErrno > 0 ? reply.WriteErrno : EIO};
                }
                // A page of links alone would pass for one of pictures that aren't any.
                if (reply.Status == TReplyStatus::Unavailable) {
                    client->Close();
                    return platform::TIoError{in.PageFileName, EIO,
                                              "no thumbnails could be made: the picture helper cannot "
                                              "run or decode here"};
                }
                ++answered;
                if (reply.Status == TReplyStatus::Ok && reply.PageFormat != TPageFormat::None) {
                    TPageThumb& thumb = in.Thumbs[reply.Id - 1];
                    thumb.File = reply.PageName + thumbs::PageFileSuffix(reply.PageFormat, false);
                    if (reply.PageDouble)
                        thumb.File2x = reply.PageName + thumbs::PageFileSuffix(reply.PageFormat, true);
                    thumb.Width = reply.PageWidth;
                    thumb.Height = reply.PageHeight;
                    shown.insert(thumb.File);
                    if (!thumb.File2x.empty())
                        shown.insert(thumb.File2x);
                }
            }
            const std::size_t next = static_cast<std::size_t>(std::min(answered, total - 1));
            progress.SetDone(answered, requests[next].Path);
        }
        client->Close();
    }
    KeepOnly(folder.NewFolder(), shown);

    const std::string text = PageText(in);
    if (platform::TIoResult error = folder.Commit())
        return error;
    if (platform::TIoResult error = platform::WriteFileAtomic(in.PageFileName, text)) {
        folder.Undo();
        return error;
    }
    folder.Finish();
    return std::nullopt;
}

} // namespace tavolix::pages
