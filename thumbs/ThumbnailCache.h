#pragma once

#include "platform/AtomicFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavolix::thumbs {

// The freedesktop.org Thumbnail Managing Standard's cache, shared with the
// desktops' file managers: $XDG_CACHE_HOME/thumbnails/{normal,large,x-large}/
// <MD5 of the file's URI>.png, each PNG carrying the URI and modification time
// of its original.

enum class TThumbSize : unsigned char { Normal, Large, XLarge };

// The longest side of a thumbnail of the size: 128, 256, 512.
int ThumbPixels(TThumbSize size);
// Its folder: "normal", "large", "x-large".
std::string_view ThumbFolderName(TThumbSize size);
// The smallest size whose thumbnails are at least `pixels` on the long side
// (the largest when none is).
TThumbSize ThumbSizeFor(int pixels);

// The file's URI as the standard (and GLib) writes it: "file://" and the
// absolute path, every byte outside A-Z a-z 0-9 and ! $ & ' ( ) * + , - . / :
// = @ _ ~ as %XX with upper-case digits.
std::string ThumbnailUri(std::string_view absolutePath);
// "<32 lower-case hex digits of the URI's MD5>.png".
std::string ThumbnailName(std::string_view uri);

// The cache's folder: $XDG_CACHE_HOME/thumbnails when that is an absolute
// path, else $HOME/.cache/thumbnails; "" without either.
std::string ThumbnailRoot(const char* xdgCacheHome, const char* home);
std::string ThumbnailRoot();

std::string ThumbnailPath(std::string_view root, TThumbSize size, std::string_view uri);
// Where this program records a file it could not make a picture of:
// fail/tavolix-<version>/<name>.
std::string FailPath(std::string_view root, std::string_view uri);
std::string_view FailFolderName();
// True for a path inside the cache (thumbnails of thumbnails are not kept).
bool IsInsideRoot(std::string_view root, std::string_view path);

// The original a thumbnail stands for: its URI and what stat says of it.
struct TOriginal {
    std::string Uri;
    std::int64_t MTime = 0; // seconds
    std::int64_t Size = 0;  // bytes
};

// The text keys of a thumbnail that matter here; absent keys are nullopt.
struct TThumbKeys {
    std::optional<std::string> Uri, MTime, Size;
};

// The standard's check: Thumb::URI is the original's, Thumb::MTime its
// modification time in whole seconds (a fraction after them is allowed), and
// Thumb::Size, when there, its size. Anything else is out of date or belongs
// to another file, and is made again.
bool IsThumbnailOf(const TThumbKeys& keys, const TOriginal& original);

// The picture's pixel size from Thumb::Image::Width / Height (nullopt when
// absent or not a positive number).
std::optional<int> ParseDimension(std::string_view text);

using TTextKeys = std::vector<std::pair<std::string, std::string>>;

// The keys this program writes: Thumb::URI, Thumb::MTime, Thumb::Size,
// Thumb::Image::Width and ::Height (when known), Software.
TTextKeys ThumbnailKeys(const TOriginal& original, int pictureWidth, int pictureHeight);

// A PNG with tEXt chunks added right after its header. Empty when `png` does
// not start with a PNG signature and header, or a key or value is not one
// tEXt can carry (keys 1-79 printable Latin-1 bytes, values without NUL).
std::string AddPngText(std::string_view png, const TTextKeys& keys);
// CRC-32 as PNG chunks use it.
std::uint32_t PngCrc(std::string_view bytes);

// A failure record: a 1 x 1 transparent PNG with Thumb::URI and Thumb::MTime.
std::string FailureRecordPng(const TOriginal& original);

// Writes a cache file as the standard asks: missing folders made with mode
// 0700, the bytes written to a temporary file of mode 0600 beside `path`
// (of a name no other write of this process uses), then renamed over it.
platform::TIoResult WriteCacheFile(const std::string& path, std::string_view bytes);

} // namespace tavolix::thumbs
