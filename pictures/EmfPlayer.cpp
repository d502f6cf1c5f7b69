// Records of enhanced metafiles, played into the shared canvas.
#include "pictures/MetafileCanvas.h"

#include <cmath>
#include <cstdlib>

#include <QLinearGradient>

namespace tavolix::pictures::meta {

namespace {

enum : std::uint32_t { kMwtIdentity = 1, kMwtLeftMultiply, kMwtRightMultiply, kMwtSet };
enum : std::uint8_t { kPtCloseFigure = 1, kPtLineTo = 2, kPtBezierTo = 4, kPtMoveTo = 6 };
enum : std::uint32_t { kGradientRectH = 0, kGradientRectV = 1, kGradientTriangle = 2 };
enum : std::uint8_t { kAcSrcAlpha = 1 };

// An EMF record, its type and size fields included: 32-bit fields at byte
// offsets from its start.
struct TEmfArgs {
    TEmfRecord Type;
    TByteView B;
    QRectF Rect(std::size_t off) const {
        return QRectF(QPointF(B.I32(off), B.I32(off + 4)), QPointF(B.I32(off + 8), B.I32(off + 12)))
            .normalized();
    }
    QPointF Point(std::size_t off) const { return QPointF(B.I32(off), B.I32(off + 4)); }
};

// The header and pixels a record's four bitmap fields (offBmi, cbBmi,
// offBits, cbBits from `at`) name; nullopt when they lie outside the record.
struct TEmfBitmap {
    TByteView Header, Bits;
};
std::optional<TEmfBitmap> BitmapAt(const TEmfArgs& x, std::size_t at) {
    const TByteView b = x.B;
    const std::uint32_t offBmi = b.U32(at), cbBmi = b.U32(at + 4), offBits = b.U32(at + 8),
                        cbBits = b.U32(at + 12);
    if (!b.Has(offBmi, cbBmi) || !b.Has(offBits, cbBits))
        return std::nullopt;
    return TEmfBitmap{b.Sub(offBmi, cbBmi), b.Sub(offBits, cbBits)};
}

class TEmfPlayer {
public:
    explicit TEmfPlayer(TCanvas& canvas) : C(canvas) {}
    void Play(const TMetaRecord& record);

    // ---- state
    void SetWindowExtEx(const TEmfArgs& x) { C.S.WindowExt = QSizeF(x.B.I32(8), x.B.I32(12)); }
    void SetWindowOrgEx(const TEmfArgs& x) { C.S.WindowOrg = x.Point(8); }
    void SetViewportExtEx(const TEmfArgs& x) { C.S.ViewportExt = QSizeF(x.B.I32(8), x.B.I32(12)); }
    void SetViewportOrgEx(const TEmfArgs& x) { C.S.ViewportOrg = x.Point(8); }
    void SetMapMode(const TEmfArgs& x) { C.S.MapMode = x.B.I32(8); }
    void SetBkMode(const TEmfArgs& x) { C.S.BkMode = x.B.I32(8); }
    void SetPolyFillMode(const TEmfArgs& x) { C.S.PolyFill = x.B.I32(8); }
    void SetTextAlign(const TEmfArgs& x) { C.S.TextAlign = x.B.U32(8); }
    void SetTextColor(const TEmfArgs& x) { C.S.TextColor = ColorRef(x.B.U32(8)); }
    void SetBkColor(const TEmfArgs& x) { C.S.BkColor = ColorRef(x.B.U32(8)); }
    void MoveToEx(const TEmfArgs& x) { C.S.Position = x.Point(8); }
    void SaveDc(const TEmfArgs&) { C.SaveDc(); }
    void RestoreDc(const TEmfArgs& x) { C.RestoreDc(x.B.I32(8)); }
    void WorldTransform(const TEmfArgs& x);

    // ---- clipping
    void IntersectClipRect(const TEmfArgs& x) { C.IntersectClip(x.Rect(8)); }
    void ExcludeClipRect(const TEmfArgs& x) { C.ExcludeClip(x.Rect(8)); }
    void ExtSelectClipRgn(const TEmfArgs& x);

