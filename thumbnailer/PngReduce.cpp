// A PNG averaged into a smaller picture while its rows are read.
#include "thumbnailer/PngReduceInternal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <zlib.h>

namespace tavolix::thumbnailer {

using png::Be16;
using png::kRowPadding;
using png::TDecompressor;
using png::THead;
using png::THeader;
using png::TIdatReader;

namespace {

// A large buffer of its own pages, in huge pages where the system allows:
// tens of megabytes are touched once, and page faults would cost as much
// as a third of the work.
class TBigBuffer {
public:
    explicit TBigBuffer(std::size_t size) : FSize(size) {
        if (size == 0)
            return;
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        ::madvise(p, size, MADV_HUGEPAGE);
        FData = static_cast<std::uint8_t*>(p);
    }
    ~TBigBuffer() {
        if (FData)
            ::munmap(FData, FSize);
    }
    TBigBuffer(const TBigBuffer&) = delete;
    TBigBuffer& operator=(const TBigBuffer&) = delete;
    std::uint8_t* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

private:
    std::uint8_t* FData = nullptr;
    std::size_t FSize;
};

// One pass of the image data: its first pixel and its steps.
struct TPass {
    int X0, Y0, Dx, Dy;
};
constexpr TPass kWhole{0, 0, 1, 1};
constexpr TPass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

int PassSize(int size, int first, int step) {
    return size > first ? (size - first + step - 1) / step : 0;
}

// As the toolkit premultiplies: round(c * a / 255).
std::uint32_t Premultiply(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    if (a == 255)
        return 0xFF000000u | r << 16 | g << 8 | b;
    if (a == 0)
        return 0;
    const auto times = [a](std::uint32_t c) {
        const std::uint32_t t = c * a;
        return (t + (t >> 8) + 0x80) >> 8;
    };
    return a << 24 | times(r) << 16 | times(g) << 8 | times(b);
}

// 16 bits to 8, rounded, as the toolkit does it.
std::uint32_t To8(std::uint32_t v) {
    return (v - (v >> 8) + 0x80) >> 8;
}

std::uint32_t Premultiply16(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
    if (a == 0xFFFF)
        return 0xFF000000u | To8(r) << 16 | To8(g) << 8 | To8(b);
    if (a == 0)
        return 0;
    const auto times = [a](std::uint32_t c) {
        const std::uint64_t t = std::uint64_t(c) * a;
        return To8(static_cast<std::uint32_t>((t + (t >> 16) + 0x8000) >> 16));
    };
    return To8(a) << 24 | times(r) << 16 | times(g) << 8 | times(b);
}

// Samples of one row to premultiplied pixels.
class TConverter {
public:
    TConverter(const THeader& h, const std::vector<std::uint8_t>& palette,
               const std::vector<std::uint8_t>& transparency, bool hasTransparency)
        : FType(h.Type), FDepth(h.Depth), FKeyed(hasTransparency) {
        if (h.Type == 3 || (h.Type == 0 && h.Depth <= 8)) {
            const int colours = 1 << h.Depth;
            for (int i = 0; i < colours; ++i) {
                if (h.Type == 0) {
                    const std::uint32_t v = std::uint32_t(i * 255 / (colours - 1));
                    FTable[i] = Premultiply(v, v, v, 255);
                } else if (std::size_t(i) * 3 + 2 < palette.size()) {
                    const std::uint32_t a = std::size_t(i) < transparency.size() ? transparency[i] : 255;
                    FTable[i] = Premultiply(palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2], a);
                } else {
                    // An index past the palette takes its first colour.
                    FTable[i] = FTable[0];
                }
            }
            if (h.Type == 0 && hasTransparency && Be16(transparency.data()) < std::uint32_t(colours))
                FTable[Be16(transparency.data())] = 0;
        } else if (hasTransparency) {
            const std::uint32_t mask = h.Depth == 8 ? 0xFF : 0xFFFF;
            for (std::size_t i = 0; i + 1 < transparency.size() && i < 6; i += 2)
                FKey[i / 2] = Be16(transparency.data() + i) & mask;
        }
    }

