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

inline constexpr std::size_t kMaxMetaRecords = 1u << 20;
inline constexpr std::size_t kMaxMetafileBytes = 32u << 20;

} // namespace tavolix::pictures
