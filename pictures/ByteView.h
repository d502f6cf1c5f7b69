#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavolix::pictures {

// A window on bytes read from a file of unknown origin. Every read is checked
// against the end; out-of-range reads give 0, so callers test Has() for whole
// structures and never index past the end.
class TByteView {
public:
    TByteView() = default;
    TByteView(const std::uint8_t* data, std::size_t size) : FData(data), FSize(data ? size : 0) {}
    explicit TByteView(const std::vector<std::uint8_t>& v) : TByteView(v.data(), v.size()) {}

    const std::uint8_t* Data() const { return FData; }
    std::size_t Size() const { return FSize; }
    bool Has(std::size_t off, std::size_t n) const { return off <= FSize && n <= FSize - off; }
    // The bytes [off, off + n), or an empty view when they are not all there.
    TByteView Sub(std::size_t off, std::size_t n) const {
        return Has(off, n) ? TByteView(FData + off, n) : TByteView();
    }
    // The bytes from off to the end (empty when off is past the end).
    TByteView From(std::size_t off) const {
        return off <= FSize ? TByteView(FData + off, FSize - off) : TByteView();
    }

    std::uint8_t U8(std::size_t off) const { return Has(off, 1) ? FData[off] : 0; }
    std::uint16_t U16(std::size_t off) const {
        return Has(off, 2) ? static_cast<std::uint16_t>(FData[off] | (FData[off + 1] << 8)) : 0;
    }
    std::uint32_t U32(std::size_t off) const {
        return Has(off, 4) ? static_cast<std::uint32_t>(FData[off]) |
                                 (static_cast<std::uint32_t>(FData[off + 1]) << 8) |
                                 (static_cast<std::uint32_t>(FData[off + 2]) << 16) |
                                 (static_cast<std::uint32_t>(FData[off + 3]) << 24)
                           : 0;
    }
    std::int16_t I16(std::size_t off) const { return static_cast<std::int16_t>(U16(off)); }
    std::int32_t I32(std::size_t off) const { return static_cast<std::int32_t>(U32(off)); }
    float F32(std::size_t off) const;
    bool Equals(std::size_t off, const char* text, std::size_t n) const;

private:
    const std::uint8_t* FData = nullptr;
    std::size_t FSize = 0;
};

// Random access to the bytes of one file, or of a buffer (fuzzers, tests).
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly n bytes at off; false when they are not all there.
    virtual bool Read(std::uint64_t off, void* dst, std::size_t n) const = 0;
    bool ReadBlock(std::uint64_t off, std::size_t n, std::vector<std::uint8_t>& out) const;
};

class TMemorySource : public TByteSource {
public:
    explicit TMemorySource(TByteView bytes) : FBytes(bytes) {}
    std::uint64_t Size() const override { return FBytes.Size(); }
    bool Read(std::uint64_t off, void* dst, std::size_t n) const override;

private:
    TByteView FBytes;
};

// A regular file opened for reading. Anything else (a FIFO, a device, a
// directory) is refused, so that no read can block the painting thread, and
// so is a file of the kernel's own file systems, whatever path led there.
class TFileSource : public TByteSource {
public:
    explicit TFileSource(const std::string& path);
    // The same file as `fd` (a copy of the descriptor; reads don't move its offset).
    explicit TFileSource(int fd);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    bool IsOpen() const { return FFd >= 0; }
    std::uint64_t Size() const override { return FSize; }
    bool Read(std::uint64_t off, void* dst, std::size_t n) const override;

private:
    int FFd = -1;
    std::uint64_t FSize = 0;
};

// The whole of a regular file, when it is readable and at most maxBytes long.
bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& out);

} // namespace tavolix::pictures