    // ---- objects, in the slot each record names
    void SelectObject(const TEmfArgs& x) { C.Select(x.B.U32(8)); }
    void DeleteObject(const TEmfArgs& x) { C.Delete(x.B.U32(8)); }
    void CreatePen(const TEmfArgs& x);
    void ExtCreatePen(const TEmfArgs& x);
    void CreateBrushIndirect(const TEmfArgs& x);
    void CreatePatternBrush(const TEmfArgs& x);
    void CreatePalette(const TEmfArgs& x) { C.Store(x.B.U32(8), TObject{TObject::kOther, {}, {}, {}, {}}); }
    void ExtCreateFontIndirectW(const TEmfArgs& x);

    // ---- shapes and figures
    void Poly(const TEmfArgs& x);
    void PolyPoly(const TEmfArgs& x);
    void Ellipse(const TEmfArgs& x);
    void Rectangle(const TEmfArgs& x);
    void RoundRect(const TEmfArgs& x);
    void Arc(const TEmfArgs& x);
    void LineTo(const TEmfArgs& x) { C.LineTo(x.Point(8)); }
    void PolyDraw(const TEmfArgs& x);
    void AngleArc(const TEmfArgs& x);
    void GradientFill(const TEmfArgs& x);
    void FillRgn(const TEmfArgs& x);
    void PaintRgn(const TEmfArgs& x);

    // ---- paths
    void BeginPath(const TEmfArgs&) { C.BeginPath(); }
    void EndPath(const TEmfArgs&) { C.EndPath(); }
    void CloseFigure(const TEmfArgs&) { C.CloseFigure(); }
    void AbortPath(const TEmfArgs&) { C.AbortPath(); }
    void FinishPath(const TEmfArgs& x) {
        C.FinishPath(x.Type != TEmfRecord::StrokePath, x.Type != TEmfRecord::FillPath);
    }
    void SelectClipPath(const TEmfArgs&) { C.SelectClipPath(); }

    // ---- text
    void ExtTextOut(const TEmfArgs& x);
    void SmallTextOut(const TEmfArgs& x);

    // ---- bitmaps
    void StretchDiBits(const TEmfArgs& x);
    void SetDiBitsToDevice(const TEmfArgs& x);
    void Blt(const TEmfArgs& x);

private:
    // A region (RGNDATA, in reference device units) on the device; nullopt
    // when it is broken.
    std::optional<QRegion> Region(TByteView rgnData);

