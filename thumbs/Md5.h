#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavolix::thumbs {

// MD5 (RFC 1321), which the thumbnail cache names its files by.
std::array<std::uint8_t, 16> Md5(std::string_view bytes);
// The digest as 32 lower-case hex digits.
std::string Md5Hex(std::string_view bytes);

} // namespace tavolix::thumbs
