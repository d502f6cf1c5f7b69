#include "thumbs/FileKinds.h"

#include <array>

namespace tavolix::thumbs {

namespace {

struct TRow {
    std::string_view Ext; // upper-case, dot included
    TFileKind Kind;
};

constexpr TFileKind Part(TPartGroup group, TDecoder decoder) {
    return {group, decoder, false};
}
constexpr TFileKind Picture(TDecoder decoder, bool pageImage = false) {
    return {TPartGroup::NameOnly, decoder, pageImage};
}
constexpr TFileKind kProgram = Part(TPartGroup::ShellIcon, TDecoder::ProgramIcon);

// The one list of extensions every part of the program goes by.
constexpr std::array kRows = {
    // The default view's own groups.
    TRow{".ICO", Part(TPartGroup::IconFile, TDecoder::Icon)},
    TRow{".BMP", Part(TPartGroup::Bitmap, TDecoder::Bitmap)},
    TRow{".WMF", Part(TPartGroup::Metafile, TDecoder::Metafile)},
    // The reader goes by content: either kind of metafile in either name.
    TRow{".EMF", Part(TPartGroup::Metafile, TDecoder::Metafile)},
    TRow{".EXE", kProgram},
    TRow{".DLL", kProgram},
    TRow{".SCR", kProgram},
    TRow{".HLP", kProgram},
    TRow{".OCX", kProgram},
    TRow{".VBX", kProgram},
    TRow{".CPL", kProgram},
    TRow{".DRV", kProgram},
    TRow{".SYS", kProgram},
    TRow{".LNK", kProgram},
    TRow{".CUR", kProgram},
    TRow{".ANI", kProgram},
    // The page's inline pictures; names only in the default view.
    TRow{".GIF", Picture(TDecoder::QtImage, true)},
    TRow{".JPG", Picture(TDecoder::QtImage, true)},
    TRow{".JPEG", Picture(TDecoder::QtImage, true)},
    // What the toolkit's readers on Debian 12 decode besides.
    TRow{".JPE", Picture(TDecoder::QtImage)},
    TRow{".JFIF", Picture(TDecoder::QtImage)},
    TRow{".PNG", Picture(TDecoder::QtImage)},
    TRow{".WEBP", Picture(TDecoder::QtImage)},
    TRow{".TIF", Picture(TDecoder::QtImage)},
    TRow{".TIFF", Picture(TDecoder::QtImage)},
    TRow{".TGA", Picture(TDecoder::QtImage)},
    TRow{".ICNS", Picture(TDecoder::QtImage)},
    TRow{".SVG", Picture(TDecoder::Svg)},
    TRow{".SVGZ", Picture(TDecoder::Svg)},
    TRow{".PDF", Picture(TDecoder::Pdf)},
    // Phones' photos; AVIF is HEIF with another codec.
    TRow{".HEIC", Picture(TDecoder::Heif)},
    TRow{".HEIF", Picture(TDecoder::Heif)},
    TRow{".AVIF", Picture(TDecoder::Heif)},
    // Cameras' raw files.
    TRow{".CR2", Picture(TDecoder::Raw)},
    TRow{".CR3", Picture(TDecoder::Raw)},
    TRow{".NEF", Picture(TDecoder::Raw)},
    TRow{".ARW", Picture(TDecoder::Raw)},
    TRow{".DNG", Picture(TDecoder::Raw)},
    TRow{".RAF", Picture(TDecoder::Raw)},
    TRow{".ORF", Picture(TDecoder::Raw)},
    TRow{".RW2", Picture(TDecoder::Raw)},
    // Videos.
    TRow{".MP4", Picture(TDecoder::Video)},
    TRow{".MOV", Picture(TDecoder::Video)},
    TRow{".MKV", Picture(TDecoder::Video)},
    TRow{".WEBM", Picture(TDecoder::Video)},
    TRow{".AVI", Picture(TDecoder::Video)},
};

} // namespace

std::string UpperExt(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot));
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

TFileKind FileKindOf(std::string_view path) {
    const std::string ext = UpperExt(path);
    for (const TRow& row : kRows) {
        if (row.Ext == ext)
            return row.Kind;
    }
    return {};
}

} // namespace tavolix::thumbs
