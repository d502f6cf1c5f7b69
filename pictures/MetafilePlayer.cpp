#include "pictures/MetafilePlayer.h"

#include "pictures/DibDecode.h"
#include "pictures/MetafileCanvas.h"

#include <cmath>

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QStringDecoder>

namespace tavolix::pictures {

namespace meta {

namespace {

enum : std::uint32_t {
    kWhiteBrush = 0,
    kLtGrayBrush = 1,
    kGrayBrush = 2,
    kDkGrayBrush = 3,
    kBlackBrush = 4,
    kNullBrush = 5,
    kWhitePen = 6,
    kBlackPen = 7,
    kNullPen = 8,
    kOemFixedFont = 10,
    kAnsiFixedFont = 11,
    kAnsiVarFont = 12,
    kSystemFont = 13,
    kDeviceDefaultFont = 14,
    kSystemFixedFont = 16,
    kDefaultGuiFont = 17,
};
constexpr std::uint32_t kStockObjectBit = 0x80000000u;

// The code page of a font's character set. DEFAULT_CHARSET and OEM_CHARSET
// mean the system's: Japanese (932) here.
const char* CodePageOf(int charSet) {
    switch (charSet) {
    case 0: // ANSI_CHARSET
        return "windows-1252";
    case 129:
        return "windows-949";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    case 2: // SYMBOL_CHARSET: the bytes are the glyphs
        return "windows-1252";
    default: // 1 DEFAULT, 128 SHIFTJIS, 255 OEM and the rest
        return "Shift_JIS";
    }
}

} // namespace

QColor ColorRef(std::uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

bool Finite(const QTransform& t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

// ---- coordinates -----------------------------------------------------------

bool TCanvas::Begin() {
    if (Info.Kind == TMetafileKind::Placeable) {
        S.WindowOrg = QPointF(Info.BoxLeft, Info.BoxTop);
        S.WindowExt = QSizeF(Info.BoxRight - Info.BoxLeft, Info.BoxBottom - Info.BoxTop);
        FBase = QTransform::fromTranslate(FTarget.left(), FTarget.top());
    } else {
        // The frame, in reference device pixels, fills the target.
        QRectF frame;
        if (Info.DeviceMmX > 0 && Info.DeviceMmY > 0 && Info.DevicePixelsX > 0 && Info.DevicePixelsY > 0 &&
            Info.FrameRight > Info.FrameLeft && Info.FrameBottom > Info.FrameTop) {
            const double kx = double(Info.DevicePixelsX) / (Info.DeviceMmX * 100.0);
            const double ky = double(Info.DevicePixelsY) / (Info.DeviceMmY * 100.0);
            frame = QRectF(QPointF(Info.FrameLeft * kx, Info.FrameTop * ky),
                           QPointF(Info.FrameRight * kx, Info.FrameBottom * ky));
        } else {
            frame = QRectF(QPointF(Info.BoundsLeft, Info.BoundsTop),
                           QPointF(Info.BoundsRight + 1.0, Info.BoundsBottom + 1.0));
        }
        if (frame.width() <= 0 || frame.height() <= 0)
            return false;
        const double sx = FTarget.width() / frame.width(), sy = FTarget.height() / frame.height();
        FBase =
            QTransform(sx, 0, 0, sy, FTarget.left() - frame.left() * sx, FTarget.top() - frame.top() * sy);
    }
    if (!Finite(FBase))
        return false;
    P.save();
    P.setClipRect(FTarget, Qt::IntersectClip);
    FOuterClip = DeviceClip();
    P.setRenderHint(QPainter::Antialiasing, false);
    return true;
}

void TCanvas::End() {
    while (FSaveDepth > 0) {
        P.restore();
        --FSaveDepth;
    }
    P.restore();
}

QTransform TCanvas::PageTransform() const {
    if (Info.Kind == TMetafileKind::Placeable) {
        // Windows metafiles address the box through their window alone.
        const double sx = S.WindowExt.width() ? FTarget.width() / S.WindowExt.width() : 0;
        const double sy = S.WindowExt.height() ? FTarget.height() / S.WindowExt.height() : 0;
        return QTransform(sx, 0, 0, sy, -S.WindowOrg.x() * sx, -S.WindowOrg.y() * sy);
    }
    double sx = 1, sy = 1;
    const double pxPerMmX = Info.DeviceMmX > 0 ? double(Info.DevicePixelsX) / Info.DeviceMmX : 96 / 25.4;
    const double pxPerMmY = Info.DeviceMmY > 0 ? double(Info.DevicePixelsY) / Info.DeviceMmY : 96 / 25.4;
    auto metric = [&](double unitsPerMm) {
        sx = pxPerMmX / unitsPerMm;
        sy = -pxPerMmY / unitsPerMm;
    };
    switch (S.MapMode) {
    case kMmLoMetric:
        metric(10);
        break;
    case kMmHiMetric:
        metric(100);
        break;
    case kMmLoEnglish:
        metric(100 / 25.4);
        break;
    case kMmHiEnglish:
        metric(1000 / 25.4);
        break;
    case kMmTwips:
        metric(1440 / 25.4);
        break;
    case kMmIsotropic:
    case kMmAnisotropic:
        sx = S.WindowExt.width() ? S.ViewportExt.width() / S.WindowExt.width() : 0;
        sy = S.WindowExt.height() ? S.ViewportExt.height() / S.WindowExt.height() : 0;
        if (S.MapMode == kMmIsotropic) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        break;
    default:
        break;
    }
    return QTransform(sx, 0, 0, sy, S.ViewportOrg.x() - S.WindowOrg.x() * sx,
                      S.ViewportOrg.y() - S.WindowOrg.y() * sy);
}

bool TCanvas::Usable(const QTransform& m, const QRectF& logical) const {
    if (!Finite(m))
        return false;
    const QRectF d = m.mapRect(logical);
    return std::isfinite(d.left()) && std::isfinite(d.right()) && std::isfinite(d.top()) &&
           std::isfinite(d.bottom()) && std::abs(d.left()) < kMaxDeviceCoord &&
           std::abs(d.right()) < kMaxDeviceCoord && std::abs(d.top()) < kMaxDeviceCoord &&
           std::abs(d.bottom()) < kMaxDeviceCoord;
}

// ---- drawing ---------------------------------------------------------------

QPen TCanvas::MakePen() const {
    const int style = S.Pen.Style & kPsStyleMask;
    if (style == kPsNull)
        return Qt::NoPen;
    QPen pen(S.Pen.Color);
    pen.setWidthF(std::min(S.Pen.Width, 32767.0)); // Qt refuses wider pens
    pen.setCosmetic(S.Pen.Width <= 1 && (S.Pen.Style & kPsGeometric) == 0);
    if (pen.isCosmetic())
        pen.setWidthF(1);
    switch (style) {
    case kPsDash:
        pen.setStyle(Qt::DashLine);
        break;
    case kPsDot:
        pen.setStyle(Qt::DotLine);
        break;
    case kPsDashDot:
        pen.setStyle(Qt::DashDotLine);
        break;
    case kPsDashDotDot:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    default:
        break;
    }
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

QBrush TCanvas::MakeBrush() const {
    switch (S.Brush.Style) {
    case kBsNull:
        return Qt::NoBrush;
    case kBsHatched: {
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        const int h = S.Brush.Hatch;
        return QBrush(S.Brush.Color, h >= 0 && h < 6 ? hatches[h] : Qt::SolidPattern);
    }
    default:
        return QBrush(S.Brush.Color); // solid, and patterns approximated by their colour
    }
}

void TCanvas::AddToPath(const QPainterPath& path, bool connect) {
    // A path past its budget keeps what it has: filling or stroking it, or
    // clipping by it, costs with its size.
    if (path.elementCount() > kMaxPathElements - FPath.elementCount())
        return;
    connect ? FPath.connectPath(path) : FPath.addPath(path);
}

void TCanvas::DrawPath(QPainterPath path, bool fill, bool stroke, const QBrush* brush) {
    if (FInPath) {
        AddToPath(path, false);
        return;
    }
    const QTransform m = Transform();
    if (!Usable(m, path.controlPointRect()))
        return;
    ++FDrawn;
    path.setFillRule(S.PolyFill == kWinding ? Qt::WindingFill : Qt::OddEvenFill);
    P.setTransform(m);
    if (fill) {
        const QBrush b = brush ? *brush : MakeBrush();
        if (b.style() != Qt::NoBrush)
            P.fillPath(path, b);
    }
    if (stroke) {
        const QPen pen = MakePen();
        if (pen.style() != Qt::NoPen)
            P.strokePath(path, pen);
    }
}

std::optional<TPoints> TCanvas::TakePoints(TByteView bytes, std::size_t count, bool small) {
    const std::size_t step = small ? 4 : 8;
    if (count == 0 || count > kMaxRecordPoints || count > bytes.Size() / step || count > kMaxPoints - FPoints)
        return std::nullopt;
    FPoints += count;
    return TPoints{bytes.Sub(0, step * count), count, small};
}

void TCanvas::DrawPoly(const TPoints& pts, bool closed, bool fill, bool bezier, bool fromCurrent) {
    QPainterPath path;
    std::size_t i = 0;
    if (fromCurrent) {
        path.moveTo(S.Position);
    } else {
        path.moveTo(pts[0]);
        i = 1;
    }
    if (bezier) {
        for (; i + 3 <= pts.Count; i += 3)
            path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    } else {
        for (; i < pts.Count; ++i)
            path.lineTo(pts[i]);
    }
    if (closed)
        path.closeSubpath();
    if (fromCurrent)
        S.Position = path.currentPosition();
    if (FInPath && !closed && fromCurrent) {
        // PolylineTo/PolyBezierTo in a path continue the current figure.
        AddToPath(path, true);
        return;
    }
    DrawPath(path, fill, true);
}

QPainterPath TCanvas::ArcPath(const QRectF& box, QPointF start, QPointF end, int kind) const {
    // GDI draws counterclockwise from the start radial to the end radial.
    const QPointF c = box.center();
    auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - c.y()) * box.width(), (p.x() - c.x()) * box.height());
    };
    double a0 = angle(start) * 180 / M_PI, a1 = angle(end) * 180 / M_PI;
    double sweep = a1 - a0;
    if (sweep <= 0)
        sweep += 360;
    QPainterPath path;
    if (kind == kArcPie) {
        path.moveTo(c);
        path.arcTo(box, a0, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, a0);
        path.arcTo(box, a0, sweep);
        if (kind == kArcChord)
            path.closeSubpath();
    }
    return path;
}

void TCanvas::LineTo(QPointF to) {
    const QPointF from = S.Position;
    S.Position = to;
    if (!FInPath) {
        QPainterPath path(from);
        path.lineTo(to);
        DrawPath(path, false, true);
        return;
    }
    // Straight into the path: the commonest record of a path, often by the thousand.
    if (FPath.elementCount() + 2 > kMaxPathElements)
        return;
    if (FPath.elementCount() == 0)
        FPath.moveTo(from);
    else if (FPath.currentPosition() != from)
        FPath.lineTo(from);
    FPath.lineTo(to);
}

void TCanvas::PatBlt(const QRectF& rect, std::uint32_t rop) {
    // The raster operation's index: black, white, the destination as it is,
    // or (every other, approximated) the brush.
    const std::uint32_t index = (rop >> 16) & 0xFF;
    if (index == 0xAA)
        return;
    QPainterPath p;
    p.addRect(rect.normalized());
    if (index == 0x00 || index == 0xFF) {
        const QBrush plain(index == 0x00 ? Qt::black : Qt::white);
        DrawPath(p, true, false, &plain);
    } else {
        DrawPath(p, true, false);
    }
}

void TCanvas::SetPixel(QPointF at, const QColor& color) {
    if (FInPath || !Usable(Transform(), QRectF(at, QSizeF(1, 1))))
        return;
    ++FDrawn;
    const QPointF device = Transform().map(at);
    P.setTransform(QTransform());
    P.fillRect(QRectF(std::floor(device.x()), std::floor(device.y()), 1, 1), color);
}

void TCanvas::FillRegion(const QRegion& region, const QTransform& m, const TBrushDef& brush) {
    if (region.isEmpty() || FInPath || !Usable(m, region.boundingRect()))
        return;
    ++FDrawn;
    const TBrushDef keep = S.Brush;
    S.Brush = brush;
    QPainterPath path;
    path.addRegion(region);
    P.setTransform(m);
    P.fillPath(path, MakeBrush());
    S.Brush = keep;
}

void TCanvas::DrawText(QPointF ref, const QString& text, const std::vector<double>& dx, unsigned options,
                       const QRectF& rect) {
    const QTransform m = Transform();
    if (text.isEmpty() && !(options & kEtoOpaque))
        return;
    ++FDrawn;
    if (!Usable(m, QRectF(ref, QSizeF(1, 1))) || (!rect.isNull() && !Usable(m, rect)))
        return;
    if (S.TextAlign & kTaUpdateCp)
        ref = S.Position;
    P.save();
    P.setTransform(m);
    if (!rect.isNull() && (options & kEtoOpaque))
        P.fillRect(rect.normalized(), S.BkColor);
    if (!rect.isNull() && (options & kEtoClipped))
        P.setClipRect(rect.normalized(), Qt::IntersectClip);
    // Glyphs are laid out on the device: fonts don't mirror with the axes.
    const double scale = std::hypot(m.m21(), m.m22());
    const double pixel =
        std::abs(S.Font.Height ? double(S.Font.Height) : 12.0) * scale * (S.Font.Height > 0 ? 0.8 : 1.0);
    const std::size_t chars = static_cast<std::size_t>(text.size());
    // Every character counts, drawn or too small to see; a text past what is
    // left ends the budget.
    const bool fits = chars <= kMaxGlyphs - FGlyphs;
    FGlyphs = fits ? FGlyphs + chars : kMaxGlyphs;
    if (fits && pixel >= 1 && pixel <= kMaxFontPixels && chars > 0)
        DrawGlyphs(m, ref, pixel, text, dx, (options & kEtoGlyphIndex) != 0);
    P.restore();
}

void TCanvas::DrawGlyphs(const QTransform& m, QPointF ref, double pixel, const QString& text,
                         const std::vector<double>& dx, bool glyphIndices) {
    QFont font(S.Font.Face.isEmpty() ? QStringLiteral("Sans Serif") : S.Font.Face);
    font.setPixelSize(static_cast<int>(std::lround(pixel)));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(S.Font.Weight ? S.Font.Weight : 400, 1, 1000)));
    font.setItalic(S.Font.Italic);
    font.setUnderline(S.Font.Underline);
    font.setStrikeOut(S.Font.StrikeOut);
    const QPointF origin = m.map(ref);
    P.setTransform(QTransform::fromTranslate(origin.x(), origin.y()).rotate(-S.Font.Escapement / 10.0));
    P.setFont(font);
    const QFontMetricsF fm(font);
    const double sx = std::hypot(m.m11(), m.m12());
    const bool spaced = dx.size() == static_cast<std::size_t>(text.size());
    // Glyph indices name glyphs of the font itself, not characters.
    const QRawFont raw = glyphIndices ? QRawFont::fromFont(font) : QRawFont();
    QList<quint32> glyphs;
    QList<QPointF> advances;
    if (glyphIndices) {
        // Indices past the font's glyphs are its missing glyph (0).
        const QByteArray maxp = raw.fontTable("maxp");
        const unsigned count = maxp.size() >= 6 ? (unsigned(uchar(maxp[4])) << 8) | uchar(maxp[5]) : 0;
        for (QChar c : text)
            glyphs.push_back(c.unicode() < count ? c.unicode() : 0);
        advances = raw.advancesForGlyphIndexes(glyphs);
    }
    std::vector<double> xs(text.size(), 0.0);
    double width = 0;
    if (spaced || glyphIndices) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            xs[i] = width;
            width += spaced ? dx[i] * sx : (i < advances.size() ? advances[i].x() : 0);
        }
    } else {
        width = fm.horizontalAdvance(text);
    }
    double x = 0, y = 0;
    if ((S.TextAlign & kTaCenter) == kTaCenter)
        x = -width / 2;
    else if (S.TextAlign & kTaRight)
        x = -width;
    if ((S.TextAlign & kTaBaseline) == kTaBaseline)
        y = 0;
    else if (S.TextAlign & kTaBottom)
        y = -fm.descent();
    else
        y = fm.ascent();
    if (S.BkMode == kOpaque)
        P.fillRect(QRectF(x, y - fm.ascent(), width, fm.height()), S.BkColor);
    P.setPen(S.TextColor);
    if (glyphIndices) {
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        QList<QPointF> at;
        for (double g : xs)
            at.push_back(QPointF(g, 0));
        run.setPositions(at);
        P.drawGlyphRun(QPointF(x, y), run);
    } else if (spaced) {
        for (qsizetype i = 0; i < text.size(); ++i)
            P.drawText(QPointF(x + xs[i], y), QString(text[i]));
    } else {
        P.drawText(QPointF(x, y), text);
    }
    if (S.TextAlign & kTaUpdateCp)
        S.Position = m.inverted().map(origin + QPointF(width, 0));
}

