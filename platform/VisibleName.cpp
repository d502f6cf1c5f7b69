#include "platform/VisibleName.h"

namespace tavolix::platform {

namespace {

char32_t CodePoint(std::string_view text, std::size_t i, std::size_t len) {
    auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(text[i + k])); };
    switch (len) {
    case 1:
        return byte(0);
    case 2:
        return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3:
        return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default:
        return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
    }
}

// Characters a text renderer obeys or drops instead of drawing.
bool IsShownEscaped(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0; // no overlong forms
        if (c == 0xED)
            hi = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return len;
}

} // namespace

std::size_t AppendVisibleChar(std::string& out, std::string_view text, std::size_t i) {
    const std::size_t len = Utf8SequenceAt(text, i);
    if (len == 0) {
        out += "\xEF\xBF\xBD";
        return 1;
    }
    // Only the lead bytes of the characters escaped need a closer look.
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead >= 0x20 && lead != 0x7F && lead != 0xC2 && lead != 0xD8 && lead != 0xE2) {
        out.append(text.substr(i, len));
        return len;
    }
    const char32_t c = CodePoint(text, i, len);
    if (!IsShownEscaped(c)) {
        out.append(text.substr(i, len));
        return len;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char escape[6] = {
        '\\', 'u', kHex[(c >> 12) & 0xF], kHex[(c >> 8) & 0xF], kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
    out.append(escape, 6);
    return len;
}

std::string VisibleName(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();)
        i += AppendVisibleChar(out, bytes, i);
    return out;
}

} // namespace tavolix::platform
