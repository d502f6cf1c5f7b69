#include "search/TextMatcher.h"

#include <algorithm>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace tavolix::search {

namespace {

pcre2_code* Code(void* p) {
    return static_cast<pcre2_code*>(p);
}

// A literal text as a pattern: every ASCII character that is not a letter
// or digit is escaped (PCRE2 reads "\" before such a one as the character);
// other bytes stand for themselves.
std::string EscapedLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain =
            u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
        if (!plain)
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// Whether a match of `pattern` on a line alone is one at the same place in
// the lines around it too: nothing that looks at the subject's ends or
// beyond the match, nor moves its start (\K) or ends the search early (verbs).
// An escaped "$" or "(" is refused as well, to be simple.
bool LineLocal(std::string_view pattern) {
    if (pattern.find('$') != std::string_view::npos || pattern.find("(?") != std::string_view::npos ||
        pattern.find("(*") != std::string_view::npos)
        return false;
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '\\' && std::string_view("AZzGK").find(pattern[i + 1]) != std::string_view::npos)
            return false;
    }
    return true;
}

TFound Match(pcre2_code* code, std::string_view text, pcre2_match_data* data, pcre2_match_context* context) {
    const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    int rc = pcre2_match(code, subject, text.size(), 0, 0, data, context);
    // JIT's stack is small and fixed: the interpreter, bounded by the heap
    // limit, tries again.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc = pcre2_match(code, subject, text.size(), 0, PCRE2_NO_JIT, data, context);
    if (rc >= 0) {
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        return {TFindEnd::Found, ovector[0], ovector[1] - ovector[0]};
    }
    if (rc == PCRE2_ERROR_NOMATCH || rc == PCRE2_ERROR_PARTIAL)
        return {};
    // Match, depth or heap limit, or any other failure: not known either way.
    return {TFindEnd::Limit, 0, 0};
}

} // namespace

std::shared_ptr<const TTextMatcher> TTextMatcher::Make(const TContentChoice& choice, TPatternError* error,
                                                       std::uint32_t matchLimit) {
    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_UCP;
    if (choice.IgnoreCase)
        options |= PCRE2_CASELESS;
    auto compile = [options, error](const std::string& pattern, std::uint32_t more = 0) -> pcre2_code* {
        int code = 0;
        PCRE2_SIZE offset = 0;
        pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                             options | more, &code, &offset, nullptr);
        if (!compiled && error) {
            PCRE2_UCHAR text[256];
            pcre2_get_error_message(code, text, sizeof text);
            error->Message = reinterpret_cast<const char*>(text);
            error->Offset = std::min<std::size_t>(offset, pattern.size());
        }
        return compiled;
    };
    std::string pattern = choice.Regex ? choice.Text : EscapedLiteral(choice.Text);
    if (choice.WholeWords) {
        // The user's pattern alone first: a fault's offset is then in the
        // text the user gave, not in the group around it.
        if (choice.Regex) {
            pcre2_code* bare = compile(pattern);
            if (!bare)
                return nullptr;
            pcre2_code_free(bare);
        }
        // Inside a group, the bounds of a word hold for every alternative.
        pattern = "(?<!\\w)(?:" + pattern + ")(?!\\w)";
    }
    pcre2_code* compiled = compile(pattern);
    if (!compiled)
        return nullptr;
    std::shared_ptr<TTextMatcher> m(new TTextMatcher);
    m->FCode = compiled;
    m->FJit = pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) == 0;
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(context, matchLimit);
    pcre2_set_depth_limit(context, kDepthLimit);
    pcre2_set_heap_limit(context, kHeapLimitKiB);
    m->FContext = context;
    m->FSpansNoLines = !choice.Regex && choice.Text.find('\n') == std::string::npos;
    if (choice.Regex && LineLocal(choice.Text)) {
        auto lines = compile(pattern, PCRE2_MULTILINE);
        if (lines) {
            pcre2_jit_compile(lines, PCRE2_JIT_COMPLETE);
            m->FLinesCode = lines;
        }
    }
    return m;
}

TTextMatcher::~TTextMatcher() {
    pcre2_match_context_free(static_cast<pcre2_match_context*>(FContext));
    pcre2_code_free(Code(FLinesCode));
    pcre2_code_free(Code(FCode));
}

TTextMatcher::TScratch::TScratch(const TTextMatcher& matcher)
    : FData(pcre2_match_data_create_from_pattern(Code(matcher.FCode), nullptr)) {
}

TTextMatcher::TScratch::~TScratch() {
    pcre2_match_data_free(static_cast<pcre2_match_data*>(FData));
}

TFound TTextMatcher::Find(std::string_view text, TScratch& scratch) const {
    return Match(Code(FCode), text, static_cast<pcre2_match_data*>(scratch.FData),
                 static_cast<pcre2_match_context*>(FContext));
}

TFound TTextMatcher::FindInLines(std::string_view lines, TScratch& scratch) const {
    return Match(Code(FLinesCode), lines, static_cast<pcre2_match_data*>(scratch.FData),
                 static_cast<pcre2_match_context*>(FContext));
}

} // namespace tavolix::search
