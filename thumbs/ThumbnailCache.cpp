#include "thumbs/ThumbnailCache.h"

#include "platform/AtomicFile.h"
#include "thumbs/Md5.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TAVOLIX_VERSION_TEXT
#define TAVOLIX_VERSION_TEXT "0"
#endif

namespace tavolix::thumbs {

namespace {

constexpr TThumbSize kSizes[] = {TThumbSize::Normal, TThumbSize::Large, TThumbSize::XLarge};

bool IsUriSafe(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::optional<std::int64_t> ParseWhole(std::string_view text, bool allowFraction) {
    if (allowFraction) {
        const std::size_t dot = text.find('.');
        if (dot != std::string_view::npos) {
            const std::string_view fraction = text.substr(dot + 1);
            if (fraction.find_first_not_of("0123456789") != std::string_view::npos)
                return std::nullopt;
            text = text.substr(0, dot);
        }
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

void AppendU32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

void AppendChunk(std::string& out, std::string_view type, std::string_view data) {
    AppendU32(out, static_cast<std::uint32_t>(data.size()));
    std::string body(type);
    body += data;
    out += body;
    AppendU32(out, PngCrc(body));
}

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

} // namespace

int ThumbPixels(TThumbSize size) {
    switch (size) {
    case TThumbSize::Normal:
        return 128;
    case TThumbSize::Large:
        return 256;
    case TThumbSize::XLarge:
        return 512;
    }
    return 128;
}

std::string_view ThumbFolderName(TThumbSize size) {
    switch (size) {
    case TThumbSize::Normal:
        return "normal";
    case TThumbSize::Large:
        return "large";
    case TThumbSize::XLarge:
        return "x-large";
    }
    return "normal";
}

TThumbSize ThumbSizeFor(int pixels) {
    for (TThumbSize size : kSizes) {
        if (pixels <= ThumbPixels(size))
            return size;
    }
    return TThumbSize::XLarge;
}

std::string ThumbnailUri(std::string_view absolutePath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    if (!absolutePath.starts_with('/'))
        uri += '/';
    for (unsigned char c : absolutePath) {
        if (IsUriSafe(c)) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

std::string ThumbnailName(std::string_view uri) {
    return Md5Hex(uri) + ".png";
}

std::string ThumbnailRoot(const char* xdgCacheHome, const char* home) {
    if (xdgCacheHome && xdgCacheHome[0] == '/')
        return std::string(xdgCacheHome) + "/thumbnails";
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/thumbnails";
    return {};
}

std::string ThumbnailRoot() {
    return ThumbnailRoot(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
}

std::string ThumbnailPath(std::string_view root, TThumbSize size, std::string_view uri) {
    std::string path(root);
    path += '/';
    path += ThumbFolderName(size);
    path += '/';
    path += ThumbnailName(uri);
    return path;
}

std::string_view FailFolderName() {
    return "tavolix-" TAVOLIX_VERSION_TEXT;
}

std::string FailPath(std::string_view root, std::string_view uri) {
    std::string path(root);
    path += "/fail/";
    path += FailFolderName();
    path += '/';
    path += ThumbnailName(uri);
    return path;
}

bool IsInsideRoot(std::string_view root, std::string_view path) {
    return !root.empty() && path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/';
}

bool IsThumbnailOf(const TThumbKeys& keys, const TOriginal& original) {
    if (!keys.Uri || *keys.Uri != original.Uri || !keys.MTime)
        return false;
    const auto mtime = ParseWhole(*keys.MTime, true);
    if (!mtime || *mtime != original.MTime)
        return false;
    if (keys.Size) {
        const auto size = ParseWhole(*keys.Size, false);
        if (!size || *size != original.Size)
            return false;
    }
    return true;
}

std::optional<int> ParseDimension(std::string_view text) {
    const auto value = ParseWhole(text, false);
    if (!value || *value <= 0 || *value > (1 << 30))
        return std::nullopt;
    return static_cast<int>(*value);
}

TTextKeys ThumbnailKeys(const TOriginal& original, int pictureWidth, int pictureHeight) {
    TTextKeys keys = {{"Thumb::URI", original.Uri},
                      {"Thumb::MTime", std::to_string(original.MTime)},
                      {"Thumb::Size", std::to_string(original.Size)}};
    if (pictureWidth > 0 && pictureHeight > 0) {
        keys.emplace_back("Thumb::Image::Width", std::to_string(pictureWidth));
        keys.emplace_back("Thumb::Image::Height", std::to_string(pictureHeight));
    }
    keys.emplace_back("Software", "Tavolix " TAVOLIX_VERSION_TEXT);
    return keys;
}

std::uint32_t PngCrc(std::string_view bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string AddPngText(std::string_view png, const TTextKeys& keys) {
    // The signature, then IHDR: length 13, type, data, CRC.
    constexpr std::size_t kHeaderEnd = 8 + 8 + 13 + 4;
    if (png.size() < kHeaderEnd || !png.starts_with(kPngSignature) ||
        png.substr(8, 8) != std::string_view("\0\0\0\x0DIHDR", 8))
        return {};
    std::string out(png.substr(0, kHeaderEnd));
    for (const auto& [key, value] : keys) {
        if (key.empty() || key.size() > 79 || value.find('\0') != std::string::npos)
            return {};
        for (unsigned char c : key) {
            if (c < 32 || (c > 126 && c < 161))
                return {};
        }
        std::string data = key;
        data += '\0';
        data += value;
        AppendChunk(out, "tEXt", data);
    }
    out += png.substr(kHeaderEnd);
    return out;
}

std::string FailureRecordPng(const TOriginal& original) {
    std::string png(kPngSignature);
    // 1 x 1, 8-bit RGBA; one row: filter byte and four zero bytes, in a
    // stored deflate block.
    AppendChunk(png, "IHDR", std::string_view("\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0", 13));
    AppendChunk(png, "IDAT", std::string_view("\x78\x01\x01\x05\0\xFA\xFF\0\0\0\0\0\0\x05\0\x01", 16));
    AppendChunk(png, "IEND", {});
    return AddPngText(png, {{"Thumb::URI", original.Uri},
                            {"Thumb::MTime", std::to_string(original.MTime)},
                            {"Software", "Tavolix " TAVOLIX_VERSION_TEXT}});
}

platform::TIoResult WriteCacheFile(const std::string& path, std::string_view bytes) {
    if (auto error = platform::MakeParentDirectories(path))
        return error;
    // Threads of this process may write the same file at once.
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        path + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) {
        // Left by an earlier process of the same id.
        ::unlink(temporary.c_str());
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0)
        return platform::TIoError{path, errno};
    auto fail = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.c_str());
        return platform::TIoError{path, err};
    };
    // The umask may only take bits away; this makes sure of the rest.
    if (fchmod(fd, 0600) != 0 || !platform::WriteAllBytes(fd, bytes))
        return fail(errno);
    const int rc = ::close(fd);
    fd = -1;
    if (rc != 0)
        return fail(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return fail(errno);
    return std::nullopt;
}

} // namespace tavolix::thumbs