    void Convert(const std::uint8_t* d, int count, std::uint32_t* out) const {
        if (FType == 3 || (FType == 0 && FDepth <= 8)) {
            if (FDepth == 8) {
                for (int i = 0; i < count; ++i)
                    out[i] = FTable[d[i]];
                return;
            }
            const int perByte = 8 / FDepth, mask = (1 << FDepth) - 1;
            for (int i = 0; i < count; ++i) {
                const int shift = 8 - FDepth * (i % perByte + 1);
                out[i] = FTable[(d[i / perByte] >> shift) & mask];
            }
            return;
        }
        const bool deep = FDepth == 16;
        for (int i = 0; i < count; ++i) {
            switch (FType) {
            case 0: {
                const std::uint32_t v = Be16(d + 2 * i);
                out[i] = FKeyed && v == FKey[0] ? 0 : Premultiply(To8(v), To8(v), To8(v), 255);
                break;
            }
            case 2:
                if (deep) {
                    const std::uint8_t* p = d + 6 * i;
                    const std::uint32_t r = Be16(p), g = Be16(p + 2), b = Be16(p + 4);
                    out[i] = FKeyed && r == FKey[0] && g == FKey[1] && b == FKey[2]
                                 ? 0
                                 : Premultiply(To8(r), To8(g), To8(b), 255);
                } else {
                    const std::uint8_t* p = d + 3 * i;
                    out[i] = FKeyed && p[0] == FKey[0] && p[1] == FKey[1] && p[2] == FKey[2]
                                 ? 0
                                 : 0xFF000000u | std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
                }
                break;
            case 4:
                if (deep) {
                    const std::uint32_t v = Be16(d + 4 * i), a = Be16(d + 4 * i + 2);
                    out[i] = Premultiply16(v, v, v, a);
                } else {
                    out[i] = Premultiply(d[2 * i], d[2 * i], d[2 * i], d[2 * i + 1]);
                }
                break;
            default: // 6
                if (deep) {
                    const std::uint8_t* p = d + 8 * i;
                    out[i] = Premultiply16(Be16(p), Be16(p + 2), Be16(p + 4), Be16(p + 6));
                } else {
                    const std::uint8_t* p = d + 4 * i;
                    out[i] = Premultiply(p[0], p[1], p[2], p[3]);
                }
                break;
            }
        }
    }

private:
    int FType, FDepth;
    bool FKeyed;
    std::uint32_t FTable[256] = {};
    std::uint32_t FKey[3] = {};
};

// The inflated image data, one row at a time. A row stays where it is
// until three more have been asked for: the row above is at hand while two
// rows are worked on together.
class TRows {
public:
    virtual ~TRows() = default;
    virtual std::uint8_t* Next(std::size_t size) = 0;
};

class TWholeRows : public TRows {
public:
    TWholeRows(std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    std::uint8_t* Next(std::size_t size) override {
        if (size > FSize - FAt)
            return nullptr;
        std::uint8_t* row = FData + FAt;
        FAt += size;
        return row;
    }

private:
    std::uint8_t* FData;
    std::size_t FSize, FAt = 0;
};

// Inflates a piece at a time from the compressed pieces `more` hands out.
class TStreamRows : public TRows {
public:
    using TMore = std::function<bool(const std::uint8_t*&, std::size_t&)>;
    explicit TStreamRows(TMore more) : FMore(std::move(more)), FOut(256 * 1024) {
        FStarted = FOk = inflateInit(&FZ) == Z_OK;
    }
    ~TStreamRows() override {
        if (FStarted)
            inflateEnd(&FZ);
    }
    TStreamRows(const TStreamRows&) = delete;
    TStreamRows& operator=(const TStreamRows&) = delete;

