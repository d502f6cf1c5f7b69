#pragma once

#include "platform/AtomicFile.h"

#include <string>
#include <string_view>

namespace tavolix::app {

// How result windows show their hits, kept in the settings file's section
// "View": "Pictures=1" turns the pictures view on for new windows ("0",
// anything else or no key: off).
inline constexpr std::string_view kViewSection = "View";
inline constexpr std::string_view kPicturesKey = "Pictures";

bool ReadPicturesShown(const std::string& settingsFile);
platform::TIoResult WritePicturesShown(const std::string& settingsFile, bool shown);

} // namespace tavolix::app