void TCanvas::DrawImage(const QImage& image, QRectF dest, QRectF source, bool dibSource, double opacity) {
    if (image.isNull() || FInPath)
        return;
    ++FDrawn;
    source = QRectF(source.left() * FDibScale.width(), source.top() * FDibScale.height(),
                    source.width() * FDibScale.width(), source.height() * FDibScale.height());
    if (dibSource && FDibBottomUp)
        source.moveTop(image.height() - source.top() - source.height());
    const QTransform m = Transform();
    bool invertible = false;
    const QTransform back = m.inverted(&invertible);
    if (!Usable(m, dest) || !invertible || !Finite(back) || dest.width() == 0 || dest.height() == 0)
        return;
    // The stretch is done here, onto whole device pixels, and only the
    // result reaches the painter, unscaled: the toolkit's own stretch reads
    // outside small images drawn mirrored. A negative extent mirrors.
    const QRect device = m.mapRect(dest).toAlignedRect() & FOuterClip.boundingRect();
    const std::uint64_t area = std::uint64_t(std::max(device.width(), 0)) * std::max(device.height(), 0);
    if (area == 0 || area > kMaxImagePixels - FImagePixels)
        return;
    FImagePixels += area;
    const QImage from = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(device.size(), QImage::Format_ARGB32_Premultiplied);
    if (from.isNull() || out.isNull())
        return;
    out.fill(Qt::transparent);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            // Each device pixel whose centre is in `dest` takes the source
            // pixel under it; pixels past the bitmap's edge stay undrawn.
            const QPointF at = back.map(QPointF(device.left() + x + 0.5, device.top() + y + 0.5));
            const double u = (at.x() - dest.left()) / dest.width(), v = (at.y() - dest.top()) / dest.height();
            if (!(u >= 0 && u < 1 && v >= 0 && v < 1))
                continue;
            const double sx = std::floor(source.left() + u * source.width());
            const double sy = std::floor(source.top() + v * source.height());
            if (sx >= 0 && sx < from.width() && sy >= 0 && sy < from.height())
                row[x] = reinterpret_cast<const QRgb*>(from.constScanLine(int(sy)))[int(sx)];
        }
    }
    const double keep = P.opacity();
    P.setOpacity(keep * opacity);
    P.setTransform(QTransform());
    P.drawImage(device.topLeft(), out);
    P.setOpacity(keep);
}

