#pragma once

#include "platform/AtomicFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavolix::settings {

// How result windows show their hits, kept in the settings file's section
// "View": "Pictures=1" turns the pictures view on for new windows,
// "PageThumbnails=1" has their pages show pictures as thumbnails, "Details=1"
// shows them in the details view ("0", anything else or no key: off).
// "DetailsColumns=0,300,0,0,0": the widths of the details view's columns
// in pixels, 0 for a column that fits its contents.
inline constexpr std::string_view kViewSection = "View";
inline constexpr std::string_view kPicturesKey = "Pictures";
inline constexpr std::string_view kPageThumbnailsKey = "PageThumbnails";
inline constexpr std::string_view kDetailsKey = "Details";
inline constexpr std::string_view kDetailsColumnsKey = "DetailsColumns";
inline constexpr int kMaxColumnWidth = 10000;

// The result windows' grid, for new windows: the rows and columns chosen
// for the default view ("Rows=6", "Columns=2") and the side of the pictures
// in the pictures view ("PictureSize=160"). A value out of range or missing
// keeps the default.
inline constexpr std::string_view kRowsKey = "Rows";
inline constexpr std::string_view kColumnsKey = "Columns";
inline constexpr std::string_view kPictureSizeKey = "PictureSize";
inline constexpr int kPictureSizes[] = {96, 160, 256};

struct TViewGrid {
    int Rows = 6;          // 1-15
    int Columns = 2;       // 1-7
    int PictureSize = 160; // one of kPictureSizes
    bool operator==(const TViewGrid&) const = default;
};

TViewGrid ReadViewGrid(const std::string& settingsFile);
// Writes the keys whose values differ from `before`.
platform::TIoResult WriteViewGrid(const std::string& settingsFile, const TViewGrid& grid,
                                  const TViewGrid& before);

// The frame as the user left it: its size when not maximised in pixels
// ("FrameSize=1200x800", each side 200 to kMaxFrameSide) and whether it was
// maximised ("FrameMaximized=1"). A size out of range or missing gives 0 x 0.
inline constexpr std::string_view kFrameSizeKey = "FrameSize";
inline constexpr std::string_view kFrameMaximizedKey = "FrameMaximized";
inline constexpr int kMinFrameSide = 200;
inline constexpr int kMaxFrameSide = 20000;

struct TFrameSize {
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
    bool operator==(const TFrameSize&) const = default;
};

TFrameSize ReadFrameSize(const std::string& settingsFile);
platform::TIoResult WriteFrameSize(const std::string& settingsFile, const TFrameSize& frame);

bool ReadPicturesShown(const std::string& settingsFile);
platform::TIoResult WritePicturesShown(const std::string& settingsFile, bool shown);
bool ReadPageThumbnails(const std::string& settingsFile);
platform::TIoResult WritePageThumbnails(const std::string& settingsFile, bool on);
bool ReadDetailsShown(const std::string& settingsFile);
platform::TIoResult WriteDetailsShown(const std::string& settingsFile, bool on);

// Widths as the file holds them: up to 16 numbers of 0 to kMaxColumnWidth,
// comma-separated. Anything else gives none (the view's own widths stand).
std::vector<int> ParseColumnWidths(std::string_view text);
std::vector<int> ReadColumnWidths(const std::string& settingsFile);
platform::TIoResult WriteColumnWidths(const std::string& settingsFile, const std::vector<int>& widths);

} // namespace tavolix::settings
