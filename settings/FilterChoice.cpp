#include "settings/FilterChoice.h"

#include "settings/SavedPages.h"
#include "settings/SearchSettings.h"
#include "thumbs/FileKinds.h"

#include <cerrno>

namespace tavolix::settings {

std::optional<TFilterError> ResolveFilter(const TFilterChoice& choice, std::time_t now,
                                          platform::TFileFilter& out) {
    out = {};
    out.ByExtension = !choice.Kinds.empty();
    for (const std::string& name : choice.Kinds) {
        const std::optional<thumbs::TKindGroup> group = thumbs::KindGroupNamed(name);
        if (!group)
            return TFilterError{TFilterError::Kind, name};
        for (std::string& ext : thumbs::ExtensionsOf(*group))
            out.Extensions.push_back(std::move(ext));
    }
    const struct {
        const std::string& Text;
        TFilterError::TField Field;
        std::optional<std::int64_t>& Bound;
        bool Size;
    } bounds[] = {
        {choice.MinSize, TFilterError::MinSize, out.MinSize, true},
        {choice.MaxSize, TFilterError::MaxSize, out.MaxSize, true},
        {choice.ChangedWithin, TFilterError::ChangedWithin, out.ChangedFrom, false},
        {choice.ChangedBefore, TFilterError::ChangedBefore, out.ChangedBefore, false},
    };
    for (const auto& b : bounds) {
        if (b.Text.empty())
            continue;
        b.Bound = b.Size ? platform::ParseSize(b.Text) : platform::ParseTimePoint(b.Text, now);
        if (!b.Bound)
            return TFilterError{b.Field, b.Text};
    }
    out.Prepare();
    return std::nullopt;
}

TFilterChoice FilterChoiceOf(const platform::TProfileText& profile) {
    TFilterChoice choice;
    // The kinds are names without blanks or ";", as the exclusions are split.
    choice.Kinds = SplitExcludeList(profile.Get(kSearchSection, kKindsKey).value_or(""));
    choice.MinSize = profile.Get(kSearchSection, kMinSizeKey).value_or("");
    choice.MaxSize = profile.Get(kSearchSection, kMaxSizeKey).value_or("");
    choice.ChangedWithin = profile.Get(kSearchSection, kChangedWithinKey).value_or("");
    choice.ChangedBefore = profile.Get(kSearchSection, kChangedBeforeKey).value_or("");
    return choice;
}

bool FilterRowShownIn(const platform::TProfileText& profile) {
    const std::optional<std::string> value = profile.Get(kSearchSection, kFilterRowKey);
    const std::optional<long long> n = value ? ParseProfileInt(*value) : std::nullopt;
    return n && *n != 0;
}

platform::TIoResult WriteFilterChoice(const std::string& settingsFile, const TFilterChoice& choice,
                                      bool shown) {
    std::string kinds;
    for (const std::string& k : choice.Kinds)
        kinds += (kinds.empty() ? "" : ";") + k;
    const platform::TProfileValues values = {
        {std::string(kFilterRowKey), shown ? "1" : "0"},
        {std::string(kKindsKey), kinds},
        {std::string(kMinSizeKey), choice.MinSize},
        {std::string(kMaxSizeKey), choice.MaxSize},
        {std::string(kChangedWithinKey), choice.ChangedWithin},
        {std::string(kChangedBeforeKey), choice.ChangedBefore},
    };
    for (const auto& [key, value] : values) {
        const bool blanks = !value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                                               value.front() == '\t' || value.back() == '\t');
        if (value.size() > platform::kMaxProfileValue || blanks)
            return platform::TIoError{settingsFile, EINVAL};
    }
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileStrings(settingsFile, kSearchSection, values);
}

} // namespace tavolix::settings
