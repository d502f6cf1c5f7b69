#pragma once

#include "platform/AtomicFile.h"
#include "platform/Profile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::settings {

// What the window remembers of its searches, in the settings file's section
// "Search": "LastFolder" and "LastKey" of the search begun last, and the key
// box's history "History1" (the oldest) to "History20".
inline constexpr std::string_view kLastFolderKey = "LastFolder";
inline constexpr std::string_view kLastKeyKey = "LastKey";
inline constexpr std::string_view kHistoryKey = "History"; // followed by 1..kHistoryLength
inline constexpr int kHistoryLength = 20;
// The tree pane's width in pixels, in section "View".
inline constexpr std::string_view kTreeWidthKey = "TreeWidth";

struct TSearchMemory {
    std::optional<std::string> LastFolder; // nothing before the first search
    std::optional<std::string> LastKey;
    std::vector<std::string> History; // the oldest first
};

TSearchMemory SearchMemoryOf(const platform::TProfileText& profile);

// True when the settings file gives back `value` as it is written: no line
// break, not longer than a value may be, no blanks at either end.
bool ReadsBackTheSame(std::string_view value);

// Writes the folder and key of a search begun, those that read back the
// same, in one locked update (nothing when neither does).
platform::TIoResult RememberSearch(const std::string& settingsFile, const std::string& folder,
                                   const std::string& key);
// Adds a key to the history as the file holds it now (under its lock, so
// the keys another program added meanwhile stay): a key already there moves
// to the end, and only the last kHistoryLength are kept. `history` gets the
// history written, or the file's as it was when nothing was (a key that
// doesn't read back the same).
platform::TIoResult RememberKey(const std::string& settingsFile, const std::string& key,
                                std::vector<std::string>& history);

// The tree pane's width; nothing when missing or not a width (1..100000).
std::optional<int> TreeWidthIn(const platform::TProfileText& profile);
platform::TIoResult WriteTreeWidth(const std::string& settingsFile, int width);

} // namespace tavolix::settings