    TCanvas& C;
};

using TEmfRule = TRecordRule<TEmfPlayer, TEmfArgs>;

constexpr std::uint32_t Ty(TEmfRecord r) {
    return static_cast<std::uint32_t>(r);
}

// The records played, by type, with the bytes their fixed fields take.
constexpr TEmfRule kEmfRules[] = {
    {Ty(TEmfRecord::PolyBezier), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::Polygon), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::Polyline), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::PolyBezierTo), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::PolylineTo), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::PolyPolyline), 32, &TEmfPlayer::PolyPoly},
    {Ty(TEmfRecord::PolyPolygon), 32, &TEmfPlayer::PolyPoly},
    {Ty(TEmfRecord::SetWindowExtEx), 16, &TEmfPlayer::SetWindowExtEx},
    {Ty(TEmfRecord::SetWindowOrgEx), 16, &TEmfPlayer::SetWindowOrgEx},
    {Ty(TEmfRecord::SetViewportExtEx), 16, &TEmfPlayer::SetViewportExtEx},
    {Ty(TEmfRecord::SetViewportOrgEx), 16, &TEmfPlayer::SetViewportOrgEx},
    {Ty(TEmfRecord::SetMapMode), 12, &TEmfPlayer::SetMapMode},
    {Ty(TEmfRecord::SetBkMode), 12, &TEmfPlayer::SetBkMode},
    {Ty(TEmfRecord::SetPolyFillMode), 12, &TEmfPlayer::SetPolyFillMode},
    {Ty(TEmfRecord::SetTextAlign), 12, &TEmfPlayer::SetTextAlign},
    {Ty(TEmfRecord::SetTextColor), 12, &TEmfPlayer::SetTextColor},
    {Ty(TEmfRecord::SetBkColor), 12, &TEmfPlayer::SetBkColor},
    {Ty(TEmfRecord::MoveToEx), 16, &TEmfPlayer::MoveToEx},
    {Ty(TEmfRecord::ExcludeClipRect), 24, &TEmfPlayer::ExcludeClipRect},
    {Ty(TEmfRecord::IntersectClipRect), 24, &TEmfPlayer::IntersectClipRect},
    {Ty(TEmfRecord::SaveDc), 8, &TEmfPlayer::SaveDc},
    {Ty(TEmfRecord::RestoreDc), 12, &TEmfPlayer::RestoreDc},
    {Ty(TEmfRecord::SetWorldTransform), 32, &TEmfPlayer::WorldTransform},
    {Ty(TEmfRecord::ModifyWorldTransform), 36, &TEmfPlayer::WorldTransform},
    {Ty(TEmfRecord::SelectObject), 12, &TEmfPlayer::SelectObject},
    {Ty(TEmfRecord::CreatePen), 28, &TEmfPlayer::CreatePen},
    {Ty(TEmfRecord::CreateBrushIndirect), 24, &TEmfPlayer::CreateBrushIndirect},
    {Ty(TEmfRecord::DeleteObject), 12, &TEmfPlayer::DeleteObject},
    {Ty(TEmfRecord::AngleArc), 28, &TEmfPlayer::AngleArc},
    {Ty(TEmfRecord::Ellipse), 24, &TEmfPlayer::Ellipse},
    {Ty(TEmfRecord::Rectangle), 24, &TEmfPlayer::Rectangle},
    {Ty(TEmfRecord::RoundRect), 32, &TEmfPlayer::RoundRect},
    {Ty(TEmfRecord::Arc), 40, &TEmfPlayer::Arc},
    {Ty(TEmfRecord::Chord), 40, &TEmfPlayer::Arc},
    {Ty(TEmfRecord::Pie), 40, &TEmfPlayer::Arc},
    {Ty(TEmfRecord::CreatePalette), 12, &TEmfPlayer::CreatePalette},
    {Ty(TEmfRecord::LineTo), 16, &TEmfPlayer::LineTo},
    {Ty(TEmfRecord::ArcTo), 40, &TEmfPlayer::Arc},
    {Ty(TEmfRecord::PolyDraw), 28, &TEmfPlayer::PolyDraw},
    {Ty(TEmfRecord::BeginPath), 8, &TEmfPlayer::BeginPath},
    {Ty(TEmfRecord::EndPath), 8, &TEmfPlayer::EndPath},
    {Ty(TEmfRecord::CloseFigure), 8, &TEmfPlayer::CloseFigure},
    {Ty(TEmfRecord::FillPath), 8, &TEmfPlayer::FinishPath},
    {Ty(TEmfRecord::StrokeAndFillPath), 8, &TEmfPlayer::FinishPath},
    {Ty(TEmfRecord::StrokePath), 8, &TEmfPlayer::FinishPath},
    {Ty(TEmfRecord::SelectClipPath), 8, &TEmfPlayer::SelectClipPath},
    {Ty(TEmfRecord::AbortPath), 8, &TEmfPlayer::AbortPath},
    {Ty(TEmfRecord::FillRgn), 32, &TEmfPlayer::FillRgn},
    {Ty(TEmfRecord::PaintRgn), 28, &TEmfPlayer::PaintRgn},
    {Ty(TEmfRecord::ExtSelectClipRgn), 16, &TEmfPlayer::ExtSelectClipRgn},
    {Ty(TEmfRecord::BitBlt), 100, &TEmfPlayer::Blt},
    {Ty(TEmfRecord::StretchBlt), 108, &TEmfPlayer::Blt},
    {Ty(TEmfRecord::SetDiBitsToDevice), 76, &TEmfPlayer::SetDiBitsToDevice},
    {Ty(TEmfRecord::StretchDiBits), 80, &TEmfPlayer::StretchDiBits},
    {Ty(TEmfRecord::ExtCreateFontIndirectW), 40, &TEmfPlayer::ExtCreateFontIndirectW},
    {Ty(TEmfRecord::ExtTextOutA), 76, &TEmfPlayer::ExtTextOut},
    {Ty(TEmfRecord::ExtTextOutW), 76, &TEmfPlayer::ExtTextOut},
    {Ty(TEmfRecord::PolyBezier16), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::Polygon16), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::Polyline16), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::PolyBezierTo16), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::PolylineTo16), 28, &TEmfPlayer::Poly},
    {Ty(TEmfRecord::PolyPolyline16), 32, &TEmfPlayer::PolyPoly},
    {Ty(TEmfRecord::PolyPolygon16), 32, &TEmfPlayer::PolyPoly},
    {Ty(TEmfRecord::PolyDraw16), 28, &TEmfPlayer::PolyDraw},
    {Ty(TEmfRecord::CreateMonoBrush), 12, &TEmfPlayer::CreatePatternBrush},
    {Ty(TEmfRecord::CreateDibPatternBrushPt), 12, &TEmfPlayer::CreatePatternBrush},
    {Ty(TEmfRecord::ExtCreatePen), 44, &TEmfPlayer::ExtCreatePen},
    {Ty(TEmfRecord::SmallTextOut), 36, &TEmfPlayer::SmallTextOut},
    {Ty(TEmfRecord::AlphaBlend), 108, &TEmfPlayer::Blt},
    {Ty(TEmfRecord::TransparentBlt), 108, &TEmfPlayer::Blt},
    {Ty(TEmfRecord::GradientFill), 36, &TEmfPlayer::GradientFill},
};
static_assert(SortedByType(kEmfRules));

