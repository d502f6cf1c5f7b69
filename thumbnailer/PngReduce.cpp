#include "thumbnailer/PngReduce.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavolix::thumbnailer {

bool TPngBytes::Read(std::uint8_t* to, std::size_t size) {
    if (size > FSize - FAt)
        return false;
    if (size > 0)
        std::memcpy(to, FData + FAt, size);
    FAt += size;
    return true;
}

bool TPngBytes::Skip(std::uint64_t size) {
    if (size > FSize - FAt)
        return false;
    FAt += static_cast<std::size_t>(size);
    return true;
}

TPngFile::TPngFile(int fd) : FFd(fd), FBuffer(64 * 1024) {
    struct stat st;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (::fstat(fd, &st) == 0 && at >= 0 && st.st_size >= at)
        FLeft = static_cast<std::uint64_t>(st.st_size - at);
}

bool TPngFile::Fill() {
    FAt = FEnd = 0;
    if (FLeft == 0)
        return false;
    for (;;) {
        const ssize_t n = ::read(FFd, FBuffer.data(), std::min<std::uint64_t>(FBuffer.size(), FLeft));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        FEnd = static_cast<std::size_t>(n);
        FLeft -= FEnd;
        return true;
    }
}

bool TPngFile::Read(std::uint8_t* to, std::size_t size) {
    while (size > 0) {
        if (FAt == FEnd && size >= FBuffer.size()) {
            // Big pieces go straight where they are wanted.
            if (size > FLeft)
                return false;
            const ssize_t n = ::read(FFd, to, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            FLeft -= static_cast<std::size_t>(n);
            to += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (FAt == FEnd && !Fill())
            return false;
        const std::size_t n = std::min(size, FEnd - FAt);
        std::memcpy(to, FBuffer.data() + FAt, n);
        FAt += n;
        to += n;
        size -= n;
    }
    return true;
}

bool TPngFile::Skip(std::uint64_t size) {
    const std::size_t buffered = FEnd - FAt;
    if (size <= buffered) {
        FAt += static_cast<std::size_t>(size);
        return true;
    }
    size -= buffered;
    FAt = FEnd;
    if (size > FLeft || ::lseek(FFd, static_cast<off_t>(size), SEEK_CUR) < 0)
        return false;
    FLeft -= size;
    return true;
}

std::uint64_t TPngFile::Remaining() const {
    return FLeft + (FEnd - FAt);
}

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The largest width and height libpng takes unless told otherwise.
constexpr std::uint32_t kMaxSide = 1000000;
constexpr std::uint32_t kMaxIccChunk = 1u << 20;
constexpr std::size_t kMaxIccProfile = 4u << 20;
// Bytes after every row, so that a pixel's bytes load in one go.
constexpr std::size_t kRowPadding = 8;

constexpr std::uint32_t Tag(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}
constexpr std::uint32_t kIHDR = Tag("IHDR"), kPLTE = Tag("PLTE"), kIDAT = Tag("IDAT"), kIEND = Tag("IEND"),
                        ktRNS = Tag("tRNS"), kgAMA = Tag("gAMA"), kcHRM = Tag("cHRM"), ksRGB = Tag("sRGB"),
                        kiCCP = Tag("iCCP");

std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint32_t Be16(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 8 | p[1];
}

std::uint32_t ChunkCrc(std::uint32_t type, const std::uint8_t* data, std::size_t size) {
    const std::uint8_t tag[4] = {std::uint8_t(type >> 24), std::uint8_t(type >> 16), std::uint8_t(type >> 8),
                                 std::uint8_t(type)};
    return libdeflate_crc32(libdeflate_crc32(0, tag, 4), data, size);
}

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

struct TDecompressor {
    libdeflate_decompressor* D = libdeflate_alloc_decompressor();
    ~TDecompressor() { libdeflate_free_decompressor(D); }
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

#if defined(__SSE2__)
__m128i Abs16(__m128i x) {
    const __m128i negative = _mm_cmplt_epi16(x, _mm_setzero_si128());
    return _mm_sub_epi16(_mm_xor_si128(x, negative), negative);
}

__m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// A pixel's bytes, and a few after it (rows are padded for that).
template <int B> __m128i LoadPixel(const std::uint8_t* p) {
    if constexpr (B <= 4) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(v);
    } else {
        long long v;
        std::memcpy(&v, p, 8);
        return _mm_cvtsi64_si128(v);
    }
}

template <int B> void StorePixel(std::uint8_t* p, __m128i bytes) {
    if constexpr (B <= 4) {
        const std::int32_t v = _mm_cvtsi128_si32(bytes);
        std::memcpy(p, &v, B);
    } else {
        const long long v = _mm_cvtsi128_si64(bytes);
        std::memcpy(p, &v, B);
    }
}

// One pixel of a Paeth row in 16-bit lanes: a left, b above, c upper left,
// x the filtered bytes. Inlined: a call would stand in the chain.
[[gnu::always_inline]] inline __m128i PaethPixel(__m128i a, __m128i b, __m128i c, __m128i x) {
    // p = a + b - c: p - a = b - c, p - b = a - c, p - c = both.
    const __m128i toA = _mm_sub_epi16(b, c), toB = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(toA), pb = Abs16(toB), pc = Abs16(_mm_add_epi16(toA, toB));
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    const __m128i nearest =
        Select(_mm_cmpeq_epi16(smallest, pa), a, Select(_mm_cmpeq_epi16(smallest, pb), b, c));
    return _mm_and_si128(_mm_add_epi16(x, nearest), _mm_set1_epi16(0xFF));
}

template <int B> __m128i LoadLanes(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(LoadPixel<B>(p), _mm_setzero_si128());
}

// Paeth over whole pixels of 3 to 8 bytes, every channel of a pixel at once.
template <int B> void PaethPixels(std::uint8_t* row, const std::uint8_t* prev, std::size_t n) {
    __m128i a = _mm_setzero_si128(), c = a;
    for (std::size_t i = 0; i + B <= n; i += B) {
        const __m128i b = LoadLanes<B>(prev + i);
        a = PaethPixel(a, b, c, LoadLanes<B>(row + i));
        StorePixel<B>(row + i, _mm_packus_epi16(a, a));
        c = b;
    }
}

// Two Paeth rows at once, the second a pixel behind the first and taking
// its pixels above from it in registers. Each pixel waits on the one to
// its left; two rows give the processor two such chains to overlap.
template <int B>
void PaethTwoRows(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prev, std::size_t n) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a0 = zero, c0 = zero, a1 = zero, c1 = zero;
    std::size_t i = 0;
    for (; i + B <= n; i += B) {
        if (i >= B) {
            a1 = PaethPixel(a1, a0, c1, LoadLanes<B>(second + i - B));
            StorePixel<B>(second + i - B, _mm_packus_epi16(a1, a1));
            c1 = a0;
        }
        const __m128i b = LoadLanes<B>(prev + i);
        a0 = PaethPixel(a0, b, c0, LoadLanes<B>(first + i));
        StorePixel<B>(first + i, _mm_packus_epi16(a0, a0));
        c0 = b;
    }
    if (i >= B) {
        a1 = PaethPixel(a1, a0, c1, LoadLanes<B>(second + i - B));
        StorePixel<B>(second + i - B, _mm_packus_epi16(a1, a1));
    }
}
#endif

// Undoes a row's filter; `prev` is the row above (zeros for a pass's first).
template <int B> bool UnfilterAs(int type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n) {
    switch (type) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = B; i < n; ++i)
            row[i] = std::uint8_t(row[i] + row[i - B]);
        return true;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = std::uint8_t(row[i] + prev[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < n && i < B; ++i)
            row[i] = std::uint8_t(row[i] + (prev[i] >> 1));
        for (std::size_t i = B; i < n; ++i)
            row[i] = std::uint8_t(row[i] + ((row[i - B] + prev[i]) >> 1));
        return true;
    case 4: {
#if defined(__SSE2__)
        if constexpr (B >= 3) {
            PaethPixels<B>(row, prev, n);
            return true;
        }
#endif
        // Each channel's left and upper-left neighbours stay in registers:
        // the chain from one pixel to the next is short.
        int a[B] = {}, c[B] = {};
        for (std::size_t i = 0; i + B <= n; i += B) {
#pragma GCC unroll 8
            for (int k = 0; k < B; ++k) {
                const int b = prev[i + k];
                const int pa = std::abs(b - c[k]), pb = std::abs(a[k] - c[k]),
                          pc = std::abs(a[k] + b - 2 * c[k]);
                const int predicted = pa <= pb && pa <= pc ? a[k] : pb <= pc ? b : c[k];
                a[k] = (row[i + k] + predicted) & 0xFF;
                row[i + k] = std::uint8_t(a[k]);
                c[k] = b;
            }
        }
        return true;
    }
    default:
        return false;
    }
}

