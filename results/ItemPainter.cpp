#include "results/ItemPainter.h"

#include "pictures/MetafilePlayer.h"
#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"
#include "ui/NameText.h"
#include "ui/WaitCursor.h"

#include <array>
#include <optional>

#include <QFile>
#include <QFontMetrics>
#include <QPainter>

namespace tavolix::results {

using pictures::ExtractFirstIcon;
using pictures::IcoBytesToImage;
using pictures::LoadBitmapFile;
using pictures::LoadIconFile;
using pictures::LoadMetafile;
using pictures::PlayMetafile;
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

constexpr std::array<std::string_view, 12> kShellIconExts = {".EXE", ".DLL", ".SCR", ".HLP", ".OCX", ".VBX",
                                                             ".CPL", ".DRV", ".SYS", ".LNK", ".CUR", ".ANI"};

} // namespace

std::string UpperExt(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot));
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

TItemGroup GroupOf(std::string_view path) {
    const std::string ext = UpperExt(path);
    if (ext == ".ICO")
        return TItemGroup::IconFile;
    if (ext == ".BMP")
        return TItemGroup::Bitmap;
    if (ext == ".WMF" || ext == ".EMF") // the reader goes by content: either kind in either name
        return TItemGroup::Metafile;
    for (std::string_view e : kShellIconExts) {
        if (ext == e)
            return TItemGroup::ShellIcon;
    }
    return TItemGroup::NameOnly;
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

    switch (GroupOf(in.FullPath)) {
    case TItemGroup::IconFile: {
        const QImage icon = LoadIconFile(in.FullPath, in.IconSize);
        SetTextColor(s, QColor(128, 0, 0), in.Selected);
        DrawIcon(p, icon, iconX, iconY, in.IconSize);
        TextOut(p, fm, nameX, nameY, name, s);
        break;
    }
    case TItemGroup::ShellIcon: {
        SetTextColor(s, QColor(0, 0, 255), in.Selected);
        const TProgramIcon icon = ExtractFirstIcon(in.FullPath, iw, ih);
        if (icon.Handle > TProgramIcon::kNotAnIconFile)
            DrawIcon(p, IcoBytesToImage(icon.IcoBytes), iconX, iconY, in.IconSize);
        TextOut(p, fm, nameX, nameY, name, s);
        break;
    }
    case TItemGroup::Bitmap: {
        // Decoded at the box's size: a big picture costs what it shows.
        TPictureBox box{0, 0};
        QString size;
        const auto bitmap = LoadBitmapFile(in.FullPath, [&](QSize real) {
            size = PictureSizeText(real.width(), real.height());
            box = PictureBox(in, fm, name, size, real.width(), real.height());
            return QSize(box.W, box.H);
        });
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
        if (in.WaitCursor)
            wait.emplace();
        const TLoadedMetafile meta = LoadMetafile(in.FullPath, in.ScreenDpi);
        const int pw = meta.Info ? meta.Info->Width : 0, ph = meta.Info ? meta.Info->Height : 0;
        const QString size = PictureSizeText(pw, ph);
        const TPictureBox box = PictureBox(in, fm, name, size, pw, ph);
        SetTextColor(s, QColor(255, 0, 0), in.Selected);
        if (meta.Info && box.W > 0 && box.H > 0)
            PlayMetafile(p, TByteView(meta.Bytes), *meta.Info, QRectF(L + 2, T + 2, box.W, box.H));
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
