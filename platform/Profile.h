#pragma once

#include "platform/AtomicFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavolix::platform {

// The longest value a read gives, in bytes (longer values are cut).
inline constexpr std::size_t kMaxProfileValue = 1023;

// The text of a settings file of "[section]" lines and "key=value" lines.
// Sections and keys are found ignoring ASCII case; of duplicates the first
// counts. Lines starting with ";" are comments. A change rewrites only the one
// line concerned: every other line, comment or unknown key stays, in order.
class TProfileText {
public:
    TProfileText() = default;
    explicit TProfileText(std::string text) : FText(std::move(text)) {}

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
    std::string FText;
};

// Reads one value from a settings file; a missing or unreadable file, section
// or key gives `def`.
std::string GetProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view def = {});

using TProfileValues = std::vector<std::pair<std::string, std::string>>;

// Writes keys of one section in a single atomic replacement of the file (see
// WriteFileAtomic): all of them reach the file or none does. A missing file is
// created. A key or value Set refuses gives EINVAL and writes nothing.
TIoResult WriteProfileStrings(const std::string& file, std::string_view section,
                              const TProfileValues& values);
TIoResult WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view value);

} // namespace tavolix::platform
