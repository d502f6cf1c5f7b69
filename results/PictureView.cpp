#include "results/PictureView.h"

#include "hitview/FLBoxS.h"
#include "pictures/Metafile.h"
#include "results/GridLayout.h"
#include "thumbs/FileKinds.h"

#include <algorithm>
#include <cstring>

#include <QAbstractItemView>
#include <QScrollBar>
#include <QTimer>

namespace tavolix::results {

namespace {

using thumbs::TDecoder;
using thumbs::TRequestKind;
using thumbs::TThumbReply;
using thumbs::TThumbRequest;

// Some bytes of bookkeeping besides an entry's pixels.
constexpr std::size_t kEntryOverhead = 256;

const TItemPicture& Pending() {
    static const TItemPicture pending;
    return pending;
}

const TItemPicture& Unavailable() {
    static const TItemPicture unavailable = [] {
        TItemPicture picture;
        picture.State = TItemPicture::TState::Unavailable;
        return picture;
    }();
    return unavailable;
}

} // namespace

TPictureView::TPictureView(hitview::TFileListBoxS& list, thumbs::TThumbnailPool* pool,
                           platform::TMountTable volumes, QObject* parent)
    : QObject(parent), FList(list), FVolumes(std::move(volumes)) {
    FScreenDpi = list.logicalDpiY();
    FRequestTimer = new QTimer(this);
    FRequestTimer->setSingleShot(true);
    FRequestTimer->setInterval(0);
    connect(FRequestTimer, &QTimer::timeout, this, &TPictureView::SendRequests);
    connect(list.horizontalScrollBar(), &QScrollBar::valueChanged, this, &TPictureView::ScheduleRequests);
    connect(list.verticalScrollBar(), &QScrollBar::valueChanged, this, &TPictureView::ScheduleRequests);
    if (pool) {
        // Replies come on the pool's thread; they are taken on this one.
        FClient = pool->Connect([this](TThumbReply&& reply) {
            auto shared = std::make_shared<TThumbReply>(std::move(reply));
            QMetaObject::invokeMethod(
                this, [this, shared] { ReplyArrived(*shared); }, Qt::QueuedConnection);
        });
    }
}

TPictureView::~TPictureView() {
    // No reply is handed over after this: the queued ones die with the object.
    if (FClient)
        FClient->Close();
}

void TPictureView::SetShown(bool shown) {
    if (shown == FShown)
        return;
    FShown = shown;
    FList.viewport()->update();
    if (FRowView)
        FRowView->viewport()->update();
    ScheduleRequests();
}

void TPictureView::SetRowView(QAbstractItemView* view) {
    FRowView = view;
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &TPictureView::ScheduleRequests);
}

void TPictureView::SetPictureSide(int side) {
    if (side <= 0 || side == FPictureSide)
        return;
    FPictureSide = side;
    FList.viewport()->update();
    ScheduleRequests();
}

bool TPictureView::OnSlowVolume(const std::string& path) const {
    // Where the path leads counts: a link in a local folder may reach a
    // share whose server died, and the paint would wait in its open.
    return FVolumes.LeadsToVolumeThatMayStopAnswering(path);
}

bool TPictureView::WantOf(int index, const std::string& path, TWant& want) const {
    const thumbs::TFileKind kind = thumbs::FileKindOf(path);
    TThumbRequest& q = want.Request;
    q.Path = path;
    q.Dpi = FScreenDpi;
    const qreal ratio = FList.devicePixelRatioF();
    q.IconSize = std::max(1, qRound(32 * ratio));
    want.Index = index;
    if (!FShown || kind.Decoder == TDecoder::ProgramIcon) {
        if (kind.Part == thumbs::TPartGroup::NameOnly ||
            (!FShown && !OnSlowVolume(path) && !FHelperPaths.contains(path)))
            return false;
        // The default view's own picture, read by a helper.
        q.Kind = TRequestKind::PartPicture;
        q.BoxWidth = std::max(1, FList.width() / std::max(1, FList.Columns()));
        q.BoxHeight = std::max(1, FList.ItemHeight() - 4);
        want.Key = "D" + std::to_string(q.BoxWidth) + "x" + std::to_string(q.BoxHeight) + ":" + path;
        return true;
    }
    q.Kind = thumbs::HasOwnPicture(kind) ? TRequestKind::Picture : TRequestKind::CachedOnly;
    q.Size = GridThumbSize(FPictureSide, ratio);
    want.Key = "P" + std::to_string(static_cast<int>(q.Size)) + ":" + path;
    return true;
}

const TItemPicture* TPictureView::PictureFor(int index, const std::string& path) {
    TWant want;
    if (!WantOf(index, path, want))
        return nullptr;
    if (const TItemPicture* picture = FCache.Find(want.Key))
        return picture;
    // Without helpers nothing will come: not available at once.
    if (!FClient)
        return &Unavailable();
    ScheduleRequests();
    return &Pending();
}

const TItemPicture* TPictureView::HelperPictureFor(int index, const std::string& path) {
    FHelperPaths.insert(path);
    return PictureFor(index, path);
}

