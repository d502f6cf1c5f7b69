#include "platform/Profile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace tavolix::platform {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

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

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
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

// Holds the exclusive lock of a settings file's lock file while alive.
class TLockFile {
public:
    ~TLockFile() {
        if (FFd >= 0)
            ::close(FFd); // releases the lock
    }

    TIoResult Lock(const std::string& lockPath) {
        FFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (FFd < 0)
            return TIoError{lockPath, errno};
        // Writers hold it for a read and a write; one that has held it this
        // long is stuck, and waiting on would hang the caller with it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        auto pause = std::chrono::microseconds(200);
        while (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return TIoError{lockPath, errno};
            if (std::chrono::steady_clock::now() > deadline)
                return TIoError{lockPath, EWOULDBLOCK, "locked by another program for too long"};
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(20000));
        }
        return std::nullopt;
    }

private:
    int FFd = -1;
};

} // namespace

TProfileText::TProfileText(std::string text) : FText(std::move(text)) {
    if (FText.find("\r\n") != std::string::npos)
        FEol = "\r\n";
    FLines.reserve(static_cast<std::size_t>(std::count(FText.begin(), FText.end(), '\n')) + 1);
    std::vector<std::size_t> sections;
    std::size_t pos = FText.starts_with(kBom) ? kBom.size() : 0;
    while (pos < FText.size()) {
        FLines.push_back(ParseLine(pos));
        if (FLines.back().Kind == TLineKind::Section)
            sections.push_back(FLines.size() - 1);
        pos = FLines.back().Next;
    }
    FSections.reserve(sections.size());
    for (std::size_t i : sections)
        FSections.try_emplace(LowerCase(NameOf(FLines[i])), i);
}

TProfileText::TLine TProfileText::ParseLine(std::size_t begin) const {
    TLine line;
    auto at = [](std::size_t n) { return static_cast<std::uint32_t>(n); };
    line.Begin = at(begin);
    std::size_t nl = FText.find('\n', begin);
    line.Next = at(nl == std::string::npos ? FText.size() : nl + 1);
    line.End = at(nl == std::string::npos ? FText.size() : nl);
    if (line.End > line.Begin && FText[line.End - 1] == '\r')
        --line.End;
    const std::string_view all(FText);
    std::string_view content = Trim(all.substr(line.Begin, line.End - line.Begin));
    auto offset = [&](std::string_view part) {
        return at(static_cast<std::size_t>(part.data() - FText.data()));
    };
    if (!content.empty() && content.front() == '[') {
        auto close = content.find(']');
        if (close != std::string_view::npos) {
            std::string_view name = Trim(content.substr(1, close - 1));
            line.Kind = TLineKind::Section;
            line.NameBegin = offset(name);
            line.NameSize = at(name.size());
        }
    } else if (!content.empty() && content.front() != ';') {
        auto eq = content.find('=');
        if (eq != std::string_view::npos) {
            std::string_view name = Trim(content.substr(0, eq));
            std::string_view value = Trim(content.substr(eq + 1));
            line.Kind = TLineKind::Key;
            line.NameBegin = offset(name);
            line.NameSize = at(name.size());
            line.ValueBegin = value.empty() ? line.End : offset(value);
            line.ValueSize = at(value.size());
        }
    }
    return line;
}

std::size_t TProfileText::FindSection(std::string_view section) const {
    auto it = FSections.find(LowerCase(section));
    return it == FSections.end() ? FLines.size() : it->second;
}

std::optional<std::string> TProfileText::Get(std::string_view section, std::string_view key) const {
    for (std::size_t i = FindSection(section) + 1; i < FLines.size(); ++i) {
        if (FLines[i].Kind == TLineKind::Section)
            break;
        if (FLines[i].Kind == TLineKind::Key && SameIgnoringCase(NameOf(FLines[i]), key))
            return std::string(Limit(ValueOf(FLines[i]), kMaxProfileValue));
    }
    return std::nullopt;
}

