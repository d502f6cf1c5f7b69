#pragma once

#include "platform/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavolix::platform {

// The longest value a read gives, in bytes (longer values are cut).
inline constexpr std::size_t kMaxProfileValue = 1023;
// The biggest settings file read; a bigger one is refused, not cut.
inline constexpr std::size_t kMaxProfileFile = 16u << 20;

// The text of a settings file of "[section]" lines and "key=value" lines,
// parsed once into lines. Sections and keys are found ignoring ASCII case; of
// duplicates the first counts. Lines starting with ";" are comments. A UTF-8
// byte-order mark at the start is no part of the first line, and stays. A
// change rewrites only the one line concerned: every other line, comment or
// unknown key stays, in order.
class TProfileText {
public:
    TProfileText() = default;
    explicit TProfileText(std::string text);

    // The value with surrounding blanks (space, tab) removed, at most
    // kMaxProfileValue bytes; nullopt when the section or key is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Replaces the key's line in place, or appends the key at the end of its
    // section, or appends the section at the end of the text. The value goes
    // in as it is. False (text unchanged) for a section or key that can't be
    // written as one line: empty, holding CR or LF, a section holding "]",
    // a key holding "=" or starting with ";" or "[", a value holding CR or LF.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    const std::string& Text() const { return FText; }

private:
    enum class TLineKind : unsigned char { Other, Section, Key };
    // Byte offsets into FText; 32 bits do, as files over kMaxProfileFile aren't read.
    struct TLine {
        std::uint32_t Begin = 0; // first byte
        std::uint32_t End = 0;   // end of content, before any CR LF / LF
        std::uint32_t Next = 0;  // first byte of the next line
        std::uint32_t NameBegin = 0, NameSize = 0;
        std::uint32_t ValueBegin = 0, ValueSize = 0;
        TLineKind Kind = TLineKind::Other;
    };

    TLine ParseLine(std::size_t begin) const;
    std::string_view NameOf(const TLine& line) const {
        return {FText.data() + line.NameBegin, line.NameSize};
    }
    std::string_view ValueOf(const TLine& line) const {
        return {FText.data() + line.ValueBegin, line.ValueSize};
    }
    // Index of the first section line named `section`, or FLines.size().
    std::size_t FindSection(std::string_view section) const;
    // Replaces bytes [from, to) of the text and re-reads the line at `index`;
    // the lines after it move by the difference.
    void Replace(std::size_t index, std::size_t from, std::size_t to, std::string_view bytes);
    // Inserts whole lines before line `index` (FLines.size(): at the end).
    void InsertLines(std::size_t index, std::string_view lines);

    std::string FText;
    std::vector<TLine> FLines;
    std::unordered_map<std::string, std::size_t> FSections; // lower-case name -> first line
    std::string FEol = "\n";
};

// Reads a settings file for looking at it: a missing file is an empty text;
// a FIFO, a device or a file over kMaxProfileFile is refused (see
// ReadRegularFile), and `out` is then empty.
TIoResult ReadProfileFile(const std::string& file, TProfileText& out);

// Changes a settings file as one writer at a time: under an exclusive lock
// on "<file>.lock" beside it (the file itself is replaced, so it can't carry
// the lock), the file is read afresh, `change` edits it, and the result
// replaces the file atomically (WriteFileAtomic). An error from reading or
// from `change` writes nothing. The lock is held only for this call.
TIoResult UpdateProfileFile(const std::string& file, const std::function<TIoResult(TProfileText&)>& change);

// Reads one value from a settings file; a missing or unreadable file, section
// or key gives `def`.
std::string GetProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view def = {});

using TProfileValues = std::vector<std::pair<std::string, std::string>>;

// Writes keys of one section in a single locked update of the file: all of
// them reach the file or none does. A missing file is created. A key or value
// Set refuses gives EINVAL and writes nothing.
TIoResult WriteProfileStrings(const std::string& file, std::string_view section,
                              const TProfileValues& values);
TIoResult WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view value);

} // namespace tavolix::platform
