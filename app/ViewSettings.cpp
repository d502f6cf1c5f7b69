#include "app/ViewSettings.h"

#include "platform/Profile.h"

namespace tavolix::app {

bool ReadPicturesShown(const std::string& settingsFile) {
    return platform::GetProfileString(settingsFile, kViewSection, kPicturesKey, "0") == "1";
}

platform::TIoResult WritePicturesShown(const std::string& settingsFile, bool shown) {
    // Its folder is made as for the saved pages (~/.config/tavolix at first).
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileString(settingsFile, kViewSection, kPicturesKey, shown ? "1" : "0");
}

} // namespace tavolix::app
