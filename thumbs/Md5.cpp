#include "thumbs/Md5.h"

#include <cmath>
#include <cstring>

namespace tavolix::thumbs {

namespace {

constexpr std::uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// The sine table: the integer part of |sin(i + 1)| * 2^32 (exact in doubles).
const std::array<std::uint32_t, 64>& SineTable() {
    static const std::array<std::uint32_t, 64> table = [] {
        std::array<std::uint32_t, 64> t{};
        for (int i = 0; i < 64; ++i)
            t[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
        return t;
    }();
    return table;
}

std::uint32_t RotateLeft(std::uint32_t x, std::uint32_t n) {
    return (x << n) | (x >> (32 - n));
}

void Block(std::uint32_t state[4], const unsigned char* p) {
    const auto& k = SineTable();
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = std::uint32_t{p[i * 4]} | std::uint32_t{p[i * 4 + 1]} << 8 |
               std::uint32_t{p[i * 4 + 2]} << 16 | std::uint32_t{p[i * 4 + 3]} << 24;
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (std::uint32_t i = 0; i < 64; ++i) {
        std::uint32_t f, g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next = d;
        d = c;
        c = b;
        b = b + RotateLeft(a + f + k[i] + m[g], kShift[i]);
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

std::array<std::uint8_t, 16> Md5(std::string_view bytes) {
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t i = 0; i < whole; i += 64)
        Block(state, data + i);
    // The tail, the 0x80 byte, zeros, and the length in bits.
    unsigned char tail[128] = {};
    const std::size_t rest = bytes.size() - whole;
    if (rest > 0)
        std::memcpy(tail, data + whole, rest);
    tail[rest] = 0x80;
    const std::size_t tailSize = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
    for (std::size_t i = 0; i < tailSize; i += 64)
        Block(state, tail + i);
    std::array<std::uint8_t, 16> digest{};
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return digest;
}

std::string Md5Hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : Md5(bytes)) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

} // namespace tavolix::thumbs
