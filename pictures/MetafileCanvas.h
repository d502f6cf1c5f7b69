#pragma once

// The drawing state both metafile formats play into, shared by the player of
// each format (WmfPlayer.cpp, EmfPlayer.cpp): mapping, pens, brushes, fonts,
// the object table, clipping, the path being built, and the budgets of one
// playback. The format players check what a record states; the canvas checks
// what it draws against the device.

#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"
#include "pictures/Metafile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>
#include <queue>

class QPainter;

namespace tavolix::pictures::meta {

// Limits on one playback, whatever the file says. Every repaint plays the
// file again, so these bound the work of a paint, not only its memory.
inline constexpr std::size_t kMaxPoints = 1u << 18;          // vertices over all records
inline constexpr std::size_t kMaxRecordPoints = 1u << 16;    // vertices of one record
inline constexpr std::size_t kMaxDrawnShapes = 1u << 12;     // shapes, texts and images drawn
inline constexpr std::uint64_t kMaxImagePixels = 4ull << 20; // decoded and drawn over all records
inline constexpr std::size_t kMaxSaveDepth = 256;
inline constexpr std::size_t kMaxObjects = 65536;
inline constexpr int kMaxTextChars = 8192;
inline constexpr std::size_t kMaxGlyphs = 1u << 11; // characters over all records
inline constexpr double kMaxFontPixels = 1024;
inline constexpr double kMaxDeviceCoord = 1e6;
inline constexpr std::uint32_t kMaxRegionRects = 1u << 10; // rectangles of one region
inline constexpr int kMaxPathElements = 1 << 14;           // of the path between BeginPath and EndPath

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
enum : int { kArcOpen, kArcChord, kArcPie };

QColor ColorRef(std::uint32_t c);
bool Finite(const QTransform& t);

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

// The points a record states, once their count has been found to fit the
// record and the budgets: 16-bit (small) or 32-bit pairs.
struct TPoints {
    TByteView Bytes;
    std::size_t Count = 0;
    bool Small = false;
    QPointF operator[](std::size_t i) const {
        return Small ? QPointF(Bytes.I16(4 * i), Bytes.I16(4 * i + 2))
                     : QPointF(Bytes.I32(8 * i), Bytes.I32(8 * i + 4));
    }
};

// A record type the player plays: the least size its fixed fields take (WMF:
// parameter words; EMF: bytes of the whole record) and its handler. Records
// shorter than that are skipped before dispatch, so handlers read their fixed
// fields unchecked.
template <class Player, class Args> struct TRecordRule {
    std::uint32_t Type;
    std::uint32_t MinSize;
    void (Player::*Play)(const Args&);
};

template <class Rule, std::size_t N> constexpr bool SortedByType(const Rule (&rules)[N]) {
    for (std::size_t i = 1; i < N; ++i) {
        if (rules[i - 1].Type >= rules[i].Type)
            return false;
    }
    return true;
}

template <class Rule, std::size_t N> const Rule* FindRule(const Rule (&rules)[N], std::uint32_t type) {
    const Rule* at =
        std::lower_bound(rules, rules + N, type, [](const Rule& r, std::uint32_t t) { return r.Type < t; });
    return at != rules + N && at->Type == type ? at : nullptr;
}

class TCanvas {
public:
    TCanvas(QPainter& painter, const TMetafileInfo& info, const QRectF& target)
        : Info(info), P(painter), FTarget(target) {}

    // Maps the picture onto the target and saves the painter; false when
    // nothing can be drawn.
    bool Begin();
    // Hands the painter back as it came.
    void End();
    // A file past the budgets shows what was played up to there.
    bool Spent() const { return FDrawn >= kMaxDrawnShapes; }
    void Charge(std::size_t shapes) { FDrawn += shapes; }

    TDcState S;
    const TMetafileInfo& Info;

