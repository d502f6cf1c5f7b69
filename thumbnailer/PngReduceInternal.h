#pragma once

// The PNG reader's own parts, shared by its files: the chunks, the rows'
// filters and the reduction. Nothing outside the reader uses them.
#include "thumbnailer/PngReduce.h"

#include <cstddef>
#include <cstdint>
#include <libdeflate.h>
#include <optional>
#include <vector>

namespace tavolix::thumbnailer::png {

// Bytes after every row, so that a pixel's bytes load in one go.
constexpr std::size_t kRowPadding = 8;

inline std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
inline std::uint32_t Be16(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 8 | p[1];
}

struct TDecompressor {
    libdeflate_decompressor* D = libdeflate_alloc_decompressor();
    ~TDecompressor() { libdeflate_free_decompressor(D); }
};

struct THeader {
    int Width = 0, Height = 0, Depth = 0, Type = 0;
    bool Interlaced = false;
    int Channels() const { return Type == 2 ? 3 : Type == 4 ? 2 : Type == 6 ? 4 : 1; }
    int BytesPerPixel() const { return std::max(1, Channels() * Depth / 8); }
    std::size_t RowBytes(int width) const { return (std::size_t(width) * Channels() * Depth + 7) / 8; }
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

// The signature and the chunks before the image data, up to the first IDAT
// chunk's header. nullopt for anything that is not the start of a valid PNG
// within the limits.
std::optional<THead> ReadHead(TPngInput& in, const TPngLimits& limits);

// The data of IDAT chunks that follow each other in the file, the first one's
// header read already; each chunk's checksum is checked at its end.
class TIdatReader {
public:
    TIdatReader(TPngInput& in, std::uint32_t firstLength) : FIn(in), FLeft(firstLength) {}

    // The next piece; false at the end of the image data or on a fault.
    bool More(const std::uint8_t*& data, std::size_t& size);
    // Everything to the end of the image data into `out`, which holds at
    // least what is left of the input; `size` is what it got.
    bool ReadAll(std::uint8_t* out, std::size_t& size);
    // Reads the rest of the chunk the rows ended in, for its checksum.
    bool FinishChunk();

private:
    bool CrcMatches();
    // Checks the chunk's CRC and reads the next chunk's header.
    bool EndChunk();

    TPngInput& FIn;
    std::uint32_t FLeft;
    std::uint32_t FCrc = libdeflate_crc32(0, "IDAT", 4);
    bool FDone = false;
    std::uint8_t FBuffer[64 * 1024];
};

// Undoes a row's filter (`type`, 0 to 4; false for any other) over `n`
// bytes of `bpp`-byte pixels; `prev` is the row above (zeros for a pass's
// first). Rows are padded by kRowPadding.
bool Unfilter(int type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n, int bpp);
// Two rows that are both Paeth-filtered, the first below `prev`; false
// (nothing done) where that is not quicker than one row after the other.
bool UnfilterPaethPair(std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prev, std::size_t n,
                       int bpp);

} // namespace tavolix::thumbnailer::png
