#pragma once

#include "search/ContentChoice.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavolix::search {

// Why a pattern could not be compiled.
struct TPatternError {
    std::size_t Offset = 0; // bytes into the text the user gave
    std::string Message;
};

// How one look for the text ended.
enum class TFindEnd : std::uint8_t {
    Found,
    NotFound,
    Limit, // the pattern backtracked past the bounds: neither found nor ruled out
};

struct TFound {
    TFindEnd End = TFindEnd::NotFound;
    std::size_t Offset = 0; // of the match's first byte, when found
    std::size_t Length = 0;
};

// A TContentChoice compiled once (PCRE2, UTF-8 with invalid bytes allowed,
// JIT where the machine has it). The compiled form is shared by any number
// of threads, each with a TScratch of its own. Every look is bounded: a
// pattern that backtracks without end (such as "(a+)+$" on a long line of
// "a") gives up after kMatchLimit steps on a line (and the interpreter's stack after
// kHeapLimitKiB) with TFindEnd::Limit.
class TTextMatcher {
public:
    static constexpr std::uint32_t kMatchLimit = 10'000'000;
    static constexpr std::uint32_t kDepthLimit = 100'000;
    static constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;

    // Nothing, with `error` set, when the pattern can't be compiled (only a
    // regular expression can fail; the offset then names the fault).
    // `matchLimit`: the steps of one look (lower for a fuzzer's budget).
    static std::shared_ptr<const TTextMatcher> Make(const TContentChoice& choice,
                                                    TPatternError* error = nullptr,
                                                    std::uint32_t matchLimit = kMatchLimit);
    ~TTextMatcher();
    TTextMatcher(const TTextMatcher&) = delete;
    TTextMatcher& operator=(const TTextMatcher&) = delete;

    // What one thread needs to match: made once, used for every look.
    class TScratch {
    public:
        explicit TScratch(const TTextMatcher& matcher);
        ~TScratch();
        TScratch(const TScratch&) = delete;
        TScratch& operator=(const TScratch&) = delete;

    private:
        friend class TTextMatcher;
        void* FData;
    };

    // The first match in `text`. `text` may hold many lines (each ended by
    // "\n") only when SpansNoLines(): a match then never crosses a line end.
    TFound Find(std::string_view text, TScratch& scratch) const;
    // Whether a match can never hold a line end, so that a run of whole
    // lines may be searched at once (a literal text without one).
    bool SpansNoLines() const { return FSpansNoLines; }
    // A regular expression whose match on a line is also one in a run of
    // lines holding it (no anchors to the subject, no "$", no look-around,
    // \K or verbs): FindInLines then finds where the first such match may
    // start, so lines before it need no look of their own. Its own match
    // may cross line ends: the line it starts on is looked at alone.
    bool CanSkipLines() const { return FLinesCode != nullptr; }
    TFound FindInLines(std::string_view lines, TScratch& scratch) const;
    // Whether the pattern was compiled to machine code (else interpreted).
    bool Jit() const { return FJit; }

private:
    TTextMatcher() = default;
    void* FCode = nullptr;      // pcre2_code_8
    void* FLinesCode = nullptr; // the same pattern with "^" at each line's start
    void* FContext = nullptr;   // pcre2_match_context_8
    bool FJit = false;
    bool FSpansNoLines = false;
};

} // namespace tavolix::search