void TEmfPlayer::Play(const TMetaRecord& record) {
    const TEmfRule* rule = FindRule(kEmfRules, record.Type);
    if (rule && record.Bytes.Size() >= rule->MinSize)
        (this->*rule->Play)(TEmfArgs{static_cast<TEmfRecord>(record.Type), record.Bytes});
}

void TEmfPlayer::WorldTransform(const TEmfArgs& x) {
    const TByteView b = x.B;
    const QTransform m(b.F32(8), b.F32(12), b.F32(16), b.F32(20), b.F32(24), b.F32(28));
    QTransform next = C.S.World;
    switch (x.Type == TEmfRecord::SetWorldTransform ? kMwtSet : b.U32(32)) {
    case kMwtIdentity:
        next = QTransform();
        break;
    case kMwtLeftMultiply:
        next = m * C.S.World;
        break;
    case kMwtRightMultiply:
        next = C.S.World * m;
        break;
    case kMwtSet:
        next = m;
        break;
    default:
        break;
    }
    if (Finite(next))
        C.S.World = next;
}

std::optional<QRegion> TEmfPlayer::Region(TByteView rgn) {
    const std::uint32_t headerSize = rgn.U32(0), count = rgn.U32(8);
    if (headerSize < 32 || count > kMaxRegionRects || !rgn.Has(headerSize, 16 * std::size_t{count}))
        return std::nullopt;
    C.Charge(1 + count / 16);
    QRegion region;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = headerSize + 16 * std::size_t{i};
        const QRectF r(QPointF(rgn.I32(at), rgn.I32(at + 4)), QPointF(rgn.I32(at + 8), rgn.I32(at + 12)));
        if (C.Usable(C.Base(), r))
            region += C.Base().mapRect(r.normalized()).toAlignedRect();
    }
    return region;
}

void TEmfPlayer::ExtSelectClipRgn(const TEmfArgs& x) { // cbRgnData, mode, region
    const std::uint32_t size = x.B.U32(8), mode = x.B.U32(12);
    if (size == 0) {
        C.SelectClipRegion(mode, std::nullopt);
        return;
    }
    if (!x.B.Has(16, size))
        return;
    if (const auto region = Region(x.B.Sub(16, size)))
        C.SelectClipRegion(mode, region);
}

