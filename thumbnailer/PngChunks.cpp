// The bytes of a PNG and its chunks: the inputs, the chunks before the
// image data and the image data's chunks.
#include "thumbnailer/PngReduceInternal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace tavolix::thumbnailer

namespace tavolix::thumbnailer::png {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The largest width and height libpng takes unless told otherwise.
constexpr std::uint32_t kMaxSide = 1000000;
constexpr std::uint32_t kMaxIccChunk = 1u << 20;
constexpr std::size_t kMaxIccProfile = 4u << 20;

constexpr std::uint32_t Tag(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}
constexpr std::uint32_t kIHDR = Tag("IHDR"), kPLTE = Tag("PLTE"), kIDAT = Tag("IDAT"), kIEND = Tag("IEND"),
                        ktRNS = Tag("tRNS"), kgAMA = Tag("gAMA"), kcHRM = Tag("cHRM"), ksRGB = Tag("sRGB"),
                        kiCCP = Tag("iCCP");

std::uint32_t ChunkCrc(std::uint32_t type, const std::uint8_t* data, std::size_t size) {
    const std::uint8_t tag[4] = {std::uint8_t(type >> 24), std::uint8_t(type >> 16), std::uint8_t(type >> 8),
                                 std::uint8_t(type)};
    return libdeflate_crc32(libdeflate_crc32(0, tag, 4), data, size);
}

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

} // namespace

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

bool TIdatReader::More(const std::uint8_t*& data, std::size_t& size) {
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

bool TIdatReader::ReadAll(std::uint8_t* out, std::size_t& size) {
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

bool TIdatReader::FinishChunk() {
    while (FLeft > 0) {
        const std::size_t n = std::min<std::size_t>(FLeft, sizeof FBuffer);
        if (!FIn.Read(FBuffer, n))
            return false;
        FCrc = libdeflate_crc32(FCrc, FBuffer, n);
        FLeft -= static_cast<std::uint32_t>(n);
    }
    return FDone || CrcMatches();
}

bool TIdatReader::CrcMatches() {
    std::uint8_t tail[4];
    return FIn.Read(tail, 4) && Be32(tail) == FCrc;
}

bool TIdatReader::EndChunk() {
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

} // namespace tavolix::thumbnailer::png
