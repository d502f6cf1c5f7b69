// The settings file's walk choices, and names from a directory matched
// against keys and exclusions in NFC: hostile text in both.
#include "platform/Profile.h"
#include "platform/Wildcard.h"
#include "search/WalkOptions.h"
#include "settings/SearchSettings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tavolix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const search::TWalkOptions options = settings::WalkOptionsOf(platform::TProfileText(text));
    const search::TExclusions exclusions(options.Exclude);
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
        // A name always matches "*", whatever bytes it holds.
        if (!line.empty() && !platform::TWildcard("*").Matches(line))
            std::abort();
    }
    return 0;
}
