#include "pictures/Metafile.h"

#include <cstdlib>

namespace tavolix::pictures {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::uint32_t kEmfSignature = 0x464D4520u; // " EMF"

// a * b / c rounded to the nearest integer, 0 when it does not fit an int.
int MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c) {
    if (c <= 0)
        return 0;
    const std::int64_t v = (a * b + c / 2) / c;
    return (v < 0 || v > (1 << 24)) ? 0 : static_cast<int>(v);
}

std::optional<TMetafileInfo> ReadPlaceable(TByteView file, int dpi) {
    if (!file.Has(0, 22 + 18) || PlaceableChecksum(file) != file.U16(20))
        return std::nullopt;
    TMetafileInfo info;
    info.Kind = TMetafileKind::Placeable;
    info.BoxLeft = file.I16(6);
    info.BoxTop = file.I16(8);
    info.BoxRight = file.I16(10);
    info.BoxBottom = file.I16(12);
    info.UnitsPerInch = file.U16(14) ? file.U16(14) : 96;
    // The standard header follows: type 1 or 2, 9 words long, version 1 or 3.
    const TByteView h = file.From(22);
    const unsigned version = h.U16(4);
    if ((h.U16(0) != 1 && h.U16(0) != 2) || h.U16(2) != 9 || (version != 0x100 && version != 0x300))
        return std::nullopt;
    info.ObjectCount = h.U16(10);
    info.Width = MulDivRound(std::abs(info.BoxRight - info.BoxLeft), dpi, info.UnitsPerInch);
    info.Height = MulDivRound(std::abs(info.BoxBottom - info.BoxTop), dpi, info.UnitsPerInch);
    info.RecordsBegin = 22 + 18;
    info.RecordsEnd = file.Size();
    return info;
}

std::optional<TMetafileInfo> ReadEnhanced(TByteView file, int dpi) {
    const std::uint32_t headerSize = file.U32(4);
    if (headerSize < 88 || headerSize % 4 != 0 || !file.Has(0, headerSize) || file.U32(40) != kEmfSignature)
        return std::nullopt;
    const std::uint32_t total = file.U32(48);
    if (total < headerSize || total > file.Size())
        return std::nullopt; // truncated
    TMetafileInfo info;
    info.Kind = TMetafileKind::Enhanced;
    info.BoundsLeft = file.I32(8);
    info.BoundsTop = file.I32(12);
    info.BoundsRight = file.I32(16);
    info.BoundsBottom = file.I32(20);
    info.FrameLeft = file.I32(24);
    info.FrameTop = file.I32(28);
    info.FrameRight = file.I32(32);
    info.FrameBottom = file.I32(36);
    info.HandleCount = file.U16(56);
    info.DevicePixelsX = file.I32(72);
    info.DevicePixelsY = file.I32(76);
    info.DeviceMmX = file.I32(80);
    info.DeviceMmY = file.I32(84);
    const std::int64_t fw = std::int64_t{info.FrameRight} - info.FrameLeft;
    const std::int64_t fh = std::int64_t{info.FrameBottom} - info.FrameTop;
    if (fw > 0 && fh > 0) {
        info.Width = MulDivRound(fw, dpi, 2540);
        info.Height = MulDivRound(fh, dpi, 2540);
    } else {
        // Bounds are inclusive device pixels.
        const std::int64_t bw = std::int64_t{info.BoundsRight} - info.BoundsLeft + 1;
        const std::int64_t bh = std::int64_t{info.BoundsBottom} - info.BoundsTop + 1;
        info.Width = bw > 0 && bw < (1 << 24) ? static_cast<int>(bw) : 0;
        info.Height = bh > 0 && bh < (1 << 24) ? static_cast<int>(bh) : 0;
    }
    info.RecordsBegin = headerSize;
    info.RecordsEnd = total;
    return info;
}

} // namespace

std::uint16_t PlaceableChecksum(TByteView file) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 10; ++i)
        sum ^= file.U16(2 * i);
    return sum;
}

std::optional<TMetafileInfo> ReadMetafileInfo(TByteView file, int screenDpi) {
    if (screenDpi <= 0 || file.Size() > kMaxMetafileBytes)
        return std::nullopt;
    if (file.U32(0) == kPlaceableKey)
        return ReadPlaceable(file, screenDpi);
    if (file.U32(0) == static_cast<std::uint32_t>(TEmfRecord::Header))
        return ReadEnhanced(file, screenDpi);
    return std::nullopt;
}

TMetaRecordReader::TMetaRecordReader(TByteView file, const TMetafileInfo& info)
    : FFile(file), FKind(info.Kind), FPos(info.RecordsBegin),
      FEnd(info.RecordsEnd < file.Size() ? info.RecordsEnd : file.Size()) {
}

bool TMetaRecordReader::Next(TMetaRecord& record) {
    if (FDone || ++FCount > kMaxMetaRecords || FPos >= FEnd) {
        FDone = true;
        return false;
    }
    const TByteView rest = FFile.Sub(FPos, FEnd - FPos);
    std::uint64_t size;
    if (FKind == TMetafileKind::Placeable) {
        size = std::uint64_t{rest.U32(0)} * 2; // in 16-bit words
        record.Type = rest.U16(4);
        if (size < 6 || size > rest.Size() || static_cast<TWmfRecord>(record.Type) == TWmfRecord::Eof) {
            FDone = true;
            return false;
        }
    } else {
        record.Type = rest.U32(0);
        size = rest.U32(4);
        if (size < 8 || size % 4 != 0 || size > rest.Size() ||
            static_cast<TEmfRecord>(record.Type) == TEmfRecord::Eof) {
            FDone = true;
            return false;
        }
    }
    record.Bytes = rest.Sub(0, static_cast<std::size_t>(size));
    FPos += static_cast<std::size_t>(size);
    return true;
}

} // namespace tavolix::pictures
