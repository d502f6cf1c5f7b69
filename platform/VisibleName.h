#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavolix::platform {

// A file name as text to be read by a person: control characters (C0, DEL,
// C1), bidirectional controls and the line and paragraph separators become
// "\u" and four hex digits, so that they are seen rather than obeyed (an
// override can make "evil\u202Egpj.exe" read as "evilexe.jpg"; CR and LF
// split or vanish). Bytes that are not UTF-8 become U+FFFD. Every other
// name comes back unchanged. Only for showing: paths keep their bytes.
std::string VisibleName(std::string_view bytes);

// One step of VisibleName: appends what the character at text[i] shows as
// and returns how many bytes it took (at least 1).
std::size_t AppendVisibleChar(std::string& out, std::string_view text, std::size_t i);

} // namespace tavolix::platform
