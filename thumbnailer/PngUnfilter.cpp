// The rows' filters undone, Paeth with SSE2 where the processor has it.
#include "thumbnailer/PngReduceInternal.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavolix::thumbnailer::png {

namespace {

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

} // namespace

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

} // namespace tavolix::thumbnailer::png