void TEmfPlayer::CreatePen(const TEmfArgs& x) { // ih, style, width (x, y), colour
    TObject o;
    o.Kind = TObject::kPen;
    o.Pen = {static_cast<int>(x.B.U32(12)), double(std::abs(static_cast<std::int64_t>(x.B.I32(16)))),
             ColorRef(x.B.U32(24))};
    C.Store(x.B.U32(8), o);
}

// ih, offBmi, cbBmi, offBits, cbBits, style, width, brush style, colour
void TEmfPlayer::ExtCreatePen(const TEmfArgs& x) {
    TObject o;
    o.Kind = TObject::kPen;
    o.Pen = {static_cast<int>(x.B.U32(28)), double(x.B.U32(32)), ColorRef(x.B.U32(40))};
    if (x.B.U32(36) == kBsNull) // no line
        o.Pen.Style = kPsNull;
    C.Store(x.B.U32(8), o);
}

void TEmfPlayer::CreateBrushIndirect(const TEmfArgs& x) { // ih, style, colour, hatch
    TObject o;
    o.Kind = TObject::kBrush;
    o.Brush = {static_cast<int>(x.B.U32(12)), ColorRef(x.B.U32(16)), static_cast<int>(x.B.U32(20))};
    C.Store(x.B.U32(8), o);
}

void TEmfPlayer::CreatePatternBrush(const TEmfArgs& x) { // approximated in grey
    TObject o;
    o.Kind = TObject::kBrush;
    o.Brush = {kBsSolid, QColor(128, 128, 128), 0};
    C.Store(x.B.U32(8), o);
}

// ih, then a LOGFONTW: height, width, escapement, orientation, weight,
// italic, underline, strike-out, charset, ..., a face of 32 UTF-16 units.
void TEmfPlayer::ExtCreateFontIndirectW(const TEmfArgs& x) {
    const TByteView b = x.B;
    TObject o;
    o.Kind = TObject::kFont;
    o.Font.Height = b.I32(12);
    o.Font.Escapement = b.I32(20);
    o.Font.Weight = b.I32(28);
    o.Font.Italic = b.U8(32);
    o.Font.Underline = b.U8(33);
    o.Font.StrikeOut = b.U8(34);
    o.Font.CharSet = b.U8(35);
    for (std::size_t i = 0; i < 32 && b.Has(40 + 2 * i, 2) && b.U16(40 + 2 * i); ++i)
        o.Font.Face += QChar(b.U16(40 + 2 * i));
    C.Store(b.U32(8), o);
}

// PolyBezier, Polygon, Polyline, PolyBezierTo and PolylineTo, with 32- or
// 16-bit points: bounds, count, points.
void TEmfPlayer::Poly(const TEmfArgs& x) {
    const bool small = x.Type >= TEmfRecord::PolyBezier16;
    const auto shape =
        small ? static_cast<TEmfRecord>(static_cast<std::uint32_t>(x.Type) - 83) : x.Type; // 85.. to 2..
    const bool polygon = shape == TEmfRecord::Polygon;
    const bool bezier = shape == TEmfRecord::PolyBezier || shape == TEmfRecord::PolyBezierTo;
    const bool fromCurrent = shape == TEmfRecord::PolyBezierTo || shape == TEmfRecord::PolylineTo;
    if (const auto pts = C.TakePoints(x.B.From(28), x.B.U32(24), small))
        C.DrawPoly(*pts, polygon, polygon, bezier, fromCurrent);
}

// bounds, figures, points in all, the count of each figure, the points
void TEmfPlayer::PolyPoly(const TEmfArgs& x) {
    const TByteView b = x.B;
    const bool small = x.Type == TEmfRecord::PolyPolyline16 || x.Type == TEmfRecord::PolyPolygon16;
    const bool polygon = x.Type == TEmfRecord::PolyPolygon || x.Type == TEmfRecord::PolyPolygon16;
    const std::size_t polys = b.U32(24);
    if (!b.Has(32, 4 * polys))
        return;
    const auto pts = C.TakePoints(b.From(32 + 4 * polys), b.U32(28), small);
    if (!pts)
        return;
    QPainterPath all;
    std::size_t at = 0;
    for (std::size_t i = 0; i < polys; ++i) {
        const std::size_t count = b.U32(32 + 4 * i);
        if (count == 0 || count > pts->Count - at)
            break;
        for (std::size_t k = 0; k < count; ++k, ++at)
            k == 0 ? all.moveTo((*pts)[at]) : all.lineTo((*pts)[at]);
        if (polygon)
            all.closeSubpath();
    }
    C.DrawPath(all, polygon, true);
}

