#include "settings/ViewState.h"

#include <utility>

namespace tavolix::settings {

TViewState::TViewState(std::string settingsFile) : FFile(std::move(settingsFile)) {
    FChoices.Pictures = ReadPicturesShown(FFile);
    FChoices.PageThumbnails = ReadPageThumbnails(FFile);
    FChoices.Details = ReadDetailsShown(FFile);
    FChoices.ColumnWidths = ReadColumnWidths(FFile);
    FChoices.Grid = ReadViewGrid(FFile);
}

platform::TIoResult TViewState::Change(const TViewChoices& next) {
    const TViewChoices before = std::exchange(FChoices, next);
    // Every key is tried; the first failure is the one told.
    platform::TIoResult failed;
    auto note = [&failed](platform::TIoResult result) {
        if (result && !failed)
            failed = std::move(result);
    };
    if (next.Pictures != before.Pictures)
        note(WritePicturesShown(FFile, next.Pictures));
    if (next.PageThumbnails != before.PageThumbnails)
        note(WritePageThumbnails(FFile, next.PageThumbnails));
    if (next.Details != before.Details)
        note(WriteDetailsShown(FFile, next.Details));
    if (next.ColumnWidths != before.ColumnWidths)
        note(WriteColumnWidths(FFile, next.ColumnWidths));
    note(WriteViewGrid(FFile, next.Grid, before.Grid));
    return failed;
}

} // namespace tavolix::settings
