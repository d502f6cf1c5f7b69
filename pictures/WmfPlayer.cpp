// Records of placeable Windows metafiles, played into the shared canvas.
#include "pictures/MetafileCanvas.h"

#include <cmath>
#include <cstdlib>

namespace tavolix::pictures::meta {

namespace {

// The parameters of a WMF record: N 16-bit words, often in reverse order.
struct TWmfArgs {
    TWmfRecord Type;
    TByteView A;
    std::size_t N;
    std::int16_t W(std::size_t i) const { return A.I16(2 * i); }
    QRectF Rect(std::size_t i) const { // bottom, right, top, left
        return QRectF(QPointF(W(i + 3), W(i + 2)), QPointF(W(i + 1), W(i))).normalized();
    }
};

class TWmfPlayer {
public:
    explicit TWmfPlayer(TCanvas& canvas) : C(canvas) {}
    void Play(const TMetaRecord& record);

    // ---- state
    void SaveDc(const TWmfArgs&) { C.SaveDc(); }
    void RestoreDc(const TWmfArgs& x) { C.RestoreDc(x.W(0)); }
    void SetBkColor(const TWmfArgs& x) { C.S.BkColor = ColorRef(x.A.U32(0)); }
    void SetTextColor(const TWmfArgs& x) { C.S.TextColor = ColorRef(x.A.U32(0)); }
    void SetBkMode(const TWmfArgs& x) { C.S.BkMode = x.W(0); }
    void SetPolyFillMode(const TWmfArgs& x) { C.S.PolyFill = x.W(0); }
    void SetTextAlign(const TWmfArgs& x) { C.S.TextAlign = x.A.U16(0); }
    void SetMapMode(const TWmfArgs& x) { C.S.MapMode = x.W(0); }
    void SetWindowOrg(const TWmfArgs& x) { C.S.WindowOrg = QPointF(x.W(1), x.W(0)); }
    void SetWindowExt(const TWmfArgs& x) { C.S.WindowExt = QSizeF(x.W(1), x.W(0)); }
    void OffsetWindowOrg(const TWmfArgs& x) { C.S.WindowOrg += QPointF(x.W(1), x.W(0)); }
    void ScaleWindowExt(const TWmfArgs& x);
    void MoveTo(const TWmfArgs& x) { C.S.Position = QPointF(x.W(1), x.W(0)); }
    void IntersectClipRect(const TWmfArgs& x) { C.IntersectClip(x.Rect(0)); }
    void ExcludeClipRect(const TWmfArgs& x) { C.ExcludeClip(x.Rect(0)); }

    // ---- objects: each creation takes the lowest free slot
    void CreatePenIndirect(const TWmfArgs& x);
    void CreateBrushIndirect(const TWmfArgs& x);
    void CreateFontIndirect(const TWmfArgs& x);
    void CreatePatternBrush(const TWmfArgs& x);
    void CreateRegion(const TWmfArgs& x);
    void CreateOther(const TWmfArgs&) { StoreNew(kOtherObject); }
    void SelectObject(const TWmfArgs& x) { C.Select(x.A.U16(0)); }
    void DeleteObject(const TWmfArgs& x) { C.Delete(x.A.U16(0)); }

    // ---- shapes
    void LineTo(const TWmfArgs& x);
    void Rectangle(const TWmfArgs& x);
    void Ellipse(const TWmfArgs& x);
    void RoundRect(const TWmfArgs& x);
    void ArcChordPie(const TWmfArgs& x);
    void PolygonPolyline(const TWmfArgs& x);
    void PolyPolygon(const TWmfArgs& x);

    // ---- fills
    void PatBlt(const TWmfArgs& x) { C.PatBlt(QRectF(x.W(5), x.W(4), x.W(3), x.W(2)), x.A.U32(0)); }
    void SetPixel(const TWmfArgs& x) { C.SetPixel(QPointF(x.W(3), x.W(2)), ColorRef(x.A.U32(0))); }
    void FillRegion(const TWmfArgs& x);
    void PaintRegion(const TWmfArgs& x);

