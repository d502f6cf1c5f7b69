#include "thumbs/Protocol.h"

#include "thumbs/Md5.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/socket.h>
#include <sys/uio.h>

namespace tavolix::thumbs {

namespace {

constexpr std::string_view kMagic = "TVXTHUMB";

class TWriter {
public:
    void U8(std::uint8_t v) { FOut += static_cast<char>(v); }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            FOut += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Bytes(std::string_view b) {
        U32(static_cast<std::uint32_t>(b.size()));
        FOut += b;
    }
    std::string Take() { return std::move(FOut); }

private:
    std::string FOut;
};

// Reads fields in order; any read past the end fails the whole payload.
class TReader {
public:
    explicit TReader(std::string_view in) : FIn(in) {}
    bool U8(std::uint8_t& v) {
        if (FIn.size() - FPos < 1)
            return false;
        v = static_cast<std::uint8_t>(FIn[FPos++]);
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (FIn.size() - FPos < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= std::uint32_t{static_cast<std::uint8_t>(FIn[FPos + i])} << (8 * i);
        FPos += 4;
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u;
        if (!U32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool U64(std::uint64_t& v) {
        std::uint32_t lo, hi;
        if (!U32(lo) || !U32(hi))
            return false;
        v = std::uint64_t{hi} << 32 | lo;
        return true;
    }
    bool Bytes(std::string& out, std::size_t max) {
        std::uint32_t n;
        if (!U32(n) || n > max || FIn.size() - FPos < n)
            return false;
        out.assign(FIn.substr(FPos, n));
        FPos += n;
        return true;
    }
    bool AtEnd() const { return FPos == FIn.size(); }

private:
    std::string_view FIn;
    std::size_t FPos = 0;
};

} // namespace

std::string EncodeFrame(TFrameType type, std::string_view payload) {
    TWriter w;
    w.U32(static_cast<std::uint32_t>(payload.size()));
    w.U32(static_cast<std::uint32_t>(type));
    std::string frame = w.Take();
    frame += payload;
    return frame;
}

std::string EncodeHello(const TSandboxState& sandbox) {
    TWriter w;
    w.U32(kProtocolVersion);
    w.U8(sandbox.FileSystem ? 1 : 0);
    w.U8(sandbox.Calls ? 1 : 0);
    w.Bytes(std::string_view(sandbox.Detail).substr(0, kMaxSandboxDetail));
    return EncodeFrame(TFrameType::Hello, std::string(kMagic) + w.Take());
}

std::optional<TSandboxState> DecodeHello(std::string_view payload) {
    if (!payload.starts_with(kMagic))
        return std::nullopt;
    TReader r(payload.substr(kMagic.size()));
    std::uint32_t version = 0;
    std::uint8_t files = 0, calls = 0;
    TSandboxState sandbox;
    if (!r.U32(version) || version != kProtocolVersion || !r.U8(files) || !r.U8(calls) ||
        !r.Bytes(sandbox.Detail, kMaxSandboxDetail) || !r.AtEnd() || files > 1 || calls > 1)
        return std::nullopt;
    // It is shown on a terminal: printable ASCII only.
    for (unsigned char c : sandbox.Detail) {
        if (c < 0x20 || c > 0x7e)
            return std::nullopt;
    }
    sandbox.FileSystem = files != 0;
    sandbox.Calls = calls != 0;
    return sandbox;
}

TFileRole CacheRole(TThumbSize size) {
    return static_cast<TFileRole>(static_cast<std::uint8_t>(TFileRole::CacheNormal) +
                                  static_cast<std::uint8_t>(size));
}

TFileRole OldPageRole(TPageFormat format, bool doubleSize) {
    if (format == TPageFormat::Png)
        return doubleSize ? TFileRole::OldPng2x : TFileRole::OldPng;
    return doubleSize ? TFileRole::OldJpeg2x : TFileRole::OldJpeg;
}

std::string EncodeRequest(const THelperRequest& q) {
    TWriter w;
    w.U64(q.Id);
    w.U8(static_cast<std::uint8_t>(q.Kind));
    w.U8(static_cast<std::uint8_t>(q.Size));
    w.U8(static_cast<std::uint8_t>(q.Decoder));
    w.U8(static_cast<std::uint8_t>(q.Part));
    w.I32(q.BoxWidth);
    w.I32(q.BoxHeight);
    w.I32(q.IconSize);
    w.I32(q.Dpi);
    w.Bytes(q.Format);
    w.Bytes(q.Original.Uri);
    w.U64(static_cast<std::uint64_t>(q.Original.MTime));
    w.U64(static_cast<std::uint64_t>(q.Original.Size));
    w.U8(q.Cached ? 1 : 0);
    std::string roles;
    for (TFileRole role : q.Files)
        roles += static_cast<char>(role);
    w.Bytes(roles);
    return EncodeFrame(TFrameType::Request, w.Take());
}

std::optional<THelperRequest> DecodeRequest(std::string_view payload) {
    TReader r(payload);
    THelperRequest q;
    std::uint8_t kind, size, decoder, part, cached;
    std::uint64_t mtime, bytes;
    std::string roles;
    if (!r.U64(q.Id) || !r.U8(kind) || !r.U8(size) || !r.U8(decoder) || !r.U8(part) || !r.I32(q.BoxWidth) ||
        !r.I32(q.BoxHeight) || !r.I32(q.IconSize) || !r.I32(q.Dpi) || !r.Bytes(q.Format, kMaxFormatBytes) ||
        !r.Bytes(q.Original.Uri, kMaxUriBytes) || !r.U64(mtime) || !r.U64(bytes) || !r.U8(cached) ||
        !r.Bytes(roles, kMaxRequestFiles) || !r.AtEnd())
        return std::nullopt;
    if (kind < 1 || kind > 6 || kind == 4 || size > 2 || part > 4 || cached > 1)
        return std::nullopt;
    if (q.BoxWidth < 0 || q.BoxWidth > kMaxReplySide || q.BoxHeight < 0 || q.BoxHeight > kMaxReplySide ||
        q.IconSize < 1 || q.IconSize > 1024 || q.Dpi < 1 || q.Dpi > 10000)
        return std::nullopt;
    if (q.Original.Uri.empty() || q.Original.Uri.find('\0') != std::string::npos ||
        q.Format.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos ||
        bytes > std::uint64_t(INT64_MAX))
        return std::nullopt;
    // Each role at most once, and the file itself always.
    unsigned seen = 0;
    for (unsigned char role : roles) {
        if (role < 1 || role > 10 || (seen & (1u << role)))
            return std::nullopt;
        seen |= 1u << role;
        q.Files.push_back(static_cast<TFileRole>(role));
    }
    if (!(seen & (1u << static_cast<unsigned>(TFileRole::Source))))
        return std::nullopt;
    q.Kind = static_cast<TRequestKind>(kind);
    q.Size = static_cast<TThumbSize>(size);
    q.Decoder = static_cast<TDecoder>(decoder);
    q.Part = static_cast<TPartGroup>(part);
    q.Original.MTime = static_cast<std::int64_t>(mtime);
    q.Original.Size = static_cast<std::int64_t>(bytes);
    q.Cached = cached != 0;
    return q;
}

std::string EncodeReply(const THelperReply& h) {
    const TThumbReply& a = h.Reply;
    TWriter w;
    w.U64(a.Id);
    w.U8(static_cast<std::uint8_t>(a.Status));
    w.U8(static_cast<std::uint8_t>(a.Source));
    w.U8(static_cast<std::uint8_t>(a.IconHandle));
    w.I32(a.PictureWidth);
    w.I32(a.PictureHeight);
    w.I32(a.Width);
    w.I32(a.Height);
    w.Bytes(a.Pixels);
    w.Bytes(a.Metafile);
    w.U8(static_cast<std::uint8_t>(a.PageFormat));
    w.U8(a.PageDouble ? 1 : 0);
    w.I32(a.PageWidth);
    w.I32(a.PageHeight);
    w.U8(h.TakeOver ? 1 : 0);
    w.Bytes(h.PageFile);
    w.Bytes(h.PageFile2x);
    w.U8(h.RecordFailure ? 1 : 0);
    w.U8(static_cast<std::uint8_t>(h.CacheFiles.size()));
    for (const TCacheFile& file : h.CacheFiles) {
        w.U8(static_cast<std::uint8_t>(file.Size));
        w.Bytes(file.Png);
    }
    return EncodeFrame(TFrameType::Reply, w.Take());
}

std::optional<THelperReply> DecodeReply(std::string_view payload) {
    TReader r(payload);
    THelperReply h;
    TThumbReply& a = h.Reply;
    std::uint8_t status, source, handle, format, doubled, takeOver, record, count;
    if (!r.U64(a.Id) || !r.U8(status) || !r.U8(source) || !r.U8(handle) || !r.I32(a.PictureWidth) ||
        !r.I32(a.PictureHeight) || !r.I32(a.Width) || !r.I32(a.Height) ||
        !r.Bytes(a.Pixels, kMaxReplyPixels * 4) || !r.Bytes(a.Metafile, kMaxReplyMetafile) || !r.U8(format) ||
        !r.U8(doubled) || !r.I32(a.PageWidth) || !r.I32(a.PageHeight) || !r.U8(takeOver) ||
        !r.Bytes(h.PageFile, kMaxThumbnailFile) || !r.Bytes(h.PageFile2x, kMaxThumbnailFile) ||
        !r.U8(record) || !r.U8(count) || count > 3)
        return std::nullopt;
    unsigned sizes = 0;
    for (int i = 0; i < count; ++i) {
        std::uint8_t size;
        TCacheFile file;
        if (!r.U8(size) || size > 2 || (sizes & (1u << size)) || !r.Bytes(file.Png, kMaxThumbnailFile) ||
            file.Png.empty())
            return std::nullopt;
        sizes |= 1u << size;
        file.Size = static_cast<TThumbSize>(size);
        h.CacheFiles.push_back(std::move(file));
    }
    // The pool's own statuses (NotWritten, Unavailable) are never the helper's.
    if (!r.AtEnd() || status < 1 || status > 4 || source < 1 || source > 3 || record > 1)
        return std::nullopt;
    a.IconHandle = static_cast<std::int8_t>(handle);
    if (a.IconHandle < -1 || a.IconHandle > 2)
        return std::nullopt;
    if (a.Width < 0 || a.Width > kMaxReplySide || a.Height < 0 || a.Height > kMaxReplySide)
        return std::nullopt;
    const std::uint64_t pixels = std::uint64_t(a.Width) * std::uint64_t(a.Height);
    if (pixels > kMaxReplyPixels || a.Pixels.size() != pixels * 4)
        return std::nullopt;
    if (a.PictureWidth < -1 || a.PictureHeight < -1)
        return std::nullopt;
    // A page's files: a size for each format, taken over or made whole.
    if (format > 2 || doubled > 1 || takeOver > 1 || a.PageWidth < 0 || a.PageWidth > kPageSide ||
        a.PageHeight < 0 || a.PageHeight > kPageSide ||
        (format != 0) != (a.PageWidth > 0 && a.PageHeight > 0) || (doubled && !format) ||
        (takeOver && !format))
        return std::nullopt;
    const bool written = format != 0 && !takeOver;
    if (written != !h.PageFile.empty() || (written && doubled) != !h.PageFile2x.empty())
        return std::nullopt;
    a.Status = static_cast<TReplyStatus>(status);
    a.Source = static_cast<TReplySource>(source);
    a.PageFormat = static_cast<TPageFormat>(format);
    a.PageDouble = doubled != 0;
    h.TakeOver = takeOver != 0;
    h.RecordFailure = record != 0;
    return h;
}

long SendWithFiles(int socket, std::string_view bytes, const std::vector<int>& files) {
    iovec io{const_cast<char*>(bytes.data()), bytes.size()};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxRequestFiles)] = {};
    if (!files.empty()) {
        if (files.size() > kMaxRequestFiles) {
            errno = EINVAL;
            return -1;
        }
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * files.size());
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * files.size());
        std::memcpy(CMSG_DATA(header), files.data(), sizeof(int) * files.size());
    }
    return ::sendmsg(socket, &message, MSG_NOSIGNAL);
}

