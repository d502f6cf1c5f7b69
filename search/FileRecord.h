#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavolix::search {

enum class TSortOrder : std::uint8_t { soDirectory, soName, soExt, soSize, soTime };
enum class TSortDirection : std::uint8_t { sdUpword, sdDownword };

// One found file. The directory text is shared by all files of a directory
// and the name lives in the list's name store, so a record is small.
struct TFileInfo {
    const std::string* FDir = nullptr;
    const char* FName = nullptr;
    std::int64_t Size = 0; // the whole size: files of 2 GiB and more are common
    std::uint32_t Attr = 0;
    std::int32_t Time = 0; // packed local date-time, 0 when it can't be packed
    std::uint16_t FNameLength = 0;
    std::uint16_t FExtPos = 0; // position of the last dot; FNameLength when none
    // What the time order compares: the time packed with the one UTC offset
    // of the search's start, so that a clock change (whose hour repeats)
    // leaves the order in time. Time itself in records made by hand.
    std::int32_t OrderTime = 0;

    // Ends in "/".
    std::string_view Dir() const { return *FDir; }
    std::string_view Name() const { return {FName, FNameLength}; }
    // From the last dot of the name, dot included; empty without a dot.
    std::string_view Ext() const {
        return {FName + FExtPos, static_cast<std::size_t>(FNameLength - FExtPos)};
    }
    std::string Path() const;
};

} // namespace tavolix::search
