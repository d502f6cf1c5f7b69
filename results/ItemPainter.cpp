#include "results/ItemPainter.h"

#include "pictures/MetafilePlayer.h"
#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"
#include "results/GridLayout.h"
#include "ui/NameText.h"
#include "ui/ReadableColours.h"
#include "ui/WaitCursor.h"

#include <algorithm>
#include <optional>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

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

// The surface colours while one item is drawn. In a dark palette the fixed
// colours take a shade that reads on what lies behind them.
struct TSurface {
    QColor Text, Back;
    bool Dark = false;
};

QColor Complement(const QColor& c) {
    return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

QColor Shade(const QColor& fixed, const TSurface& s) {
    if (!s.Dark)
        return fixed;
    const ui::TRgb shade = ui::ReadableShade({fixed.red(), fixed.green(), fixed.blue()},
                                             {s.Back.red(), s.Back.green(), s.Back.blue()});
    return QColor(shade.R, shade.G, shade.B);
}

// Text with an opaque band in the current background colour.
void TextOut(QPainter& p, const QFontMetrics& fm, int x, int y, const QString& text, const TSurface& s) {
    p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), s.Back);
    p.setPen(s.Text);
    // The list hands over an opaque painter: its background must be the band's.
    p.setBackground(s.Back);
    p.drawText(x, y + fm.ascent(), text);
}

void SetTextColor(TSurface& s, const QColor& color, bool selected) {
    if (selected)
        s.Back = Complement(color);
    s.Text = Shade(color, s);
}

// The pixel size under a picture's name: black, on the name's band.
void SetSizeColor(TSurface& s) {
    s.Text = Shade(Qt::black, s);
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
    SetSizeColor(s); // the band keeps the colour chosen for the name
    TextOut(p, fm, L + w + 10, T + IH / 2 + 2, size, s);
}

bool IsReady(const TItemPicture* picture) {
    return picture && picture->State == TItemPicture::TState::Ready;
}

