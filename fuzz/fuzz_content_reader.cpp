// A file's bytes read for a text: the first byte chooses how the text is
// matched, the bytes up to the first line end are the text (a regular
// expression too), the rest is the file. Read in blocks of 64 bytes with a
// line start of 256 kept (its first MiB), and in the reader's own sizes:
// where lines are short and no NUL makes the first block binary, both give
// the same.
#include "FuzzOneInput.h"
#include "search/ContentReader.h"
#include "search/TextMatcher.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tavolix;

namespace {

// Each line's bytes below `limit`.
bool LinesBelow(std::string_view text, std::size_t limit) {
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (end - at >= limit)
            return false;
        at = end + 1;
    }
    return true;
}

} // namespace

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nl = input.find('\n');
    if (nl == std::string_view::npos || nl > 64)
        return 0;
    search::TContentChoice choice;
    choice.Text = std::string(input.substr(0, nl));
    choice.IgnoreCase = (data[0] & 1) != 0;
    choice.WholeWords = (data[0] & 2) != 0;
    choice.Regex = (data[0] & 4) != 0;
    if (choice.Empty())
        return 0;
    std::string_view file = input.substr(nl + 1);
    // A regular expression costs up to its limit on every line: a few lines
    // and a low limit hold one input to the budget.
    if (choice.Regex)
        file = file.substr(0, 16 * 1024);
    const auto matcher = search::TTextMatcher::Make(
        choice, nullptr, choice.Regex ? 10'000 : search::TTextMatcher::kMatchLimit);
    if (!matcher)
        return 0;
    search::TContentReader small(matcher, 64, 256);
    search::TContentReader large(matcher);
    // The whole input in the reader's own sizes; in small blocks up to 1 MiB
    // (a block of 64 bytes costs a look of its own: more would pass the budget).
    const search::TContentResult b = large.ReadBytes(file);
    const bool whole = file.size() <= 1024 * 1024;
    const search::TContentResult a = small.ReadBytes(file.substr(0, 1024 * 1024));
    for (const search::TContentResult* r : {&a, &b}) {
        if (r->End == search::TContentEnd::Match &&
            (r->Match.Line < 1 || r->Match.Column < 1 ||
             r->Match.Text.size() > search::TContentReader::kShownBytes))
            std::abort();
        if (r->End != search::TContentEnd::Match && !r->Match.Text.empty())
            std::abort();
    }
    const bool utf16 = file.size() >= 2 &&
                       ((file[0] == '\xFF' && file[1] == '\xFE') || (file[0] == '\xFE' && file[1] == '\xFF'));
    const bool comparable = whole && !utf16 && file.find('\0') == std::string_view::npos &&
                            LinesBelow(file, 200) && a.End != search::TContentEnd::Limit &&
                            b.End != search::TContentEnd::Limit;
    if (comparable && (a.End != b.End || !(a.Match == b.Match)))
        std::abort();
    // A regular expression that lets lines be passed over finds what one
    // looked for line by line finds ("(?" keeps it to that).
    if (choice.Regex && matcher->CanSkipLines()) {
        search::TContentChoice lineByLine = choice;
        lineByLine.Text = "(?:)" + choice.Text;
        if (const auto m = search::TTextMatcher::Make(lineByLine, nullptr, 10'000)) {
            const search::TContentResult c = search::TContentReader(m).ReadBytes(file);
            if (b.End != search::TContentEnd::Limit && c.End != search::TContentEnd::Limit &&
                (b.End != c.End || !(b.Match == c.Match)))
                std::abort();
        }
    }
    return 0;
}
