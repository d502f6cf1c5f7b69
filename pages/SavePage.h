#pragma once

#include "pages/PageWriter.h"
#include "settings/SavedPages.h"

#include <functional>

namespace tavolix::pages {

// What saving a page came to.
struct TSavePageResult {
    platform::TIoResult PageError;           // the page could not be written: nothing registered
    settings::TRegisterResult SettingsError; // the page was written, its registration failed
    bool Ok() const { return !PageError && !SettingsError; }
};

// Writes the page (by `write` when given: the page with thumbnails), then
// registers it in the ring. The caller refreshes the menu.
using TPageWrite = std::function<platform::TIoResult(const TPageInput&)>;
TSavePageResult SaveAndRegisterPage(const TPageInput& page, settings::TSavedPages& ring,
                                    const TPageWrite& write = {});

} // namespace tavolix::pages
