#include "pictures/DibDecode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace tavolix::pictures {

namespace {

constexpr std::uint64_t kMaxRleBytes = 64u << 20;

// One colour channel of a 16- or 32-bit pixel, scaled to 8 bits.
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;

    explicit TChannel(std::uint32_t mask) : Mask(mask) {
        if (mask) {
            Shift = std::countr_zero(mask);
            Max = mask >> Shift;
        }
    }
    int Get(std::uint32_t v, int none) const {
        if (!Mask)
            return none;
        const std::uint32_t x = (v & Mask) >> Shift;
        return Max >= 255 && std::has_single_bit(Max + 1)
                   ? static_cast<int>(x >> (std::bit_width(Max) - 8))
                   : static_cast<int>((std::uint64_t{x} * 255 + Max / 2) / Max);
    }
};

class TDibDecoder {
public:
    TDibDecoder(const TDibInfo& info, TByteView head, QSize size)
        : FInfo(info), FRed(info.RedMask), FGreen(info.GreenMask), FBlue(info.BlueMask),
          FAlpha(info.AlphaMask),
          FImage(size, info.AlphaMask ? QImage::Format_ARGB32 : QImage::Format_RGB32) {
        const std::size_t entry = info.HeaderSize == 12 ? 3 : 4;
        const TByteView table =
            head.From(info.HeaderSize + info.TableBytes - std::size_t{info.Colors} * entry);
        FPalette.assign(256, qRgb(0, 0, 0));
        for (std::uint32_t i = 0; i < info.Colors && i < 256; ++i)
            FPalette[i] = qRgb(table.U8(i * entry + 2), table.U8(i * entry + 1), table.U8(i * entry));
        // Which shown column each source column lands in (-1: none).
        FColumn.assign(static_cast<std::size_t>(info.Width), -1);
        for (int x = 0; x < size.width(); ++x)
            FColumn[SourceOf(x, size.width(), info.Width)] = x;
    }

    // The image could be had: rows are written through its scan lines.
    bool Allocated() const { return !FImage.isNull(); }
    bool Uncompressed(const TByteSource& src, std::uint64_t offset);
    void Rle(TByteView data);
    QImage Take();

private:
    static std::size_t SourceOf(int i, int shown, int real) {
        return static_cast<std::size_t>((2 * std::int64_t{i} + 1) * real / (2 * std::int64_t{shown}));
    }
    // Shown row of a stored row (stored bottom-up unless TopDown), or -1.
    int ShownRow(std::int64_t stored) const;
    QRgb Pixel(TByteView row, std::size_t x) const;

    const TDibInfo& FInfo;
    TChannel FRed, FGreen, FBlue, FAlpha;
    QImage FImage;
    std::vector<QRgb> FPalette;
    std::vector<int> FColumn;
};

int TDibDecoder::ShownRow(std::int64_t stored) const {
    const std::int64_t fromTop = FInfo.TopDown ? stored : FInfo.Height - 1 - stored;
    const int shown = FImage.height();
    // The shown row whose source is fromTop, if any.
    const std::int64_t y = (fromTop * 2 * shown + shown) / (2 * std::int64_t{FInfo.Height});
    for (std::int64_t c = std::max<std::int64_t>(0, y - 1); c <= y + 1 && c < shown; ++c) {
        if (SourceOf(static_cast<int>(c), shown, FInfo.Height) == static_cast<std::size_t>(fromTop))
            return static_cast<int>(c);
    }
    return -1;
}

QRgb TDibDecoder::Pixel(TByteView row, std::size_t x) const {
    switch (FInfo.BitCount) {
    case 1:
        return FPalette[(row.U8(x / 8) >> (7 - x % 8)) & 1];
    case 4:
        return FPalette[(row.U8(x / 2) >> (x % 2 ? 0 : 4)) & 0x0F];
    case 8:
        return FPalette[row.U8(x)];
    case 24:
        return qRgb(row.U8(3 * x + 2), row.U8(3 * x + 1), row.U8(3 * x));
    default: {
        const std::uint32_t v = FInfo.BitCount == 16 ? row.U16(2 * x) : row.U32(4 * x);
        return qRgba(FRed.Get(v, 0), FGreen.Get(v, 0), FBlue.Get(v, 0), FAlpha.Get(v, 255));
    }
    }
}

bool TDibDecoder::Uncompressed(const TByteSource& src, std::uint64_t offset) {
    std::vector<std::uint8_t> row;
    for (int y = 0; y < FImage.height(); ++y) {
        const std::int64_t fromTop = static_cast<std::int64_t>(SourceOf(y, FImage.height(), FInfo.Height));
        const std::int64_t stored = FInfo.TopDown ? fromTop : FInfo.Height - 1 - fromTop;
        if (!src.ReadBlock(offset + static_cast<std::uint64_t>(stored) * FInfo.RowBytes,
                           static_cast<std::size_t>(FInfo.RowBytes), row))
            return false;
        const TByteView r(row);
        auto* out = reinterpret_cast<QRgb*>(FImage.scanLine(y));
        for (int x = 0; x < FImage.width(); ++x)
            out[x] = Pixel(r, SourceOf(x, FImage.width(), FInfo.Width));
    }
    return true;
}

