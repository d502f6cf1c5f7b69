#include "pages/SavePage.h"

namespace tavolix::pages {

TSavePageResult SaveAndRegisterPage(const TPageInput& page, settings::TSavedPages& ring,
                                    const TPageWrite& write) {
    TSavePageResult result;
    result.PageError = write ? write(page) : WritePage(page);
    if (!result.PageError)
        result.SettingsError = ring.Register(PageRecord(page), page.Volumes);
    return result;
}

} // namespace tavolix::pages
