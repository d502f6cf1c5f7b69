#include "settings/ViewSettings.h"

#include "platform/Profile.h"

namespace tavolix::settings {

namespace {

bool ReadFlag(const std::string& settingsFile, std::string_view key) {
    return platform::GetProfileString(settingsFile, kViewSection, key, "0") == "1";
}

platform::TIoResult WriteFlag(const std::string& settingsFile, std::string_view key, bool on) {
    // Its folder is made as for the saved pages (~/.config/tavolix at first).
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileString(settingsFile, kViewSection, key, on ? "1" : "0");
}

} // namespace

bool ReadPicturesShown(const std::string& settingsFile) {
    return ReadFlag(settingsFile, kPicturesKey);
}

platform::TIoResult WritePicturesShown(const std::string& settingsFile, bool shown) {
    return WriteFlag(settingsFile, kPicturesKey, shown);
}

bool ReadPageThumbnails(const std::string& settingsFile) {
    return ReadFlag(settingsFile, kPageThumbnailsKey);
}

platform::TIoResult WritePageThumbnails(const std::string& settingsFile, bool on) {
    return WriteFlag(settingsFile, kPageThumbnailsKey, on);
}

} // namespace tavolix::settings