    // ---- coordinates
    QTransform Transform() const { return S.World * PageTransform() * FBase; }
    // Reference device (EMF) or placeable box to the target.
    const QTransform& Base() const { return FBase; }
    bool Usable(const QTransform& m, const QRectF& logical) const;

    // ---- drawing
    void DrawPath(QPainterPath path, bool fill, bool stroke, const QBrush* brush = nullptr);
    void AddToPath(const QPainterPath& path, bool connect);
    // `count` points of `small` or 32-bit pairs at the start of `bytes`;
    // nullopt when they are not all there or past the budgets.
    std::optional<TPoints> TakePoints(TByteView bytes, std::size_t count, bool small);
    void DrawPoly(const TPoints& pts, bool closed, bool fill, bool bezier, bool fromCurrent);
    QPainterPath ArcPath(const QRectF& box, QPointF start, QPointF end, int kind) const;
    void LineTo(QPointF to);
    // A rectangle filled after a raster operation without a source bitmap.
    void PatBlt(const QRectF& rect, std::uint32_t rop);
    void SetPixel(QPointF at, const QColor& color);
    // Fills `region` (in the coordinates `m` maps) with `brush`.
    void FillRegion(const QRegion& region, const QTransform& m, const TBrushDef& brush);
    void DrawText(QPointF ref, const QString& text, const std::vector<double>& dx, unsigned options,
                  const QRectF& rect);
    // dibSource: the source rectangle counts rows from the bottom of a
    // bottom-up bitmap, as the DIB functions do.
    void DrawImage(const QImage& image, QRectF dest, QRectF source, bool dibSource = false,
                   double opacity = 1);
    // A packed (bits empty) or split bitmap, decoded at about the size
    // `source` of it takes on the device at `dest`.
    QImage Dib(TByteView header, TByteView bits, const QRectF& dest, const QRectF& source,
               bool premultipliedAlpha = false);
    // Characters are still to be had: past the budget, texts are not decoded.
    bool GlyphsLeft() const { return FGlyphs < kMaxGlyphs; }
    // Text of `bytes` in the code page of a font's character set.
    static QString DecodeAnsi(TByteView bytes, int charSet);

    // ---- objects and state
    void Store(std::size_t slot, const TObject& object);
    // The lowest free slot of a Windows metafile's table, or -1.
    int FreeSlot();
    const TObject* Object(std::size_t index) const {
        return index < FObjects.size() ? &FObjects[index] : nullptr;
    }
    void Select(std::uint32_t index);
    void Delete(std::uint32_t index);
    void SaveDc();
    void RestoreDc(int which);

    // ---- clipping, kept as a device region within the target's
    void IntersectClip(const QRectF& logical);
    void ExcludeClip(const QRectF& logical);
    // RGN_AND ... RGN_COPY with a device region; none: back to the default
    // clip (RGN_COPY only).
    void SelectClipRegion(std::uint32_t mode, const std::optional<QRegion>& region);

    // ---- paths
    bool InPath() const { return FInPath; }
    void BeginPath();
    void EndPath() { FInPath = false; }
    void CloseFigure();
    void AbortPath();
    void FinishPath(bool fill, bool stroke);
    void SelectClipPath();

private:
    QTransform PageTransform() const;
    QPen MakePen() const;
    QBrush MakeBrush() const;
    void DrawGlyphs(const QTransform& m, QPointF ref, double pixel, const QString& text,
                    const std::vector<double>& dx, bool glyphIndices);
    void SelectStock(std::uint32_t stock);
    QRegion DeviceClip();
    void SetDeviceClip(const QRegion& clip);

    QPainter& P;
    QRectF FTarget;
    QTransform FBase;
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
    int FSaveDepth = 0; // painter saves made for SaveDC
    QRegion FOuterClip; // the target within the painter's clip: the default clip
};

// Plays the records of a placeable Windows metafile, and of an enhanced one.
void PlayWmf(TCanvas& canvas, TByteView file);
void PlayEmf(TCanvas& canvas, TByteView file);

} // namespace tavolix::pictures::meta