void TEmfPlayer::Ellipse(const TEmfArgs& x) {
    QPainterPath p;
    p.addEllipse(x.Rect(8));
    C.DrawPath(p, true, true);
}

void TEmfPlayer::Rectangle(const TEmfArgs& x) {
    QPainterPath p;
    p.addRect(x.Rect(8));
    C.DrawPath(p, true, true);
}

void TEmfPlayer::RoundRect(const TEmfArgs& x) {
    QPainterPath p;
    p.addRoundedRect(x.Rect(8), std::abs(double(x.B.I32(24))) / 2, std::abs(double(x.B.I32(28))) / 2);
    C.DrawPath(p, true, true);
}

// Arc, Chord, Pie and ArcTo: box, start and end radials.
void TEmfPlayer::Arc(const TEmfArgs& x) {
    const int kind = x.Type == TEmfRecord::Chord ? kArcChord : x.Type == TEmfRecord::Pie ? kArcPie : kArcOpen;
    QPainterPath p = C.ArcPath(x.Rect(8), x.Point(24), x.Point(32), kind);
    if (x.Type == TEmfRecord::ArcTo) {
        QPainterPath joined(C.S.Position);
        joined.connectPath(p);
        p = joined;
        C.S.Position = p.currentPosition();
    }
    C.DrawPath(p, kind != kArcOpen, true);
}

// bounds, count, the points, then a type byte for each: move, line, Bézier,
// maybe closing.
void TEmfPlayer::PolyDraw(const TEmfArgs& x) {
    const TByteView b = x.B;
    const bool small = x.Type == TEmfRecord::PolyDraw16;
    const std::size_t count = b.U32(24), step = small ? 4 : 8;
    if (count > b.Size() / (step + 1))
        return;
    const TByteView types = b.Sub(28 + step * count, count);
    const auto pts = types.Size() == count ? C.TakePoints(b.From(28), count, small) : std::nullopt;
    if (!pts)
        return;
    QPainterPath path(C.S.Position);
    for (std::size_t i = 0; i < count; ++i) {
        switch (types.U8(i) & ~kPtCloseFigure) {
        case kPtMoveTo:
            path.moveTo((*pts)[i]);
            break;
        case kPtLineTo:
            path.lineTo((*pts)[i]);
            break;
        case kPtBezierTo:
            if (i + 2 < count) {
                path.cubicTo((*pts)[i], (*pts)[i + 1], (*pts)[i + 2]);
                i += 2;
            }
            break;
        default:
            return; // not a point type: the record is broken
        }
        if (types.U8(i) & kPtCloseFigure)
            path.closeSubpath();
    }
    C.S.Position = path.currentPosition();
    if (C.InPath())
        C.AddToPath(path, true);
    else
        C.DrawPath(path, false, true);
}

// A line from the current position to the start of an arc around a centre,
// then the arc: centre, radius, start and sweep in degrees, counterclockwise.
void TEmfPlayer::AngleArc(const TEmfArgs& x) {
    const QPointF c = x.Point(8);
    const double r = x.B.U32(16), start = x.B.F32(20), sweep = x.B.F32(24);
    if (!std::isfinite(start) || !std::isfinite(sweep) || r > kMaxDeviceCoord)
        return;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    QPainterPath path(C.S.Position);
    path.arcTo(box, start, std::clamp(sweep, -360.0 * 4, 360.0 * 4));
    C.S.Position = path.currentPosition();
    if (C.InPath())
        C.AddToPath(path, true);
    else
        C.DrawPath(path, false, true);
}

