#pragma once

#include "platform/AtomicFile.h"
#include "platform/Profile.h"
#include "search/WalkOptions.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::settings {

// The walk's choices, kept in the settings file's section "Search" for both
// programs: "HiddenFolders=1", "OneFileSystem=1", "KeyLists=1" (the key's
// ";" separates patterns; any other value, or none: off) and
// "Exclude=node_modules;.git;*/cache" (patterns separated by ";").
inline constexpr std::string_view kSearchSection = "Search";
inline constexpr std::string_view kHiddenFoldersKey = "HiddenFolders";
inline constexpr std::string_view kOneFileSystemKey = "OneFileSystem";
inline constexpr std::string_view kExcludeKey = "Exclude";
inline constexpr std::string_view kKeyListsKey = "KeyLists";

// The choices a settings text holds; a missing section or key leaves the default.
search::TWalkOptions WalkOptionsOf(const platform::TProfileText& profile);
// The same of a settings file. A file that is refused or can't be read
// gives the defaults and the reason.
platform::TIoResult LoadWalkOptions(const std::string& settingsFile, search::TWalkOptions& out);

// Writes one on/off choice: that key alone, under the settings file's lock.
platform::TIoResult WriteWalkChoice(const std::string& settingsFile, std::string_view key, bool on);

// The patterns of an "Exclude" value: split at ";", blanks around each
// dropped, empty ones left out.
std::vector<std::string> SplitExcludeList(std::string_view value);
// Why patterns can't be stored so that they read back the same.
struct TExcludeRefusal {
    enum TKind {
        Semicolon, // Pattern holds ";", which separates them
        LineBreak, // a pattern holds a line break
        TooLong,   // all of them are longer than one value may be
    };
    TKind Kind;
    std::string Pattern;
};
// Nothing when the patterns can be stored.
std::optional<TExcludeRefusal> WhyExcludeListNotStorable(const std::vector<std::string>& patterns);
// Writes the patterns (EINVAL, nothing written, when they can't be stored).
platform::TIoResult WriteExcludeList(const std::string& settingsFile,
                                     const std::vector<std::string>& patterns);

} // namespace tavolix::settings
