#include "pictures/MetafilePlayer.h"

#include "pictures/BitmapInfo.h"
#include "pictures/DibDecode.h"

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QRegion>
#include <QStringDecoder>
#include <queue>

namespace tavolix::pictures {

namespace {

// Limits on one playback, whatever the file says. Every repaint plays the
// file again, so these bound the work of a paint, not only its memory.
constexpr std::size_t kMaxPoints = 1u << 18;          // vertices over all records
constexpr std::size_t kMaxRecordPoints = 1u << 16;    // vertices of one record
constexpr std::size_t kMaxDrawnShapes = 1u << 12;     // shapes, texts and images drawn
constexpr std::uint64_t kMaxImagePixels = 4ull << 20; // decoded over all records
constexpr std::size_t kMaxSaveDepth = 256;
constexpr std::size_t kMaxObjects = 65536;
constexpr int kMaxTextChars = 8192;
constexpr std::size_t kMaxGlyphs = 1u << 11; // characters over all records
constexpr double kMaxFontPixels = 1024;
constexpr double kMaxDeviceCoord = 1e6;
constexpr std::uint32_t kMaxRegionRects = 1u << 10; // rectangles of one region
constexpr int kMaxPathElements = 1 << 14;           // of the path between BeginPath and EndPath

// The pixels of a packed (bits empty) or split bitmap, once they are all there.
std::optional<TByteView> DibPixels(const TDibInfo& info, TByteView header, TByteView bits) {
    const std::size_t head = std::size_t{info.HeaderSize} + info.TableBytes;
    if (!header.Has(0, head))
        return std::nullopt;
    TByteView pixels = bits.Size() ? bits : header.From(head);
    const bool rle = info.Compression == kBiRle8 || info.Compression == kBiRle4;
    if (rle ? pixels.Size() < 2 : pixels.Size() < info.PixelBytes())
        return std::nullopt;
    if (rle && std::uint64_t(info.Width) * std::uint64_t(info.Height) / 128 > pixels.Size() + 64)
        return std::nullopt;
    return pixels;
}

// Windows constants, by their numbers in the file formats.
enum : int {
    kMmText = 1,
    kMmLoMetric,
    kMmHiMetric,
    kMmLoEnglish,
    kMmHiEnglish,
    kMmTwips,
    kMmIsotropic,
    kMmAnisotropic
};
enum : int { kTransparent = 1, kOpaque = 2 };
enum : int { kAlternate = 1, kWinding = 2 };
enum : unsigned { kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24 };
enum : unsigned {
    kEtoOpaque = 2,
    kEtoClipped = 4,
    kEtoGlyphIndex = 0x10,
    kEtoNoRect = 0x100,
    kEtoSmallChars = 0x200
};
enum : int { kPsSolid = 0, kPsDash, kPsDot, kPsDashDot, kPsDashDotDot, kPsNull, kPsStyleMask = 0x0F };
enum : int { kPsGeometric = 0x00010000 };
enum : int { kBsSolid = 0, kBsNull = 1, kBsHatched = 2 };
enum : std::uint32_t { kMwtIdentity = 1, kMwtLeftMultiply, kMwtRightMultiply, kMwtSet };
enum : std::uint32_t { kBlackness = 0x00000042, kWhiteness = 0x00FF0062 };
enum : std::uint8_t { kPtCloseFigure = 1, kPtLineTo = 2, kPtBezierTo = 4, kPtMoveTo = 6 };
enum : std::uint32_t { kGradientRectH = 0, kGradientRectV = 1, kGradientTriangle = 2 };
enum : std::uint8_t { kAcSrcAlpha = 1 };
enum : int { kArcOpen, kArcChord, kArcPie };
enum class TStockObject : std::uint32_t {
    WhiteBrush = 0,
    LtGrayBrush = 1,
    GrayBrush = 2,
    DkGrayBrush = 3,
    BlackBrush = 4,
    NullBrush = 5,
    WhitePen = 6,
    BlackPen = 7,
    NullPen = 8,
    OemFixedFont = 10,
    AnsiFixedFont = 11,
    AnsiVarFont = 12,
    SystemFont = 13,
    DeviceDefaultFont = 14,
    SystemFixedFont = 16,
    DefaultGuiFont = 17,
};
constexpr std::uint32_t kStockObjectBit = 0x80000000u;

QColor ColorRef(std::uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

struct TPenDef {
    int Style = kPsSolid;
    double Width = 0;
    QColor Color = Qt::black;
};
struct TBrushDef {
    int Style = kBsSolid;
    QColor Color = Qt::white;
    int Hatch = 0;
};
struct TFontDef {
    int Height = -12;
    int Weight = 400;
    int Escapement = 0;
    bool Italic = false, Underline = false, StrikeOut = false;
    int CharSet = 1;
    QString Face;
};

struct TObject {
    enum TKind { kEmpty, kPen, kBrush, kFont, kRegion, kOther } Kind = kEmpty;
    TPenDef Pen;
    TBrushDef Brush;
    TFontDef Font;
    QRegion Region; // logical units
};

struct TDcState {
    int MapMode = kMmText;
    QPointF WindowOrg, ViewportOrg;
    QSizeF WindowExt{1, 1}, ViewportExt{1, 1};
    QTransform World;
    TPenDef Pen;
    TBrushDef Brush;
    TFontDef Font;
    QColor TextColor = Qt::black, BkColor = Qt::white;
    int BkMode = kOpaque;
    int PolyFill = kAlternate;
    unsigned TextAlign = 0;
    QPointF Position;
};

bool Finite(const QTransform& t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

struct TWmfArgs;
struct TEmfArgs;

class TPlayer {
public:
    TPlayer(QPainter& painter, TByteView file, const TMetafileInfo& info, const QRectF& target)
        : P(painter), FFile(file), FInfo(info), FTarget(target) {}

    void Play();

private:
    // ---- coordinates
    QTransform PageTransform() const;
    QTransform Transform() const { return S.World * PageTransform() * FBase; }
    bool Usable(const QTransform& m, const QRectF& logical) const;

    // ---- drawing
    QPen MakePen() const;
    QBrush MakeBrush() const;
    void DrawPath(QPainterPath path, bool fill, bool stroke);
    void AddToPath(const QPainterPath& path, bool connect);
    void DrawPoly(TByteView pts, std::size_t count, bool small, bool closed, bool fill, bool bezier,
                  bool fromCurrent);
    void DrawText(QPointF ref, const QString& text, const std::vector<double>& dx, unsigned options,
                  const QRectF& rect);
    void DrawGlyphs(const QTransform& m, QPointF ref, double pixel, const QString& text,
                    const std::vector<double>& dx, bool glyphIndices);
    // dibSource: the source rectangle counts rows from the bottom of a
    // bottom-up bitmap, as the DIB functions do.
    void DrawImage(const QImage& image, QRectF dest, QRectF source, bool dibSource = false);
    QPainterPath ArcPath(const QRectF& box, QPointF start, QPointF end, int kind) const;

    // ---- objects and state
    void Store(std::size_t slot, const TObject& object);
    int FreeSlot();
    void Select(std::uint32_t index);
    void SelectStock(TStockObject stock);
    void Delete(std::uint32_t index);
    void SaveDc();
    void RestoreDc(int which);

    // ---- clipping, kept as a device region within the target's
    QRegion DeviceClip();
    void SetDeviceClip(const QRegion& clip);
    void ExcludeClip(const QRectF& logical);
    // An EMF region (RGNDATA, in reference device units) on the device;
    // nullopt when it is broken.
    std::optional<QRegion> Region(TByteView rgnData);
    void SelectClipRegion(std::uint32_t mode, TByteView rgnData);

    void PlayWmf(const TMetaRecord& r);
    bool PlayWmfState(TWmfRecord type, const TWmfArgs& x);
    bool PlayWmfObjects(TWmfRecord type, const TWmfArgs& x);
    bool PlayWmfShapes(TWmfRecord type, const TWmfArgs& x);
    bool PlayWmfText(TWmfRecord type, const TWmfArgs& x);
    bool PlayWmfBitmaps(TWmfRecord type, const TWmfArgs& x);
    TObject WmfFont(TByteView a);
    TObject WmfRegion(TByteView a);
    bool PlayWmfFills(TWmfRecord type, const TWmfArgs& x);
    // Fills `region` (in the coordinates `m` maps) with `brush`.
    void FillRegion(const QRegion& region, const QTransform& m, const TBrushDef& brush);
    void WmfPolyPolygon(TByteView a);

    void PlayEmf(const TMetaRecord& r);
    bool PlayEmfState(TEmfRecord type, const TEmfArgs& x);
    bool PlayEmfClip(TEmfRecord type, const TEmfArgs& x);
    bool PlayEmfObjects(TEmfRecord type, const TEmfArgs& x);
    bool PlayEmfShapes(TEmfRecord type, const TEmfArgs& x);
    bool PlayEmfPaths(TEmfRecord type, const TEmfArgs& x);
    bool PlayEmfText(TEmfRecord type, const TEmfArgs& x);
    bool PlayEmfBitmaps(TEmfRecord type, const TEmfArgs& x);
    void WorldTransform(const TEmfArgs& x, std::uint32_t mode);
    static TObject EmfFont(TByteView b);
    void EmfPoly(TEmfRecord shape, TByteView b, bool small);
    void EmfPolyPoly(TByteView b, bool small, bool polygon);
    void EmfArc(TEmfRecord type, const TEmfArgs& x);
    void EmfLineTo(QPointF to);
    void EmfBlt(TEmfRecord type, TByteView b);
    bool PlayEmfFigures(TEmfRecord type, const TEmfArgs& x);
    void EmfPolyDraw(TByteView b, bool small);
    void EmfAngleArc(const TEmfArgs& x);
    void EmfGradient(TByteView b);
    void EmfSmallText(TByteView b);
    void EmfExtText(TEmfRecord type, const TEmfArgs& x);
    QString DecodeAnsi(TByteView bytes) const;
    // Decodes at about the size `source` of it takes on the device at `dest`.
    QImage Dib(TByteView header, TByteView bits, const QRectF& dest, const QRectF& source,
               bool premultipliedAlpha = false);

    QPainter& P;
    TByteView FFile;
    const TMetafileInfo& FInfo;
    QRectF FTarget;
    QTransform FBase; // reference device (or the placeable box) to the target
    TDcState S;
    std::vector<TDcState> FSaved;
    std::vector<TObject> FObjects;
    // Emptied WMF slots, lowest first; entries that were filled again since
    // are dropped when met.
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> FFreeSlots;
    std::size_t FDrawn = 0;
    QPainterPath FPath;
    bool FInPath = false;
    std::size_t FPoints = 0;
    std::size_t FGlyphs = 0;
    bool FDibBottomUp = false; // of the bitmap Dib() decoded last
    QSizeF FDibScale{1, 1};    // its decoded size over its own
    std::uint64_t FImagePixels = 0;
    int FSaveDepth = 0;        // painter saves made for SaveDC
    QRegion FOuterClip;        // the target within the painter's clip: the default clip
    QLinearGradient FGradient; // the brush while FUseGradient
    bool FUseGradient = false;
};

QTransform TPlayer::PageTransform() const {
    if (FInfo.Kind == TMetafileKind::Placeable) {
        // Windows metafiles address the box through their window alone.
        const double sx = S.WindowExt.width() ? FTarget.width() / S.WindowExt.width() : 0;
        const double sy = S.WindowExt.height() ? FTarget.height() / S.WindowExt.height() : 0;
        return QTransform(sx, 0, 0, sy, -S.WindowOrg.x() * sx, -S.WindowOrg.y() * sy);
    }
    double sx = 1, sy = 1;
    const double pxPerMmX = FInfo.DeviceMmX > 0 ? double(FInfo.DevicePixelsX) / FInfo.DeviceMmX : 96 / 25.4;
    const double pxPerMmY = FInfo.DeviceMmY > 0 ? double(FInfo.DevicePixelsY) / FInfo.DeviceMmY : 96 / 25.4;
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

bool TPlayer::Usable(const QTransform& m, const QRectF& logical) const {
    if (!Finite(m))
        return false;
    const QRectF d = m.mapRect(logical);
    return std::isfinite(d.left()) && std::isfinite(d.right()) && std::isfinite(d.top()) &&
           std::isfinite(d.bottom()) && std::abs(d.left()) < kMaxDeviceCoord &&
           std::abs(d.right()) < kMaxDeviceCoord && std::abs(d.top()) < kMaxDeviceCoord &&
           std::abs(d.bottom()) < kMaxDeviceCoord;
}

QPen TPlayer::MakePen() const {
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

QBrush TPlayer::MakeBrush() const {
    if (FUseGradient)
        return QBrush(FGradient);
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

void TPlayer::AddToPath(const QPainterPath& path, bool connect) {
    // A path past its budget keeps what it has: filling or stroking it, or
    // clipping by it, costs with its size.
    if (path.elementCount() > kMaxPathElements - FPath.elementCount())
        return;
    connect ? FPath.connectPath(path) : FPath.addPath(path);
}

void TPlayer::DrawPath(QPainterPath path, bool fill, bool stroke) {
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
        const QBrush brush = MakeBrush();
        if (brush.style() != Qt::NoBrush)
            P.fillPath(path, brush);
    }
    if (stroke) {
        const QPen pen = MakePen();
        if (pen.style() != Qt::NoPen)
            P.strokePath(path, pen);
    }
}

void TPlayer::DrawPoly(TByteView pts, std::size_t count, bool small, bool closed, bool fill, bool bezier,
                       bool fromCurrent) {
    const std::size_t step = small ? 4 : 8;
    if (count == 0 || count > pts.Size() / step || count > kMaxRecordPoints || count > kMaxPoints - FPoints)
        return;
    FPoints += count;
    auto at = [&](std::size_t i) {
        return small ? QPointF(pts.I16(i * 4), pts.I16(i * 4 + 2))
                     : QPointF(pts.I32(i * 8), pts.I32(i * 8 + 4));
    };
    QPainterPath path;
    std::size_t i = 0;
    if (fromCurrent) {
        path.moveTo(S.Position);
    } else {
        path.moveTo(at(0));
        i = 1;
    }
    if (bezier) {
        for (; i + 3 <= count; i += 3)
            path.cubicTo(at(i), at(i + 1), at(i + 2));
    } else {
        for (; i < count; ++i)
            path.lineTo(at(i));
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

QPainterPath TPlayer::ArcPath(const QRectF& box, QPointF start, QPointF end, int kind) const {
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

void TPlayer::DrawText(QPointF ref, const QString& text, const std::vector<double>& dx, unsigned options,
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

void TPlayer::DrawGlyphs(const QTransform& m, QPointF ref, double pixel, const QString& text,
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

void TPlayer::DrawImage(const QImage& image, QRectF dest, QRectF source, bool dibSource) {
    if (image.isNull() || FInPath)
        return;
    ++FDrawn;
    source = QRectF(source.left() * FDibScale.width(), source.top() * FDibScale.height(),
                    source.width() * FDibScale.width(), source.height() * FDibScale.height());
    if (dibSource && FDibBottomUp)
        source.moveTop(image.height() - source.top() - source.height());
    const QTransform m = Transform();
    if (!Usable(m, dest))
        return;
    QImage img = image;
    if (dest.width() < 0 || dest.height() < 0) {
        img = img.mirrored(dest.width() < 0, dest.height() < 0);
        if (dest.width() < 0)
            source.moveLeft(img.width() - source.right());
        if (dest.height() < 0)
            source.moveTop(img.height() - source.bottom());
        dest = dest.normalized();
    }
    P.setTransform(m);
    P.drawImage(dest, img, source);
}

void TPlayer::Store(std::size_t slot, const TObject& object) {
    if (slot >= kMaxObjects)
        return;
    if (slot >= FObjects.size()) {
        if (slot >= FObjects.capacity()) // grown in steps: a table filled one by one is common
            FObjects.reserve(std::max<std::size_t>(slot + 1, 2 * FObjects.capacity()));
        FObjects.resize(slot + 1);
    }
    FObjects[slot] = object;
}

int TPlayer::FreeSlot() {
    while (!FFreeSlots.empty()) {
        const std::size_t i = FFreeSlots.top();
        FFreeSlots.pop();
        if (i < FObjects.size() && FObjects[i].Kind == TObject::kEmpty)
            return static_cast<int>(i);
    }
    const std::size_t limit = FInfo.ObjectCount ? FInfo.ObjectCount : kMaxObjects;
    return FObjects.size() < limit ? static_cast<int>(FObjects.size()) : -1;
}

void TPlayer::Select(std::uint32_t index) {
    if (FInfo.Kind == TMetafileKind::Enhanced && (index & kStockObjectBit)) {
        SelectStock(static_cast<TStockObject>(index & ~kStockObjectBit));
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

void TPlayer::SelectStock(TStockObject stock) {
    switch (stock) {
    case TStockObject::WhiteBrush:
        S.Brush = {kBsSolid, Qt::white, 0};
        break;
    case TStockObject::LtGrayBrush:
        S.Brush = {kBsSolid, QColor(192, 192, 192), 0};
        break;
    case TStockObject::GrayBrush:
        S.Brush = {kBsSolid, QColor(128, 128, 128), 0};
        break;
    case TStockObject::DkGrayBrush:
        S.Brush = {kBsSolid, QColor(64, 64, 64), 0};
        break;
    case TStockObject::BlackBrush:
        S.Brush = {kBsSolid, Qt::black, 0};
        break;
    case TStockObject::NullBrush:
        S.Brush = {kBsNull, Qt::black, 0};
        break;
    case TStockObject::WhitePen:
        S.Pen = {kPsSolid, 0, Qt::white};
        break;
    case TStockObject::BlackPen:
        S.Pen = {kPsSolid, 0, Qt::black};
        break;
    case TStockObject::NullPen:
        S.Pen = {kPsNull, 0, Qt::black};
        break;
    case TStockObject::OemFixedFont:
    case TStockObject::AnsiFixedFont:
    case TStockObject::SystemFixedFont:
        S.Font = TFontDef{};
        S.Font.Face = QStringLiteral("Monospace");
        break;
    case TStockObject::AnsiVarFont:
    case TStockObject::SystemFont:
    case TStockObject::DeviceDefaultFont:
    case TStockObject::DefaultGuiFont:
        S.Font = TFontDef{};
        break;
    }
}

void TPlayer::Delete(std::uint32_t index) {
    if (index < FObjects.size() && FObjects[index].Kind != TObject::kEmpty) {
        FObjects[index] = TObject{};
        FFreeSlots.push(index);
    }
}

void TPlayer::SaveDc() {
    if (FSaved.size() >= kMaxSaveDepth)
        return;
    FSaved.push_back(S);
    P.save();
    ++FSaveDepth;
}

void TPlayer::RestoreDc(int which) {
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

QRegion TPlayer::DeviceClip() {
    P.setTransform(QTransform());
    return P.clipRegion();
}

void TPlayer::SetDeviceClip(const QRegion& clip) {
    P.setTransform(QTransform());
    P.setClipRegion(clip, Qt::ReplaceClip);
}

void TPlayer::ExcludeClip(const QRectF& logical) {
    const QTransform m = Transform();
    if (!Usable(m, logical))
        return;
    ++FDrawn; // region arithmetic costs like a shape
    SetDeviceClip(DeviceClip() - QRegion(m.map(QPolygonF(logical)).toPolygon()));
}

std::optional<QRegion> TPlayer::Region(TByteView rgn) {
    const std::uint32_t headerSize = rgn.U32(0), count = rgn.U32(8);
    if (headerSize < 32 || count > kMaxRegionRects || !rgn.Has(headerSize, 16 * std::size_t{count}))
        return std::nullopt;
    FDrawn += 1 + count / 16;
    QRegion region;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = headerSize + 16 * std::size_t{i};
        const QRectF r(QPointF(rgn.I32(at), rgn.I32(at + 4)), QPointF(rgn.I32(at + 8), rgn.I32(at + 12)));
        if (Usable(FBase, r))
            region += FBase.mapRect(r.normalized()).toAlignedRect();
    }
    return region;
}

void TPlayer::SelectClipRegion(std::uint32_t mode, TByteView rgnData) {
    enum : std::uint32_t { kRgnAnd = 1, kRgnOr, kRgnXor, kRgnDiff, kRgnCopy };
    if (rgnData.Size() == 0) {
        if (mode == kRgnCopy) // no region: back to the default clip
            SetDeviceClip(FOuterClip);
        return;
    }
    const auto region = Region(rgnData);
    if (!region)
        return;
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

QString TPlayer::DecodeAnsi(TByteView bytes) const {
    const QByteArray raw(reinterpret_cast<const char*>(bytes.Data()), static_cast<qsizetype>(bytes.Size()));
    QStringDecoder decoder(CodePageOf(S.Font.CharSet));
    if (!decoder.isValid())
        decoder = QStringDecoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(raw);
    return decoder.decode(raw);
}

// ---- Windows metafile records ---------------------------------------------

// The parameters of a WMF record: 16-bit words, often in reverse order.
struct TWmfArgs {
    TByteView A;
    std::size_t N;
    std::int16_t W(std::size_t i) const { return A.I16(2 * i); }
    QRectF Rect(std::size_t i) const { // bottom, right, top, left
        return QRectF(QPointF(W(i + 3), W(i + 2)), QPointF(W(i + 1), W(i))).normalized();
    }
};

void TPlayer::PlayWmf(const TMetaRecord& r) {
    const TByteView a = r.Bytes.From(6);
    const TWmfArgs args{a, a.Size() / 2};
    const auto type = static_cast<TWmfRecord>(r.Type);
    // Records of no family (ROP modes, palettes, escapes) change nothing we draw.
    PlayWmfState(type, args) || PlayWmfObjects(type, args) || PlayWmfShapes(type, args) ||
        PlayWmfFills(type, args) || PlayWmfText(type, args) || PlayWmfBitmaps(type, args);
}

bool TPlayer::PlayWmfState(TWmfRecord type, const TWmfArgs& x) {
    const std::size_t n = x.N;
    switch (type) {
    case TWmfRecord::SaveDc:
        SaveDc();
        break;
    case TWmfRecord::RestoreDc:
        if (n >= 1)
            RestoreDc(x.W(0));
        break;
    case TWmfRecord::SetBkColor:
        if (n >= 2)
            S.BkColor = ColorRef(x.A.U32(0));
        break;
    case TWmfRecord::SetTextColor:
        if (n >= 2)
            S.TextColor = ColorRef(x.A.U32(0));
        break;
    case TWmfRecord::SetBkMode:
        if (n >= 1)
            S.BkMode = x.W(0);
        break;
    case TWmfRecord::SetPolyFillMode:
        if (n >= 1)
            S.PolyFill = x.W(0);
        break;
    case TWmfRecord::SetTextAlign:
        if (n >= 1)
            S.TextAlign = x.A.U16(0);
        break;
    case TWmfRecord::SetMapMode:
        if (n >= 1)
            S.MapMode = x.W(0);
        break;
    case TWmfRecord::SetWindowOrg:
        if (n >= 2)
            S.WindowOrg = QPointF(x.W(1), x.W(0));
        break;
    case TWmfRecord::SetWindowExt:
        if (n >= 2)
            S.WindowExt = QSizeF(x.W(1), x.W(0));
        break;
    case TWmfRecord::OffsetWindowOrg:
        if (n >= 2)
            S.WindowOrg += QPointF(x.W(1), x.W(0));
        break;
    case TWmfRecord::ScaleWindowExt: // yDenom, yNum, xDenom, xNum
        if (n >= 4 && x.W(0) && x.W(2))
            S.WindowExt =
                QSizeF(S.WindowExt.width() * x.W(3) / x.W(2), S.WindowExt.height() * x.W(1) / x.W(0));
        break;
    case TWmfRecord::MoveTo:
        if (n >= 2)
            S.Position = QPointF(x.W(1), x.W(0));
        break;
    case TWmfRecord::IntersectClipRect: // bottom, right, top, left
        if (n >= 4 && Usable(Transform(), x.Rect(0))) {
            P.setTransform(Transform());
            P.setClipRect(x.Rect(0), Qt::IntersectClip);
        }
        break;
    case TWmfRecord::ExcludeClipRect:
        if (n >= 4)
            ExcludeClip(x.Rect(0));
        break;
    default:
        return false;
    }
    return true;
}

bool TPlayer::PlayWmfObjects(TWmfRecord type, const TWmfArgs& x) {
    const TByteView a = x.A;
    const std::size_t n = x.N;
    static const TObject other{TObject::kOther, {}, {}, {}, {}};
    switch (type) {
    case TWmfRecord::CreatePenIndirect: // style, width x, width y, colour
        if (const int slot = FreeSlot(); slot >= 0) {
            TObject o;
            o.Kind = TObject::kPen;
            o.Pen = {a.U16(0), double(std::abs(a.I16(2))), ColorRef(a.U32(6))};
            Store(slot, n >= 5 ? o : other);
        }
        break;
    case TWmfRecord::CreateBrushIndirect: // style, colour, hatch
        if (const int slot = FreeSlot(); slot >= 0) {
            TObject o;
            o.Kind = TObject::kBrush;
            o.Brush = {a.U16(0), ColorRef(a.U32(2)), a.U16(6)};
            Store(slot, n >= 4 ? o : other);
        }
        break;
    case TWmfRecord::CreateFontIndirect:
        if (const int slot = FreeSlot(); slot >= 0)
            Store(slot, n >= 9 ? WmfFont(a) : other);
        break;
    case TWmfRecord::CreatePalette:
    case TWmfRecord::CreatePatternBrush:
    case TWmfRecord::DibCreatePatternBrush:
    case TWmfRecord::CreateRegion:
        if (const int slot = FreeSlot(); slot >= 0) {
            TObject o = other;
            if (type == TWmfRecord::CreateRegion)
                o = WmfRegion(a);
            if (type == TWmfRecord::CreatePatternBrush || type == TWmfRecord::DibCreatePatternBrush) {
                o.Kind = TObject::kBrush;
                o.Brush = {kBsSolid, QColor(128, 128, 128), 0};
            }
            Store(slot, o);
        }
        break;
    case TWmfRecord::SelectObject:
        if (n >= 1)
            Select(a.U16(0));
        break;
    case TWmfRecord::DeleteObject:
        if (n >= 1)
            Delete(a.U16(0));
        break;
    default:
        return false;
    }
    return true;
}

// CreateFontIndirect: a LOGFONT with 16-bit fields.
TObject TPlayer::WmfFont(TByteView a) {
    TObject o;
    o.Kind = TObject::kFont;
    o.Font.Height = a.I16(0);
    o.Font.Escapement = a.I16(4);
    o.Font.Weight = a.I16(8);
    o.Font.Italic = a.U8(10);
    o.Font.Underline = a.U8(11);
    o.Font.StrikeOut = a.U8(12);
    o.Font.CharSet = a.U8(13);
    std::size_t len = 0;
    while (len < 32 && a.Has(18 + len, 1) && a.U8(18 + len))
        ++len;
    const TFontDef keep = S.Font;
    S.Font.CharSet = o.Font.CharSet;
    o.Font.Face = DecodeAnsi(a.Sub(18, len));
    S.Font = keep;
    return o;
}

bool TPlayer::PlayWmfShapes(TWmfRecord type, const TWmfArgs& x) {
    const std::size_t n = x.N;
    QPainterPath p;
    switch (type) {
    case TWmfRecord::LineTo:
        if (n >= 2) {
            QPainterPath path(S.Position);
            S.Position = QPointF(x.W(1), x.W(0));
            path.lineTo(S.Position);
            DrawPath(path, false, true);
        }
        break;
    case TWmfRecord::Rectangle:
        if (n >= 4) {
            p.addRect(x.Rect(0));
            DrawPath(p, true, true);
        }
        break;
    case TWmfRecord::Ellipse:
        if (n >= 4) {
            p.addEllipse(x.Rect(0));
            DrawPath(p, true, true);
        }
        break;
    case TWmfRecord::RoundRect:
        if (n >= 6) {
            p.addRoundedRect(x.Rect(2), std::abs(x.W(1)) / 2.0, std::abs(x.W(0)) / 2.0);
            DrawPath(p, true, true);
        }
        break;
    case TWmfRecord::Arc:
    case TWmfRecord::Chord:
    case TWmfRecord::Pie:
        if (n >= 8) {
            const int kind = type == TWmfRecord::Arc     ? kArcOpen
                             : type == TWmfRecord::Chord ? kArcChord
                                                         : kArcPie;
            DrawPath(ArcPath(x.Rect(4), QPointF(x.W(3), x.W(2)), QPointF(x.W(1), x.W(0)), kind),
                     kind != kArcOpen, true);
        }
        break;
    case TWmfRecord::Polygon:
    case TWmfRecord::Polyline:
        if (n >= 1) {
            const bool polygon = type == TWmfRecord::Polygon;
            DrawPoly(x.A.From(2), x.A.U16(0), true, polygon, polygon, false, false);
        }
        break;
    case TWmfRecord::PolyPolygon:
        if (n >= 1)
            WmfPolyPolygon(x.A);
        break;
    default:
        return false;
    }
    return true;
}

void TPlayer::WmfPolyPolygon(TByteView a) {
    const std::size_t polys = a.U16(0);
    if (!a.Has(2, 2 * polys))
        return;
    QPainterPath all;
    std::size_t off = 2 + 2 * polys;
    for (std::size_t i = 0; i < polys; ++i) {
        const std::size_t count = a.U16(2 + 2 * i);
        if (count == 0 || !a.Has(off, 4 * count) || count > kMaxPoints - FPoints ||
            off > 4 * kMaxRecordPoints)
            return;
        FPoints += count;
        all.moveTo(a.I16(off), a.I16(off + 2));
        for (std::size_t k = 1; k < count; ++k)
            all.lineTo(a.I16(off + 4 * k), a.I16(off + 4 * k + 2));
        all.closeSubpath();
        off += 4 * count;
    }
    DrawPath(all, true, true);
}

// A WMF region object: a header, then scans of x pairs between two y values.
TObject TPlayer::WmfRegion(TByteView a) {
    TObject o{TObject::kRegion, {}, {}, {}, {}};
    const std::size_t scans = a.U16(10);
    std::size_t at = 22, rects = 0;
    for (std::size_t i = 0; i < scans && a.Has(at, 6); ++i) {
        const std::size_t count = a.U16(at);
        const int top = a.I16(at + 2), bottom = a.I16(at + 4);
        if (count % 2 != 0 || !a.Has(at + 6, 2 * count + 2) || (rects += count / 2) > kMaxRegionRects)
            break;
        for (std::size_t k = 0; k + 1 < count; k += 2) {
            const int left = a.I16(at + 6 + 2 * k), right = a.I16(at + 8 + 2 * k);
            o.Region += QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).normalized();
        }
        at += 6 + 2 * count + 2;
    }
    FDrawn += 1 + rects / 16;
    return o;
}

void TPlayer::FillRegion(const QRegion& region, const QTransform& m, const TBrushDef& brush) {
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

bool TPlayer::PlayWmfFills(TWmfRecord type, const TWmfArgs& x) {
    const std::size_t n = x.N;
    auto object = [&](std::size_t i) {
        return x.A.U16(2 * i) < FObjects.size() ? &FObjects[x.A.U16(2 * i)] : nullptr;
    };
    switch (type) {
    case TWmfRecord::PatBlt: // rop(2), height, width, y, x
        if (n >= 6) {
            const std::uint32_t rop = x.A.U32(0);
            const TBrushDef keep = S.Brush;
            if (rop == kBlackness || rop == kWhiteness)
                S.Brush = {kBsSolid, rop == kBlackness ? Qt::black : Qt::white, 0};
            QPainterPath p;
            p.addRect(QRectF(x.W(5), x.W(4), x.W(3), x.W(2)).normalized());
            DrawPath(p, true, false);
            S.Brush = keep;
        }
        break;
    case TWmfRecord::SetPixel: // colour (2), y, x
        if (n >= 4 && !FInPath && Usable(Transform(), QRectF(x.W(3), x.W(2), 1, 1))) {
            ++FDrawn;
            const QPointF at = Transform().map(QPointF(x.W(3), x.W(2)));
            P.setTransform(QTransform());
            P.fillRect(QRectF(std::floor(at.x()), std::floor(at.y()), 1, 1), ColorRef(x.A.U32(0)));
        }
        break;
    case TWmfRecord::FillRegion: // region, brush
        if (n >= 2) {
            const TObject *region = object(0), *brush = object(1);
            if (region && brush && region->Kind == TObject::kRegion && brush->Kind == TObject::kBrush)
                FillRegion(region->Region, Transform(), brush->Brush);
        }
        break;
    case TWmfRecord::PaintRegion:
        if (n >= 1) {
            if (const TObject* region = object(0); region && region->Kind == TObject::kRegion)
                FillRegion(region->Region, Transform(), S.Brush);
        }
        break;
    default:
        return false;
    }
    return true;
}

bool TPlayer::PlayWmfText(TWmfRecord type, const TWmfArgs& x) {
    const TByteView a = x.A;
    switch (type) {
    case TWmfRecord::TextOut: // count, string, y, x
        if (x.N >= 1) {
            const std::size_t count = a.U16(0);
            const std::size_t padded = (count + 1) & ~std::size_t{1};
            if (!a.Has(2, padded + 4) || count > kMaxTextChars)
                break;
            DrawText(QPointF(a.I16(2 + padded + 2), a.I16(2 + padded)),
                     FGlyphs < kMaxGlyphs ? DecodeAnsi(a.Sub(2, count)) : QString(), {}, 0, {});
        }
        break;
    case TWmfRecord::ExtTextOut: // y, x, count, options, [rect], string, [dx]
        if (x.N >= 4) {
            const std::size_t count = a.U16(4);
            const unsigned options = a.U16(6);
            std::size_t off = 8;
            QRectF clip;
            if (options & (kEtoOpaque | kEtoClipped)) {
                if (!a.Has(off, 8))
                    break;
                clip = QRectF(QPointF(a.I16(off), a.I16(off + 2)), QPointF(a.I16(off + 4), a.I16(off + 6)));
                off += 8;
            }
            if (!a.Has(off, count) || count > kMaxTextChars)
                break;
            const QString text = FGlyphs < kMaxGlyphs ? DecodeAnsi(a.Sub(off, count)) : QString();
            std::vector<double> dx;
            const std::size_t dxOff = off + ((count + 1) & ~std::size_t{1});
            if (a.Has(dxOff, 2 * count) && text.size() == static_cast<qsizetype>(count)) {
                for (std::size_t i = 0; i < count; ++i)
                    dx.push_back(a.I16(dxOff + 2 * i));
            }
            DrawText(QPointF(x.W(1), x.W(0)), text, dx, options, clip);
        }
        break;
    default:
        return false;
    }
    return true;
}

bool TPlayer::PlayWmfBitmaps(TWmfRecord type, const TWmfArgs& x) {
    const TByteView a = x.A;
    const std::size_t n = x.N;
    switch (type) {
    case TWmfRecord::StretchDib: // rop(2 words), usage, srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst, DIB
        if (n >= 11) {
            const QRectF dest(x.W(10), x.W(9), x.W(8), x.W(7)), src(x.W(6), x.W(5), x.W(4), x.W(3));
            DrawImage(Dib(a.From(22), {}, dest, src), dest, src, true);
        }
        break;
    case TWmfRecord::DibStretchBlt: // rop(2), srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst, DIB
        if (n >= 10 && a.Size() > 20) {
            const QRectF dest(x.W(9), x.W(8), x.W(7), x.W(6)), src(x.W(5), x.W(4), x.W(3), x.W(2));
            DrawImage(Dib(a.From(20), {}, dest, src), dest, src);
        }
        break;
    case TWmfRecord::SetDibToDev: // usage, scans, start scan, yDib, xDib, h, w, yDst, xDst, DIB
        if (n >= 9 && a.Size() > 18) {
            const QRectF dest(x.W(8), x.W(7), x.W(6), x.W(5)), src(x.W(4), x.W(3), x.W(6), x.W(5));
            DrawImage(Dib(a.From(18), {}, dest, src), dest, src, true);
        }
        break;
    case TWmfRecord::DibBitBlt: // rop(2), ySrc, xSrc, h, w, yDst, xDst, DIB
        if (n >= 8 && a.Size() > 16) {
            const QRectF dest(x.W(7), x.W(6), x.W(5), x.W(4)), src(x.W(3), x.W(2), x.W(5), x.W(4));
            DrawImage(Dib(a.From(16), {}, dest, src), dest, src);
        }
        break;
    default:
        return false;
    }
    return true;
}

// ---- Enhanced metafile records --------------------------------------------

// An EMF record, its type and size fields included: 32-bit fields.
struct TEmfArgs {
    TByteView B;
    QRectF Rect(std::size_t off) const {
        return QRectF(QPointF(B.I32(off), B.I32(off + 4)), QPointF(B.I32(off + 8), B.I32(off + 12)))
            .normalized();
    }
    QPointF Point(std::size_t off) const { return QPointF(B.I32(off), B.I32(off + 4)); }
};

void TPlayer::PlayEmf(const TMetaRecord& r) {
    const TEmfArgs args{r.Bytes};
    const auto type = static_cast<TEmfRecord>(r.Type);
    PlayEmfState(type, args) || PlayEmfClip(type, args) || PlayEmfObjects(type, args) ||
        PlayEmfShapes(type, args) || PlayEmfFigures(type, args) || PlayEmfPaths(type, args) ||
        PlayEmfText(type, args) || PlayEmfBitmaps(type, args);
}

bool TPlayer::PlayEmfState(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    const bool has12 = b.Has(0, 12), has16 = b.Has(0, 16);
    switch (type) {
    case TEmfRecord::SetWindowExtEx:
        if (has16)
            S.WindowExt = QSizeF(b.I32(8), b.I32(12));
        break;
    case TEmfRecord::SetWindowOrgEx:
        if (has16)
            S.WindowOrg = x.Point(8);
        break;
    case TEmfRecord::SetViewportExtEx:
        if (has16)
            S.ViewportExt = QSizeF(b.I32(8), b.I32(12));
        break;
    case TEmfRecord::SetViewportOrgEx:
        if (has16)
            S.ViewportOrg = x.Point(8);
        break;
    case TEmfRecord::SetMapMode:
        if (has12)
            S.MapMode = b.I32(8);
        break;
    case TEmfRecord::SetBkMode:
        if (has12)
            S.BkMode = b.I32(8);
        break;
    case TEmfRecord::SetPolyFillMode:
        if (has12)
            S.PolyFill = b.I32(8);
        break;
    case TEmfRecord::SetTextAlign:
        if (has12)
            S.TextAlign = b.U32(8);
        break;
    case TEmfRecord::SetTextColor:
        if (has12)
            S.TextColor = ColorRef(b.U32(8));
        break;
    case TEmfRecord::SetBkColor:
        if (has12)
            S.BkColor = ColorRef(b.U32(8));
        break;
    case TEmfRecord::MoveToEx:
        if (has16)
            S.Position = x.Point(8);
        break;
    case TEmfRecord::SaveDc:
        SaveDc();
        break;
    case TEmfRecord::RestoreDc:
        if (has12)
            RestoreDc(b.I32(8));
        break;
    case TEmfRecord::SetWorldTransform:
    case TEmfRecord::ModifyWorldTransform:
        if (b.Has(0, 32))
            WorldTransform(x, type == TEmfRecord::SetWorldTransform ? kMwtSet : b.U32(32));
        break;
    default:
        return false;
    }
    return true;
}

bool TPlayer::PlayEmfClip(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    switch (type) {
    case TEmfRecord::IntersectClipRect:
        if (b.Has(0, 24) && Usable(Transform(), x.Rect(8))) {
            P.setTransform(Transform());
            P.setClipRect(x.Rect(8), Qt::IntersectClip);
        }
        break;
    case TEmfRecord::ExcludeClipRect:
        if (b.Has(0, 24))
            ExcludeClip(x.Rect(8));
        break;
    case TEmfRecord::ExtSelectClipRgn: // cbRgnData, mode, region
        if (b.Has(0, 16))
            SelectClipRegion(b.U32(12), b.U32(8) ? b.Sub(16, b.U32(8)) : TByteView());
        break;
    default:
        return false;
    }
    return true;
}

void TPlayer::WorldTransform(const TEmfArgs& x, std::uint32_t mode) {
    const TByteView b = x.B;
    const QTransform m(b.F32(8), b.F32(12), b.F32(16), b.F32(20), b.F32(24), b.F32(28));
    QTransform next = S.World;
    switch (mode) {
    case kMwtIdentity:
        next = QTransform();
        break;
    case kMwtLeftMultiply:
        next = m * S.World;
        break;
    case kMwtRightMultiply:
        next = S.World * m;
        break;
    case kMwtSet:
        next = m;
        break;
    default:
        break;
    }
    if (Finite(next))
        S.World = next;
}

bool TPlayer::PlayEmfObjects(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    const bool has12 = b.Has(0, 12);
    switch (type) {
    case TEmfRecord::SelectObject:
        if (has12)
            Select(b.U32(8));
        break;
    case TEmfRecord::DeleteObject:
        if (has12)
            Delete(b.U32(8));
        break;
    case TEmfRecord::CreatePen: // ih, style, width (x, y), colour
        if (b.Has(0, 28)) {
            TObject o;
            o.Kind = TObject::kPen;
            o.Pen = {static_cast<int>(b.U32(12)), double(std::abs(static_cast<std::int64_t>(b.I32(16)))),
                     ColorRef(b.U32(24))};
            Store(b.U32(8), o);
        }
        break;
    case TEmfRecord::ExtCreatePen: // ih, offBmi, cbBmi, offBits, cbBits, style, width, brush style, colour
        if (b.Has(0, 44)) {
            TObject o;
            o.Kind = TObject::kPen;
            o.Pen = {static_cast<int>(b.U32(28)), double(b.U32(32)), ColorRef(b.U32(40))};
            if (b.U32(36) == kBsNull) // no line
                o.Pen.Style = kPsNull;
            Store(b.U32(8), o);
        }
        break;
    case TEmfRecord::CreateBrushIndirect: // ih, style, colour, hatch
        if (b.Has(0, 24)) {
            TObject o;
            o.Kind = TObject::kBrush;
            o.Brush = {static_cast<int>(b.U32(12)), ColorRef(b.U32(16)), static_cast<int>(b.U32(20))};
            Store(b.U32(8), o);
        }
        break;
    case TEmfRecord::CreateMonoBrush:
    case TEmfRecord::CreateDibPatternBrushPt: // approximated in grey
        if (has12) {
            TObject o;
            o.Kind = TObject::kBrush;
            o.Brush = {kBsSolid, QColor(128, 128, 128), 0};
            Store(b.U32(8), o);
        }
        break;
    case TEmfRecord::CreatePalette:
        if (has12)
            Store(b.U32(8), TObject{TObject::kOther, {}, {}, {}, {}});
        break;
    case TEmfRecord::ExtCreateFontIndirectW: // ih, LOGFONTW
        if (b.Has(0, 12 + 28))
            Store(b.U32(8), EmfFont(b));
        break;
    default:
        return false;
    }
    return true;
}

TObject TPlayer::EmfFont(TByteView b) {
    TObject o;
    o.Kind = TObject::kFont;
    o.Font.Height = b.I32(12);
    o.Font.Escapement = b.I32(20);
    o.Font.Weight = b.I32(28);
    o.Font.Italic = b.U8(32);
    o.Font.Underline = b.U8(33);
    o.Font.StrikeOut = b.U8(34);
    o.Font.CharSet = b.U8(35);
    QString face;
    for (std::size_t i = 0; i < 32 && b.Has(40 + 2 * i, 2) && b.U16(40 + 2 * i); ++i)
        face += QChar(b.U16(40 + 2 * i));
    o.Font.Face = face;
    return o;
}

bool TPlayer::PlayEmfShapes(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    QPainterPath p;
    switch (type) {
    case TEmfRecord::PolyBezier:
    case TEmfRecord::Polygon:
    case TEmfRecord::Polyline:
    case TEmfRecord::PolyBezierTo:
    case TEmfRecord::PolylineTo:
        EmfPoly(type, b, false);
        break;
    case TEmfRecord::PolyBezier16:
    case TEmfRecord::Polygon16:
    case TEmfRecord::Polyline16:
    case TEmfRecord::PolyBezierTo16:
    case TEmfRecord::PolylineTo16:
        EmfPoly(static_cast<TEmfRecord>(static_cast<std::uint32_t>(type) - 83), b, true);
        break;
    case TEmfRecord::PolyPolyline:
    case TEmfRecord::PolyPolygon:
    case TEmfRecord::PolyPolyline16:
    case TEmfRecord::PolyPolygon16:
        EmfPolyPoly(b, type == TEmfRecord::PolyPolyline16 || type == TEmfRecord::PolyPolygon16,
                    type == TEmfRecord::PolyPolygon || type == TEmfRecord::PolyPolygon16);
        break;
    case TEmfRecord::Ellipse:
        if (b.Has(0, 24)) {
            p.addEllipse(x.Rect(8));
            DrawPath(p, true, true);
        }
        break;
    case TEmfRecord::Rectangle:
        if (b.Has(0, 24)) {
            p.addRect(x.Rect(8));
            DrawPath(p, true, true);
        }
        break;
    case TEmfRecord::RoundRect:
        if (b.Has(0, 32)) {
            p.addRoundedRect(x.Rect(8), std::abs(double(b.I32(24))) / 2, std::abs(double(b.I32(28))) / 2);
            DrawPath(p, true, true);
        }
        break;
    case TEmfRecord::Arc:
    case TEmfRecord::Chord:
    case TEmfRecord::Pie:
    case TEmfRecord::ArcTo:
        if (b.Has(0, 40))
            EmfArc(type, x);
        break;
    case TEmfRecord::LineTo:
        if (b.Has(0, 16))
            EmfLineTo(x.Point(8));
        break;
    default:
        return false;
    }
    return true;
}

void TPlayer::EmfLineTo(QPointF to) {
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

// PolyBezier, Polygon, Polyline, PolyBezierTo and PolylineTo, 32- or 16-bit points.
void TPlayer::EmfPoly(TEmfRecord shape, TByteView b, bool small) {
    const bool polygon = shape == TEmfRecord::Polygon;
    const bool bezier = shape == TEmfRecord::PolyBezier || shape == TEmfRecord::PolyBezierTo;
    const bool fromCurrent = shape == TEmfRecord::PolyBezierTo || shape == TEmfRecord::PolylineTo;
    DrawPoly(b.From(28), b.U32(24), small, polygon, polygon, bezier, fromCurrent);
}

void TPlayer::EmfPolyPoly(TByteView b, bool small, bool polygon) {
    const std::size_t polys = b.U32(24), total = b.U32(28);
    const std::size_t step = small ? 4 : 8;
    if (!b.Has(32, 4 * polys) || total > kMaxRecordPoints || total > kMaxPoints - FPoints ||
        !b.Has(32 + 4 * polys, step * total))
        return;
    FPoints += total;
    const TByteView pts = b.From(32 + 4 * polys);
    QPainterPath all;
    std::size_t at = 0;
    for (std::size_t i = 0; i < polys; ++i) {
        const std::size_t count = b.U32(32 + 4 * i);
        if (count == 0 || count > total - at)
            break;
        for (std::size_t k = 0; k < count; ++k, ++at) {
            const QPointF p = small ? QPointF(pts.I16(at * 4), pts.I16(at * 4 + 2))
                                    : QPointF(pts.I32(at * 8), pts.I32(at * 8 + 4));
            k == 0 ? all.moveTo(p) : all.lineTo(p);
        }
        if (polygon)
            all.closeSubpath();
    }
    DrawPath(all, polygon, true);
}

void TPlayer::EmfArc(TEmfRecord type, const TEmfArgs& x) {
    const int kind = type == TEmfRecord::Chord ? kArcChord : type == TEmfRecord::Pie ? kArcPie : kArcOpen;
    QPainterPath p = ArcPath(x.Rect(8), x.Point(24), x.Point(32), kind);
    if (type == TEmfRecord::ArcTo) {
        QPainterPath joined(S.Position);
        joined.connectPath(p);
        p = joined;
        S.Position = p.currentPosition();
    }
    DrawPath(p, kind != kArcOpen, true);
}

bool TPlayer::PlayEmfFigures(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    switch (type) {
    case TEmfRecord::PolyDraw:
    case TEmfRecord::PolyDraw16:
        if (b.Has(0, 28))
            EmfPolyDraw(b, type == TEmfRecord::PolyDraw16);
        break;
    case TEmfRecord::AngleArc:
        if (b.Has(0, 28))
            EmfAngleArc(x);
        break;
    case TEmfRecord::GradientFill:
        if (b.Has(0, 36))
            EmfGradient(b);
        break;
    case TEmfRecord::FillRgn: // bounds, cbRgnData, ihBrush, region
        if (b.Has(0, 32)) {
            const TBrushDef keep = S.Brush;
            Select(b.U32(28));
            const TBrushDef brush = S.Brush;
            S.Brush = keep;
            if (const auto region = Region(b.Sub(32, b.U32(24))))
                FillRegion(*region, QTransform(), brush);
        }
        break;
    case TEmfRecord::PaintRgn: // bounds, cbRgnData, region
        if (b.Has(0, 28)) {
            if (const auto region = Region(b.Sub(28, b.U32(24))))
                FillRegion(*region, QTransform(), S.Brush);
        }
        break;
    default:
        return false;
    }
    return true;
}

// Points, then a type byte for each: move, line, Bézier, maybe closing.
void TPlayer::EmfPolyDraw(TByteView b, bool small) {
    const std::size_t count = b.U32(24), step = small ? 4 : 8;
    if (count == 0 || count > kMaxRecordPoints || count > kMaxPoints - FPoints ||
        !b.Has(28, (step + 1) * count))
        return;
    FPoints += count;
    const TByteView types = b.From(28 + step * count);
    auto at = [&](std::size_t i) {
        return small ? QPointF(b.I16(28 + 4 * i), b.I16(30 + 4 * i))
                     : QPointF(b.I32(28 + 8 * i), b.I32(32 + 8 * i));
    };
    QPainterPath path(S.Position);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t t = types.U8(i);
        switch (t & ~kPtCloseFigure) {
        case kPtMoveTo:
            path.moveTo(at(i));
            break;
        case kPtLineTo:
            path.lineTo(at(i));
            break;
        case kPtBezierTo:
            if (i + 2 < count) {
                path.cubicTo(at(i), at(i + 1), at(i + 2));
                i += 2;
            }
            break;
        default:
            return; // not a point type: the record is broken
        }
        if (types.U8(i) & kPtCloseFigure)
            path.closeSubpath();
    }
    S.Position = path.currentPosition();
    if (FInPath)
        AddToPath(path, true);
    else
        DrawPath(path, false, true);
}

// A line from the current position to the start of an arc around a centre,
// then the arc; angles in degrees, counterclockwise.
void TPlayer::EmfAngleArc(const TEmfArgs& x) {
    const QPointF c = x.Point(8);
    const double r = x.B.U32(16), start = x.B.F32(20), sweep = x.B.F32(24);
    if (!std::isfinite(start) || !std::isfinite(sweep) || r > kMaxDeviceCoord)
        return;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    QPainterPath path(S.Position);
    path.arcTo(box, start, std::clamp(sweep, -360.0 * 4, 360.0 * 4));
    S.Position = path.currentPosition();
    if (FInPath)
        AddToPath(path, true);
    else
        DrawPath(path, false, true);
}

// Vertices (x, y, 16-bit red, green, blue, alpha), then rectangles or
// triangles naming them. Triangles are filled with their mean colour.
void TPlayer::EmfGradient(TByteView b) {
    const std::size_t vertices = b.U32(24), shapes = b.U32(28);
    const std::uint32_t mode = b.U32(32);
    const std::size_t corners = mode == kGradientTriangle ? 3 : 2;
    if (vertices > kMaxRecordPoints || shapes > kMaxRecordPoints || !b.Has(36, 16 * vertices) ||
        !b.Has(36 + 16 * vertices, 4 * corners * shapes) || mode > kGradientTriangle)
        return;
    auto point = [&](std::size_t v) { return QPointF(b.I32(36 + 16 * v), b.I32(40 + 16 * v)); };
    auto colour = [&](std::size_t v) {
        return QColor(b.U16(44 + 16 * v) >> 8, b.U16(46 + 16 * v) >> 8, b.U16(48 + 16 * v) >> 8);
    };
    const TBrushDef keep = S.Brush;
    const TPenDef pen = S.Pen;
    S.Pen.Style = kPsNull;
    for (std::size_t i = 0; i < shapes && FDrawn < kMaxDrawnShapes; ++i) {
        std::size_t v[3];
        for (std::size_t k = 0; k < corners; ++k)
            v[k] = b.U32(36 + 16 * vertices + 4 * (corners * i + k));
        if (v[0] >= vertices || v[1] >= vertices || (corners == 3 && v[2] >= vertices))
            continue;
        QPainterPath p;
        if (corners == 3) {
            p.addPolygon(QPolygonF({point(v[0]), point(v[1]), point(v[2])}));
            const QColor a = colour(v[0]), c = colour(v[1]), d = colour(v[2]);
            S.Brush = {kBsSolid,
                       QColor((a.red() + c.red() + d.red()) / 3, (a.green() + c.green() + d.green()) / 3,
                              (a.blue() + c.blue() + d.blue()) / 3),
                       0};
            DrawPath(p, true, false);
            continue;
        }
        const QRectF r = QRectF(point(v[0]), point(v[1])).normalized();
        p.addRect(r);
        FGradient = QLinearGradient(r.topLeft(), mode == kGradientRectH ? r.topRight() : r.bottomLeft());
        FGradient.setColorAt(0, colour(v[0]));
        FGradient.setColorAt(1, colour(v[1]));
        FUseGradient = true;
        DrawPath(p, true, false);
        FUseGradient = false;
    }
    S.Brush = keep;
    S.Pen = pen;
}

bool TPlayer::PlayEmfPaths(TEmfRecord type, const TEmfArgs&) {
    switch (type) {
    case TEmfRecord::BeginPath:
        FInPath = true;
        FPath = QPainterPath();
        break;
    case TEmfRecord::EndPath:
        FInPath = false;
        break;
    case TEmfRecord::CloseFigure:
        if (FInPath)
            FPath.closeSubpath();
        break;
    case TEmfRecord::AbortPath:
        FInPath = false;
        FPath = QPainterPath();
        break;
    case TEmfRecord::FillPath:
    case TEmfRecord::StrokeAndFillPath:
    case TEmfRecord::StrokePath: {
        FInPath = false;
        const QPainterPath path = FPath;
        FPath = QPainterPath();
        DrawPath(path, type != TEmfRecord::StrokePath, type != TEmfRecord::FillPath);
        break;
    }
    case TEmfRecord::SelectClipPath:
        FInPath = false;
        if (Usable(Transform(), FPath.controlPointRect())) {
            P.setTransform(Transform());
            P.setClipPath(FPath, Qt::IntersectClip);
        }
        FPath = QPainterPath();
        break;
    default:
        return false;
    }
    return true;
}

bool TPlayer::PlayEmfText(TEmfRecord type, const TEmfArgs& x) {
    switch (type) {
    case TEmfRecord::ExtTextOutA:
    case TEmfRecord::ExtTextOutW:
        if (x.B.Has(0, 76))
            EmfExtText(type, x);
        return true;
    case TEmfRecord::SmallTextOut:
        if (x.B.Has(0, 36))
            EmfSmallText(x.B);
        return true;
    default:
        return false;
    }
}

void TPlayer::EmfExtText(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    const QPointF ref = x.Point(36);
    const std::size_t count = b.U32(44), offString = b.U32(48), offDx = b.U32(72);
    const unsigned options = b.U32(52);
    const QRectF rect = x.Rect(56);
    const bool wide = type == TEmfRecord::ExtTextOutW;
    if (count > kMaxTextChars || !b.Has(offString, count * (wide ? 2 : 1)))
        return;
    QString text;
    if (FGlyphs >= kMaxGlyphs) {
        // Past the budget only the opaque box is drawn.
    } else if (wide) {
        text.resize(static_cast<qsizetype>(count));
        for (std::size_t i = 0; i < count; ++i)
            text[static_cast<qsizetype>(i)] = QChar(b.U16(offString + 2 * i));
    } else {
        text = DecodeAnsi(b.Sub(offString, count));
    }
    std::vector<double> dx;
    if (offDx && b.Has(offDx, 4 * count) && text.size() == static_cast<qsizetype>(count)) {
        for (std::size_t i = 0; i < count; ++i)
            dx.push_back(b.I32(offDx + 4 * i));
    }
    DrawText(ref, text, dx, options, rect.isEmpty() ? QRectF() : rect);
}

// x, y, count, options, graphics mode, scales, [clip rectangle], 8- or 16-bit text.
void TPlayer::EmfSmallText(TByteView b) {
    const std::size_t count = b.U32(16);
    const unsigned options = b.U32(20);
    QRectF rect;
    std::size_t at = 36;
    if (!(options & kEtoNoRect)) {
        rect = QRectF(QPointF(b.I32(36), b.I32(40)), QPointF(b.I32(44), b.I32(48))).normalized();
        at += 16;
    }
    const bool small = options & kEtoSmallChars;
    if (count > kMaxTextChars || !b.Has(at, count * (small ? 1 : 2)))
        return;
    QString text;
    if (FGlyphs < kMaxGlyphs) {
        for (std::size_t i = 0; i < count; ++i)
            text += QChar(small ? b.U8(at + i) : b.U16(at + 2 * i));
    }
    DrawText(QPointF(b.I32(8), b.I32(12)), text, {}, options, rect.isEmpty() ? QRectF() : rect);
}

bool TPlayer::PlayEmfBitmaps(TEmfRecord type, const TEmfArgs& x) {
    const TByteView b = x.B;
    switch (type) {
    case TEmfRecord::StretchDiBits:
        if (b.Has(0, 80)) {
            const QRectF dest(b.I32(24), b.I32(28), b.I32(72), b.I32(76));
            const QRectF src(b.I32(32), b.I32(36), b.I32(40), b.I32(44));
            DrawImage(Dib(b.Sub(b.U32(48), b.U32(52)), b.Sub(b.U32(56), b.U32(60)), dest, src), dest, src,
                      true);
        }
        break;
    case TEmfRecord::BitBlt:
    case TEmfRecord::StretchBlt:
        if (b.Has(0, 100))
            EmfBlt(type, b);
        break;
    case TEmfRecord::AlphaBlend:
    case TEmfRecord::TransparentBlt:
        if (b.Has(0, 108))
            EmfBlt(type, b);
        break;
    case TEmfRecord::SetDiBitsToDevice: // drawn at its own size
        if (b.Has(0, 76)) {
            const QRectF src(b.I32(32), b.I32(36), b.I32(40), b.I32(44));
            const QRectF dest(QPointF(b.I32(24), b.I32(28)), src.size());
            DrawImage(Dib(b.Sub(b.U32(48), b.U32(52)), b.Sub(b.U32(56), b.U32(60)), dest, src), dest, src,
                      true);
        }
        break;
    default:
        return false;
    }
    return true;
}

void TPlayer::EmfBlt(TEmfRecord type, TByteView b) {
    const QRectF dest(b.I32(24), b.I32(28), b.I32(32), b.I32(36));
    if (b.U32(88) == 0) { // no source: a pattern fill with the brush
        QPainterPath p;
        p.addRect(dest.normalized());
        DrawPath(p, true, false);
        return;
    }
    QRectF src(b.I32(44), b.I32(48), dest.width(), dest.height());
    if (type != TEmfRecord::BitBlt && b.Has(0, 108))
        src.setSize(QSizeF(b.I32(100), b.I32(104)));
    // AlphaBlend: constant and per-pixel alpha; TransparentBlt: a colour that is not drawn.
    const bool alpha = type == TEmfRecord::AlphaBlend && (b.U8(43) & kAcSrcAlpha);
    QImage image = Dib(b.Sub(b.U32(84), b.U32(88)), b.Sub(b.U32(92), b.U32(96)), dest, src, alpha);
    if (type == TEmfRecord::TransparentBlt && !image.isNull()) {
        const QImage mask =
            image.createMaskFromColor(ColorRef(b.U32(40)).rgb() | 0xFF000000u, Qt::MaskOutColor);
        image = image.convertToFormat(QImage::Format_ARGB32);
        image.setAlphaChannel(mask.convertToFormat(QImage::Format_Grayscale8));
    }
    const double opacity = P.opacity();
    if (type == TEmfRecord::AlphaBlend)
        P.setOpacity(opacity * b.U8(42) / 255.0);
    DrawImage(image, dest, src);
    P.setOpacity(opacity);
}

void TPlayer::Play() {
    if (FInfo.Kind == TMetafileKind::Placeable) {
        S.WindowOrg = QPointF(FInfo.BoxLeft, FInfo.BoxTop);
        S.WindowExt = QSizeF(FInfo.BoxRight - FInfo.BoxLeft, FInfo.BoxBottom - FInfo.BoxTop);
        FBase = QTransform::fromTranslate(FTarget.left(), FTarget.top());
    } else {
        // The frame, in reference device pixels, fills the target.
        QRectF frame;
        if (FInfo.DeviceMmX > 0 && FInfo.DeviceMmY > 0 && FInfo.DevicePixelsX > 0 &&
            FInfo.DevicePixelsY > 0 && FInfo.FrameRight > FInfo.FrameLeft &&
            FInfo.FrameBottom > FInfo.FrameTop) {
            const double kx = double(FInfo.DevicePixelsX) / (FInfo.DeviceMmX * 100.0);
            const double ky = double(FInfo.DevicePixelsY) / (FInfo.DeviceMmY * 100.0);
            frame = QRectF(QPointF(FInfo.FrameLeft * kx, FInfo.FrameTop * ky),
                           QPointF(FInfo.FrameRight * kx, FInfo.FrameBottom * ky));
        } else {
            frame = QRectF(QPointF(FInfo.BoundsLeft, FInfo.BoundsTop),
                           QPointF(FInfo.BoundsRight + 1.0, FInfo.BoundsBottom + 1.0));
        }
        if (frame.width() <= 0 || frame.height() <= 0)
            return;
        const double sx = FTarget.width() / frame.width(), sy = FTarget.height() / frame.height();
        FBase =
            QTransform(sx, 0, 0, sy, FTarget.left() - frame.left() * sx, FTarget.top() - frame.top() * sy);
    }
    if (!Finite(FBase))
        return;
    P.save();
    P.setClipRect(FTarget, Qt::IntersectClip);
    FOuterClip = DeviceClip();
    P.setRenderHint(QPainter::Antialiasing, false);
    TMetaRecordReader reader(FFile, FInfo);
    TMetaRecord record;
    // A file past the budgets (here and kMaxMetaRecords) shows what was played
    // up to there.
    while (FDrawn < kMaxDrawnShapes && reader.Next(record)) {
        if (FInfo.Kind == TMetafileKind::Placeable)
            PlayWmf(record);
        else
            PlayEmf(record);
    }
    while (FSaveDepth > 0) {
        P.restore();
        --FSaveDepth;
    }
    P.restore();
}

QImage TPlayer::Dib(TByteView header, TByteView bits, const QRectF& dest, const QRectF& source,
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

} // namespace

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
    TPlayer player(painter, file, info, target);
    player.Play();
}

} // namespace tavolix::pictures