void TDibDecoder::Rle(TByteView d) {
    FImage.fill(FPalette[0]);
    const bool four = FInfo.Compression == kBiRle4;
    const std::int64_t width = FInfo.Width, height = FInfo.Height;
    std::int64_t x = 0, y = 0; // y counts stored rows from the bottom
    int shown = ShownRow(0);
    auto put = [&](std::uint8_t index) {
        if (shown >= 0 && x < width && FColumn[static_cast<std::size_t>(x)] >= 0)
            reinterpret_cast<QRgb*>(FImage.scanLine(shown))[FColumn[static_cast<std::size_t>(x)]] =
                FPalette[index];
        ++x;
    };
    auto nextRow = [&](std::int64_t rows) {
        y += rows;
        shown = y < height ? ShownRow(y) : -1;
    };
    std::size_t pos = 0;
    while (pos + 2 <= d.Size() && y < height) {
        const unsigned count = d.U8(pos), value = d.U8(pos + 1);
        pos += 2;
        if (count > 0) {
            // A run: on rows that are not shown only the position moves.
            const std::int64_t n = std::min<std::int64_t>(count, std::max<std::int64_t>(0, width - x));
            if (shown < 0) {
                x += count;
                continue;
            }
            for (std::int64_t i = 0; i < n; ++i)
                put(static_cast<std::uint8_t>(four ? (i % 2 ? value & 0x0F : value >> 4) : value));
            x += count - n;
        } else if (value == 0) { // end of line
            x = 0;
            nextRow(1);
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (pos + 2 > d.Size())
                break;
            x += d.U8(pos);
            const unsigned dy = d.U8(pos + 1);
            pos += 2;
            if (dy)
                nextRow(dy);
        } else { // absolute: `value` pixels, padded to a word
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (!d.Has(pos, bytes))
                break;
            for (unsigned i = 0; i < value; ++i) {
                if (shown < 0 || x >= width) {
                    ++x;
                    continue;
                }
                const std::uint8_t b = d.U8(pos + (four ? i / 2 : i));
                put(four ? (i % 2 ? b & 0x0F : b >> 4) : b);
            }
            pos += (bytes + 1) & ~std::size_t{1};
        }
    }
}

QImage TDibDecoder::Take() {
    if (FInfo.AlphaMask && FInfo.PremultipliedAlpha) {
        for (int y = 0; y < FImage.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(FImage.scanLine(y));
            for (int x = 0; x < FImage.width(); ++x) {
                const int a = qAlpha(row[x]); // no channel above its alpha
                row[x] = qRgba(std::min(qRed(row[x]), a), std::min(qGreen(row[x]), a),
                               std::min(qBlue(row[x]), a), a);
            }
        }
        FImage.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        return std::move(FImage);
    }
    if (FInfo.AlphaMask) {
        // Alpha that is zero everywhere was never meant: the picture is opaque.
        bool anyAlpha = false;
        for (int y = 0; y < FImage.height() && !anyAlpha; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(FImage.constScanLine(y));
            for (int x = 0; x < FImage.width() && !anyAlpha; ++x)
                anyAlpha = qAlpha(row[x]) != 0;
        }
        if (!anyAlpha)
            return std::move(FImage).convertToFormat(QImage::Format_RGB32);
        return std::move(FImage).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return std::move(FImage);
}

} // namespace

QSize DecodedSize(const TDibInfo& info, QSize limit) {
    double w = std::min(info.Width, std::max(limit.width(), 1));
    double h = std::min(info.Height, std::max(limit.height(), 1));
    const double pixels = w * h;
    if (pixels > double(kMaxDecodedPixels)) {
        const double k = std::sqrt(double(kMaxDecodedPixels) / pixels);
        w = std::floor(w * k);
        h = std::floor(h * k);
    }
    return QSize(std::max(1, static_cast<int>(w)), std::max(1, static_cast<int>(h)));
}

QImage DecodeDib(const TDibInfo& info, TByteView head, const TByteSource& pixels, std::uint64_t pixelOffset,
                 QSize size) {
    if (!head.Has(0, std::size_t{info.HeaderSize} + info.TableBytes))
        return {};
    size = DecodedSize(info, size);
    TDibDecoder decoder(info, head, size);
    if (!decoder.Allocated())
        return {};
    if (info.Compression == kBiRle8 || info.Compression == kBiRle4) {
        if (pixelOffset > pixels.Size())
            return {};
        std::vector<std::uint8_t> data;
        const std::uint64_t n = std::min(pixels.Size() - pixelOffset, kMaxRleBytes);
        if (n < 2 || !pixels.ReadBlock(pixelOffset, static_cast<std::size_t>(n), data))
            return {};
        decoder.Rle(TByteView(data));
    } else if (!decoder.Uncompressed(pixels, pixelOffset)) {
        return {};
    }
    return decoder.Take();
}

} // namespace tavolix::pictures