// What stands for the pixel size of a picture no helper could make: not
// 0×0, which says the file is no picture.
QString SizeText(const TItemPicture* picture, int width, int height) {
    if (picture && picture->State == TItemPicture::TState::Unavailable)
        return QCoreApplication::translate("tavolix::results::TPictureView", "表示できません");
    return PictureSizeText(width, height);
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

// Grey squares under a picture with transparent parts, so that white shows.
void DrawCheckerboard(QPainter& p, const QRect& box) {
    constexpr int kSquare = 8;
    p.save();
    p.setClipRect(box, Qt::IntersectClip);
    p.fillRect(box, QColor(204, 204, 204));
    for (int y = box.top(); y <= box.bottom(); y += kSquare)
        for (int x = box.left() + ((y - box.top()) / kSquare % 2) * kSquare; x <= box.right();
             x += 2 * kSquare)
            p.fillRect(QRect(x, y, kSquare, kSquare), QColor(170, 170, 170));
    p.restore();
}

// Where the parts of a cell of the pictures view lie.
struct TTile {
    QRect Picture; // the square the picture fits in
    int TextY = 0; // top of the name; the pixel size one line below
    int TextWidth = 0;
};

TTile TileOf(const TItemPaintInput& in, const QFontMetrics& fm) {
    const int L = in.ItemRect.left(), T = in.ItemRect.top(), IH = in.ItemHeight;
    const int cw = in.ListWidth / (in.Columns > 0 ? in.Columns : 1);
    const int lines = kTileMargin / 2 + 2 * fm.height();
    // A window too small for the chosen size shrinks the pictures, not the names.
    const int side =
        std::max(0, std::min({in.PictureSide, cw - 2 * kTileMargin, IH - lines - 2 * kTileMargin}));
    const int top = T + (IH - side - lines) / 2;
    return {QRect(L + (cw - side) / 2, top, side, side), top + side + kTileMargin / 2, std::max(0, cw - 4)};
}

// The desktop's icon of the type a name says (the file is never read), the
// plain file's when the theme has none; looked up once a type.
QIcon TypeIcon(const QString& name) {
    static const QMimeDatabase database;
    // Never destroyed: an icon must not go after the application has.
    static auto& icons = *new QHash<QString, QIcon>;
    const QList<QMimeType> types = database.mimeTypesForFileName(name);
    const QMimeType type = types.isEmpty()
                               ? database.mimeTypeForName(QStringLiteral("application/octet-stream"))
                               : types.front();
    auto known = icons.constFind(type.name());
    if (known != icons.constEnd())
        return *known;
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    icons.insert(type.name(), icon);
    return icon;
}

// A text centred in the cell below the picture.
void TileText(QPainter& p, const TItemPaintInput& in, const QFontMetrics& fm, int y, const QString& text,
              const TTile& tile, const TSurface& s) {
    const int cw = in.ListWidth / (in.Columns > 0 ? in.Columns : 1);
    const QString shown = ElideName(text, fm, tile.TextWidth);
    TextOut(p, fm, in.ItemRect.left() + (cw - fm.horizontalAdvance(shown)) / 2, y, shown, s);
}

// The pictures view's cell of a file with a picture: the picture when it is
// there, an empty box while it is made, the size 0×0 when it can't be.
void PaintPictureTile(QPainter& p, const TItemPaintInput& in, const QFontMetrics& fm, const QString& name,
                      const TTile& tile, TSurface& s) {
    const TItemPicture* picture = in.Picture;
    SetTextColor(s, GroupOf(in.FullPath) == TItemGroup::IconFile ? QColor(128, 0, 0) : QColor(255, 0, 0),
                 in.Selected);
    QString size;
    if (!picture || picture->State == TItemPicture::TState::Pending) {
        if (!tile.Picture.isEmpty()) {
            p.save();
            p.setPen(QColor(160, 160, 160));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(tile.Picture).adjusted(0.5, 0.5, -0.5, -0.5));
            p.restore();
        }
        TileText(p, in, fm, tile.TextY, name, tile, s);
        return;
    }
    if (picture->State != TItemPicture::TState::Ready || picture->Image.isNull()) {
        size = SizeText(picture, 0, 0);
    } else {
        const QSize shown = picture->PictureSize.isValid() ? picture->PictureSize : picture->Image.size();
        if (picture->PictureSize.isValid())
            size = PictureSizeText(shown.width(), shown.height());
        const QSize box = PictureViewBox(shown, tile.Picture.width(), tile.Picture.height());
        if (!box.isEmpty()) {
            const QRect at(tile.Picture.left() + (tile.Picture.width() - box.width()) / 2,
                           tile.Picture.top() + (tile.Picture.height() - box.height()) / 2, box.width(),
                           box.height());
            if (picture->Transparent)
                DrawCheckerboard(p, at);
            // Scaled once for the box and the screen's pixel ratio, then copied.
            const qreal ratio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
            const QSize device(qRound(box.width() * ratio), qRound(box.height() * ratio));
            if (picture->Scaled.size() != device)
                picture->Scaled =
                    picture->Image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            picture->Scaled.setDevicePixelRatio(ratio);
            p.drawImage(at.topLeft(), picture->Scaled);
        }
    }
    TileText(p, in, fm, tile.TextY, name, tile, s);
    SetSizeColor(s);
    TileText(p, in, fm, tile.TextY + fm.height(), size, tile, s);
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

bool HasTransparentPixels(const QImage& image) {
    if (!image.hasAlphaChannel())
        return false;
    // Premultiplied or not, the alpha is the same.
    const QImage argb =
        image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) < 255)
                return true;
    }
    return false;
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
               in.Selected ? in.HighlightColor : in.BackColor,
               ui::IsDarkBackground({in.BackColor.red(), in.BackColor.green(), in.BackColor.blue()})};
    const int iconX = L + 4, iconY = T + (IH - ih) / 2;
    const int nameX = L + iw + 12, nameY = T + (IH + fh) / 2;

    const TItemPicture* picture = in.Picture;
    const TItemGroup group = GroupOf(in.FullPath);
    if (in.PicturesView) {
        const TTile tile = TileOf(in, fm);
        if (in.Selected) {
            p.save();
            p.setPen(QPen(in.HighlightColor, 2));
            p.setBrush(Qt::NoBrush); // the list's painter comes with a filling brush
            p.drawRect(QRectF(in.ItemRect).adjusted(1, 1, -1, -1));
            p.restore();
        }
        const QPoint icon(tile.Picture.center().x() - iw / 2, tile.Picture.center().y() - ih / 2);
        if (group == TItemGroup::ShellIcon) {
            SetTextColor(s, QColor(0, 0, 255), in.Selected);
            if (picture)
                DrawMadeIcon(p, in, picture, icon.x(), icon.y());
            else if (const TProgramIcon found = ExtractFirstIcon(in.FullPath, iw, ih);
                     found.Handle > TProgramIcon::kNotAnIconFile)
                DrawReadIcon(p, in, found.IcoBytes, icon.x(), icon.y());
            TileText(p, in, fm, tile.TextY, name, tile, s);
        } else if (thumbs::HasOwnPicture(thumbs::FileKindOf(in.FullPath)) || IsReady(picture)) {
            // A file with no picture of its own shows one only when the cache had it.
            PaintPictureTile(p, in, fm, name, tile, s);
        } else {
            // No picture: the type's icon stands in the square, half its side.
            const int side = std::clamp(tile.Picture.width() / 2, 16, 128);
            if (tile.Picture.width() >= side && tile.Picture.height() >= side)
                TypeIcon(name).paint(&p, QRect(tile.Picture.center().x() - side / 2,
                                               tile.Picture.center().y() - side / 2, side, side));
            TileText(p, in, fm, tile.TextY, name, tile, s);
        }
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
            size = SizeText(picture, 0, 0);
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
        const QString size = SizeText(picture, pw, ph);
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
