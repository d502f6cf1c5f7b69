#include "results/ItemPainter.h"

#include "pictures/MetafilePlayer.h"
#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"
#include "ui/NameText.h"
#include "ui/WaitCursor.h"

#include <algorithm>
#include <optional>

#include <QFile>
#include <QFontMetrics>
#include <QPainter>

namespace tavolix::results {

using pictures::ExtractFirstIcon;
using pictures::IcoBytesToImage;
using pictures::LoadBitmapFile;
using pictures::LoadIconImage;
using pictures::LoadMetafile;
using pictures::PlayMetafile;
using pictures::TBitmapPicture;
using pictures::TByteView;
using pictures::TLoadedMetafile;
using pictures::TProgramIcon;

namespace {

// The surface colours while one item is drawn.
struct TSurface {
    QColor Text, Back;
};

QColor Complement(const QColor& c) {
    return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

// Text with an opaque band in the current background colour.
void TextOut(QPainter& p, const QFontMetrics& fm, int x, int y, const QString& text, const TSurface& s) {
    p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), s.Back);
    p.setPen(s.Text);
    p.drawText(x, y + fm.ascent(), text);
}

void SetTextColor(TSurface& s, const QColor& color, bool selected) {
    s.Text = color;
    if (selected)
        s.Back = Complement(color);
}

void DrawIcon(QPainter& p, const QImage& icon, int x, int y, QSize size) {
    if (icon.isNull())
        return;
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, icon.size() != size);
    p.drawImage(QRect(QPoint(x, y), size), icon);
    p.restore();
}

struct TPictureBox {
    int W, H;
};

// Box size, texts' left edge and the texts, shared by bitmaps and metafiles.
TPictureBox PictureBox(const TItemPaintInput& in, const QFontMetrics& fm, const QString& name,
                       const QString& size, int pw, int ph) {
    const int tw = std::max(fm.horizontalAdvance(name), fm.horizontalAdvance(size));
    const int cw = in.ListWidth / (in.Columns > 0 ? in.Columns : 1);
    const int w = pw + 20 <= cw - tw ? pw : cw - tw - 20;
    const int h = ph <= in.ItemHeight - 4 ? ph : in.ItemHeight - 4;
    return {w, h};
}

void PictureTexts(QPainter& p, const TItemPaintInput& in, const QFontMetrics& fm, const QString& name,
                  const QString& size, int w, TSurface& s) {
    const int L = in.ItemRect.left(), T = in.ItemRect.top(), IH = in.ItemHeight;
    TextOut(p, fm, L + w + 10, T + IH / 2 - fm.height() - 2, name, s);
    s.Text = Qt::black; // the band keeps the colour chosen for the name
    TextOut(p, fm, L + w + 10, T + IH / 2 + 2, size, s);
}

bool IsReady(const TItemPicture* picture) {
    return picture && picture->State == TItemPicture::TState::Ready;
}

// An icon the helper makes: an empty box until it is there.
void DrawMadeIcon(QPainter& p, const TItemPaintInput& in, const TItemPicture* made, int x, int y) {
    if (IsReady(made)) {
        DrawIcon(p, made->Image, x, y, in.IconSize); // a program without icons has none
    } else if (made && made->State == TItemPicture::TState::Pending) {
        p.save();
        p.setPen(QColor(160, 160, 160));
        p.drawRect(QRectF(x + 0.5, y + 0.5, in.IconSize.width() - 1, in.IconSize.height() - 1));
        p.restore();
    }
}

// The icon of a file read in the paint: drawn at once, unless it is a PNG,
// which only the helper decodes.
void DrawReadIcon(QPainter& p, const TItemPaintInput& in, const std::vector<std::uint8_t>& ico, int x,
                  int y) {
    if (pictures::IsPngIcon(ico))
        DrawMadeIcon(p, in, in.HelperPicture ? in.HelperPicture() : nullptr, x, y);
    else
        DrawIcon(p, IcoBytesToImage(ico), x, y, in.IconSize);
}

