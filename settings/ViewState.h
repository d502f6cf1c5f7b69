#pragma once

#include "platform/AtomicFile.h"
#include "settings/ViewSettings.h"

#include <string>
#include <vector>

namespace tavolix::settings {

// How new result windows show their hits: the pictures view, pages with
// thumbnails, the details view and its columns' widths, and the grid.
struct TViewChoices {
    bool Pictures = false;
    bool PageThumbnails = false;
    bool Details = false;
    std::vector<int> ColumnWidths; // none: the view's own
    TViewGrid Grid;
    bool operator==(const TViewChoices&) const = default;
};

// The view's choices of one settings file: read once, and each change
// written at once, the keys that changed and no others (another program on
// the same file keeps what it wrote of the rest).
class TViewState {
public:
    explicit TViewState(std::string settingsFile);

    const TViewChoices& Choices() const { return FChoices; }
    // Takes `next` and writes what differs from the choices held. The
    // choices are taken also when the write fails (this run follows them);
    // the failure is returned, to be told.
    platform::TIoResult Change(const TViewChoices& next);

private:
    std::string FFile;
    TViewChoices FChoices;
};

} // namespace tavolix::settings