// bounds, vertices, shapes, mode; vertices (x, y, 16-bit red, green, blue,
// alpha), then rectangles or triangles naming them. Triangles are filled
// with their mean colour.
void TEmfPlayer::GradientFill(const TEmfArgs& x) {
    const TByteView b = x.B;
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
    const TPenDef pen = C.S.Pen;
    C.S.Pen.Style = kPsNull;
    for (std::size_t i = 0; i < shapes && !C.Spent(); ++i) {
        std::size_t v[3];
        for (std::size_t k = 0; k < corners; ++k)
            v[k] = b.U32(36 + 16 * vertices + 4 * (corners * i + k));
        if (v[0] >= vertices || v[1] >= vertices || (corners == 3 && v[2] >= vertices))
            continue;
        QPainterPath p;
        if (corners == 3) {
            p.addPolygon(QPolygonF({point(v[0]), point(v[1]), point(v[2])}));
            const QColor a = colour(v[0]), c = colour(v[1]), d = colour(v[2]);
            const QBrush mean(QColor((a.red() + c.red() + d.red()) / 3,
                                     (a.green() + c.green() + d.green()) / 3,
                                     (a.blue() + c.blue() + d.blue()) / 3));
            C.DrawPath(p, true, false, &mean);
            continue;
        }
        const QRectF r = QRectF(point(v[0]), point(v[1])).normalized();
        p.addRect(r);
        QLinearGradient gradient(r.topLeft(), mode == kGradientRectH ? r.topRight() : r.bottomLeft());
        gradient.setColorAt(0, colour(v[0]));
        gradient.setColorAt(1, colour(v[1]));
        const QBrush brush(gradient);
        C.DrawPath(p, true, false, &brush);
    }
    C.S.Pen = pen;
}

void TEmfPlayer::FillRgn(const TEmfArgs& x) { // bounds, cbRgnData, ihBrush, region
    const TBrushDef keep = C.S.Brush;
    C.Select(x.B.U32(28));
    const TBrushDef brush = C.S.Brush;
    C.S.Brush = keep;
    if (!x.B.Has(32, x.B.U32(24)))
        return;
    if (const auto region = Region(x.B.Sub(32, x.B.U32(24))))
        C.FillRegion(*region, QTransform(), brush);
}

void TEmfPlayer::PaintRgn(const TEmfArgs& x) { // bounds, cbRgnData, region
    if (!x.B.Has(28, x.B.U32(24)))
        return;
    if (const auto region = Region(x.B.Sub(28, x.B.U32(24))))
        C.FillRegion(*region, QTransform(), C.S.Brush);
}

// bounds, reference point, count, offString, options, rectangle, offDx, then
// the string (8- or 16-bit) and the spacing.
void TEmfPlayer::ExtTextOut(const TEmfArgs& x) {
    const TByteView b = x.B;
    const bool wide = x.Type == TEmfRecord::ExtTextOutW;
    const std::size_t count = b.U32(44), offString = b.U32(48), offDx = b.U32(72);
    const unsigned options = b.U32(52);
    if (count > kMaxTextChars || !b.Has(offString, count * (wide ? 2 : 1)))
        return;
    QString text;
    if (!C.GlyphsLeft()) {
        // Past the budget only the opaque box is drawn.
    } else if (wide) {
        text.resize(static_cast<qsizetype>(count));
        for (std::size_t i = 0; i < count; ++i)
            text[static_cast<qsizetype>(i)] = QChar(b.U16(offString + 2 * i));
    } else {
        text = TCanvas::DecodeAnsi(b.Sub(offString, count), C.S.Font.CharSet);
    }
    std::vector<double> dx;
    if (offDx && b.Has(offDx, 4 * count) && text.size() == static_cast<qsizetype>(count)) {
        for (std::size_t i = 0; i < count; ++i)
            dx.push_back(b.I32(offDx + 4 * i));
    }
    const QRectF rect = x.Rect(56);
    C.DrawText(x.Point(36), text, dx, options, rect.isEmpty() ? QRectF() : rect);
}