void TProfileText::Replace(std::size_t index, std::size_t from, std::size_t to, std::string_view bytes) {
    FText.replace(from, to - from, bytes);
    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(bytes.size()) - static_cast<std::ptrdiff_t>(to - from);
    FLines[index] = ParseLine(FLines[index].Begin);
    for (std::size_t i = index + 1; i < FLines.size(); ++i) {
        TLine& l = FLines[i];
        for (std::uint32_t* p : {&l.Begin, &l.End, &l.Next, &l.NameBegin, &l.ValueBegin})
            *p = static_cast<std::uint32_t>(static_cast<std::ptrdiff_t>(*p) + delta);
    }
}

void TProfileText::InsertLines(std::size_t index, std::string_view lines) {
    const std::size_t at = index < FLines.size() ? FLines[index].Begin : FText.size();
    FText.insert(at, lines);
    for (std::size_t i = index; i < FLines.size(); ++i) {
        TLine& l = FLines[i];
        for (std::uint32_t* p : {&l.Begin, &l.End, &l.Next, &l.NameBegin, &l.ValueBegin})
            *p += static_cast<std::uint32_t>(lines.size());
    }
    std::vector<TLine> added;
    for (std::size_t pos = at; pos < at + lines.size();) {
        added.push_back(ParseLine(pos));
        pos = added.back().Next;
    }
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(index), added.begin(), added.end());
    for (auto& [name, first] : FSections)
        if (first >= index)
            first += added.size();
    for (std::size_t i = index; i < index + added.size(); ++i)
        if (FLines[i].Kind == TLineKind::Section)
            FSections.try_emplace(LowerCase(NameOf(FLines[i])), i);
}

bool TProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!WritableSection(section) || !WritableKey(key) || HasLineBreak(value))
        return false;
    const std::string entry = std::string(key) + "=" + std::string(value);

    const std::size_t s = FindSection(section);
    if (s == FLines.size()) {
        if (!FLines.empty() && FText.back() != '\n')
            Replace(FLines.size() - 1, FText.size(), FText.size(), FEol);
        InsertLines(FLines.size(), "[" + std::string(section) + "]" + FEol + entry + FEol);
        return true;
    }
    // A new key goes after the section's last key, so that blank lines and
    // comments ahead of the next section stay with that one.
    std::size_t lastKey = s;
    for (std::size_t i = s + 1; i < FLines.size() && FLines[i].Kind != TLineKind::Section; ++i) {
        if (FLines[i].Kind == TLineKind::Key && SameIgnoringCase(NameOf(FLines[i]), key)) {
            Replace(i, FLines[i].Begin, FLines[i].End, entry);
            return true;
        }
        if (FLines[i].Kind == TLineKind::Key)
            lastKey = i;
    }
    const TLine& after = FLines[lastKey];
    if (FText[after.Next - 1] != '\n') { // the text's last line, without a line break: so is the new one
        Replace(lastKey, after.Next, after.Next, FEol);
        InsertLines(lastKey + 1, entry);
    } else {
        InsertLines(lastKey + 1, entry + FEol);
    }
    return true;
}

TIoResult ReadProfileFile(const std::string& file, TProfileText& out) {
    std::string text;
    TIoResult err = ReadRegularFile(file, text, kMaxProfileFile);
    if (err && err->Errno == ENOENT)
        err.reset();
    out = TProfileText(std::move(text));
    return err;
}

TIoResult UpdateProfileFile(const std::string& file, const std::function<TIoResult(TProfileText&)>& change) {
    TLockFile lock;
    if (auto err = lock.Lock(ReplacedFileOf(file) + ".lock"))
        return TIoError{file, err->Errno, err->Reason};
    TProfileText profile;
    if (auto err = ReadProfileFile(file, profile))
        return err;
    if (auto err = change(profile))
        return err;
    return WriteFileAtomic(file, profile.Text());
}

std::string GetProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view def) {
    TProfileText profile;
    if (ReadProfileFile(file, profile))
        return std::string(def);
    auto value = profile.Get(section, key);
    return value ? *value : std::string(def);
}

TIoResult WriteProfileStrings(const std::string& file, std::string_view section,
                              const TProfileValues& values) {
    return UpdateProfileFile(file, [&](TProfileText& profile) -> TIoResult {
        for (const auto& [key, value] : values)
            if (!profile.Set(section, key, value))
                return TIoError{file, EINVAL};
        return std::nullopt;
    });
}

TIoResult WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view value) {
    return WriteProfileStrings(file, section, {{std::string(key), std::string(value)}});
}

} // namespace tavolix::platform