QImage TCanvas::Dib(TByteView header, TByteView bits, const QRectF& dest, const QRectF& source,
                    bool premultipliedAlpha) {
    auto info = ParseDibHeader(header);
    if (!info || FInPath)
        return {};
    // Device pixels per source pixel, per axis; no more than the bitmap has.
    const QRectF device = Transform().mapRect(dest.normalized());
    auto shown = [](int real, double deviceLength, double sourceLength) {
        const double k = std::abs(sourceLength) > 0 ? deviceLength / std::abs(sourceLength) : 1;
        const double want = std::ceil(real * k) + 1;
        return std::isfinite(want) ? static_cast<int>(std::clamp(want, 1.0, double(real))) : real;
    };
    const QSize size(shown(info->Width, device.width(), source.width()),
                     shown(info->Height, device.height(), source.height()));
    const std::uint64_t pixels = std::uint64_t(size.width()) * std::uint64_t(size.height());
    if (pixels > kMaxImagePixels - FImagePixels)
        return {};
    FImagePixels += pixels;
    if (premultipliedAlpha && info->BitCount == 32) {
        if (info->Compression == kBiRgb)
            info->AlphaMask = 0xFF000000u;
        info->PremultipliedAlpha = true;
    }
    const auto pixelBytes = DibPixels(*info, header, bits);
    QImage image = pixelBytes ? DecodeDib(*info, header, TMemorySource(*pixelBytes), 0, size) : QImage();
    FDibBottomUp = !info->TopDown;
    FDibScale = QSizeF(double(image.width()) / info->Width, double(image.height()) / info->Height);
    return image;
}

