#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::platform {

// What a file must be besides matching the key: applied while a directory
// is read, the name first (no stat for a name the key or the extensions
// reject), then the size and time the stat gave.
struct TFileFilter {
    // With ByExtension only names with one of Extensions (upper-case ASCII,
    // the dot included: ".JPG"; none at all: no name) are taken. A name's
    // extension runs from its last dot; a name without a dot has none.
    bool ByExtension = false;
    std::vector<std::string> Extensions;
    std::optional<std::int64_t> MinSize, MaxSize; // bytes, both included
    // Last written at or after / strictly before (seconds since the epoch, UTC).
    std::optional<std::int64_t> ChangedFrom, ChangedBefore;

    bool Empty() const { return !ByExtension && !TestsStat(); }
    bool TestsStat() const { return MinSize || MaxSize || ChangedFrom || ChangedBefore; }
    // Sorts and upper-cases Extensions, which PassesName needs.
    void Prepare();
    bool PassesName(std::string_view name) const;
    bool PassesStat(std::int64_t size, const TFileTime& written) const;
};

// Sizes in the grammar of fd's --size: digits, then an optional unit, case
// ignored: b (bytes), k m g t (powers of 1000), ki mi gi ti (powers of
// 1024), each with an optional trailing b ("kb", "MiB"). No unit: bytes.
// Nothing for anything else or a size past 2^63.
std::optional<std::int64_t> ParseSize(std::string_view text);

// A size bound "+N" (at least N), "-N" (at most N) or "N" (exactly N).
struct TSizeBound {
    enum TKind : unsigned char { AtLeast, AtMost, Exactly };
    TKind Kind = Exactly;
    std::int64_t Bytes = 0;
};
std::optional<TSizeBound> ParseSizeBound(std::string_view text);

// A moment given as a duration back from `now` ("7d", "12h", "1w2d", "90min";
// units s sec second(s), m min minute(s), h hr hour(s), d day(s), w week(s),
// M month(s) of 30.44 days, y year(s) of 365.25 days) or as a local date
// ("2024-01-01": its midnight, local time) or local date and time
// ("2024-01-01 10:00:00", also with "T"). Seconds since the epoch; nothing
// for anything else, an impossible date or a duration past 10000 years.
std::optional<std::int64_t> ParseTimePoint(std::string_view text, std::time_t now);
// True when ParseTimePoint reads `text` as a date (it begins "YYYY-").
bool NamesADate(std::string_view text);

} // namespace tavolix::platform
