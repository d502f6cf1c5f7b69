#pragma once

#include "platform/AtomicFile.h"

#include <string>
#include <string_view>

namespace tavolix::settings {

// How result windows show their hits, kept in the settings file's section
// "View": "Pictures=1" turns the pictures view on for new windows,
// "PageThumbnails=1" has their pages show pictures as thumbnails ("0",
// anything else or no key: off).
inline constexpr std::string_view kViewSection = "View";
inline constexpr std::string_view kPicturesKey = "Pictures";
inline constexpr std::string_view kPageThumbnailsKey = "PageThumbnails";

bool ReadPicturesShown(const std::string& settingsFile);
platform::TIoResult WritePicturesShown(const std::string& settingsFile, bool shown);
bool ReadPageThumbnails(const std::string& settingsFile);
platform::TIoResult WritePageThumbnails(const std::string& settingsFile, bool on);

} // namespace tavolix::settings
