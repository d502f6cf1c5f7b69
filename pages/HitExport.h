#pragma once

#include "search/ContentReader.h"
#include "search/FileItems.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace tavolix::pages {

// The hits of a result list, in display order, for scripts and spreadsheets.
// Both writers take the names byte for byte as the list holds them.

// CSV after RFC 4180: a header row "path,name,directory,size,time,attributes",
// then one row per item, every row ended by CR LF. A field holding a comma, a
// quote, CR or LF is quoted, its quotes doubled. The bytes of the names are
// written unchanged, so a name that is not UTF-8 survives. The directory ends
// in "/" (path = directory + name); size is digits only; time is
// IsoLocalTime; attributes are the letters of AttrToText.
void WriteHitsCsv(const search::TFileItemList& list, std::ostream& out);

// Where a hit holds the text searched for (nullptr: nowhere known).
using THitContent = std::function<const search::TContentMatch*(const search::TFileInfo&)>;
// The same with three more columns, "line,column,text": where each hit
// holds the text first (the line's number and byte column, both from 1,
// and the line, cut short when long); empty for a hit without.
void WriteHitsCsv(const search::TFileItemList& list, const THitContent& content, std::ostream& out);

// JSON Lines: one object per item, each line ended by LF:
// {"path","name","dir","size","mtime","attr","hidden","system"}; mtime is
// IsoLocalTime or null when the record has none. Texts are UTF-8; a path that
// is not valid UTF-8 is given as best-effort text (one U+FFFD for each
// invalid stretch, as Python's "replace" decoding gives) and its exact bytes
// in "path_bytes" (base64), so nothing is lost.
void WriteHitsJsonLines(const search::TFileItemList& list, std::ostream& out);
// The same with "line", "column" and "text" in each object (null for a hit
// without): where it holds the text searched for, as in WriteHitsCsv.
void WriteHitsJsonLines(const search::TFileItemList& list, const THitContent& content, std::ostream& out);

// A packed local date-time as "1998-08-01T13:05:06+09:00" (the offset the
// local time zone had then); "" when the value is no valid date and time.
std::string IsoLocalTime(std::int32_t packed);

// A field as a CSV row holds it.
std::string CsvField(std::string_view text);
// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);
// Standard base64 with padding.
std::string Base64(std::string_view bytes);
bool IsValidUtf8(std::string_view text);

} // namespace tavolix::pages
