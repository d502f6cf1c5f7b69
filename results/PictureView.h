#pragma once

#include "platform/Volumes.h"
#include "results/ItemPainter.h"
#include "thumbs/ByteLru.h"
#include "thumbs/Protocol.h"
#include "thumbs/ThumbnailPool.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QObject>

class QAbstractItemView;
class QTimer;

namespace tavolix::hitview {
class TFileListBoxS;
}

namespace tavolix::results {

// The pictures of one result window that are made off its thread: today's
// pictures in the pictures view, and the default view's pictures of files on
// network and FUSE volumes (whose reads may never come back), links that
// lead there included, and of icons in PNG (decoded only outside the
// window's process). A paint takes
// what the window's cache holds and asks for what is missing; the helper
// processes of the pool make it, visible items first, then a screen ahead
// and one behind; a scroll drops what left the screen. Only the item whose
// picture arrived is repainted.
class TPictureView : public QObject {
    Q_OBJECT

public:
    TPictureView(hitview::TFileListBoxS& list, thumbs::TThumbnailPool* pool, platform::TMountTable volumes,
                 QObject* parent = nullptr);
    ~TPictureView() override;

    bool Shown() const { return FShown; }
    // Turns the pictures view on or off and repaints the list.
    void SetShown(bool shown);
    // The side of the pictures in the pictures view; the thumbnails asked
    // for are those that draw it sharp on the list's screen.
    int PictureSide() const { return FPictureSide; }
    void SetPictureSide(int side);

    // The picture the painter uses for an item; nullptr when the paint reads
    // the file itself (the default view, a file on a local volume). A
    // picture not made yet is asked for.
    const TItemPicture* PictureFor(int index, const std::string& path);
    // The default view's picture of a file on a local volume that its paint
    // can't draw itself (an icon in PNG), asked of the helper from now on.
    const TItemPicture* HelperPictureFor(int index, const std::string& path);

    // Another view of the same items, one row an item (the details view):
    // while it is shown, its rows on the screen are asked for first and it
    // repaints what arrives. It shows pictures only in the pictures view.
    void SetRowView(QAbstractItemView* view);

    // The cache's byte budget; what was drawn least recently goes first.
    void SetByteBudget(std::size_t bytes) { FCache.SetBudget(bytes); }
    std::size_t CachedBytes() const { return FCache.Bytes(); }
    // Pictures in the cache that can be drawn.
    int ReadyCount() const;
    static constexpr std::size_t kByteBudget = 64u << 20;

signals:
    // A picture arrived for the item at `index` (the index when it was asked for).
    void PictureArrived(int index);
    // The items asked of the helpers, first first.
    void RequestsSent(const std::vector<int>& indexes);

private:
    struct TWant {
        std::string Key;
        thumbs::TThumbRequest Request;
        int Index;
    };
    struct TAsked {
        std::string Key, Path;
        int Index;
    };

    // What an item needs, or false when its paint reads the file itself.
    bool WantOf(int index, const std::string& path, TWant& want) const;
    bool OnSlowVolume(const std::string& path) const;
    void ScheduleRequests();
    void SendRequests();
    void ReplyArrived(const thumbs::TThumbReply& reply);

    hitview::TFileListBoxS& FList;
    platform::TMountTable FVolumes;
    std::shared_ptr<thumbs::TThumbnailPool::TClient> FClient;
    thumbs::TByteLru<TItemPicture> FCache{kByteBudget};
    std::unordered_set<std::string> FHelperPaths;
    std::unordered_map<std::string, std::uint64_t> FIdOfKey;
    std::unordered_map<std::uint64_t, TAsked> FAsked;
    std::uint64_t FNextId = 0;
    QTimer* FRequestTimer;
    bool FShown = false;
    int FPictureSide = 160;
    int FScreenDpi = 96;
    QAbstractItemView* FRowView = nullptr;
};

} // namespace tavolix::results