// The pictures view's drawing of a picture item (the bitmap layout, aspect
// kept): the picture when it is there, an empty box while it is made, the
// default view's empty picture when it can't be.
void PaintPictureItem(QPainter& p, const TItemPaintInput& in, const QFontMetrics& fm, const QString& name,
                      TSurface& s) {
    const int L = in.ItemRect.left(), T = in.ItemRect.top(), IH = in.ItemHeight;
    const TItemPicture* picture = in.Picture;
    SetTextColor(s, GroupOf(in.FullPath) == TItemGroup::IconFile ? QColor(128, 0, 0) : QColor(255, 0, 0),
                 in.Selected);
    const int cw = in.ListWidth / (in.Columns > 0 ? in.Columns : 1);
    if (!picture || picture->State == TItemPicture::TState::Pending) {
        const int side = std::max(0, std::min(IH - 4, cw - fm.horizontalAdvance(name) - 20));
        if (side > 0) {
            p.save();
            p.setPen(QColor(160, 160, 160));
            p.drawRect(QRectF(L + 2.5, T + (IH - side) / 2 + 0.5, side - 1, side - 1));
            p.restore();
        }
        TextOut(p, fm, L + side + 10, T + IH / 2 - fm.height() - 2, name, s);
        return;
    }
    if (picture->State == TItemPicture::TState::Failed || picture->Image.isNull()) {
        const QString size = PictureSizeText(0, 0);
        PictureTexts(p, in, fm, name, size, 0, s);
        return;
    }
    const QSize shown = picture->PictureSize.isValid() ? picture->PictureSize : picture->Image.size();
    const QString size =
        picture->PictureSize.isValid() ? PictureSizeText(shown.width(), shown.height()) : QString();
    const int tw = std::max(fm.horizontalAdvance(name), fm.horizontalAdvance(size));
    const QSize box = PictureViewBox(shown, cw - tw - 20, IH - 4);
    if (!box.isEmpty()) {
        // Scaled once for the box and the screen's pixel ratio, then copied.
        const qreal ratio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
        const QSize device(qRound(box.width() * ratio), qRound(box.height() * ratio));
        if (picture->Scaled.size() != device)
            picture->Scaled = picture->Image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        picture->Scaled.setDevicePixelRatio(ratio);
        p.drawImage(QPointF(L + 2, T + (IH - box.height()) / 2), picture->Scaled);
    }
    TextOut(p, fm, L + box.width() + 10, T + IH / 2 - fm.height() - 2, name, s);
    s.Text = Qt::black;
    TextOut(p, fm, L + box.width() + 10, T + IH / 2 + 2, size, s);
}

} // namespace

TItemGroup GroupOf(std::string_view path) {
    return thumbs::FileKindOf(path).Part;
}

QSize PictureViewBox(QSize picture, int roomWidth, int roomHeight) {
    if (picture.isEmpty() || roomWidth <= 0 || roomHeight <= 0)
        return {};
    const double scale =
        std::min({1.0, double(roomWidth) / picture.width(), double(roomHeight) / picture.height()});
    return QSize(std::max(1, int(picture.width() * scale)), std::max(1, int(picture.height() * scale)));
}

QString PictureSizeText(int width, int height) {
    return QString::number(width) + QChar(0x00D7) + QString::number(height);
}

