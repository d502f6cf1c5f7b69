#include "thumbs/Protocol.h"

#include "thumbs/Md5.h"

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

std::string EncodeHello() {
    TWriter w;
    w.U32(kProtocolVersion);
    return EncodeFrame(TFrameType::Hello, std::string(kMagic) + w.Take());
}

bool IsHello(std::string_view payload) {
    if (payload.size() != kMagic.size() + 4 || !payload.starts_with(kMagic))
        return false;
    TReader r(payload.substr(kMagic.size()));
    std::uint32_t version = 0;
    return r.U32(version) && version == kProtocolVersion;
}

std::string EncodeRequest(const TThumbRequest& q) {
    TWriter w;
    w.U64(q.Id);
    w.U8(static_cast<std::uint8_t>(q.Kind));
    w.U8(static_cast<std::uint8_t>(q.Size));
    w.I32(q.BoxWidth);
    w.I32(q.BoxHeight);
    w.I32(q.IconSize);
    w.I32(q.Dpi);
    w.I32(q.StalePid);
    w.Bytes(q.Path);
    if (q.Kind == TRequestKind::PageThumbnail || q.Kind == TRequestKind::TakeMade) {
        w.Bytes(q.Output);
        w.Bytes(q.Reuse);
    }
    return EncodeFrame(TFrameType::Request, w.Take());
}

std::optional<TThumbRequest> DecodeRequest(std::string_view payload) {
    TReader r(payload);
    TThumbRequest q;
    std::uint8_t kind, size;
    if (!r.U64(q.Id) || !r.U8(kind) || !r.U8(size) || !r.I32(q.BoxWidth) || !r.I32(q.BoxHeight) ||
        !r.I32(q.IconSize) || !r.I32(q.Dpi) || !r.I32(q.StalePid) || !r.Bytes(q.Path, kMaxPathBytes))
        return std::nullopt;
    const bool page = kind == static_cast<std::uint8_t>(TRequestKind::PageThumbnail) ||
                      kind == static_cast<std::uint8_t>(TRequestKind::TakeMade);
    if (page && (!r.Bytes(q.Output, kMaxPathBytes) || !r.Bytes(q.Reuse, kMaxPathBytes) || q.Output.empty() ||
                 q.Output.find('\0') != std::string::npos || q.Reuse.find('\0') != std::string::npos))
        return std::nullopt;
    if (!r.AtEnd())
        return std::nullopt;
    if (kind < 1 || kind > 6 || size > 2 || q.Path.empty() || q.Path.find('\0') != std::string::npos)
        return std::nullopt;
    if (q.BoxWidth < 0 || q.BoxWidth > kMaxReplySide || q.BoxHeight < 0 || q.BoxHeight > kMaxReplySide ||
        q.IconSize < 1 || q.IconSize > 1024 || q.Dpi < 1 || q.Dpi > 10000 || q.StalePid < 0)
        return std::nullopt;
    q.Kind = static_cast<TRequestKind>(kind);
    q.Size = static_cast<TThumbSize>(size);
    return q;
}

std::string EncodeReply(const TThumbReply& a) {
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
    // Only a page thumbnail's reply carries more.
    if (a.PageFormat != TPageFormat::None || a.Status == TReplyStatus::NotWritten) {
        w.U8(static_cast<std::uint8_t>(a.PageFormat));
        w.Bytes(a.PageName);
        w.U8(a.PageDouble ? 1 : 0);
        w.I32(a.PageWidth);
        w.I32(a.PageHeight);
        w.I32(a.WriteErrno);
    }
    return EncodeFrame(TFrameType::Reply, w.Take());
}

std::optional<TThumbReply> DecodeReply(std::string_view payload) {
    TReader r(payload);
    TThumbReply a;
    std::uint8_t status, source, handle;
    if (!r.U64(a.Id) || !r.U8(status) || !r.U8(source) || !r.U8(handle) || !r.I32(a.PictureWidth) ||
        !r.I32(a.PictureHeight) || !r.I32(a.Width) || !r.I32(a.Height) ||
        !r.Bytes(a.Pixels, kMaxReplyPixels * 4) || !r.Bytes(a.Metafile, kMaxReplyMetafile))
        return std::nullopt;
    if (!r.AtEnd()) {
        std::uint8_t format, doubled;
        if (!r.U8(format) || !r.Bytes(a.PageName, 32) || !r.U8(doubled) || !r.I32(a.PageWidth) ||
            !r.I32(a.PageHeight) || !r.I32(a.WriteErrno) || !r.AtEnd())
            return std::nullopt;
        if (format > 2 || doubled > 1 || a.PageWidth < 0 || a.PageWidth > kPageSide || a.PageHeight < 0 ||
            a.PageHeight > kPageSide || (format != 0) != (a.PageWidth > 0 && a.PageHeight > 0) ||
            (doubled && !format) || a.WriteErrno < 0)
            return std::nullopt;
        // It names files the page links: nothing but the hash's digits.
        if ((format != 0) != (a.PageName.size() == 32) ||
            a.PageName.find_first_not_of("0123456789abcdef") != std::string::npos)
            return std::nullopt;
        a.PageFormat = static_cast<TPageFormat>(format);
        a.PageDouble = doubled != 0;
    }
    if (status < 1 || status > 5 || source < 1 || source > 3)
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
    a.Status = static_cast<TReplyStatus>(status);
    a.Source = static_cast<TReplySource>(source);
    return a;
}

std::string PageFileSuffix(TPageFormat format, bool doubleSize) {
    std::string suffix = doubleSize ? "-2x" : "";
    suffix += format == TPageFormat::Png ? ".png" : ".jpg";
    return suffix;
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
