#include "settings/ViewSettings.h"

#include "platform/Profile.h"

#include <algorithm>
#include <iterator>

namespace tavolix::settings {

namespace {

bool ReadFlag(const std::string& settingsFile, std::string_view key) {
    return platform::GetProfileString(settingsFile, kViewSection, key, "0") == "1";
}

platform::TIoResult WriteValue(const std::string& settingsFile, std::string_view key,
                               const std::string& value) {
    // Its folder is made as for the saved pages (~/.config/tavolix at first).
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileString(settingsFile, kViewSection, key, value);
}

platform::TIoResult WriteFlag(const std::string& settingsFile, std::string_view key, bool on) {
    return WriteValue(settingsFile, key, on ? "1" : "0");
}

constexpr std::size_t kMaxWidths = 16;

int ReadNumber(const std::string& settingsFile, std::string_view key, int low, int high, int otherwise) {
    const std::string text = platform::GetProfileString(settingsFile, kViewSection, key, "");
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return otherwise;
    const int value = std::stoi(text);
    return value >= low && value <= high ? value : otherwise;
}

} // namespace

TViewGrid ReadViewGrid(const std::string& settingsFile) {
    TViewGrid grid;
    grid.Rows = ReadNumber(settingsFile, kRowsKey, 1, 15, grid.Rows);
    grid.Columns = ReadNumber(settingsFile, kColumnsKey, 1, 7, grid.Columns);
    const int size = ReadNumber(settingsFile, kPictureSizeKey, 1, 9999, grid.PictureSize);
    if (std::find(std::begin(kPictureSizes), std::end(kPictureSizes), size) != std::end(kPictureSizes))
        grid.PictureSize = size;
    return grid;
}

platform::TIoResult WriteViewGrid(const std::string& settingsFile, const TViewGrid& grid,
                                  const TViewGrid& before) {
    platform::TProfileValues changed;
    auto add = [&](std::string_view key, int value, int old) {
        if (value != old)
            changed.emplace_back(std::string(key), std::to_string(value));
    };
    add(kRowsKey, grid.Rows, before.Rows);
    add(kColumnsKey, grid.Columns, before.Columns);
    add(kPictureSizeKey, grid.PictureSize, before.PictureSize);
    if (changed.empty())
        return {};
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileStrings(settingsFile, kViewSection, changed);
}

TFrameSize ReadFrameSize(const std::string& settingsFile) {
    TFrameSize frame;
    frame.Maximized = ReadFlag(settingsFile, kFrameMaximizedKey);
    const std::string text = platform::GetProfileString(settingsFile, kViewSection, kFrameSizeKey, "");
    const std::size_t x = text.find('x');
    auto side = [](std::string_view digits) {
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            return 0;
        const int value = std::stoi(std::string(digits));
        return value >= kMinFrameSide && value <= kMaxFrameSide ? value : 0;
    };
    if (x != std::string::npos) {
        const int width = side(std::string_view(text).substr(0, x));
        const int height = side(std::string_view(text).substr(x + 1));
        if (width > 0 && height > 0) {
            frame.Width = width;
            frame.Height = height;
        }
    }
    return frame;
}

platform::TIoResult WriteFrameSize(const std::string& settingsFile, const TFrameSize& frame) {
    platform::TProfileValues values;
    if (frame.Width > 0 && frame.Height > 0)
        values.emplace_back(std::string(kFrameSizeKey),
                            std::to_string(std::clamp(frame.Width, kMinFrameSide, kMaxFrameSide)) + "x" +
                                std::to_string(std::clamp(frame.Height, kMinFrameSide, kMaxFrameSide)));
    values.emplace_back(std::string(kFrameMaximizedKey), frame.Maximized ? "1" : "0");
    if (platform::TIoResult error = platform::MakeParentDirectories(settingsFile))
        return error;
    return platform::WriteProfileStrings(settingsFile, kViewSection, values);
}

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

bool ReadDetailsShown(const std::string& settingsFile) {
    return ReadFlag(settingsFile, kDetailsKey);
}

platform::TIoResult WriteDetailsShown(const std::string& settingsFile, bool on) {
    return WriteFlag(settingsFile, kDetailsKey, on);
}

std::vector<int> ParseColumnWidths(std::string_view text) {
    std::vector<int> widths;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string_view digits = text.substr(start, end - start);
        if (digits.empty() || digits.size() > 5 || widths.size() == kMaxWidths)
            return {};
        int value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return {};
            value = value * 10 + (c - '0');
        }
        if (value > kMaxColumnWidth)
            return {};
        widths.push_back(value);
        start = end + 1;
    }
    return widths;
}

std::vector<int> ReadColumnWidths(const std::string& settingsFile) {
    return ParseColumnWidths(platform::GetProfileString(settingsFile, kViewSection, kDetailsColumnsKey, ""));
}

platform::TIoResult WriteColumnWidths(const std::string& settingsFile, const std::vector<int>& widths) {
    std::string text;
    for (const int width : widths) {
        if (!text.empty())
            text += ',';
        text += std::to_string(std::clamp(width, 0, kMaxColumnWidth));
    }
    return WriteValue(settingsFile, kDetailsColumnsKey, text);
}

} // namespace tavolix::settings
