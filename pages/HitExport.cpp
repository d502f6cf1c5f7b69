#include "pages/HitExport.h"

#include "platform/Directory.h"
#include "search/FieldText.h"

#include <ctime>

namespace tavolix::pages {

namespace {

// The bytes of the UTF-8 sequence at s[i]; `valid` tells whether they make a
// whole character (no overlong forms, no surrogates, nothing above
// U+10FFFF). An invalid stretch is the longest start of a sequence there, at
// least one byte, so each reads as one U+FFFD, as decoders commonly do.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i, bool& valid) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    valid = true;
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    }
    std::size_t k = 1;
    while (k < len && i + k < s.size() && at(i + k) >= (k == 1 ? lo : 0x80) &&
           at(i + k) <= (k == 1 ? hi : 0xBF))
        ++k;
    valid = len != 0 && k == len;
    return k;
}

void Digits(std::string& out, int value, int width) {
    std::string d = std::to_string(value < 0 ? -value : value);
    out.append(d.size() < static_cast<std::size_t>(width) ? width - d.size() : 0, '0');
    out += d;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        bool valid = false;
        i += Utf8SequenceAt(text, i, valid);
        if (!valid)
            return false;
    }
    return true;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        bool valid = false;
        const std::size_t len = Utf8SequenceAt(text, i, valid);
        if (!valid) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            i += len;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (len > 1) {
            out.append(text.substr(i, len));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
        i += len;
    }
    out += '"';
    return out;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

std::string IsoLocalTime(std::int32_t packed) {
    if (!search::IsValidFileDate(packed))
        return {};
    const auto v = static_cast<std::uint32_t>(packed);
    std::tm tm{};
    tm.tm_year = static_cast<int>(1980 + (v >> 25)) - 1900;
    tm.tm_mon = static_cast<int>((v >> 21) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>((v >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((v >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((v >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((v & 0x1F) * 2);
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    std::tm local{};
    if (t == static_cast<std::time_t>(-1) || !localtime_r(&t, &local))
        return {};
    // The fields of the moment mktime settled on, so text and offset agree
    // (they differ from the packed ones only for a time no clock showed).
    std::string s;
    Digits(s, local.tm_year + 1900, 4);
    s += '-';
    Digits(s, local.tm_mon + 1, 2);
    s += '-';
    Digits(s, local.tm_mday, 2);
    s += 'T';
    Digits(s, local.tm_hour, 2);
    s += ':';
    Digits(s, local.tm_min, 2);
    s += ':';
    Digits(s, local.tm_sec, 2);
    const long offsetMinutes = local.tm_gmtoff / 60;
    s += offsetMinutes < 0 ? '-' : '+';
    Digits(s, static_cast<int>((offsetMinutes < 0 ? -offsetMinutes : offsetMinutes) / 60), 2);
    s += ':';
    Digits(s, static_cast<int>((offsetMinutes < 0 ? -offsetMinutes : offsetMinutes) % 60), 2);
    return s;
}

void WriteHitsCsv(const search::TFileItemList& list, std::ostream& out) {
    WriteHitsCsv(list, THitContent(), out);
}

void WriteHitsCsv(const search::TFileItemList& list, const THitContent& content, std::ostream& out) {
    std::string row = content ? "path,name,directory,size,time,attributes,line,column,text\r\n"
                              : "path,name,directory,size,time,attributes\r\n";
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
    for (int i = 0; i < list.Count(); ++i) {
        const search::TFileInfo* r = list.Item(i);
        row = CsvField(r->Path());
        row += ',';
        row += CsvField(r->Name());
        row += ',';
        row += CsvField(r->Dir());
        row += ',';
        row += std::to_string(r->Size);
        row += ',';
        row += IsoLocalTime(r->Time);
        row += ',';
        row += search::AttrToText(r->Attr);
        if (content) {
            if (const search::TContentMatch* m = content(*r))
                row +=
                    ',' + std::to_string(m->Line) + ',' + std::to_string(m->Column) + ',' + CsvField(m->Text);
            else
                row += ",,,";
        }
        row += "\r\n";
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    out.flush();
}

void WriteHitsJsonLines(const search::TFileItemList& list, std::ostream& out) {
    WriteHitsJsonLines(list, THitContent(), out);
}

void WriteHitsJsonLines(const search::TFileItemList& list, const THitContent& content, std::ostream& out) {
    std::string line;
    for (int i = 0; i < list.Count(); ++i) {
        const search::TFileInfo* r = list.Item(i);
        const std::string path = r->Path();
        const std::string time = IsoLocalTime(r->Time);
        line = "{\"path\":" + JsonString(path);
        line += ",\"name\":" + JsonString(r->Name());
        line += ",\"dir\":" + JsonString(r->Dir());
        line += ",\"size\":" + std::to_string(r->Size);
        line += ",\"mtime\":" + (time.empty() ? std::string("null") : JsonString(time));
        line += ",\"attr\":" + JsonString(search::AttrToText(r->Attr));
        line += ",\"hidden\":";
        line += (r->Attr & platform::faHidden) ? "true" : "false";
        line += ",\"system\":";
        line += (r->Attr & platform::faSysFile) ? "true" : "false";
        if (!IsValidUtf8(path))
            line += ",\"path_bytes\":\"" + Base64(path) + "\"";
        if (content) {
            if (const search::TContentMatch* m = content(*r))
                line += ",\"line\":" + std::to_string(m->Line) + ",\"column\":" + std::to_string(m->Column) +
                        ",\"text\":" + JsonString(m->Text);
            else
                line += ",\"line\":null,\"column\":null,\"text\":null";
        }
        line += "}\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    out.flush();
}

} // namespace tavolix::pages