void PaintResultItem(QPainter& p, const TItemPaintInput& in) {
    const std::size_t slash = in.FullPath.rfind('/');
    const std::string nameBytes = slash == std::string::npos ? in.FullPath : in.FullPath.substr(slash + 1);
    const QString name = ui::ToVisibleText(nameBytes);
    const int L = in.ItemRect.left(), T = in.ItemRect.top(), IH = in.ItemHeight;
    const int iw = in.IconSize.width(), ih = in.IconSize.height();

    p.save();
    p.setClipRect(in.ItemRect, Qt::IntersectClip);
    p.setFont(in.Font);
    const QFontMetrics fm(in.Font, p.device());
    const int fh = in.Font.pixelSize() > 0 ? -in.Font.pixelSize() : -fm.height();
    TSurface s{in.Selected ? in.HighlightTextColor : in.TextColor,
               in.Selected ? in.HighlightColor : in.BackColor};
    const int iconX = L + 4, iconY = T + (IH - ih) / 2;
    const int nameX = L + iw + 12, nameY = T + (IH + fh) / 2;

    const TItemPicture* picture = in.Picture;
    const TItemGroup group = GroupOf(in.FullPath);
    if (in.PicturesView && group != TItemGroup::ShellIcon) {
        // A file with no picture of its own shows one only when the cache had it.
        if (thumbs::HasOwnPicture(thumbs::FileKindOf(in.FullPath)) || IsReady(picture))
            PaintPictureItem(p, in, fm, name, s);
        else
            TextOut(p, fm, nameX, nameY, name, s);
        p.restore();
        return;
    }
    switch (group) {
    case TItemGroup::IconFile: {
        SetTextColor(s, QColor(128, 0, 0), in.Selected);
        if (picture)
            DrawMadeIcon(p, in, picture, iconX, iconY);
        else
            DrawReadIcon(p, in, LoadIconImage(in.FullPath, in.IconSize), iconX, iconY);
        TextOut(p, fm, nameX, nameY, name, s);
        break;
    }
    case TItemGroup::ShellIcon: {
        SetTextColor(s, QColor(0, 0, 255), in.Selected);
        if (picture) {
            DrawMadeIcon(p, in, picture, iconX, iconY);
        } else if (const TProgramIcon icon = ExtractFirstIcon(in.FullPath, iw, ih);
                   icon.Handle > TProgramIcon::kNotAnIconFile) {
            DrawReadIcon(p, in, icon.IcoBytes, iconX, iconY);
        }
        TextOut(p, fm, nameX, nameY, name, s);
        break;
    }
    case TItemGroup::Bitmap: {
        // Decoded at the box's size: a big picture costs what it shows.
        TPictureBox box{0, 0};
        QString size;
        auto fit = [&](QSize real) {
            size = PictureSizeText(real.width(), real.height());
            box = PictureBox(in, fm, name, size, real.width(), real.height());
            return QSize(box.W, box.H);
        };
        TBitmapPicture bitmap;
        if (!picture)
            bitmap = LoadBitmapFile(in.FullPath, fit);
        else if (IsReady(picture) && !picture->PictureSize.isEmpty()) {
            fit(picture->PictureSize);
            bitmap = {picture->PictureSize, picture->Image};
        }
        if (bitmap.Size.isEmpty()) { // unreadable: 0 x 0
            size = PictureSizeText(0, 0);
            box = PictureBox(in, fm, name, size, 0, 0);
        }
        SetTextColor(s, QColor(255, 0, 0), in.Selected);
        // A column narrower than the texts leaves no room: nothing to stretch into.
        if (!bitmap.Image.isNull() && box.W > 0 && box.H > 0)
            p.drawImage(QRect(L + 2, T + (IH - box.H) / 2, box.W, box.H), bitmap.Image);
        PictureTexts(p, in, fm, name, size, box.W, s);
        break;
    }
    case TItemGroup::Metafile: {
        std::optional<ui::TWaitCursor> wait;
        if (in.WaitCursor && !picture)
            wait.emplace();
        TLoadedMetafile loaded;
        const TLoadedMetafile* meta = &loaded;
        if (!picture)
            loaded = LoadMetafile(in.FullPath, in.ScreenDpi);
        else if (IsReady(picture) && picture->Metafile)
            meta = picture->Metafile.get();
        const int pw = meta->Info ? meta->Info->Width : 0, ph = meta->Info ? meta->Info->Height : 0;
        const QString size = PictureSizeText(pw, ph);
        const TPictureBox box = PictureBox(in, fm, name, size, pw, ph);
        SetTextColor(s, QColor(255, 0, 0), in.Selected);
        if (meta->Info && box.W > 0 && box.H > 0)
            PlayMetafile(p, TByteView(meta->Bytes), *meta->Info, QRectF(L + 2, T + 2, box.W, box.H));
        PictureTexts(p, in, fm, name, size, box.W, s);
        break;
    }
    case TItemGroup::NameOnly:
        TextOut(p, fm, nameX, nameY, name, s);
        break;
    }
    p.restore();
}

} // namespace tavolix::results
