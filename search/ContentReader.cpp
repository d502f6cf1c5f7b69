#include "search/ContentReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavolix::search {

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The line around the match, at most kShownBytes, cut between characters,
// without its CR.
std::string ShownLine(std::string_view line, std::size_t offset) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    constexpr std::size_t shown = TContentReader::kShownBytes;
    if (line.size() <= shown)
        return std::string(line);
    std::size_t begin = offset > shown / 4 ? std::min(offset - shown / 4, line.size() - shown) : 0;
    std::size_t end = begin + shown;
    while (begin < end && IsContinuation(line[begin]))
        ++begin;
    while (end > begin && end < line.size() && IsContinuation(line[end]))
        --end;
    return std::string(line.substr(begin, end - begin));
}

std::size_t PutUtf8(std::uint32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

constexpr std::uint32_t kReplacement = 0xFFFD;

} // namespace

TContentReader::TContentReader(std::shared_ptr<const TTextMatcher> matcher, std::size_t blockSize,
                               std::size_t tailLimit)
    : FMatcher(std::move(matcher)), FScratch(*FMatcher), FBlock(std::max<std::size_t>(blockSize, 4)),
      FTailLimit(std::max<std::size_t>(tailLimit, 1)),
      // A UTF-16 block grows by half at most as UTF-8 (3 bytes for 2), and
      // a few bytes for a unit or surrogate carried over; the tail may
      // exceed its limit by a block before it is let go.
      FBuf(new char[FTailLimit + 2 * FBlock + 8]) {
}

void TContentReader::Begin() {
    FEncoding = TEncoding::Unknown;
    FTail = 0;
    FLine = 1;
    FColumnBase = 0;
    FOddByte = -1;
    FHigh = 0;
    FDecided = false;
    FResult = {};
    FSkipLines = FMatcher->CanSkipLines();
}

char* TContentReader::Space() {
    return FEncoding == TEncoding::Utf16LE || FEncoding == TEncoding::Utf16BE ? FRaw.get()
                                                                              : FBuf.get() + FTail;
}

std::size_t TContentReader::Convert(const unsigned char* in, std::size_t n, char* out) {
    char* const start = out;
    const bool little = FEncoding == TEncoding::Utf16LE;
    for (std::size_t i = 0; i < n; ++i) {
        if (FOddByte < 0) {
            FOddByte = in[i];
            continue;
        }
        const std::uint32_t unit =
            little ? (static_cast<std::uint32_t>(in[i]) << 8) | static_cast<std::uint32_t>(FOddByte)
                   : (static_cast<std::uint32_t>(FOddByte) << 8) | in[i];
        FOddByte = -1;
        if (FHigh != 0) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                out += PutUtf8(0x10000 + ((FHigh - 0xD800) << 10) + (unit - 0xDC00), out);
                FHigh = 0;
                continue;
            }
            out += PutUtf8(kReplacement, out);
            FHigh = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            FHigh = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
            out += PutUtf8(kReplacement, out);
        else
            out += PutUtf8(unit, out);
    }
    return static_cast<std::size_t>(out - start);
}

bool TContentReader::Take(std::size_t n) {
    std::size_t end = FTail + n;
    if (FEncoding == TEncoding::Unknown) {
        const auto* p = reinterpret_cast<const unsigned char*>(FBuf.get());
        if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
            FEncoding = p[0] == 0xFF ? TEncoding::Utf16LE : TEncoding::Utf16BE;
            if (!FRaw)
                FRaw.reset(new char[FBlock]);
            std::memcpy(FRaw.get(), FBuf.get() + 2, n - 2);
            end = Convert(reinterpret_cast<const unsigned char*>(FRaw.get()), n - 2, FBuf.get());
        } else {
            FEncoding = TEncoding::Utf8;
            if (std::memchr(FBuf.get(), 0, n)) {
                FResult.End = TContentEnd::Binary;
                return false;
            }
            if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
                std::memmove(FBuf.get(), FBuf.get() + 3, n - 3);
                end = n - 3;
            }
        }
    } else if (FEncoding != TEncoding::Utf8) {
        end = FTail + Convert(reinterpret_cast<const unsigned char*>(FRaw.get()), n, FBuf.get() + FTail);
    }
    if (!ScanLines(end))
        return false;
    // A line start longer than the limit is matched as a piece and let go.
    if (FTail > FTailLimit) {
        if (!ScanPiece(0, FTail))
            return false;
        FColumnBase += static_cast<std::int64_t>(FTail);
        FTail = 0;
    }
    return true;
}

void TContentReader::End() {
    if (FDecided || FResult.End != TContentEnd::NoMatch)
        return;
    if (FEncoding == TEncoding::Utf16LE || FEncoding == TEncoding::Utf16BE) {
        if (FOddByte >= 0 || FHigh != 0)
            FTail += PutUtf8(kReplacement, FBuf.get() + FTail);
        FOddByte = -1;
        FHigh = 0;
    }
    // The last line, without a line end.
    if (FTail > 0)
        ScanPiece(0, FTail);
}