QString TCanvas::DecodeAnsi(TByteView bytes, int charSet) {
    const QByteArray raw(reinterpret_cast<const char*>(bytes.Data()), static_cast<qsizetype>(bytes.Size()));
    QStringDecoder decoder(CodePageOf(charSet));
    if (!decoder.isValid())
        decoder = QStringDecoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(raw);
    return decoder.decode(raw);
}

// ---- objects and state -----------------------------------------------------

void TCanvas::Store(std::size_t slot, const TObject& object) {
    if (slot >= kMaxObjects)
        return;
    if (slot >= FObjects.size()) {
        if (slot >= FObjects.capacity()) // grown in steps: a table filled one by one is common
            FObjects.reserve(std::max<std::size_t>(slot + 1, 2 * FObjects.capacity()));
        FObjects.resize(slot + 1);
    }
    FObjects[slot] = object;
}

int TCanvas::FreeSlot() {
    while (!FFreeSlots.empty()) {
        const std::size_t i = FFreeSlots.top();
        FFreeSlots.pop();
        if (i < FObjects.size() && FObjects[i].Kind == TObject::kEmpty)
            return static_cast<int>(i);
    }
    const std::size_t limit = Info.ObjectCount ? Info.ObjectCount : kMaxObjects;
    return FObjects.size() < limit ? static_cast<int>(FObjects.size()) : -1;
}