    std::uint8_t* Next(std::size_t size) override {
        std::vector<std::uint8_t>& row = FRow[FWhich];
        FWhich = (FWhich + 1) % 3;
        row.resize(size + kRowPadding);
        std::size_t at = 0;
        while (at < size) {
            if (FOutAt == FOutEnd && !Refill())
                return nullptr;
            const std::size_t n = std::min(size - at, FOutEnd - FOutAt);
            std::memcpy(row.data() + at, FOut.data() + FOutAt, n);
            FOutAt += n;
            at += n;
        }
        return row.data();
    }

private:
    bool Refill() {
        if (!FOk || FEnded)
            return false;
        FZ.next_out = FOut.data();
        FZ.avail_out = static_cast<uInt>(FOut.size());
        while (FZ.avail_out > 0) {
            if (FZ.avail_in == 0) {
                const std::uint8_t* piece = nullptr;
                std::size_t size = 0;
                if (!FMore(piece, size))
                    break;
                FZ.next_in = const_cast<Bytef*>(piece);
                FZ.avail_in = static_cast<uInt>(size);
                continue;
            }
            const int rc = inflate(&FZ, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                FEnded = true;
                break;
            }
            if (rc != Z_OK) {
                FOk = false;
                break;
            }
        }
        FOutAt = 0;
        FOutEnd = FOut.size() - FZ.avail_out;
        return FOutEnd > 0;
    }

    TMore FMore;
    z_stream FZ{};
    bool FStarted = false, FOk = false, FEnded = false;
    std::vector<std::uint8_t> FOut;
    std::size_t FOutAt = 0, FOutEnd = 0;
    std::vector<std::uint8_t> FRow[3];
    int FWhich = 0;
};

// The sums of the boxes, filled a row of samples at a time. Box column b
// takes the pixels whose centres lie in [b, b + 1) of the result's pixel
// grid (so 12 or 13 of them for 5000 to 400): each result pixel is the
// mean of the pixels it covers, as an exact area average would give it to
// within half a pixel of the original.
class TBoxes {
public:
    TBoxes(int width, int height, int outWidth, int outHeight, int step)
        : FWidth(outWidth), FHeight(outHeight), FSums(std::size_t(outWidth) * outHeight * 4, 0) {
        const auto edges = [](int size, int boxes) {
            std::vector<int> edge(boxes + 1);
            for (int b = 0; b <= boxes; ++b)
                edge[b] = static_cast<int>((2LL * b * size + boxes) / (2LL * boxes));
            return edge;
        };
        FEdgeX = edges(width, outWidth);
        const std::vector<int> edgeY = edges(height, outHeight);
        FBoxOfRow.resize(height);
        for (int b = 0; b < outHeight; ++b)
            std::fill(FBoxOfRow.begin() + edgeY[b], FBoxOfRow.begin() + edgeY[b + 1], b);
        // Samples in each column and row of boxes: the multiples of `step`.
        const auto count = [step](const std::vector<int>& edge) {
            std::vector<std::uint64_t> n(edge.size() - 1);
            for (std::size_t b = 0; b + 1 < edge.size(); ++b)
                n[b] = std::uint64_t((edge[b + 1] + step - 1) / step - (edge[b] + step - 1) / step);
            return n;
        };
        FCountX = count(FEdgeX);
        FCountY = count(edgeY);
    }

    // The first sample of each box column in a pass's rows.
    std::vector<int> Starts(const TPass& pass, int passWidth) const {
        std::vector<int> starts(FWidth + 1);
        for (int b = 0; b <= FWidth; ++b) {
            const int x = FEdgeX[b];
            starts[b] = x <= pass.X0 ? 0 : std::min(passWidth, (x - pass.X0 + pass.Dx - 1) / pass.Dx);
        }
        return starts;
    }

    void Add(int y, const std::uint32_t* pixels, const std::vector<int>& starts) {
        std::uint64_t* sums = FSums.data() + std::size_t(FBoxOfRow[y]) * FWidth * 4;
        for (int bx = 0; bx < FWidth; ++bx, sums += 4) {
            // A row holds at most a million pixels: 32 bits hold its sums.
            std::uint32_t b = 0, g = 0, r = 0, a = 0;
            for (int i = starts[bx]; i < starts[bx + 1]; ++i) {
                const std::uint32_t p = pixels[i];
                b += p & 0xFF;
                g += (p >> 8) & 0xFF;
                r += (p >> 16) & 0xFF;
                a += p >> 24;
            }
            sums[0] += b;
            sums[1] += g;
            sums[2] += r;
            sums[3] += a;
        }
    }

