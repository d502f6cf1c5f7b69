#pragma once

#include "pictures/ByteView.h"

#include <cstdint>
#include <optional>

namespace tavolix::pictures {

enum class TMetafileKind { Placeable, Enhanced };

// The header of a metafile, once it has been found to be a placeable Windows
// metafile or an enhanced metafile; records come later, one at a time.
//
// Sizes in pixels at the screen's resolution (screenDpi):
//  - placeable: the bounding box in its units per inch (96 when 0);
//  - enhanced: the frame rectangle (0.01 mm) at the screen resolution; when
//    the frame is empty, the bounds rectangle (reference device pixels).
// Both round to the nearest pixel, so the same picture recorded either way
// gets the same size.
struct TMetafileInfo {
    TMetafileKind Kind = TMetafileKind::Placeable;
    int Width = 0;
    int Height = 0;

    // Placeable: the bounding box in logical units, and the records.
    std::int16_t BoxLeft = 0, BoxTop = 0, BoxRight = 0, BoxBottom = 0;
    std::uint16_t UnitsPerInch = 96;
    std::uint16_t ObjectCount = 0; // size of the object table
    // Enhanced: frame (0.01 mm), bounds and the reference device.
    std::int32_t FrameLeft = 0, FrameTop = 0, FrameRight = 0, FrameBottom = 0;
    std::int32_t BoundsLeft = 0, BoundsTop = 0, BoundsRight = 0, BoundsBottom = 0;
    std::int32_t DevicePixelsX = 0, DevicePixelsY = 0, DeviceMmX = 0, DeviceMmY = 0;
    std::uint32_t HandleCount = 0;

    // Where the records start and end in the file.
    std::size_t RecordsBegin = 0;
    std::size_t RecordsEnd = 0;
};

// nullopt for anything that is neither kind, or whose header is inconsistent.
std::optional<TMetafileInfo> ReadMetafileInfo(TByteView file, int screenDpi);

// The XOR of the first ten 16-bit words of a placeable header.
std::uint16_t PlaceableChecksum(TByteView file);

// Windows metafile record functions, by their numbers in the file.
enum class TWmfRecord : std::uint16_t {
    Eof = 0x0000,
    RealizePalette = 0x0035,
    SetPalEntries = 0x0037,
    SaveDc = 0x001E,
    CreatePalette = 0x00F7,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetRelabs = 0x0105,
    SetPolyFillMode = 0x0106,
    SetStretchBltMode = 0x0107,
    SetTextCharExtra = 0x0108,
    RestoreDc = 0x0127,
    InvertRegion = 0x012A,
    PaintRegion = 0x012B,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DibCreatePatternBrush = 0x0142,
    DeleteObject = 0x01F0,
    CreatePatternBrush = 0x01F9,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetTextJustification = 0x020A,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    SetMapperFlags = 0x0231,
    SelectPalette = 0x0234,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Polyline = 0x0325,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    FloodFill = 0x0419,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    FrameRegion = 0x0429,
    AnimatePalette = 0x0436,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    ExtFloodFill = 0x0548,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    Escape = 0x0626,
    CreateRegion = 0x06FF,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    BitBlt = 0x0922,
    DibBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    StretchBlt = 0x0B23,
    DibStretchBlt = 0x0B41,
    SetDibToDev = 0x0D33,
    StretchDib = 0x0F43,
};

// Enhanced metafile record types, by their numbers in the file.
enum class TEmfRecord : std::uint32_t {
    Header = 1,
    PolyBezier = 2,
    Polygon = 3,
    Polyline = 4,
    PolyBezierTo = 5,
    PolylineTo = 6,
    PolyPolyline = 7,
    PolyPolygon = 8,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetViewportOrgEx = 12,
    SetBrushOrgEx = 13,
    Eof = 14,
    SetPixelV = 15,
    SetMapperFlags = 16,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetRop2 = 20,
    SetStretchBltMode = 21,
    SetTextAlign = 22,
    SetColorAdjustment = 23,
    SetTextColor = 24,
    SetBkColor = 25,
    OffsetClipRgn = 26,
    MoveToEx = 27,
    SetMetaRgn = 28,
    ExcludeClipRect = 29,
    IntersectClipRect = 30,
    ScaleViewportExtEx = 31,
    ScaleWindowExtEx = 32,
    SaveDc = 33,
    RestoreDc = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    AngleArc = 41,
    Ellipse = 42,
    Rectangle = 43,
    RoundRect = 44,
    Arc = 45,
    Chord = 46,
    Pie = 47,
    SelectPalette = 48,
    CreatePalette = 49,
    SetPaletteEntries = 50,
    ResizePalette = 51,
    RealizePalette = 52,
    ExtFloodFill = 53,
    LineTo = 54,
    ArcTo = 55,
    PolyDraw = 56,
    SetArcDirection = 57,
    SetMiterLimit = 58,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokeAndFillPath = 63,
    StrokePath = 64,
    FlattenPath = 65,
    WidenPath = 66,
    SelectClipPath = 67,
    AbortPath = 68,
    GdiComment = 70,
    FillRgn = 71,
    FrameRgn = 72,
    InvertRgn = 73,
    PaintRgn = 74,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchBlt = 77,
    MaskBlt = 78,
    PlgBlt = 79,
    SetDiBitsToDevice = 80,
    StretchDiBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83,
    ExtTextOutW = 84,
    PolyBezier16 = 85,
    Polygon16 = 86,
    Polyline16 = 87,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    PolyPolyline16 = 90,
    PolyPolygon16 = 91,
    PolyDraw16 = 92,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    ExtCreatePen = 95,
    PolyTextOutA = 96,
    PolyTextOutW = 97,
    SetIcmMode = 98,
    CreateColorSpace = 99,
    SetColorSpace = 100,
    DeleteColorSpace = 101,
    SmallTextOut = 108,
    AlphaBlend = 114,
    SetLayout = 115,
    TransparentBlt = 116,
    GradientFill = 118,
};

// One record: the function (WMF) or type (EMF), and the whole record, its
// size and type fields included.
struct TMetaRecord {
    std::uint32_t Type = 0;
    TByteView Bytes;
};

// Steps through the records, stopping at the end-of-file record, at a
// record that does not fit, or after kMaxMetaRecords.
class TMetaRecordReader {
public:
    TMetaRecordReader(TByteView file, const TMetafileInfo& info);
    bool Next(TMetaRecord& record);

private:
    TByteView FFile;
    TMetafileKind FKind;
    std::size_t FPos, FEnd;
    std::size_t FCount = 0;
    bool FDone = false;
};

// Every repaint walks the records again: this bounds the work of one walk.
inline constexpr std::size_t kMaxMetaRecords = 1u << 17;
inline constexpr std::size_t kMaxMetafileBytes = 32u << 20;

} // namespace tavolix::pictures
