#include "platform/Profile.h"

#include <cerrno>

namespace tavolix::platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// Cuts to `limit` bytes without leaving a UTF-8 sequence half there.
std::string_view Limit(std::string_view s, std::size_t limit) {
    if (s.size() <= limit)
        return s;
    std::size_t cut = limit;
    std::size_t back = 0;
    while (cut > 0 && back < 3 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) {
        --cut;
        ++back;
    }
    if ((static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        cut = limit; // not UTF-8: plain byte cut
    return s.substr(0, cut);
}

enum class TLineKind { Other, Section, Key };

struct TLine {
    std::size_t Begin = 0;    // first byte
    std::size_t End = 0;      // end of content, before any CR LF / LF
    std::size_t NextLine = 0; // first byte of the next line
    TLineKind Kind = TLineKind::Other;
    std::string_view Name;  // section name or key
    std::string_view Value; // value of a key line, trimmed
};

std::vector<TLine> SplitLines(std::string_view text) {
    std::vector<TLine> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        TLine line;
        line.Begin = pos;
        std::size_t nl = text.find('\n', pos);
        line.NextLine = nl == std::string_view::npos ? text.size() : nl + 1;
        line.End = nl == std::string_view::npos ? text.size() : nl;
        if (line.End > line.Begin && text[line.End - 1] == '\r')
            --line.End;
        std::string_view content = Trim(text.substr(line.Begin, line.End - line.Begin));
        if (!content.empty() && content.front() == '[') {
            auto close = content.find(']');
            if (close != std::string_view::npos) {
                line.Kind = TLineKind::Section;
                line.Name = Trim(content.substr(1, close - 1));
            }
        } else if (!content.empty() && content.front() != ';') {
            auto eq = content.find('=');
            if (eq != std::string_view::npos) {
                line.Kind = TLineKind::Key;
                line.Name = Trim(content.substr(0, eq));
                line.Value = Trim(content.substr(eq + 1));
            }
        }
        lines.push_back(line);
        pos = line.NextLine;
    }
    return lines;
}

// Index of the first section line named `section`, or lines.size().
std::size_t FindSection(const std::vector<TLine>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].Kind == TLineKind::Section && SameIgnoringCase(lines[i].Name, section))
            return i;
    return lines.size();
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool WritableSection(std::string_view s) {
    return !Trim(s).empty() && Trim(s) == s && !HasLineBreak(s) && s.find(']') == std::string_view::npos;
}

bool WritableKey(std::string_view k) {
    return !Trim(k).empty() && Trim(k) == k && !HasLineBreak(k) && k.find('=') == std::string_view::npos &&
           k.front() != ';' && k.front() != '[';
}

} // namespace

std::optional<std::string> TProfileText::Get(std::string_view section, std::string_view key) const {
    auto lines = SplitLines(FText);
    for (std::size_t i = FindSection(lines, section) + 1; i < lines.size(); ++i) {
        if (lines[i].Kind == TLineKind::Section)
            break;
        if (lines[i].Kind == TLineKind::Key && SameIgnoringCase(lines[i].Name, key))
            return std::string(Limit(lines[i].Value, kMaxProfileValue));
    }
    return std::nullopt;
}

bool TProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!WritableSection(section) || !WritableKey(key) || HasLineBreak(value))
        return false;
    const std::string eol = FText.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::string entry = std::string(key) + "=" + std::string(value);

    auto lines = SplitLines(FText);
    std::size_t s = FindSection(lines, section);
    if (s == lines.size()) {
        if (!FText.empty() && FText.back() != '\n')
            FText += eol;
        FText += "[" + std::string(section) + "]" + eol + entry + eol;
        return true;
    }
    // A new key goes after the section's last key, so that blank lines and
    // comments ahead of the next section stay with that one.
    std::size_t lastKey = s;
    for (std::size_t i = s + 1; i < lines.size() && lines[i].Kind != TLineKind::Section; ++i) {
        if (lines[i].Kind == TLineKind::Key && SameIgnoringCase(lines[i].Name, key)) {
            FText.replace(lines[i].Begin, lines[i].End - lines[i].Begin, entry);
            return true;
        }
        if (lines[i].Kind == TLineKind::Key)
            lastKey = i;
    }
    const TLine& after = lines[lastKey];
    if (FText[after.NextLine - 1] != '\n') // the text's last line, without a line break
        FText.insert(after.NextLine, eol + entry);
    else
        FText.insert(after.NextLine, entry + eol);
    return true;
}

std::string GetProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view def) {
    std::string text;
    if (ReadWholeFile(file, text))
        return std::string(def);
    auto value = TProfileText(std::move(text)).Get(section, key);
    return value ? *value : std::string(def);
}

TIoResult WriteProfileStrings(const std::string& file, std::string_view section,
                              const TProfileValues& values) {
    std::string text;
    if (auto err = ReadWholeFile(file, text); err && err->Errno != ENOENT)
        return err;
    TProfileText profile(std::move(text));
    for (const auto& [key, value] : values)
        if (!profile.Set(section, key, value))
            return TIoError{file, EINVAL};
    return WriteFileAtomic(file, profile.Text());
}

TIoResult WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view value) {
    return WriteProfileStrings(file, section, {{std::string(key), std::string(value)}});
}

} // namespace tavolix::platform
