#pragma once

#include <string>

namespace tavolix::search {

// What the files found must hold, as the user gives it; an empty Text
// searches names alone.
struct TContentChoice {
    std::string Text;        // UTF-8
    bool IgnoreCase = false; // case-blind, by Unicode's simple folding
    bool WholeWords = false; // not inside a longer word
    bool Regex = false;      // Text is a regular expression (else taken literally)
    bool Empty() const { return Text.empty(); }
    bool operator==(const TContentChoice&) const = default;
};

} // namespace tavolix::search