void TCanvas::Select(std::uint32_t index) {
    if (Info.Kind == TMetafileKind::Enhanced && (index & kStockObjectBit)) {
        SelectStock(index & ~kStockObjectBit);
        return;
    }
    if (index >= FObjects.size())
        return;
    const TObject& o = FObjects[index];
    switch (o.Kind) {
    case TObject::kPen:
        S.Pen = o.Pen;
        break;
    case TObject::kBrush:
        S.Brush = o.Brush;
        break;
    case TObject::kFont:
        S.Font = o.Font;
        break;
    default:
        break;
    }
}

void TCanvas::SelectStock(std::uint32_t stock) {
    switch (stock) {
    case kWhiteBrush:
        S.Brush = {kBsSolid, Qt::white, 0};
        break;
    case kLtGrayBrush:
        S.Brush = {kBsSolid, QColor(192, 192, 192), 0};
        break;
    case kGrayBrush:
        S.Brush = {kBsSolid, QColor(128, 128, 128), 0};
        break;
    case kDkGrayBrush:
        S.Brush = {kBsSolid, QColor(64, 64, 64), 0};
        break;
    case kBlackBrush:
        S.Brush = {kBsSolid, Qt::black, 0};
        break;
    case kNullBrush:
        S.Brush = {kBsNull, Qt::black, 0};
        break;
    case kWhitePen:
        S.Pen = {kPsSolid, 0, Qt::white};
        break;
    case kBlackPen:
        S.Pen = {kPsSolid, 0, Qt::black};
        break;
    case kNullPen:
        S.Pen = {kPsNull, 0, Qt::black};
        break;
    case kOemFixedFont:
    case kAnsiFixedFont:
    case kSystemFixedFont:
        S.Font = TFontDef{};
        S.Font.Face = QStringLiteral("Monospace");
        break;
    case kAnsiVarFont:
    case kSystemFont:
    case kDeviceDefaultFont:
    case kDefaultGuiFont:
        S.Font = TFontDef{};
        break;
    default:
        break;
    }
}