    // ---- text
    void TextOut(const TWmfArgs& x);
    void ExtTextOut(const TWmfArgs& x);

    // ---- bitmaps
    void StretchDib(const TWmfArgs& x);
    void DibStretchBlt(const TWmfArgs& x);
    void SetDibToDev(const TWmfArgs& x);
    void DibBitBlt(const TWmfArgs& x);

private:
    static inline const TObject kOtherObject{TObject::kOther, {}, {}, {}, {}};
    void StoreNew(const TObject& object) {
        if (const int slot = C.FreeSlot(); slot >= 0)
            C.Store(static_cast<std::size_t>(slot), object);
    }
    const TObject* ObjectAt(const TWmfArgs& x, std::size_t word) const { return C.Object(x.A.U16(2 * word)); }

    TCanvas& C;
};

using TWmfRule = TRecordRule<TWmfPlayer, TWmfArgs>;

constexpr std::uint32_t Fn(TWmfRecord r) {
    return static_cast<std::uint32_t>(r);
}

// The records played, by function number, with the parameter words their
// fixed fields take.
constexpr TWmfRule kWmfRules[] = {
    {Fn(TWmfRecord::SaveDc), 0, &TWmfPlayer::SaveDc},
    {Fn(TWmfRecord::CreatePalette), 0, &TWmfPlayer::CreateOther},
    {Fn(TWmfRecord::SetBkMode), 1, &TWmfPlayer::SetBkMode},
    {Fn(TWmfRecord::SetMapMode), 1, &TWmfPlayer::SetMapMode},
    {Fn(TWmfRecord::SetPolyFillMode), 1, &TWmfPlayer::SetPolyFillMode},
    {Fn(TWmfRecord::RestoreDc), 1, &TWmfPlayer::RestoreDc},
    {Fn(TWmfRecord::PaintRegion), 1, &TWmfPlayer::PaintRegion},
    {Fn(TWmfRecord::SelectObject), 1, &TWmfPlayer::SelectObject},
    {Fn(TWmfRecord::SetTextAlign), 1, &TWmfPlayer::SetTextAlign},
    {Fn(TWmfRecord::DibCreatePatternBrush), 0, &TWmfPlayer::CreatePatternBrush},
    {Fn(TWmfRecord::DeleteObject), 1, &TWmfPlayer::DeleteObject},
    {Fn(TWmfRecord::CreatePatternBrush), 0, &TWmfPlayer::CreatePatternBrush},
    {Fn(TWmfRecord::SetBkColor), 2, &TWmfPlayer::SetBkColor},
    {Fn(TWmfRecord::SetTextColor), 2, &TWmfPlayer::SetTextColor},
    {Fn(TWmfRecord::SetWindowOrg), 2, &TWmfPlayer::SetWindowOrg},
    {Fn(TWmfRecord::SetWindowExt), 2, &TWmfPlayer::SetWindowExt},
    {Fn(TWmfRecord::OffsetWindowOrg), 2, &TWmfPlayer::OffsetWindowOrg},
    {Fn(TWmfRecord::LineTo), 2, &TWmfPlayer::LineTo},
    {Fn(TWmfRecord::MoveTo), 2, &TWmfPlayer::MoveTo},
    {Fn(TWmfRecord::FillRegion), 2, &TWmfPlayer::FillRegion},
    {Fn(TWmfRecord::CreatePenIndirect), 5, &TWmfPlayer::CreatePenIndirect},
    {Fn(TWmfRecord::CreateFontIndirect), 9, &TWmfPlayer::CreateFontIndirect},
    {Fn(TWmfRecord::CreateBrushIndirect), 4, &TWmfPlayer::CreateBrushIndirect},
    {Fn(TWmfRecord::Polygon), 1, &TWmfPlayer::PolygonPolyline},
    {Fn(TWmfRecord::Polyline), 1, &TWmfPlayer::PolygonPolyline},
    {Fn(TWmfRecord::ScaleWindowExt), 4, &TWmfPlayer::ScaleWindowExt},
    {Fn(TWmfRecord::ExcludeClipRect), 4, &TWmfPlayer::ExcludeClipRect},
    {Fn(TWmfRecord::IntersectClipRect), 4, &TWmfPlayer::IntersectClipRect},
    {Fn(TWmfRecord::Ellipse), 4, &TWmfPlayer::Ellipse},
    {Fn(TWmfRecord::Rectangle), 4, &TWmfPlayer::Rectangle},
    {Fn(TWmfRecord::SetPixel), 4, &TWmfPlayer::SetPixel},
    {Fn(TWmfRecord::TextOut), 1, &TWmfPlayer::TextOut},
    {Fn(TWmfRecord::PolyPolygon), 1, &TWmfPlayer::PolyPolygon},
    {Fn(TWmfRecord::RoundRect), 6, &TWmfPlayer::RoundRect},
    {Fn(TWmfRecord::PatBlt), 6, &TWmfPlayer::PatBlt},
    {Fn(TWmfRecord::CreateRegion), 0, &TWmfPlayer::CreateRegion},
    {Fn(TWmfRecord::Arc), 8, &TWmfPlayer::ArcChordPie},
    {Fn(TWmfRecord::Pie), 8, &TWmfPlayer::ArcChordPie},
    {Fn(TWmfRecord::Chord), 8, &TWmfPlayer::ArcChordPie},
    {Fn(TWmfRecord::DibBitBlt), 8, &TWmfPlayer::DibBitBlt},
    {Fn(TWmfRecord::ExtTextOut), 4, &TWmfPlayer::ExtTextOut},
    {Fn(TWmfRecord::DibStretchBlt), 10, &TWmfPlayer::DibStretchBlt},
    {Fn(TWmfRecord::SetDibToDev), 9, &TWmfPlayer::SetDibToDev},
    {Fn(TWmfRecord::StretchDib), 11, &TWmfPlayer::StretchDib},
};
static_assert(SortedByType(kWmfRules));

void TWmfPlayer::Play(const TMetaRecord& record) {
    // Records of no rule (ROP modes, palettes, escapes) change nothing we draw.
    const TWmfRule* rule = FindRule(kWmfRules, record.Type);
    if (!rule)
        return;
    const TByteView a = record.Bytes.From(6);
    const TWmfArgs args{static_cast<TWmfRecord>(record.Type), a, a.Size() / 2};
    if (args.N < rule->MinSize) {
        // A short creation still takes its slot: later records count on the
        // numbering.
        if (args.Type == TWmfRecord::CreatePenIndirect || args.Type == TWmfRecord::CreateBrushIndirect ||
            args.Type == TWmfRecord::CreateFontIndirect)
            StoreNew(kOtherObject);
        return;
    }
    (this->*rule->Play)(args);
}

void TWmfPlayer::ScaleWindowExt(const TWmfArgs& x) { // yDenom, yNum, xDenom, xNum
    if (x.W(0) && x.W(2))
        C.S.WindowExt =
            QSizeF(C.S.WindowExt.width() * x.W(3) / x.W(2), C.S.WindowExt.height() * x.W(1) / x.W(0));
}

void TWmfPlayer::CreatePenIndirect(const TWmfArgs& x) { // style, width x, width y, colour
    TObject o;
    o.Kind = TObject::kPen;
    o.Pen = {x.A.U16(0), double(std::abs(x.A.I16(2))), ColorRef(x.A.U32(6))};
    StoreNew(o);
}

void TWmfPlayer::CreateBrushIndirect(const TWmfArgs& x) { // style, colour, hatch
    TObject o;
    o.Kind = TObject::kBrush;
    o.Brush = {x.A.U16(0), ColorRef(x.A.U32(2)), x.A.U16(6)};
    StoreNew(o);
}

// A LOGFONT with 16-bit fields; the face name, up to 32 bytes, from byte 18.
void TWmfPlayer::CreateFontIndirect(const TWmfArgs& x) {
    const TByteView a = x.A;
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
    o.Font.Face = TCanvas::DecodeAnsi(a.Sub(18, len), o.Font.CharSet);
    StoreNew(o);
}

void TWmfPlayer::CreatePatternBrush(const TWmfArgs&) { // approximated in grey
    TObject o;
    o.Kind = TObject::kBrush;
    o.Brush = {kBsSolid, QColor(128, 128, 128), 0};
    StoreNew(o);
}

// A region object: a header, then scans of x pairs between two y values.
void TWmfPlayer::CreateRegion(const TWmfArgs& x) {
    const TByteView a = x.A;
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
    C.Charge(1 + rects / 16);
    StoreNew(o);
}

void TWmfPlayer::LineTo(const TWmfArgs& x) {
    QPainterPath path(C.S.Position);
    C.S.Position = QPointF(x.W(1), x.W(0));
    path.lineTo(C.S.Position);
    C.DrawPath(path, false, true);
}

void TWmfPlayer::Rectangle(const TWmfArgs& x) {
    QPainterPath p;
    p.addRect(x.Rect(0));
    C.DrawPath(p, true, true);
}

void TWmfPlayer::Ellipse(const TWmfArgs& x) {
    QPainterPath p;
    p.addEllipse(x.Rect(0));
    C.DrawPath(p, true, true);
}

void TWmfPlayer::RoundRect(const TWmfArgs& x) {
    QPainterPath p;
    p.addRoundedRect(x.Rect(2), std::abs(x.W(1)) / 2.0, std::abs(x.W(0)) / 2.0);
    C.DrawPath(p, true, true);
}

void TWmfPlayer::ArcChordPie(const TWmfArgs& x) {
    const int kind = x.Type == TWmfRecord::Arc ? kArcOpen : x.Type == TWmfRecord::Chord ? kArcChord : kArcPie;
    C.DrawPath(C.ArcPath(x.Rect(4), QPointF(x.W(3), x.W(2)), QPointF(x.W(1), x.W(0)), kind), kind != kArcOpen,
               true);
}

void TWmfPlayer::PolygonPolyline(const TWmfArgs& x) { // count, points
    const bool polygon = x.Type == TWmfRecord::Polygon;
    if (const auto pts = C.TakePoints(x.A.From(2), x.A.U16(0), true))
        C.DrawPoly(*pts, polygon, polygon, false, false);
}

void TWmfPlayer::PolyPolygon(const TWmfArgs& x) { // polygons, their counts, all points
    const TByteView a = x.A;
    const std::size_t polys = a.U16(0);
    if (!a.Has(2, 2 * polys))
        return;
    std::size_t total = 0;
    for (std::size_t i = 0; i < polys; ++i) {
        if (a.U16(2 + 2 * i) == 0)
            return;
        total += a.U16(2 + 2 * i);
    }
    const auto pts = C.TakePoints(a.From(2 + 2 * polys), total, true);
    if (!pts)
        return;
    QPainterPath all;
    std::size_t at = 0;
    for (std::size_t i = 0; i < polys; ++i) {
        const std::size_t count = a.U16(2 + 2 * i);
        all.moveTo((*pts)[at]);
        for (std::size_t k = 1; k < count; ++k)
            all.lineTo((*pts)[at + k]);
        all.closeSubpath();
        at += count;
    }
    C.DrawPath(all, true, true);
}

void TWmfPlayer::FillRegion(const TWmfArgs& x) { // region, brush
    const TObject *region = ObjectAt(x, 0), *brush = ObjectAt(x, 1);
    if (region && brush && region->Kind == TObject::kRegion && brush->Kind == TObject::kBrush)
        C.FillRegion(region->Region, C.Transform(), brush->Brush);
}

void TWmfPlayer::PaintRegion(const TWmfArgs& x) {
    if (const TObject* region = ObjectAt(x, 0); region && region->Kind == TObject::kRegion)
        C.FillRegion(region->Region, C.Transform(), C.S.Brush);
}

void TWmfPlayer::TextOut(const TWmfArgs& x) { // count, string (padded to a word), y, x
    const TByteView a = x.A;
    const std::size_t count = a.U16(0);
    const std::size_t padded = (count + 1) & ~std::size_t{1};
    if (!a.Has(2, padded + 4) || count > kMaxTextChars)
        return;
    C.DrawText(QPointF(a.I16(2 + padded + 2), a.I16(2 + padded)),
               C.GlyphsLeft() ? TCanvas::DecodeAnsi(a.Sub(2, count), C.S.Font.CharSet) : QString(), {}, 0,
               {});
}

void TWmfPlayer::ExtTextOut(const TWmfArgs& x) { // y, x, count, options, [rect], string, [dx]
    const TByteView a = x.A;
    const std::size_t count = a.U16(4);
    const unsigned options = a.U16(6);
    std::size_t off = 8;
    QRectF clip;
    if (options & (kEtoOpaque | kEtoClipped)) {
        if (!a.Has(off, 8))
            return;
        clip = QRectF(QPointF(a.I16(off), a.I16(off + 2)), QPointF(a.I16(off + 4), a.I16(off + 6)));
        off += 8;
    }
    if (!a.Has(off, count) || count > kMaxTextChars)
        return;
    const QString text =
        C.GlyphsLeft() ? TCanvas::DecodeAnsi(a.Sub(off, count), C.S.Font.CharSet) : QString();
    std::vector<double> dx;
    const std::size_t dxOff = off + ((count + 1) & ~std::size_t{1});
    if (a.Has(dxOff, 2 * count) && text.size() == static_cast<qsizetype>(count)) {
        for (std::size_t i = 0; i < count; ++i)
            dx.push_back(a.I16(dxOff + 2 * i));
    }
    C.DrawText(QPointF(x.W(1), x.W(0)), text, dx, options, clip);
}

// rop (2 words), usage, srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst, DIB
void TWmfPlayer::StretchDib(const TWmfArgs& x) {
    const QRectF dest(x.W(10), x.W(9), x.W(8), x.W(7)), src(x.W(6), x.W(5), x.W(4), x.W(3));
    C.DrawImage(C.Dib(x.A.From(22), {}, dest, src), dest, src, true);
}

// rop (2 words), srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst, DIB
void TWmfPlayer::DibStretchBlt(const TWmfArgs& x) {
    const QRectF dest(x.W(9), x.W(8), x.W(7), x.W(6)), src(x.W(5), x.W(4), x.W(3), x.W(2));
    C.DrawImage(C.Dib(x.A.From(20), {}, dest, src), dest, src);
}

// usage, scans, start scan, yDib, xDib, height, width, yDst, xDst, DIB
void TWmfPlayer::SetDibToDev(const TWmfArgs& x) {
    const QRectF dest(x.W(8), x.W(7), x.W(6), x.W(5)), src(x.W(4), x.W(3), x.W(6), x.W(5));
    C.DrawImage(C.Dib(x.A.From(18), {}, dest, src), dest, src, true);
}

// rop (2 words), ySrc, xSrc, height, width, yDst, xDst, DIB
void TWmfPlayer::DibBitBlt(const TWmfArgs& x) {
    const QRectF dest(x.W(7), x.W(6), x.W(5), x.W(4)), src(x.W(3), x.W(2), x.W(5), x.W(4));
    C.DrawImage(C.Dib(x.A.From(16), {}, dest, src), dest, src);
}

} // namespace

void PlayWmf(TCanvas& canvas, TByteView file) {
    TWmfPlayer player(canvas);
    TMetaRecordReader reader(file, canvas.Info);
    TMetaRecord record;
    while (!canvas.Spent() && reader.Next(record))
        player.Play(record);
}

} // namespace tavolix::pictures::meta
