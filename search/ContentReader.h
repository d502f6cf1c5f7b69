#pragma once

#include "search/TextMatcher.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::search {

// Where a file holds the text first.
struct TContentMatch {
    std::int64_t Line = 0;   // 1-based
    std::int64_t Column = 0; // 1-based, in bytes of the line as UTF-8
    std::string Text;        // the line, cut to TContentReader::kShownBytes around the match
    bool operator==(const TContentMatch&) const = default;
};

enum class TContentEnd : std::uint8_t {
    Match,
    NoMatch,
    Binary,     // a NUL byte in the first block
    NotRegular, // a link, FIFO, device or socket: never read
    Unreadable, // open or read failed (Error says why)
    Limit,      // the pattern gave up on a line (TTextMatcher's bounds)
    Stopped,    // the stop flag was set
};

struct TContentResult {
    TContentEnd End = TContentEnd::NoMatch;
    int Error = 0; // errno, for Unreadable
    TContentMatch Match;
};

// Reads files a block at a time through one buffer it keeps, matching line
// by line, and stops at the first match. A file is never read whole into
// memory: what it holds is a block and the start of the line the block
// ends in. Text in UTF-16 with a byte order mark is matched as UTF-8 (a
// UTF-8 mark is dropped). One reader a thread.
class TContentReader {
public:
    static constexpr std::size_t kBlockSize = 256 * 1024;
    // The start of a line kept for the next block. A line longer than this
    // (a minified file, a log without line ends) is matched in pieces of
    // about this size: a match that straddles two pieces is missed, its
    // column still counts from the line's start.
    static constexpr std::size_t kTailLimit = 1024 * 1024;
    static constexpr std::size_t kShownBytes = 240;

    explicit TContentReader(std::shared_ptr<const TTextMatcher> matcher, std::size_t blockSize = kBlockSize,
                            std::size_t tailLimit = kTailLimit);

    // Opens `name` relative to the directory `dirFd` (AT_FDCWD: the working
    // directory, or an absolute `name`) without following a link and
    // without waiting for a FIFO's writer, and reads it when it is a
    // regular file, to wherever it ends while read. `stop` is looked at
    // between blocks; `blocks`, when given, counts them.
    TContentResult ReadFile(int dirFd, const char* name, const std::atomic<bool>& stop,
                            std::atomic<std::uint64_t>* blocks = nullptr);
    // `bytes` as a file holding them, a block at a time.
    TContentResult ReadBytes(std::string_view bytes);

private:
    enum class TEncoding : std::uint8_t { Unknown, Utf8, Utf16LE, Utf16BE };
    void Begin();
    char* Space();
    // `n` bytes were put at Space(); false once the file is decided.
    bool Take(std::size_t n);
    void End();
    bool ScanLines(std::size_t end);
    bool ScanPiece(std::size_t begin, std::size_t end);
    bool Decide(TFound found, std::size_t lineBegin, std::size_t lineEnd, std::int64_t line);
    std::size_t Convert(const unsigned char* in, std::size_t n, char* out);

    std::shared_ptr<const TTextMatcher> FMatcher;
    TTextMatcher::TScratch FScratch;
    const std::size_t FBlock, FTailLimit;
    // The carried line start, then a block (converted, for UTF-16); not
    // cleared: only what was read into it is looked at.
    std::unique_ptr<char[]> FBuf;
    std::unique_ptr<char[]> FRaw; // a UTF-16 block before it is converted, made on first need
    TEncoding FEncoding = TEncoding::Unknown;
    std::size_t FTail = 0;        // bytes carried at the front of FBuf
    std::int64_t FLine = 1;       // the line FBuf begins in
    std::int64_t FColumnBase = 0; // bytes of that line dropped before FBuf
    int FOddByte = -1;            // UTF-16: a code unit's first byte
    std::uint32_t FHigh = 0;      // UTF-16: a high surrogate waiting for its pair
    bool FDecided = false;
    bool FSkipLines = false; // TTextMatcher::CanSkipLines, until it gives up once
    TContentResult FResult;
};

} // namespace tavolix::search
