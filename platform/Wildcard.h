#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavolix::platform {

// One wildcard key, compiled once and matched against long file names by the
// rule the Windows directory enumeration applies (there are no 8.3 aliases
// here, so only the long name is tested):
//  - trailing dots and blanks of the pattern are dropped; "*.*" means "*";
//  - "?" is DOS_QM: one character other than a dot, or nothing at a dot or at
//    the end of the name;
//  - "." before "?" or "*" is DOS_DOT: a dot, or nothing at the end;
//  - "*" before "." is DOS_STAR: any characters, but never the name's last dot
//    unless another DOS_STAR follows directly ("<<" matches every name);
//  - a final "*" or "<" of a pattern that ended in "." is DOS_STAR followed by
//    DOS_DOT: "*." matches "README" and "a.", not "a.txt";
//  - "<", ">" and '"' are DOS_STAR, DOS_QM and DOS_DOT themselves;
//  - pattern and name are compared in Unicode NFC, so a name stored
//    decomposed matches a key typed composed; the name itself is not changed;
//  - case is ignored per character (Unicode simple upper case), a name that
//    is not UTF-8 is not composed and its bad bytes match only themselves,
//    and an empty name never matches.
class TWildcard {
public:
    explicit TWildcard(std::string_view pattern);
    // Several patterns separated by ";" ("*.jpg;*.png"), a name matching any
    // of them; blanks around each are dropped, empty ones left out.
    static TWildcard AnyOf(std::string_view patterns);
    // The key as the search reads it: one pattern, or with `lists` AnyOf.
    static TWildcard Key(std::string_view key, bool lists) { return lists ? AnyOf(key) : TWildcard(key); }

    bool Matches(std::string_view name) const;
    // True when every non-empty name matches ("*", "*.*").
    bool MatchesAll() const { return FKind == kAll; }

    enum : std::int32_t { kStar = -1, kDosStar = -2, kDosQm = -3, kDosDot = -4 };
    // The compiled tokens: upper-cased code points or one of the k* values.
    const std::vector<std::int32_t>& Tokens() const { return FTokens; }

private:
    enum TKind : std::uint8_t { kGeneral, kAll, kSuffix, kNone, kAnyOf };
    TWildcard() = default;
    bool MatchGeneral(const std::int32_t* name, std::size_t len) const;

    std::vector<std::int32_t> FTokens;
    TKind FKind = kGeneral;
    // For kSuffix ("*.gif" and the like): the ASCII suffix, upper case.
    std::vector<char> FSuffix;
    bool FSuffixAscii = false;
    std::vector<TWildcard> FAlternatives; // kAnyOf
};

// Simple upper case of one code point (invalid bytes pass unchanged).
std::int32_t UpperCodePoint(std::int32_t c);

} // namespace tavolix::platform
