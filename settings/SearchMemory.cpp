#include "settings/SearchMemory.h"

#include "settings/SavedPages.h"
#include "settings/SearchSettings.h"
#include "settings/ViewSettings.h"

#include <algorithm>
#include <cerrno>

namespace tavolix::settings {

namespace {

std::string HistoryKey(int i) {
    return std::string(kHistoryKey) + std::to_string(i);
}

std::vector<std::string> HistoryIn(const platform::TProfileText& profile) {
    std::vector<std::string> history;
    for (int i = 1; i <= kHistoryLength; ++i)
        if (std::optional<std::string> key = profile.Get(kSearchSection, HistoryKey(i)); key && !key->empty())
            history.push_back(std::move(*key));
    return history;
}

} // namespace

TSearchMemory SearchMemoryOf(const platform::TProfileText& profile) {
    TSearchMemory memory;
    memory.LastFolder = profile.Get(kSearchSection, kLastFolderKey);
    memory.LastKey = profile.Get(kSearchSection, kLastKeyKey);
    if (memory.LastFolder && memory.LastFolder->empty())
        memory.LastFolder.reset();
    if (memory.LastKey && memory.LastKey->empty())
        memory.LastKey.reset();
    memory.History = HistoryIn(profile);
    return memory;
}

bool ReadsBackTheSame(std::string_view value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
           value.size() <= platform::kMaxProfileValue &&
           (value.empty() || (!blank(value.front()) && !blank(value.back())));
}

platform::TIoResult RememberSearch(const std::string& settingsFile, const std::string& folder,
                                   const std::string& key) {
    platform::TProfileValues values;
    if (!folder.empty() && ReadsBackTheSame(folder))
        values.emplace_back(kLastFolderKey, folder);
    if (!key.empty() && ReadsBackTheSame(key))
        values.emplace_back(kLastKeyKey, key);
    if (values.empty())
        return std::nullopt;
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileStrings(settingsFile, kSearchSection, values);
}

platform::TIoResult RememberKey(const std::string& settingsFile, const std::string& key,
                                std::vector<std::string>& history) {
    if (key.empty() || !ReadsBackTheSame(key)) {
        platform::TProfileText profile;
        platform::TIoResult error = platform::ReadProfileFile(settingsFile, profile);
        history = HistoryIn(profile);
        return error;
    }
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    std::vector<std::string> written;
    platform::TIoResult error = platform::UpdateProfileFile(
        settingsFile, [&](platform::TProfileText& profile) -> platform::TIoResult {
            written = HistoryIn(profile);
            written.erase(std::remove(written.begin(), written.end(), key), written.end());
            written.push_back(key);
            if (written.size() > static_cast<std::size_t>(kHistoryLength))
                written.erase(written.begin(), written.end() - kHistoryLength);
            for (int i = 1; i <= kHistoryLength; ++i) {
                const std::size_t at = static_cast<std::size_t>(i - 1);
                // Past the list only keys the file holds are emptied.
                if (at >= written.size() && !profile.Get(kSearchSection, HistoryKey(i)))
                    continue;
                if (!profile.Set(kSearchSection, HistoryKey(i), at < written.size() ? written[at] : ""))
                    return platform::TIoError{settingsFile, EINVAL};
            }
            return std::nullopt;
        });
    if (!error)
        history = std::move(written);
    return error;
}

std::optional<int> TreeWidthIn(const platform::TProfileText& profile) {
    const std::optional<std::string> value = profile.Get(kViewSection, kTreeWidthKey);
    const std::optional<long long> n = value ? ParseProfileInt(*value) : std::nullopt;
    if (!n || *n < 1 || *n > 100000)
        return std::nullopt;
    return static_cast<int>(*n);
}

platform::TIoResult WriteTreeWidth(const std::string& settingsFile, int width) {
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileString(settingsFile, kViewSection, kTreeWidthKey, std::to_string(width));
}

} // namespace tavolix::settings
