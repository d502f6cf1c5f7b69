#include "pages/PageWriter.h"

#include "pages/PathFunctions.h"
#include "platform/VisibleName.h"
#include "thumbs/FileKinds.h"

#include <cerrno>
#include <initializer_list>
#include <unistd.h>
#include <vector>

namespace tavolix::pages {

namespace {

constexpr std::string_view kEol = "\r\n";

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void AppendPercentEncoded(std::string& out, std::string_view s, std::string_view alsoKeep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : s) {
        if (IsUnreserved(c) || alsoKeep.find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            const char hex[3] = {'%', kHex[c >> 4], kHex[c & 0x0F]};
            out.append(hex, 3);
        }
    }
}

std::string PercentEncode(std::string_view s, std::string_view alsoKeep) {
    std::string out;
    out.reserve(s.size());
    AppendPercentEncoded(out, s, alsoKeep);
    return out;
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        switch (text[i]) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (text[i] >= 0x20 && text[i] < 0x7F) {
                out += text[i];
                break;
            }
            // A name's control characters are shown, never written raw: a
            // CR or LF would split the item's line, an override reorder it.
            i += platform::AppendVisibleChar(out, text, i);
            continue;
        }
        ++i;
    }
}

std::string_view NameOf(std::string_view path) {
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The link, percent-encoded: it holds nothing HTML would need escaped.
void AppendLink(std::string& out, const TPageInput& in, std::string_view pageFolder,
                std::string_view fullPath) {
    if (in.Network) {
        std::string net = NetFileName(fullPath, in.Volumes);
        if (net.starts_with("//")) {
            std::string_view rest = std::string_view(net).substr(2);
            auto slash = rest.find('/');
            std::string_view host = rest.substr(0, slash);
            std::string_view below =
                slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
            out += "file://";
            AppendPercentEncoded(out, host, "[]:");
            AppendPercentEncoded(out, below, "/");
            return;
        }
    }
    AppendPercentEncoded(out, RelativeLink(pageFolder, fullPath), "/");
}

// A fixed text with its "%1".."%9" replaced by the values, in one pass (a
// value's own "%1" stays as it is); all of it escaped.
void AppendFilled(std::string& out, std::string_view text, std::initializer_list<std::string_view> values) {
    std::size_t done = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const std::size_t n = static_cast<std::size_t>(text[i + 1] - '1');
        if (text[i] != '%' || text[i + 1] < '1' || text[i + 1] > '9' || n >= values.size())
            continue;
        AppendHtmlEscaped(out, text.substr(done, i - done));
        AppendHtmlEscaped(out, values.begin()[n]);
        done = i + 2;
        ++i;
    }
    AppendHtmlEscaped(out, text.substr(done));
}

std::string Filled(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    AppendFilled(out, text, values);
    return out;
}

std::string BaseFolderText(const TPageInput& in) {
    return in.Network ? NetFolderName(in.BaseDir, in.Volumes) : AddBackSlash(in.BaseDir);
}

} // namespace

std::string ThumbnailFolderOf(std::string_view pageFileName) {
    const std::string name = NamePart(pageFileName);
    std::string stem = name.substr(0, name.size() - ExtensionOf(name).size());
    if (stem.empty() || stem + ".files" == name)
        stem = name;
    return DirectoryPart(pageFileName) + stem + ".files";
}

std::string PageFileName(std::string_view chosenPath) {
    std::string name(chosenPath);
    if (ExtensionOf(name).empty())
        name += ".html";
    return name;
}

std::string ThousandsText(std::int64_t n, std::string_view separator) {
    const bool negative = n < 0;
    std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    std::string digits = std::to_string(v);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendHtmlEscaped(out, text);
    return out;
}

std::string PercentEncodePath(std::string_view path) {
    return PercentEncode(path, "/");
}

std::string PageLink(const TPageInput& in, std::string_view fullPath) {
    std::string link;
    AppendLink(link, in, DirectoryPart(in.PageFileName), fullPath);
    return link;
}

