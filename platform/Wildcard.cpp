#include "platform/Wildcard.h"

#include <array>
#include <memory>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace tavolix::platform {

namespace {

constexpr std::int32_t kInvalidBase = 0x110000; // invalid byte b decodes to kInvalidBase + b

// True when the code points are in NFC already: the ICU quick check, with
// everything below U+0300 (ASCII, Latin-1, ...) taken as it is.
bool IsNfc(const std::vector<std::int32_t>& cps) {
    std::uint8_t lastClass = 0;
    for (std::int32_t c : cps) {
        if (c < 0x300) {
            lastClass = 0;
            continue;
        }
        if (u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) != UNORM_YES)
            return false;
        const std::uint8_t cls = u_getCombiningClass(c);
        if (cls != 0 && cls < lastClass)
            return false;
        lastClass = cls;
    }
    return true;
}

void ComposeNfc(std::vector<std::int32_t>& cps) {
    UErrorCode error = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(error);
    if (U_FAILURE(error))
        return;
    icu::UnicodeString text;
    for (std::int32_t c : cps)
        text.append(static_cast<UChar32>(c));
    const icu::UnicodeString composed = nfc->normalize(text, error);
    if (U_FAILURE(error))
        return;
    cps.clear();
    for (std::int32_t i = 0; i < composed.length();) {
        const UChar32 c = composed.char32At(i);
        cps.push_back(c);
        i += U16_LENGTH(c);
    }
}

// Decodes UTF-8 into upper-cased code points of its NFC form, so that a name
// written decomposed (as macOS and many shares store names) matches a key
// typed composed. Every byte of a bad sequence stands for itself so that any
// name survives and matches only itself; such a name is not composed.
void DecodeUpper(std::string_view s, std::vector<std::int32_t>& out) {
    out.clear();
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    std::int32_t i = 0;
    const auto n = static_cast<std::int32_t>(s.size());
    bool valid = true;
    bool composable = false;
    while (i < n) {
        UChar32 c;
        std::int32_t start = i;
        U8_NEXT(p, i, n, c);
        if (c < 0) {
            valid = false;
            for (std::int32_t k = start; k < i; ++k)
                out.push_back(kInvalidBase + p[k]);
        } else {
            composable = composable || c >= 0x300;
            out.push_back(c);
        }
    }
    if (valid && composable && !IsNfc(out))
        ComposeNfc(out);
    for (std::int32_t& c : out)
        c = UpperCodePoint(c);
}

inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::int32_t UpperCodePoint(std::int32_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c >= kInvalidBase)
        return c;
    return u_toupper(c);
}

TWildcard::TWildcard(std::string_view pattern) {
    bool endedInDot = !pattern.empty() && pattern.back() == '.';
    while (!pattern.empty() && (pattern.back() == '.' || pattern.back() == ' '))
        pattern.remove_suffix(1);

    std::vector<std::int32_t> cps;
    DecodeUpper(pattern, cps);
    if (pattern == "*.*") {
        FTokens = {kStar};
    } else {
        for (std::size_t i = 0; i < cps.size(); ++i) {
            std::int32_t c = cps[i];
            std::int32_t next = i + 1 < cps.size() ? cps[i + 1] : 0;
            switch (c) {
            case '?':
            case '>':
                FTokens.push_back(kDosQm);
                break;
            case '<':
                FTokens.push_back(kDosStar);
                break;
            case '"':
                FTokens.push_back(kDosDot);
                break;
            case '.':
                FTokens.push_back(next == '?' || next == '*' ? kDosDot : c);
                break;
            case '*':
                FTokens.push_back(next == '.' ? kDosStar : kStar);
                break;
            default:
                FTokens.push_back(c);
            }
        }
        // A star before the pattern's trailing dot stops at the name's last
        // dot, and that dot may close the name: "*." takes "README" and "a.".
        if (endedInDot && !FTokens.empty() && (FTokens.back() == kStar || FTokens.back() == kDosStar)) {
            FTokens.back() = kDosStar;
            FTokens.push_back(kDosDot);
        }
    }

    if (FTokens.empty()) {
        FKind = kNone;
    } else if (FTokens.size() == 1 && FTokens[0] == kStar) {
        FKind = kAll;
    } else if (FTokens.size() >= 2 && FTokens[0] == kDosStar && FTokens[1] == '.') {
        // DOS_STAR followed by literals that begin with a dot: the name's last
        // dot always falls into the literal tail, so only the suffix counts.
        bool literal = true;
        for (std::size_t i = 1; i < FTokens.size(); ++i)
            literal = literal && FTokens[i] >= 0;
        if (literal) {
            FKind = kSuffix;
            FSuffixAscii = true;
            for (std::size_t i = 1; i < FTokens.size(); ++i) {
                if (FTokens[i] >= 0x80)
                    FSuffixAscii = false;
                else
                    FSuffix.push_back(static_cast<char>(FTokens[i]));
            }
        }
    }
}

