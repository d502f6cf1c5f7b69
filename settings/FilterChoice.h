#pragma once

#include "platform/AtomicFile.h"
#include "platform/FileFilter.h"
#include "platform/Profile.h"
#include "search/SearchQuery.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::settings {

// The filters as a person gives them (search::TFilterChoice). The window
// keeps its own in the settings file's section
// "Search": "Kinds=pictures;music", "MinSize=10M", "MaxSize=1G",
// "ChangedWithin=7d", "ChangedBefore=2024-01-01"; they apply while
// "FilterRow=1" (the window's filter row is shown).
using search::TFilterChoice;

inline constexpr std::string_view kFilterRowKey = "FilterRow";
inline constexpr std::string_view kKindsKey = "Kinds";
inline constexpr std::string_view kMinSizeKey = "MinSize";
inline constexpr std::string_view kMaxSizeKey = "MaxSize";
inline constexpr std::string_view kChangedWithinKey = "ChangedWithin";
inline constexpr std::string_view kChangedBeforeKey = "ChangedBefore";

// The value of a choice that can't be used, and which one it is.
struct TFilterError {
    enum TField { Kind, MinSize, MaxSize, ChangedWithin, ChangedBefore };
    TField Field = Kind;
    std::string Value;
};

// The filter the walk applies, with `now` as the moment durations count
// back from; the first value that can't be read is told instead (`out` is
// then not to be used).
std::optional<TFilterError> ResolveFilter(const TFilterChoice& choice, std::time_t now,
                                          platform::TFileFilter& out);

// The window's filters in a settings text (missing keys: none); whether
// they apply (FilterRow=1).
TFilterChoice FilterChoiceOf(const platform::TProfileText& profile);
bool FilterRowShownIn(const platform::TProfileText& profile);

// Writes the filters and whether they apply in one locked update. A value
// that would not read back the same (a line break, more than a value may
// hold) gives EINVAL and writes nothing.
platform::TIoResult WriteFilterChoice(const std::string& settingsFile, const TFilterChoice& choice,
                                      bool shown);

} // namespace tavolix::settings