int TPictureView::ReadyCount() const {
    int ready = 0;
    FCache.ForEach([&](const std::string&, const TItemPicture& picture) {
        if (picture.State == TItemPicture::TState::Ready)
            ++ready;
    });
    return ready;
}

void TPictureView::ScheduleRequests() {
    if (!FRequestTimer->isActive())
        FRequestTimer->start();
}

void TPictureView::SendRequests() {
    if (!FClient)
        return;
    const int count = FList.Items().Count();
    const int rows = std::max(1, FList.viewport()->height() / std::max(1, FList.ItemHeight()));
    // A column, or a row, may show in part.
    int screen = (rows + 1) * (std::max(1, FList.Columns()) + 1);
    int top = FList.TopIndex();
    if (FRowView && FRowView->isVisible()) {
        // Its rows draw no picture outside the pictures view.
        if (!FShown) {
            FIdOfKey.clear();
            FClient->SetWanted({});
            return;
        }
        const QModelIndex first = FRowView->indexAt(QPoint(0, 0));
        top = first.isValid() ? first.row() : 0;
        const int rowHeight = std::max(1, FRowView->visualRect(first).height());
        screen = FRowView->viewport()->height() / rowHeight + 2;
    }
    std::vector<std::pair<int, int>> ranges = {
        {top, top + screen}, {top + screen, top + 2 * screen}, {top - screen, top}};
    std::vector<TThumbRequest> wanted;
    std::vector<int> indexes;
    std::unordered_map<std::string, std::uint64_t> ids;
    for (auto [from, to] : ranges) {
        for (int i = std::max(0, from); i < std::min(count, to); ++i) {
            const std::string path = FList.GetFilePath(i);
            TWant want;
            if (!WantOf(i, path, want) || FCache.Contains(want.Key) || ids.contains(want.Key))
                continue;
            // The same request keeps its id, so the pool doesn't make it twice.
            const auto known = FIdOfKey.find(want.Key);
            want.Request.Id = known != FIdOfKey.end() ? known->second : ++FNextId;
            ids[want.Key] = want.Request.Id;
            FAsked[want.Request.Id] = {want.Key, path, i};
            wanted.push_back(std::move(want.Request));
            indexes.push_back(i);
        }
    }
    // Requests that left the screen are forgotten, unless their answer is on its way.
    FIdOfKey = std::move(ids);
    if (FAsked.size() > 4 * wanted.size() + 1024)
        std::erase_if(FAsked, [&](const auto& a) { return !FIdOfKey.contains(a.second.Key); });
    FClient->SetWanted(std::move(wanted));
    emit RequestsSent(indexes);
}

void TPictureView::ReplyArrived(const TThumbReply& reply) {
    const auto asked = FAsked.find(reply.Id);
    if (asked == FAsked.end())
        return;
    const TAsked what = asked->second;
    FAsked.erase(asked);
    FIdOfKey.erase(what.Key);

    TItemPicture picture;
    picture.State = reply.Status == thumbs::TReplyStatus::Ok            ? TItemPicture::TState::Ready
                    : reply.Status == thumbs::TReplyStatus::Unavailable ? TItemPicture::TState::Unavailable
                                                                        : TItemPicture::TState::Failed;
    std::size_t bytes = kEntryOverhead + what.Key.size();
    if (reply.Width > 0 && reply.Height > 0) {
        // The sizes were checked against the pixels when the reply was read.
        picture.Image = QImage(reply.Width, reply.Height, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < reply.Height; ++y)
            std::memcpy(picture.Image.scanLine(y), reply.Pixels.data() + std::size_t(y) * reply.Width * 4,
                        std::size_t(reply.Width) * 4);
        // Twice: the copy scaled for the screen goes with it.
        bytes += 2 * reply.Pixels.size();
        picture.Transparent = HasTransparentPixels(picture.Image);
    }
    if (reply.PictureWidth > 0 && reply.PictureHeight > 0)
        picture.PictureSize = QSize(reply.PictureWidth, reply.PictureHeight);
    picture.IconHandle =
        reply.IconHandle >= 0 ? int(reply.IconHandle) : int(pictures::TProgramIcon::kNotAnIconFile);
    if (!reply.Metafile.empty()) {
        auto meta = std::make_shared<pictures::TLoadedMetafile>();
        meta->Bytes.assign(reply.Metafile.begin(), reply.Metafile.end());
        meta->Info = pictures::ReadMetafileInfo(pictures::TByteView(meta->Bytes), FScreenDpi);
        if (!meta->Info)
            meta->Bytes.clear();
        bytes += meta->Bytes.size();
        picture.Metafile = std::move(meta);
    }
    FCache.Put(what.Key, std::move(picture), bytes);

    // Only the item repaints, when it is still where it was.
    const bool inPlace = what.Index < FList.Items().Count() && FList.GetFilePath(what.Index) == what.Path;
    if (inPlace)
        FList.viewport()->update(FList.visualRect(FList.model()->index(what.Index, 0)));
    else
        FList.viewport()->update();
    if (FRowView && FRowView->isVisible()) {
        if (inPlace)
            FRowView->viewport()->update(FRowView->visualRect(FRowView->model()->index(what.Index, 0)));
        else
            FRowView->viewport()->update();
    }
    emit PictureArrived(what.Index);
}

} // namespace tavolix::results