long ReceiveWithFiles(int socket, char* buffer, std::size_t size, std::vector<int>& files) {
    iovec io{buffer, size};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxRequestFiles)];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    if (n < 0)
        return n;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
            files.push_back(fd);
        }
    }
    // More than a request may carry: the rest were closed by the kernel.
    if (message.msg_flags & MSG_CTRUNC)
        files.push_back(-1);
    return n;
}

std::string PageFileSuffix(TPageFormat format, bool doubleSize) {
    std::string suffix = doubleSize ? "-2x" : "";
    suffix += format == TPageFormat::Png ? ".png" : ".jpg";
    return suffix;
}

bool IsPageFileName(std::string_view name) {
    if (name.size() < 32 ||
        name.substr(0, 32).find_first_not_of("0123456789abcdef") != std::string_view::npos)
        return false;
    const std::string_view suffix = name.substr(32);
    for (TPageFormat format : {TPageFormat::Jpeg, TPageFormat::Png}) {
        if (suffix == PageFileSuffix(format, false) || suffix == PageFileSuffix(format, true))
            return true;
    }
    return false;
}

std::string PageThumbnailName(std::string_view uri, std::int64_t mtime, std::int64_t size) {
    std::string key(uri);
    key += '\n';
    key += std::to_string(mtime);
    key += '\n';
    key += std::to_string(size);
    return Md5Hex(key);
}

void TFrameReader::Feed(const char* bytes, std::size_t size) {
    // Drop what was read before it grows past what is still waiting.
    if (FStart > 0 && FStart >= FBuffer.size() / 2) {
        FBuffer.erase(0, FStart);
        FStart = 0;
    }
    FBuffer.append(bytes, size);
}

TFrameReader::TResult TFrameReader::Next(std::uint32_t& type, std::string& payload) {
    const std::string_view rest = std::string_view(FBuffer).substr(FStart);
    if (rest.size() < 8)
        return TResult::NeedMore;
    TReader r(rest);
    std::uint32_t length = 0;
    r.U32(length);
    r.U32(type);
    if (length > FMaxPayload)
        return TResult::Bad;
    if (rest.size() - 8 < length)
        return TResult::NeedMore;
    payload.assign(rest.substr(8, length));
    FStart += 8 + length;
    if (FStart == FBuffer.size()) {
        FBuffer.clear();
        FStart = 0;
    }
    return TResult::Frame;
}

} // namespace tavolix::thumbs
