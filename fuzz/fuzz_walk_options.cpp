// The settings file's walk choices, filters and memory of searches, and
// names from a directory matched against keys (one pattern or several) and
// exclusions in NFC: hostile text in all of them.
#include "FuzzOneInput.h"
#include "platform/FileFilter.h"
#include "platform/Profile.h"
#include "platform/Wildcard.h"
#include "search/WalkOptions.h"
#include "settings/FilterChoice.h"
#include "settings/SearchMemory.h"
#include "settings/SearchSettings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tavolix;

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const platform::TProfileText profile(text);
    const search::TWalkOptions options = settings::WalkOptionsOf(profile);
    const search::TExclusions exclusions(options.Exclude);
    settings::SearchMemoryOf(profile);
    settings::TreeWidthIn(profile);
    platform::TFileFilter filter;
    if (!settings::ResolveFilter(settings::FilterChoiceOf(profile), 1'700'000'000, filter)) {
        // What a resolved filter holds is ready for the walk: sorted, upper-case.
        if (!std::is_sorted(filter.Extensions.begin(), filter.Extensions.end()))
            std::abort();
        filter.PassesName(std::string_view(text).substr(0, 255));
    }
    // Every line as a name or a path below the base (a name is at most 255
    // bytes on Linux, a path of the walk some thousands, a key or a settings
    // value 1023), and each line as a key for the others.
    std::string_view rest(text);
    const std::string_view path = std::string_view(text).substr(0, 4096);
    for (int lines = 0; !rest.empty() && lines < 64; ++lines) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, std::min<std::size_t>(end, 1023));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        exclusions.Excludes(line.substr(0, 255), path);
        const platform::TWildcard key(line);
        key.Matches(path);
        key.Matches(line.substr(0, 255));
        const platform::TWildcard keys = platform::TWildcard::AnyOf(line);
        // A list holds its one pattern: what that pattern takes, the list takes.
        if (line.find(';') == std::string_view::npos && key.Matches(path) != keys.Matches(path) &&
            line.find_first_not_of(" \t") == 0 && line.find_last_not_of(" \t") == line.size() - 1)
            std::abort();
        platform::ParseSizeBound(line);
        if (const auto size = platform::ParseSize(line); size && *size < 0)
            std::abort();
        platform::ParseTimePoint(line, 1'700'000'000);
        // A name always matches "*", whatever bytes it holds.
        if (!line.empty() && !platform::TWildcard("*").Matches(line))
            std::abort();
    }
    return 0;
}