void TCanvas::Delete(std::uint32_t index) {
    if (index < FObjects.size() && FObjects[index].Kind != TObject::kEmpty) {
        FObjects[index] = TObject{};
        FFreeSlots.push(index);
    }
}

void TCanvas::SaveDc() {
    if (FSaved.size() >= kMaxSaveDepth)
        return;
    FSaved.push_back(S);
    P.save();
    ++FSaveDepth;
}

void TCanvas::RestoreDc(int which) {
    // Negative: relative to the newest; positive: the absolute instance.
    std::size_t keep;
    if (which < 0) {
        const std::size_t back = static_cast<std::size_t>(-static_cast<std::int64_t>(which));
        if (back > FSaved.size())
            return;
        keep = FSaved.size() - back;
    } else {
        if (which == 0 || static_cast<std::size_t>(which) > FSaved.size())
            return;
        keep = static_cast<std::size_t>(which) - 1;
    }
    S = FSaved[keep];
    while (FSaved.size() > keep) {
        FSaved.pop_back();
        P.restore();
        --FSaveDepth;
    }
}

// ---- clipping --------------------------------------------------------------

QRegion TCanvas::DeviceClip() {
    P.setTransform(QTransform());
    return P.clipRegion();
}

void TCanvas::SetDeviceClip(const QRegion& clip) {
    P.setTransform(QTransform());
    P.setClipRegion(clip, Qt::ReplaceClip);
}