bool Unfilter(int type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n, int bpp) {
    switch (bpp) {
    case 1:
        return UnfilterAs<1>(type, row, prev, n);
    case 2:
        return UnfilterAs<2>(type, row, prev, n);
    case 3:
        return UnfilterAs<3>(type, row, prev, n);
    case 4:
        return UnfilterAs<4>(type, row, prev, n);
    case 6:
        return UnfilterAs<6>(type, row, prev, n);
    default:
        return UnfilterAs<8>(type, row, prev, n);
    }
}

// Two rows that are both Paeth-filtered, the first below `prev`; false
// (nothing done) where that is not quicker than one row after the other.
bool UnfilterPaethPair(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prev, std::size_t n,
                       int bpp) {
#if defined(__SSE2__)
    switch (bpp) {
    case 3:
        PaethTwoRows<3>(first, second, prev, n);
        return true;
    case 4:
        PaethTwoRows<4>(first, second, prev, n);
        return true;
    case 6:
        PaethTwoRows<6>(first, second, prev, n);
        return true;
    case 8:
        PaethTwoRows<8>(first, second, prev, n);
        return true;
    }
#endif
    (void)first, (void)second, (void)prev, (void)n, (void)bpp;
    return false;
}

struct THeader {
    int Width = 0, Height = 0, Depth = 0, Type = 0;
    bool Interlaced = false;
    int Channels() const { return Type == 2 ? 3 : Type == 4 ? 2 : Type == 6 ? 4 : 1; }
    int BytesPerPixel() const { return std::max(1, Channels() * Depth / 8); }
    std::size_t RowBytes(int width) const { return (std::size_t(width) * Channels() * Depth + 7) / 8; }
};

