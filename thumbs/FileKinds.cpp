#include "thumbs/FileKinds.h"

#include <array>

namespace tavolix::thumbs {

namespace {

struct TRow {
    std::string_view Ext; // upper-case, dot included
    TFileKind Kind;
};

constexpr TFileKind Part(TPartGroup group, TDecoder decoder, TKindGroup kind) {
    return {group, decoder, false, kind};
}
constexpr TFileKind Picture(TDecoder decoder, bool pageImage = false) {
    return {TPartGroup::NameOnly, decoder, pageImage, TKindGroup::Pictures};
}
// A kind known only by its group: no picture of its own, a link on the page.
constexpr TFileKind Named(TKindGroup kind) {
    return {TPartGroup::NameOnly, TDecoder::None, false, kind};
}
constexpr TFileKind kProgram = Part(TPartGroup::ShellIcon, TDecoder::ProgramIcon, TKindGroup::None);
constexpr TFileKind kRunnable = Part(TPartGroup::ShellIcon, TDecoder::ProgramIcon, TKindGroup::Programs);
constexpr TFileKind kMusic = Named(TKindGroup::Music);
constexpr TFileKind kDocument = Named(TKindGroup::Documents);
constexpr TFileKind kArchive = Named(TKindGroup::Archives);
constexpr TFileKind kVideo = {TPartGroup::NameOnly, TDecoder::Video, false, TKindGroup::Videos};

// The one list of extensions every part of the program goes by.
constexpr std::array kRows = {
    // The default view's own groups.
    TRow{".ICO", Part(TPartGroup::IconFile, TDecoder::Icon, TKindGroup::Pictures)},
    TRow{".BMP", Part(TPartGroup::Bitmap, TDecoder::Bitmap, TKindGroup::Pictures)},
    TRow{".WMF", Part(TPartGroup::Metafile, TDecoder::Metafile, TKindGroup::Pictures)},
    // The reader goes by content: either kind of metafile in either name.
    TRow{".EMF", Part(TPartGroup::Metafile, TDecoder::Metafile, TKindGroup::Pictures)},
    TRow{".EXE", kRunnable},
    TRow{".DLL", kProgram},
    TRow{".SCR", kRunnable},
    TRow{".HLP", Part(TPartGroup::ShellIcon, TDecoder::ProgramIcon, TKindGroup::Documents)},
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
    TRow{".PDF", {TPartGroup::NameOnly, TDecoder::Pdf, false, TKindGroup::Documents}},
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
    TRow{".MP4", kVideo},
    TRow{".MOV", kVideo},
    TRow{".MKV", kVideo},
    TRow{".WEBM", kVideo},
    TRow{".AVI", kVideo},
    // Known by their group alone (the type filter).
    TRow{".MP3", kMusic},
    TRow{".FLAC", kMusic},
    TRow{".OGG", kMusic},
    TRow{".OGA", kMusic},
    TRow{".OPUS", kMusic},
    TRow{".M4A", kMusic},
    TRow{".AAC", kMusic},
    TRow{".WAV", kMusic},
    TRow{".WMA", kMusic},
    TRow{".AIF", kMusic},
    TRow{".AIFF", kMusic},
    TRow{".APE", kMusic},
    TRow{".WV", kMusic},
    TRow{".MID", kMusic},
    TRow{".MIDI", kMusic},
    TRow{".AU", kMusic},
    TRow{".TXT", kDocument},
    TRow{".MD", kDocument},
    TRow{".RTF", kDocument},
    TRow{".DOC", kDocument},
    TRow{".DOCX", kDocument},
    TRow{".ODT", kDocument},
    TRow{".XLS", kDocument},
    TRow{".XLSX", kDocument},
    TRow{".ODS", kDocument},
    TRow{".CSV", kDocument},
    TRow{".PPT", kDocument},
    TRow{".PPTX", kDocument},
    TRow{".ODP", kDocument},
    TRow{".HTM", kDocument},
    TRow{".HTML", kDocument},
    TRow{".EPUB", kDocument},
    TRow{".DJVU", kDocument},
    TRow{".TEX", kDocument},
    TRow{".ZIP", kArchive},
    TRow{".7Z", kArchive},
    TRow{".RAR", kArchive},
    TRow{".TAR", kArchive},
    TRow{".GZ", kArchive},
    TRow{".TGZ", kArchive},
    TRow{".BZ2", kArchive},
    TRow{".TBZ2", kArchive},
    TRow{".XZ", kArchive},
    TRow{".TXZ", kArchive},
    TRow{".ZST", kArchive},
    TRow{".LZ", kArchive},
    TRow{".LZMA", kArchive},
    TRow{".Z", kArchive},
    TRow{".CAB", kArchive},
    TRow{".ISO", kArchive},
    TRow{".DEB", kArchive},
    TRow{".RPM", kArchive},
    TRow{".JAR", kArchive},
    TRow{".COM", Named(TKindGroup::Programs)},
    TRow{".BAT", Named(TKindGroup::Programs)},
    TRow{".CMD", Named(TKindGroup::Programs)},
    TRow{".MSI", Named(TKindGroup::Programs)},
    TRow{".SH", Named(TKindGroup::Programs)},
    TRow{".APPIMAGE", Named(TKindGroup::Programs)},
    TRow{".RUN", Named(TKindGroup::Programs)},
    TRow{".PS1", Named(TKindGroup::Programs)},
};

constexpr std::array<std::string_view, 7> kGroupNames = {"",          "pictures", "videos",  "music",
                                                         "documents", "archives", "programs"};

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

std::string_view KindGroupName(TKindGroup group) {
    return kGroupNames[static_cast<std::size_t>(group)];
}

std::optional<TKindGroup> KindGroupNamed(std::string_view name) {
    for (const TKindGroup group : kKindGroups)
        if (name == KindGroupName(group))
            return group;
    return std::nullopt;
}

std::vector<std::string> ExtensionsOf(TKindGroup group) {
    std::vector<std::string> extensions;
    for (const TRow& row : kRows)
        if (group != TKindGroup::None && row.Kind.Group == group)
            extensions.emplace_back(row.Ext);
    return extensions;
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