void TCanvas::IntersectClip(const QRectF& logical) {
    const QTransform m = Transform();
    if (!Usable(m, logical))
        return;
    P.setTransform(m);
    P.setClipRect(logical, Qt::IntersectClip);
}

void TCanvas::ExcludeClip(const QRectF& logical) {
    const QTransform m = Transform();
    if (!Usable(m, logical))
        return;
    ++FDrawn; // region arithmetic costs like a shape
    SetDeviceClip(DeviceClip() - QRegion(m.map(QPolygonF(logical)).toPolygon()));
}

void TCanvas::SelectClipRegion(std::uint32_t mode, const std::optional<QRegion>& region) {
    enum : std::uint32_t { kRgnAnd = 1, kRgnOr, kRgnXor, kRgnDiff, kRgnCopy };
    if (!region) {
        if (mode == kRgnCopy)
            SetDeviceClip(FOuterClip);
        return;
    }
    const QRegion now = DeviceClip();
    switch (mode) {
    case kRgnAnd:
        SetDeviceClip(now & *region);
        break;
    case kRgnOr:
        SetDeviceClip((now | *region) & FOuterClip);
        break;
    case kRgnXor:
        SetDeviceClip((now ^ *region) & FOuterClip);
        break;
    case kRgnDiff:
        SetDeviceClip(now - *region);
        break;
    case kRgnCopy:
        SetDeviceClip(*region & FOuterClip);
        break;
    default:
        break;
    }
}

// ---- paths -----------------------------------------------------------------

void TCanvas::BeginPath() {
    FInPath = true;
    FPath = QPainterPath();
}

void TCanvas::CloseFigure() {
    if (FInPath)
        FPath.closeSubpath();
}

void TCanvas::AbortPath() {
    FInPath = false;
    FPath = QPainterPath();
}

void TCanvas::FinishPath(bool fill, bool stroke) {
    FInPath = false;
    const QPainterPath path = FPath;
    FPath = QPainterPath();
    DrawPath(path, fill, stroke);
}

void TCanvas::SelectClipPath() {
    FInPath = false;
    if (Usable(Transform(), FPath.controlPointRect())) {
        P.setTransform(Transform());
        P.setClipPath(FPath, Qt::IntersectClip);
    }
    FPath = QPainterPath();
}

} // namespace meta

QImage DibToImage(TByteView header, TByteView bits, QSize limit) {
    const auto info = ParseDibHeader(header);
    if (!info)
        return {};
    const auto pixels = DibPixels(*info, header, bits);
    return pixels ? DecodeDib(*info, header, TMemorySource(*pixels), 0, limit) : QImage();
}

void PlayMetafile(QPainter& painter, TByteView file, const TMetafileInfo& info, const QRectF& target) {
    if (!target.isValid() || target.isEmpty())
        return;
    meta::TCanvas canvas(painter, info, target);
    if (!canvas.Begin())
        return;
    if (info.Kind == TMetafileKind::Placeable)
        meta::PlayWmf(canvas, file);
    else
        meta::PlayEmf(canvas, file);
    canvas.End();
}

} // namespace tavolix::pictures