    // Opaque 8-bit RGB, straight from the samples.
    void AddRgb(int y, const std::uint8_t* samples, const std::vector<int>& starts) {
        std::uint64_t* sums = FSums.data() + std::size_t(FBoxOfRow[y]) * FWidth * 4;
        for (int bx = 0; bx < FWidth; ++bx, sums += 4) {
            std::uint32_t b = 0, g = 0, r = 0;
            for (int i = starts[bx]; i < starts[bx + 1]; ++i) {
                r += samples[3 * i];
                g += samples[3 * i + 1];
                b += samples[3 * i + 2];
            }
            sums[0] += b;
            sums[1] += g;
            sums[2] += r;
            sums[3] += 255u * std::uint32_t(starts[bx + 1] - starts[bx]);
        }
    }

    std::vector<std::uint32_t> Averages() const {
        // A box column or row that caught no sample repeats the one before.
        const auto source = [](const std::vector<std::uint64_t>& counts) {
            std::vector<int> from(counts.size());
            for (std::size_t i = 0; i < counts.size(); ++i)
                from[i] = counts[i] > 0 || i == 0 ? int(i) : from[i - 1];
            return from;
        };
        const std::vector<int> fromX = source(FCountX), fromY = source(FCountY);
        std::vector<std::uint32_t> out(std::size_t(FWidth) * FHeight);
        for (int by = 0; by < FHeight; ++by) {
            for (int bx = 0; bx < FWidth; ++bx) {
                const int sx = fromX[bx], sy = fromY[by];
                const std::uint64_t n = FCountX[sx] * FCountY[sy];
                if (n == 0)
                    continue;
                const std::uint64_t* sum = FSums.data() + (std::size_t(sy) * FWidth + sx) * 4;
                const auto mean = [n](std::uint64_t v) {
                    return static_cast<std::uint32_t>((v + n / 2) / n);
                };
                out[std::size_t(by) * FWidth + bx] =
                    mean(sum[3]) << 24 | mean(sum[2]) << 16 | mean(sum[1]) << 8 | mean(sum[0]);
            }
        }
        return out;
    }

private:
    int FWidth, FHeight;
    std::vector<std::uint64_t> FSums, FCountX, FCountY;
    std::vector<int> FEdgeX, FBoxOfRow;
};

} // namespace

std::optional<TPngReduced> ReducePng(TPngInput& in, const std::function<std::pair<int, int>(int, int)>& size,
                                     const TPngLimits& limits) {
    std::optional<THead> head = png::ReadHead(in, limits);
    if (!head)
        return std::nullopt;
    const THeader& h = head->Header;
    const bool haveTransparency = head->HasTransparency;

    // The result's size, and for an interlaced picture the passes that give
    // each box at least 16 samples.
    auto [outWidth, outHeight] = size ? size(h.Width, h.Height) : std::pair(h.Width, h.Height);
    outWidth = std::clamp(outWidth, 1, h.Width);
    outHeight = std::clamp(outHeight, 1, h.Height);
    if (std::uint64_t(outWidth) * std::uint64_t(outHeight) > limits.MaxOutPixels)
        return std::nullopt;
    const int box = std::min(h.Width / outWidth, h.Height / outHeight);
    std::vector<TPass> passes = {kWhole};
    int step = 1;
    if (h.Interlaced) {
        step = box >= 32 ? 8 : box >= 16 ? 4 : box >= 8 ? 2 : 1;
        const int count = step == 8 ? 1 : step == 4 ? 3 : step == 2 ? 5 : 7;
        passes.assign(kAdam7, kAdam7 + count);
    }
    std::uint64_t inflated = 0;
    for (const TPass& p : passes) {
        const int pw = PassSize(h.Width, p.X0, p.Dx), ph = PassSize(h.Height, p.Y0, p.Dy);
        if (pw > 0 && ph > 0)
            inflated += std::uint64_t(ph) * (h.RowBytes(pw) + 1);
    }

    // The fast inflate takes the whole image data at once; it stops short
    // of nothing, so an interlaced picture read in part goes a piece at a time.
    TIdatReader idat(in, head->FirstIdatLength);
    std::unique_ptr<TBigBuffer> compressed, whole;
    std::size_t compressedSize = 0;
    std::unique_ptr<TRows> rows;
    bool fromFile = false;
    if (!h.Interlaced && inflated + in.Remaining() <= limits.WholeBytes) {
        compressed = std::make_unique<TBigBuffer>(static_cast<std::size_t>(in.Remaining()));
        whole = std::make_unique<TBigBuffer>(static_cast<std::size_t>(inflated) + kRowPadding);
        if (!compressed->Data() || !whole->Data() || !idat.ReadAll(compressed->Data(), compressedSize))
            return std::nullopt;
        TDecompressor d;
        std::size_t got = 0;
        const libdeflate_result r =
            d.D ? libdeflate_zlib_decompress(d.D, compressed->Data(), compressedSize, whole->Data(),
                                             static_cast<std::size_t>(inflated), &got)
                : LIBDEFLATE_BAD_DATA;
        if (r == LIBDEFLATE_SUCCESS && got == inflated) {
            rows = std::make_unique<TWholeRows>(whole->Data(), got);
        } else {
            // More data than the picture needs, or a broken checksum at its
            // end, are no reason to refuse it: inflated a piece at a time,
            // only what the rows need is read.
            whole.reset();
            rows = std::make_unique<TStreamRows>(
                [&, given = false](const std::uint8_t*& data, std::size_t& size) mutable {
                    if (given)
                        return false;
                    given = true;
                    data = compressed->Data();
                    size = compressedSize;
                    return true;
                });
        }
    } else {
        fromFile = true;
        rows = std::make_unique<TStreamRows>(
            [&](const std::uint8_t*& data, std::size_t& size) { return idat.More(data, size); });
    }

    TBoxes sums(h.Width, h.Height, outWidth, outHeight, step);
    const TConverter convert(h, head->Palette, head->Transparency, haveTransparency);
    const int bpp = h.BytesPerPixel();
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> zeros;
    for (const TPass& p : passes) {
        const int pw = PassSize(h.Width, p.X0, p.Dx), ph = PassSize(h.Height, p.Y0, p.Dy);
        if (pw == 0 || ph == 0)
            continue;
        const std::size_t rowBytes = h.RowBytes(pw);
        zeros.assign(rowBytes + kRowPadding, 0);
        pixels.resize(pw);
        const std::vector<int> starts = sums.Starts(p, pw);
        const bool plainRgb = h.Type == 2 && h.Depth == 8 && !haveTransparency;
        const auto add = [&](const std::uint8_t* samples, int j) {
            if (plainRgb) {
                sums.AddRgb(p.Y0 + j * p.Dy, samples, starts);
                return;
            }
            convert.Convert(samples, pw, pixels.data());
            sums.Add(p.Y0 + j * p.Dy, pixels.data(), starts);
        };
        const std::uint8_t* above = zeros.data();
        for (int j = 0; j < ph; ++j) {
            std::uint8_t* row = rows->Next(rowBytes + 1);
            if (!row)
                return std::nullopt;
            std::uint8_t* next = j + 1 < ph && row[0] == 4 ? rows->Next(rowBytes + 1) : nullptr;
            if (!next || next[0] != 4 || !png::UnfilterPaethPair(row + 1, next + 1, above, rowBytes, bpp)) {
                if (!png::Unfilter(row[0], row + 1, above, rowBytes, bpp))
                    return std::nullopt;
                if (next && !png::Unfilter(next[0], next + 1, row + 1, rowBytes, bpp))
                    return std::nullopt;
            }
            add(row + 1, j);
            above = row + 1;
            if (next) {
                add(next + 1, ++j);
                above = next + 1;
            }
        }
    }

    // Image data read to its end is checked as a whole: a broken chunk is
    // refused however it was read.
    if (fromFile && (!h.Interlaced || passes.size() == 7) && !idat.FinishChunk())
        return std::nullopt;

    TPngReduced result;
    result.Colours = std::move(head->Colours);
    result.Width = h.Width;
    result.Height = h.Height;
    result.OutWidth = outWidth;
    result.OutHeight = outHeight;
    result.Pixels = sums.Averages();
    result.HasAlpha = h.Type == 4 || h.Type == 6 || haveTransparency;
    return result;
}

} // namespace tavolix::thumbnailer