std::string PageText(const TPageInput& in) {
    std::string page;
    auto line = [&](std::string_view text) {
        page += text;
        page += kEol;
    };
    const std::string count = std::to_string(in.Items.size());
    const auto record = PageRecord(in);

    line("<HTML>");
    line("<HEAD>");
    line("<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">");
    line("<TITLE>" + Filled(in.Texts.Title, {in.CreationText}) + "</TITLE>");
    line("</HEAD>");
    line("<BODY bgcolor = \"#ffffff\">");
    line("<CENTER>");
    line("<H2>" + Filled(in.Texts.BaseFolder, {BaseFolderText(in)}) + "</H2>");
    line("<BR>");
    line("<H2>" +
         (in.Filters.empty() ? Filled(in.Texts.Key, {in.Key})
                             : Filled(in.Texts.KeyFiltered, {in.Key, in.Filters})) +
         "</H2>");
    line("<BR>");
    line("<BR>");
    line("<H3>" + Filled(in.Texts.Totals, {record[3], record[4]}) + "</H3>");
    line("<BR>");
    line("<H3 ><FONT COLOR=\"red\">Sorted by : " + HtmlEscape(in.SortOrderName) + " → " +
         HtmlEscape(in.SortDirectionName) + "</FONT></H3>");
    line("</CENTER>");
    // The bulk of a big page: appended in place, no texts in between.
    const std::string pageFolder = DirectoryPart(in.PageFileName);
    // Beside the page: its name, encoded, is the link's whole folder part.
    const std::string thumbFolder =
        in.WithThumbnails ? PercentEncode(NamePart(ThumbnailFolderOf(in.PageFileName)), "") + "/"
                          : std::string();
    page.reserve(page.size() + in.Items.size() * (in.WithThumbnails ? 320 : 160));
    for (std::size_t i = 0; i < in.Items.size(); ++i) {
        const TPageItem& item = in.Items[i];
        page += "<BR>\r\n<BR>\r\n";
        const TPageThumb* thumb =
            in.WithThumbnails && i < in.Thumbs.size() && !in.Thumbs[i].File.empty() ? &in.Thumbs[i] : nullptr;
        if (thumb) {
            // The thumbnail, linked to its picture; the name after it as for
            // an inline picture.
            page += "<A HREF=\"";
            AppendLink(page, in, pageFolder, item.FullPath);
            page += "\"><IMG SRC=\"";
            page += thumbFolder;
            AppendPercentEncoded(page, thumb->File, "");
            page += '"';
            if (!thumb->File2x.empty()) {
                page += " srcset=\"";
                page += thumbFolder;
                AppendPercentEncoded(page, thumb->File2x, "");
                page += " 2x\"";
            }
            page += " WIDTH=";
            page += std::to_string(thumb->Width);
            page += " HEIGHT=";
            page += std::to_string(thumb->Height);
            page += " loading=\"lazy\" decoding=\"async\" ALT=\"";
            AppendHtmlEscaped(page, item.FullPath);
            page += "\"></A>";
            AppendHtmlEscaped(page, NameOf(item.FullPath));
        } else if (!in.WithThumbnails && thumbs::FileKindOf(item.FullPath).PageImage) {
            page += "<IMG SRC=\"";
            AppendLink(page, in, pageFolder, item.FullPath);
            page += "\" ALT=\"";
            AppendHtmlEscaped(page, item.FullPath);
            page += "\" ALIGN=\"center\" HSPACE =\"5\">";
            AppendHtmlEscaped(page, NameOf(item.FullPath));
        } else {
            page += "<A HREF=\"";
            AppendLink(page, in, pageFolder, item.FullPath);
            page += "\">";
            AppendHtmlEscaped(page, item.FullPath);
            page += "</A>";
        }
        page += " :  ";
        AppendHtmlEscaped(page, item.SizeText);
        page += " bytes ";
        AppendHtmlEscaped(page, item.DateText);
        page += " ( ";
        page += std::to_string(i + 1);
        page += '/';
        page += count;
        page += " )";
        page += kEol;
    }
    line("</BODY>");
    line("</HTML>");
    return page;
}

std::array<std::string, 6> PageRecord(const TPageInput& in) {
    return {in.PageFileName,
            AddBackSlash(in.BaseDir),
            in.Key,
            ThousandsText(static_cast<std::int64_t>(in.Items.size()), in.ThousandSeparator),
            ThousandsText(in.TotalSize, in.ThousandSeparator),
            in.CreationText};
}

platform::TIoResult WritePage(const TPageInput& in) {
    return platform::WriteFileAtomic(in.PageFileName, PageText(in));
}

} // namespace tavolix::pages