bool ValidHeader(const THeader& h) {
    switch (h.Type) {
    case 0:
        return h.Depth == 1 || h.Depth == 2 || h.Depth == 4 || h.Depth == 8 || h.Depth == 16;
    case 3:
        return h.Depth == 1 || h.Depth == 2 || h.Depth == 4 || h.Depth == 8;
    case 2:
    case 4:
    case 6:
        return h.Depth == 8 || h.Depth == 16;
    default:
        return false;
    }
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

// The data of IDAT chunks that follow each other in the file, the first one's
// header read already; each chunk's checksum is checked at its end.
class TIdatReader {
public:
    TIdatReader(TPngInput& in, std::uint32_t firstLength) : FIn(in), FLeft(firstLength) {}

    // The next piece; false at the end of the image data or on a fault.
    bool More(const std::uint8_t*& data, std::size_t& size) {
        while (FLeft == 0) {
            if (FDone || !EndChunk())
                return false;
        }
        const std::size_t n = std::min<std::size_t>(FLeft, sizeof FBuffer);
        if (!FIn.Read(FBuffer, n))
            return false;
        FCrc = libdeflate_crc32(FCrc, FBuffer, n);
        FLeft -= static_cast<std::uint32_t>(n);
        data = FBuffer;
        size = n;
        return true;
    }

    // Everything to the end of the image data into `out`, which holds at
    // least what is left of the input; `size` is what it got.
    bool ReadAll(std::uint8_t* out, std::size_t& size) {
        size = 0;
        for (;;) {
            if (FLeft > FIn.Remaining() || !FIn.Read(out + size, FLeft))
                return false;
            FCrc = libdeflate_crc32(FCrc, out + size, FLeft);
            size += FLeft;
            FLeft = 0;
            if (!EndChunk())
                return false;
            if (FDone)
                return true;
        }
    }

    // Reads the rest of the chunk the rows ended in, for its checksum.
    bool FinishChunk() {
        while (FLeft > 0) {
            const std::size_t n = std::min<std::size_t>(FLeft, sizeof FBuffer);
            if (!FIn.Read(FBuffer, n))
                return false;
            FCrc = libdeflate_crc32(FCrc, FBuffer, n);
            FLeft -= static_cast<std::uint32_t>(n);
        }
        return FDone || CrcMatches();
    }

private:
    bool CrcMatches() {
        std::uint8_t tail[4];
        return FIn.Read(tail, 4) && Be32(tail) == FCrc;
    }

    // Checks the chunk's CRC and reads the next chunk's header.
    bool EndChunk() {
        if (!CrcMatches())
            return false;
        std::uint8_t head[8];
        // A file that ends here lacks only its end chunk.
        if (!FIn.Read(head, 8) || Be32(head + 4) != kIDAT || Be32(head) > 0x7FFFFFFFu) {
            FDone = true;
            return true;
        }
        FLeft = Be32(head);
        FCrc = libdeflate_crc32(0, head + 4, 4);
        return true;
    }

    TPngInput& FIn;
    std::uint32_t FLeft;
    std::uint32_t FCrc = libdeflate_crc32(0, "IDAT", 4);
    bool FDone = false;
    std::uint8_t FBuffer[64 * 1024];
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

// What comes before the image data: the header, the palette, the
// transparency and the colours.
struct THead {
    THeader Header;
    std::vector<std::uint8_t> Palette, Transparency;
    bool HasTransparency = false;
    TPngColours Colours;
    std::uint32_t FirstIdatLength = 0; // its chunk header read
};

// The most bytes of each chunk that is read before the image data; 0 for
// the others, which are passed over.
std::uint32_t MostBytesOf(std::uint32_t type) {
    if (type == kIHDR)
        return 13;
    if (type == kPLTE)
        return 768;
    if (type == ktRNS)
        return 256;
    if (type == kgAMA || type == ksRGB)
        return 4;
    if (type == kcHRM)
        return 32;
    if (type == kiCCP)
        return kMaxIccChunk;
    return 0;
}

// Takes in one such chunk, whose checksum is right (the first of each
// kind counts). False when it makes the picture unreadable.
bool TakeChunk(THead& head, std::uint32_t type, std::vector<std::uint8_t>& data, const TPngLimits& limits) {
    THeader& h = head.Header;
    TPngColours& colours = head.Colours;
    const std::size_t length = data.size();
    if (type == kIHDR) {
        if (length != 13)
            return false;
        const std::uint32_t w = Be32(data.data()), hh = Be32(data.data() + 4);
        if (w == 0 || hh == 0 || w > kMaxSide || hh > kMaxSide || data[10] != 0 || data[11] != 0 ||
            data[12] > 1)
            return false;
        h.Width = int(w);
        h.Height = int(hh);
        h.Depth = data[8];
        h.Type = data[9];
        h.Interlaced = data[12] == 1;
        return ValidHeader(h) && std::uint64_t(w) * hh <= limits.MaxPixels;
    }
    if (type == kPLTE) {
        if (length == 0 || length % 3 != 0)
            return h.Type != 3;
        if (head.Palette.empty()) {
            head.Palette = std::move(data);
            if (h.Type == 3)
                head.Palette.resize(std::min<std::size_t>(head.Palette.size(), std::size_t(3) << h.Depth));
        }
    } else if (type == ktRNS) {
        const bool fits = (h.Type == 0 && length == 2) || (h.Type == 2 && length == 6) ||
                          (h.Type == 3 && length > 0 && length <= head.Palette.size() / 3);
        if (fits && !head.HasTransparency) {
            head.Transparency = std::move(data);
            head.HasTransparency = true;
        }
    } else if (type == kgAMA) {
        if (length == 4 && colours.Gamma == 0)
            colours.Gamma = Be32(data.data());
    } else if (type == ksRGB) {
        if (length == 1 && colours.SrgbIntent < 0)
            colours.SrgbIntent = data[0];
    } else if (type == kcHRM) {
        if (length == 32 && !colours.Chromaticities) {
            std::array<std::uint32_t, 8> values;
            for (int i = 0; i < 8; ++i)
                values[i] = Be32(data.data() + 4 * i);
            colours.Chromaticities = values;
        }
    } else if (type == kiCCP && colours.IccProfile.empty()) {
        // A name of 1 to 79 bytes, a zero, the method (0), the profile.
        const auto name = std::find(data.begin(), data.end(), 0);
        if (name != data.end() && name - data.begin() <= 79 && data.end() - name > 2 && name[1] == 0) {
            const std::size_t at = std::size_t(name - data.begin()) + 2;
            std::string profile(kMaxIccProfile, '\0');
            std::size_t got = 0;
            TDecompressor d;
            if (d.D && libdeflate_zlib_decompress(d.D, data.data() + at, data.size() - at, profile.data(),
                                                  profile.size(), &got) == LIBDEFLATE_SUCCESS) {
                profile.resize(got);
                colours.IccProfile = std::move(profile);
            }
        }
    }
    return true;
}

std::optional<THead> ReadHead(TPngInput& in, const TPngLimits& limits) {
    std::uint8_t signature[8];
    if (!in.Read(signature, 8) || std::memcmp(signature, kSignature, 8) != 0)
        return std::nullopt;
    THead head;
    bool haveHeader = false;
    for (;;) {
        std::uint8_t tag[8];
        if (!in.Read(tag, 8))
            return std::nullopt;
        const std::uint32_t length = Be32(tag), type = Be32(tag + 4);
        const bool critical = !(tag[4] & 0x20);
        // The header first, and only there.
        if (length > 0x7FFFFFFFu || (type == kIHDR) == haveHeader || type == kIEND)
            return std::nullopt;
        if (type == kIDAT) {
            head.FirstIdatLength = length;
            break;
        }
        const std::uint32_t most = MostBytesOf(type);
        if (most == 0 || length > most) {
            // A critical chunk nobody knows, or one too long to be right.
            if (critical || !in.Skip(std::uint64_t(length) + 4))
                return std::nullopt;
            continue;
        }
        std::vector<std::uint8_t> data(length);
        std::uint8_t crc[4];
        if (!in.Read(data.data(), length) || !in.Read(crc, 4))
            return std::nullopt;
        if (Be32(crc) != ChunkCrc(type, data.data(), data.size())) {
            if (critical)
                return std::nullopt;
            continue; // a broken extra is left out
        }
        if (!TakeChunk(head, type, data, limits))
            return std::nullopt;
        haveHeader = true;
    }
    if (head.Header.Type == 3 && head.Palette.empty())
        return std::nullopt;
    return head;
}

} // namespace

std::optional<TPngReduced> ReducePng(TPngInput& in, const std::function<std::pair<int, int>(int, int)>& size,
                                     const TPngLimits& limits) {
    std::optional<THead> head = ReadHead(in, limits);
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
            if (!next || next[0] != 4 || !UnfilterPaethPair(row + 1, next + 1, above, rowBytes, bpp)) {
                if (!Unfilter(row[0], row + 1, above, rowBytes, bpp))
                    return std::nullopt;
                if (next && !Unfilter(next[0], next + 1, row + 1, rowBytes, bpp))
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