TWildcard TWildcard::AnyOf(std::string_view patterns) {
    TWildcard list;
    list.FKind = kNone;
    for (;;) {
        const std::size_t end = patterns.find(';');
        std::string_view p = patterns.substr(0, end);
        while (!p.empty() && (p.front() == ' ' || p.front() == '\t'))
            p.remove_prefix(1);
        while (!p.empty() && (p.back() == ' ' || p.back() == '\t'))
            p.remove_suffix(1);
        if (!p.empty()) {
            TWildcard one(p);
            if (one.FKind == kAll)
                return one;
            if (one.FKind != kNone)
                list.FAlternatives.push_back(std::move(one));
        }
        if (end == std::string_view::npos)
            break;
        patterns.remove_prefix(end + 1);
    }
    if (list.FAlternatives.size() == 1)
        return std::move(list.FAlternatives.front());
    if (!list.FAlternatives.empty())
        list.FKind = kAnyOf;
    return list;
}

bool TWildcard::Matches(std::string_view name) const {
    if (name.empty() || FKind == kNone)
        return false;
    if (FKind == kAll)
        return true;
    if (FKind == kAnyOf) {
        for (const TWildcard& one : FAlternatives)
            if (one.Matches(name))
                return true;
        return false;
    }
    if (FKind == kSuffix && FSuffixAscii && IsAscii(name)) {
        if (name.size() < FSuffix.size())
            return false;
        const char* tail = name.data() + name.size() - FSuffix.size();
        for (std::size_t i = 0; i < FSuffix.size(); ++i)
            if (AsciiUpper(tail[i]) != FSuffix[i])
                return false;
        return true;
    }
    thread_local std::vector<std::int32_t> cps;
    DecodeUpper(name, cps);
    return MatchGeneral(cps.data(), cps.size());
}

// A simulation of the pattern's automaton: the set of pattern positions that
// can be reached after each character; no backtracking, so no blow-up.
bool TWildcard::MatchGeneral(const std::int32_t* name, std::size_t len) const {
    const std::size_t m = FTokens.size();
    std::size_t lastDot = len;
    for (std::size_t i = len; i-- > 0;) {
        if (name[i] == '.') {
            lastDot = i;
            break;
        }
    }

    std::array<char, 256> bufA{}, bufB{};
    std::unique_ptr<char[]> heapA, heapB;
    char* cur = bufA.data();
    char* nxt = bufB.data();
    if (m + 1 > bufA.size()) {
        heapA = std::make_unique<char[]>(m + 1);
        heapB = std::make_unique<char[]>(m + 1);
        cur = heapA.get();
        nxt = heapB.get();
    }
    std::fill(cur, cur + m + 1, 0);
    cur[0] = 1;

    // Zero-width steps depend on the character that comes next (or the end).
    auto closure = [&](char* set, std::size_t pos) {
        const bool atEnd = pos == len;
        const bool atDot = !atEnd && name[pos] == '.';
        for (std::size_t p = 0; p < m; ++p) {
            if (!set[p])
                continue;
            std::int32_t t = FTokens[p];
            if (t == kStar || t == kDosStar || (t == kDosQm && (atEnd || atDot)) || (t == kDosDot && atEnd))
                set[p + 1] = 1;
        }
    };

    closure(cur, 0);
    for (std::size_t i = 0; i < len; ++i) {
        const std::int32_t c = name[i];
        std::fill(nxt, nxt + m + 1, 0);
        bool any = false;
        for (std::size_t p = 0; p < m; ++p) {
            if (!cur[p])
                continue;
            std::int32_t t = FTokens[p];
            switch (t) {
            case kStar:
                nxt[p] = 1;
                break;
            case kDosStar:
                // The last dot is left to what follows, unless that is
                // another DOS_STAR: "<<" takes every name.
                if (c != '.' || i != lastDot || (p + 1 < m && FTokens[p + 1] == kDosStar))
                    nxt[p] = 1;
                break;
            case kDosQm:
                if (c != '.')
                    nxt[p + 1] = 1;
                break;
            case kDosDot:
                if (c == '.')
                    nxt[p + 1] = 1;
                break;
            default:
                if (c == t)
                    nxt[p + 1] = 1;
            }
        }
        for (std::size_t p = 0; p <= m; ++p)
            any = any || nxt[p];
        if (!any)
            return false;
        closure(nxt, i + 1);
        std::swap(cur, nxt);
    }
    return cur[m] != 0;
}

} // namespace tavolix::platform
