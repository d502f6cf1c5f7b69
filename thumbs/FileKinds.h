#pragma once

#include <string>
#include <string_view>

namespace tavolix::thumbs {

// How the result list draws a file in its default view (by extension, as the
// list has always done it).
enum class TPartGroup : unsigned char { NameOnly, IconFile, Bitmap, Metafile, ShellIcon };

// What makes the picture of a file in the pictures view and on a page of
// thumbnails.
enum class TDecoder : unsigned char {
    None,        // no picture of its own: only a thumbnail the cache already holds
    QtImage,     // the toolkit's image readers (JPEG, PNG, GIF, WebP, TIFF, ...)
    Svg,         // SVG and gzip-compressed SVG
    Pdf,         // a PDF's first page
    Bitmap,      // our readers, as the default view draws them
    Icon,        //
    Metafile,    //
    ProgramIcon, // the first icon of a program or cursor, drawn as an icon
    Heif,        // HEIF and AVIF: the primary image or its thumbnail
    Raw,         // a camera's raw file: its embedded preview, else a half-size decode
    Video,       // a frame at about a tenth of its length, with a film mark
};

// One row of the table of file kinds.
struct TFileKind {
    TPartGroup Part = TPartGroup::NameOnly;
    TDecoder Decoder = TDecoder::None;
    // The page shows it inline (GIF and JPEG), every other file as a link.
    bool PageImage = false;
};

// The extension of the name part (after the last "/"): from its last dot,
// dot included, with a-z upper-cased and every other byte kept; "" without a dot.
std::string UpperExt(std::string_view path);

// The kind of a file by its extension, case ignored (ASCII only).
TFileKind FileKindOf(std::string_view path);

// True for the kinds whose picture is made from the file itself (the
// pictures view's pictures, not a program's icon).
inline bool HasOwnPicture(const TFileKind& kind) {
    return kind.Decoder != TDecoder::None && kind.Decoder != TDecoder::ProgramIcon;
}

} // namespace tavolix::thumbs
