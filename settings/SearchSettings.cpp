#include "settings/SearchSettings.h"

#include "platform/Profile.h"
#include "settings/SavedPages.h"

#include <cerrno>

namespace tavolix::settings {

namespace {

bool IsOn(const std::optional<std::string>& value) {
    const std::optional<long long> n = value ? ParseProfileInt(*value) : std::nullopt;
    return n && *n != 0;
}

std::string JoinExcludeList(const std::vector<std::string>& patterns) {
    std::string value;
    for (const std::string& p : patterns) {
        if (p.empty())
            continue;
        value += value.empty() ? "" : ";";
        value += p;
    }
    return value;
}

platform::TIoResult WriteSearchValue(const std::string& settingsFile, std::string_view key,
                                     std::string_view value) {
    // Its folder is made as for the saved pages (~/.config/tavolix at first).
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileString(settingsFile, kSearchSection, key, value);
}

} // namespace

search::TWalkOptions WalkOptionsOf(const platform::TProfileText& profile) {
    search::TWalkOptions options;
    options.HiddenFolders = IsOn(profile.Get(kSearchSection, kHiddenFoldersKey));
    options.OneFileSystem = IsOn(profile.Get(kSearchSection, kOneFileSystemKey));
    options.KeyLists = IsOn(profile.Get(kSearchSection, kKeyListsKey));
    options.Exclude = SplitExcludeList(profile.Get(kSearchSection, kExcludeKey).value_or(""));
    return options;
}

platform::TIoResult LoadWalkOptions(const std::string& settingsFile, search::TWalkOptions& out) {
    platform::TProfileText profile;
    platform::TIoResult error = platform::ReadProfileFile(settingsFile, profile);
    out = WalkOptionsOf(profile);
    return error;
}

platform::TIoResult WriteWalkChoice(const std::string& settingsFile, std::string_view key, bool on) {
    return WriteSearchValue(settingsFile, key, on ? "1" : "0");
}

std::vector<std::string> SplitExcludeList(std::string_view value) {
    std::vector<std::string> patterns;
    while (!value.empty()) {
        const std::size_t end = value.find(';');
        std::string_view p = value.substr(0, end);
        value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
        while (!p.empty() && (p.front() == ' ' || p.front() == '\t'))
            p.remove_prefix(1);
        while (!p.empty() && (p.back() == ' ' || p.back() == '\t'))
            p.remove_suffix(1);
        if (!p.empty())
            patterns.emplace_back(p);
    }
    return patterns;
}

std::optional<TExcludeRefusal> WhyExcludeListNotStorable(const std::vector<std::string>& patterns) {
    for (const std::string& p : patterns) {
        if (p.find(';') != std::string::npos)
            return TExcludeRefusal{TExcludeRefusal::Semicolon, p};
        if (p.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return TExcludeRefusal{TExcludeRefusal::LineBreak, p};
    }
    if (JoinExcludeList(patterns).size() > platform::kMaxProfileValue)
        return TExcludeRefusal{TExcludeRefusal::TooLong, {}};
    return std::nullopt;
}

platform::TIoResult WriteExcludeList(const std::string& settingsFile,
                                     const std::vector<std::string>& patterns) {
    if (WhyExcludeListNotStorable(patterns))
        return platform::TIoError{settingsFile, EINVAL};
    return WriteSearchValue(settingsFile, kExcludeKey, JoinExcludeList(patterns));
}

} // namespace tavolix::settings