// Matches the whole lines of FBuf[0, end) and keeps the start of the last
// one for the next block; false once decided.
bool TContentReader::ScanLines(std::size_t end) {
    char* const buf = FBuf.get();
    const void* last = end > 0 ? ::memrchr(buf, '\n', end) : nullptr;
    if (!last) {
        FTail = end;
        return true;
    }
    const std::size_t lines = static_cast<std::size_t>(static_cast<const char*>(last) - buf) + 1;
    if (FMatcher->SpansNoLines()) {
        const TFound found = FMatcher->Find({buf, lines}, FScratch);
        if (found.End != TFindEnd::NotFound) {
            const std::string_view before(buf, found.Offset);
            const std::size_t nl = before.rfind('\n');
            const std::size_t begin = nl == std::string_view::npos ? 0 : nl + 1;
            const std::int64_t line = FLine + std::count(buf, buf + begin, '\n');
            const void* lineEnd = std::memchr(buf + found.Offset, '\n', lines - found.Offset);
            return Decide(found, begin, static_cast<std::size_t>(static_cast<const char*>(lineEnd) - buf),
                          line);
        }
        FLine += std::count(buf, buf + lines, '\n');
    } else {
        for (std::size_t begin = 0; begin < lines;) {
            // Lines before the first place a match may start are passed over.
            if (FSkipLines) {
                const TFound any = FMatcher->FindInLines({buf + begin, lines - begin}, FScratch);
                if (any.End == TFindEnd::NotFound) {
                    FLine += std::count(buf + begin, buf + lines, '\n');
                    break;
                }
                if (any.End == TFindEnd::Limit) {
                    FSkipLines = false; // line by line from here, each line bounded
                } else {
                    const std::string_view before(buf + begin, any.Offset);
                    const std::size_t nl = before.rfind('\n');
                    if (nl != std::string_view::npos) {
                        FLine += std::count(before.begin(), before.begin() + nl + 1, '\n');
                        FColumnBase = 0;
                        begin += nl + 1;
                    }
                    // An empty match after the last line end starts no line here.
                    if (begin == lines)
                        break;
                }
            }
            const auto* nl = static_cast<const char*>(std::memchr(buf + begin, '\n', lines - begin));
            const std::size_t stop = static_cast<std::size_t>(nl - buf);
            std::size_t text = stop;
            if (text > begin && buf[text - 1] == '\r')
                --text;
            const TFound found = FMatcher->Find({buf + begin, text - begin}, FScratch);
            if (found.End != TFindEnd::NotFound) {
                return Decide({found.End, found.Offset + begin, found.Length}, begin, stop, FLine);
            }
            ++FLine;
            FColumnBase = 0;
            begin = stop + 1;
        }
    }
    FColumnBase = 0;
    FTail = end - lines;
    std::memmove(buf, buf + lines, FTail);
    return true;
}

// Matches FBuf[begin, end), a line or a piece of one, without a line end.
bool TContentReader::ScanPiece(std::size_t begin, std::size_t end) {
    std::size_t text = end;
    if (!FMatcher->SpansNoLines() && text > begin && FBuf[text - 1] == '\r')
        --text;
    const TFound found = FMatcher->Find({FBuf.get() + begin, text - begin}, FScratch);
    if (found.End == TFindEnd::NotFound)
        return true;
    return Decide({found.End, found.Offset + begin, found.Length}, begin, end, FLine);
}

bool TContentReader::Decide(TFound found, std::size_t lineBegin, std::size_t lineEnd, std::int64_t line) {
    FDecided = true;
    if (found.End == TFindEnd::Limit) {
        FResult.End = TContentEnd::Limit;
        return false;
    }
    FResult.End = TContentEnd::Match;
    FResult.Match.Line = line;
    FResult.Match.Column =
        static_cast<std::int64_t>(found.Offset - lineBegin) + 1 + (line == FLine ? FColumnBase : 0);
    FResult.Match.Text = ShownLine({FBuf.get() + lineBegin, lineEnd - lineBegin}, found.Offset - lineBegin);
    return false;
}

TContentResult TContentReader::ReadBytes(std::string_view bytes) {
    Begin();
    std::size_t at = 0;
    for (bool more = true; more && at < bytes.size();) {
        const std::size_t n = std::min(FBlock, bytes.size() - at);
        std::memcpy(Space(), bytes.data() + at, n);
        at += n;
        more = Take(n);
    }
    End();
    return FResult;
}

TContentResult TContentReader::ReadFile(int dirFd, const char* name, const std::atomic<bool>& stop,
                                        std::atomic<std::uint64_t>* blocks) {
    Begin();
    // O_NONBLOCK: a FIFO opens without waiting for a writer, and is then
    // refused by its type, as are devices (whose open is not waited for).
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ELOOP)
            return {TContentEnd::NotRegular, 0, {}};
        return {TContentEnd::Unreadable, errno, {}};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return {TContentEnd::Unreadable, error, {}};
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return {TContentEnd::NotRegular, 0, {}};
    }
    // Read-ahead pays for a file of several blocks only: for the many small
    // ones it is a system call more.
    if (st.st_size > static_cast<off_t>(4 * FBlock))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            FResult = {TContentEnd::Stopped, 0, {}};
            break;
        }
        if (blocks)
            blocks->fetch_add(1, std::memory_order_relaxed);
        const ssize_t n = ::read(fd, Space(), FBlock);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            FResult = {TContentEnd::Unreadable, errno, {}};
            break;
        }
        // A file that shrank or grew is read to where it ends now.
        if (n == 0) {
            End();
            break;
        }
        if (!Take(static_cast<std::size_t>(n)))
            break;
    }
    ::close(fd);
    return FResult;
}

} // namespace tavolix::search
