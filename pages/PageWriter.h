#pragma once

#include "platform/AtomicFile.h"
#include "platform/Volumes.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::pages {

// One hit as the result list shows it.
struct TPageItem {
    std::string FullPath; // directory and name
    std::string SizeText; // e.g. "1,234"
    std::string DateText; // e.g. "26/12/08"
};

// The page's fixed texts in the reader's language (words::PageTexts()).
// "%1" and "%2" stand for the values; the rest is written as text, escaped.
struct TPageTexts {
    std::string Title;       // %1: the creation time
    std::string BaseFolder;  // %1: the folder searched
    std::string Key;         // %1: the key
    std::string KeyFiltered; // %1: the key, %2: how the search was filtered
    std::string Totals;      // %1: the number of hits, %2: their total size
};

// A picture's thumbnail on a page with thumbnails: its files in the folder
// beside the page, and the size it is shown at. No file: a link line.
struct TPageThumb {
    std::string File;   // e.g. "<md5>.jpg"
    std::string File2x; // for 2x screens; "" when the picture is no bigger
    int Width = 0, Height = 0;
};

// Everything a page is made of.
struct TPageInput {
    std::string PageFileName; // absolute, as PageFileName() gives it
    std::string BaseDir;      // the folder searched
    std::string Key;          // the key as typed
    std::string Filters;      // how the search was filtered (Texts' words); "" for none
    std::int64_t TotalSize = 0;
    std::vector<TPageItem> Items;  // in display order
    std::string SortOrderName;     // "Directory", "Name", ...
    std::string SortDirectionName; // "Upword" or "Down"
    bool Network = false;          // a network volume is selected
    platform::TMountTable Volumes; // for the network names
    std::string CreationText;      // platform::LocalDateTimeText(now)
    std::string ThousandSeparator = ",";
    TPageTexts Texts;
    // The page with thumbnails: one entry an item (missing ones are links);
    // without it, the page as it has always been.
    bool WithThumbnails = false;
    std::vector<TPageThumb> Thumbs;
};

// The path chosen in the save dialog, with ".html" appended when its name
// part has no extension (a name ending in "." keeps its name).
std::string PageFileName(std::string_view chosenPath);

// n with the separator between groups of three digits ("#,###,###,##0").
std::string ThousandsText(std::int64_t n, std::string_view separator = ",");

// "&", "<", ">" and '"' as character references; control and bidirectional
// characters as "\u" escapes and invalid UTF-8 as U+FFFD (platform::VisibleName).
std::string HtmlEscape(std::string_view text);
// The bytes of a path as %XX, except A-Z a-z 0-9 - . _ ~ and "/".
std::string PercentEncodePath(std::string_view path);

// The link the page writes for a file: RelativeLink from the page's folder,
// or in network mode "file://host/share/..." for a file on a network volume
// (a file on a local volume keeps its relative link); percent-encoded.
std::string PageLink(const TPageInput& in, std::string_view fullPath);

// The folder of a page's thumbnails beside it: "/w/photos.html" gives
// "/w/photos.files" (the name with ".files" in place of its extension, or
// after the whole name where that would be the page's own name).
std::string ThumbnailFolderOf(std::string_view pageFileName);

// The whole page, lines ended by CR LF, UTF-8.
std::string PageText(const TPageInput& in);

// The six texts of the page's saved-pages entry: page file name, base folder
// with "/" (local form), key, count text, total text, creation text.
std::array<std::string, 6> PageRecord(const TPageInput& in);

// Writes the page to in.PageFileName through a temporary file renamed over
// the target when complete: on failure the old page is untouched.
platform::TIoResult WritePage(const TPageInput& in);

} // namespace tavolix::pages
