#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavolix::thumbnailer {

// Where a PNG's bytes come from, front to back.
class TPngInput {
public:
    virtual ~TPngInput() = default;
    // The next `size` bytes; false when there are fewer or reading fails.
    virtual bool Read(std::uint8_t* to, std::size_t size) = 0;
    virtual bool Skip(std::uint64_t size) = 0;
    // The bytes left to read.
    virtual std::uint64_t Remaining() const = 0;
};

// Bytes in memory, which the caller keeps.
class TPngBytes : public TPngInput {
public:
    TPngBytes(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    bool Read(std::uint8_t* to, std::size_t size) override;
    bool Skip(std::uint64_t size) override;
    std::uint64_t Remaining() const override { return FSize - FAt; }

private:
    const std::uint8_t* FData;
    std::size_t FSize, FAt = 0;
};

// An open regular file from its current offset; the caller keeps the handle.
class TPngFile : public TPngInput {
public:
    explicit TPngFile(int fd);
    bool Read(std::uint8_t* to, std::size_t size) override;
    bool Skip(std::uint64_t size) override;
    std::uint64_t Remaining() const override;

private:
    bool Fill();
    int FFd;
    std::uint64_t FLeft = 0; // in the file, past the buffer
    std::vector<std::uint8_t> FBuffer;
    std::size_t FAt = 0, FEnd = 0;
};

// What a PNG says about its colours; the pixels are left as they are.
struct TPngColours {
    std::string IccProfile;  // iCCP, inflated
    int SrgbIntent = -1;     // sRGB
    std::uint32_t Gamma = 0; // gAMA, times 100000; 0 without
    std::optional<std::array<std::uint32_t, 8>>
        Chromaticities; // cHRM: white, red, green, blue x and y, times 100000
};

// A PNG averaged while it is read into a smaller picture: each of its
// pixels is the mean of the pixels it covers (of an interlaced picture's
// first passes alone, when they give it enough samples). No picture of the
// full size is ever held.
struct TPngReduced {
    int Width = 0, Height = 0; // the picture's
    int OutWidth = 0, OutHeight = 0;
    std::vector<std::uint32_t> Pixels; // premultiplied 0xAARRGGBB, OutWidth a row
    bool HasAlpha = false;             // an alpha channel or a transparent colour
    TPngColours Colours;
};

struct TPngLimits {
    std::uint64_t MaxPixels = std::uint64_t(1) << 26; // of the picture
    std::uint64_t MaxOutPixels = 1u << 20;            // of the result
    // The compressed and the inflated image data are held whole (the fast
    // inflate) when together they take at most this many bytes; otherwise
    // they are inflated a piece at a time.
    std::uint64_t WholeBytes = 96u << 20;
};

// Reads a PNG at the size `size` gives for its width and height (no
// larger than the picture). nullopt for anything that is not a whole,
// valid PNG picture within the limits.
std::optional<TPngReduced> ReducePng(TPngInput& in, const std::function<std::pair<int, int>(int, int)>& size,
                                     const TPngLimits& limits = {});

} // namespace tavolix::thumbnailer