// x, y, count, options, graphics mode, scales, [clip rectangle], 8- or
// 16-bit text.
void TEmfPlayer::SmallTextOut(const TEmfArgs& x) {
    const TByteView b = x.B;
    const std::size_t count = b.U32(16);
    const unsigned options = b.U32(20);
    QRectF rect;
    std::size_t at = 36;
    if (!(options & kEtoNoRect)) {
        rect = x.Rect(36);
        at += 16;
    }
    const bool small = options & kEtoSmallChars;
    if (count > kMaxTextChars || !b.Has(at, count * (small ? 1 : 2)))
        return;
    QString text;
    if (C.GlyphsLeft()) {
        for (std::size_t i = 0; i < count; ++i)
            text += QChar(small ? b.U8(at + i) : b.U16(at + 2 * i));
    }
    C.DrawText(QPointF(b.I32(8), b.I32(12)), text, {}, options, rect.isEmpty() ? QRectF() : rect);
}

// bounds, dest x, y, source x, y, width, height, bitmap fields, usage, rop,
// dest width, height
void TEmfPlayer::StretchDiBits(const TEmfArgs& x) {
    const TByteView b = x.B;
    const QRectF dest(b.I32(24), b.I32(28), b.I32(72), b.I32(76));
    const QRectF src(b.I32(32), b.I32(36), b.I32(40), b.I32(44));
    if (const auto bitmap = BitmapAt(x, 48))
        C.DrawImage(C.Dib(bitmap->Header, bitmap->Bits, dest, src), dest, src, true);
}

// The same without a stretch: drawn at its own size.
void TEmfPlayer::SetDiBitsToDevice(const TEmfArgs& x) {
    const TByteView b = x.B;
    const QRectF src(b.I32(32), b.I32(36), b.I32(40), b.I32(44));
    const QRectF dest(QPointF(b.I32(24), b.I32(28)), src.size());
    if (const auto bitmap = BitmapAt(x, 48))
        C.DrawImage(C.Dib(bitmap->Header, bitmap->Bits, dest, src), dest, src, true);
}

// BitBlt, StretchBlt, AlphaBlend and TransparentBlt: bounds, destination,
// rop (blend function, transparent colour), source origin, transform,
// background, usage, bitmap fields, [source size].
void TEmfPlayer::Blt(const TEmfArgs& x) {
    const TByteView b = x.B;
    const QRectF dest(b.I32(24), b.I32(28), b.I32(32), b.I32(36));
    const bool plain = x.Type == TEmfRecord::BitBlt || x.Type == TEmfRecord::StretchBlt;
    if (b.U32(88) == 0) { // no source: the raster operation alone
        if (plain)
            C.PatBlt(dest, b.U32(40));
        return;
    }
    QRectF src(b.I32(44), b.I32(48), dest.width(), dest.height());
    if (x.Type != TEmfRecord::BitBlt)
        src.setSize(QSizeF(b.I32(100), b.I32(104)));
    const auto bitmap = BitmapAt(x, 84);
    if (!bitmap)
        return;
    // AlphaBlend: constant and per-pixel alpha; TransparentBlt: a colour that is not drawn.
    const bool alpha = x.Type == TEmfRecord::AlphaBlend && (b.U8(43) & kAcSrcAlpha);
    QImage image = C.Dib(bitmap->Header, bitmap->Bits, dest, src, alpha);
    if (x.Type == TEmfRecord::TransparentBlt && !image.isNull()) {
        const QImage mask =
            image.createMaskFromColor(ColorRef(b.U32(40)).rgb() | 0xFF000000u, Qt::MaskOutColor);
        image = image.convertToFormat(QImage::Format_ARGB32);
        image.setAlphaChannel(mask.convertToFormat(QImage::Format_Grayscale8));
    }
    C.DrawImage(image, dest, src, false, x.Type == TEmfRecord::AlphaBlend ? b.U8(42) / 255.0 : 1.0);
}

} // namespace

void PlayEmf(TCanvas& canvas, TByteView file) {
    TEmfPlayer player(canvas);
    TMetaRecordReader reader(file, canvas.Info);
    TMetaRecord record;
    while (!canvas.Spent() && reader.Next(record))
        player.Play(record);
}

} // namespace tavolix::pictures::meta
