#pragma once

#include "platform/LocaleFormats.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavolix::search {

using platform::TLocaleFormats;

// True when the packed date-time names a real date and time of day.
bool IsValidFileDate(std::int32_t packed);

// "98/08/01-13:05", or "00/00/00-00:00" when the value can't be shown.
std::string FileDateToText(std::int32_t packed, const TLocaleFormats& f = {});
// "98/08/01", or "00/00/00".
std::string FileDateToDateText(std::int32_t packed, const TLocaleFormats& f = {});
// The windows' form of a date and time (the locale's order, four-digit
// year): "08.12.2026 13:05" in de_DE; "00/00/00-00:00" when it can't be shown.
std::string FileDateToScreenText(std::int32_t packed, const platform::TScreenDateForm& form = {});
// Digits grouped by threes ("#,###,###,###,##0"), "-" for a negative value.
std::string SizeToText(std::int64_t value, const TLocaleFormats& f = {});
// "S", "H", "R", "A" for the set bits, in that order.
std::string AttrToText(std::uint32_t attr);

// The sort and totals line of a result window:
// " Sorted by : Name → Upword ; Total Files = 1,234 ; Size = 5,678 Bytes";
// `countMark` follows the count (a stopped search says so there).
std::string SortStatusText(std::string_view orderName, std::string_view directionName, std::int64_t fileCount,
                           std::int64_t totalSize, const TLocaleFormats& f = {},
                           std::string_view countMark = {});

} // namespace tavolix::search
