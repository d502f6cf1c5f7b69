#pragma once

#include "thumbs/FileKinds.h"
#include "thumbs/ThumbnailCache.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolix::thumbs {

// What the program and its picture helper say to each other over one
// socket: frames of a 32-bit little-endian payload length, a 32-bit type and
// the payload. The helper speaks first (a hello with the protocol's version
// and what its sandbox holds), then answers each request with one reply, in
// order. Since version 3 the helper is handed descriptors with a request
// (SCM_RIGHTS), never a path, and sends back what is to be kept (cache
// files, a page's files) as bytes: the pool opens and writes every file.

inline constexpr std::uint32_t kProtocolVersion = 3;

enum class TFrameType : std::uint32_t { Hello = 1, Request = 2, Reply = 3 };

inline constexpr std::size_t kMaxPathBytes = 4096;
// "file://", every byte of the path escaped.
inline constexpr std::size_t kMaxUriBytes = 8 + 3 * kMaxPathBytes;
inline constexpr std::size_t kMaxFormatBytes = 15;
// Descriptors that come with one request.
inline constexpr std::size_t kMaxRequestFiles = 8;
inline constexpr int kMaxReplySide = 16384;
inline constexpr std::uint64_t kMaxReplyPixels = 16u << 20;
inline constexpr std::size_t kMaxReplyMetafile = 32u << 20;
// A thumbnail file, in the cache or a page's folder.
inline constexpr std::size_t kMaxThumbnailFile = 8u << 20;
inline constexpr std::size_t kMaxSandboxDetail = 512;
inline constexpr std::size_t kMaxRequestPayload = 128 + kMaxUriBytes + kMaxFormatBytes + kMaxRequestFiles;
inline constexpr std::size_t kMaxReplyPayload =
    128 + kMaxReplyPixels * 4 + kMaxReplyMetafile + 5 * (4 + kMaxThumbnailFile);

enum class TRequestKind : std::uint8_t {
    // The picture of a file of a kind we decode, from the cache or made and
    // put there.
    Picture = 1,
    // Only a thumbnail the cache already holds (files we can't decode).
    CachedOnly = 2,
    // The default view's picture of a bitmap, icon, program or metafile, read
    // off the window's thread (files on network volumes); nothing is cached.
    PartPicture = 3,
    // The thumbnail files of a page, written into the folder Output:
    // NAME.jpg (.png when the picture has transparency), at most kPageSide
    // pixels on the long side, and for a bigger picture NAME-2x.jpg (.png)
    // at twice that for 2x screens. NAME stands for the file as it is now
    // (PageThumbnailName). The files of that name in the folder Reuse (the
    // page's last folder) are taken over when there; else they are made from
    // the cache's x-large (or, for a small picture, large) thumbnail when
    // valid, else from the file (and put there).
    PageThumbnail = 5,
    // The PNG another program's thumbnailer made for the file Path, at
    // Output (the pool's own): read as a hostile picture, scaled to Size and
    // put in the cache as the file's thumbnail (NoThumbnail when it is no
    // picture).
    TakeMade = 6,
};

// The page's thumbnails: the size shown, and twice that for 2x screens.
inline constexpr int kPageSide = 256;

// What a caller of the pool asks for.
struct TThumbRequest {
    std::uint64_t Id = 0;
    TRequestKind Kind = TRequestKind::Picture;
    TThumbSize Size = TThumbSize::Normal;
    // PartPicture: a bitmap is decoded at most this size; icons at IconSize.
    std::int32_t BoxWidth = 0, BoxHeight = 0;
    std::int32_t IconSize = 32;
    std::int32_t Dpi = 96; // for a metafile's size in pixels
    std::string Path;
    // PageThumbnail: the folders its files go to and may come from ("": none).
    // TakeMade: the PNG in Output.
    std::string Output, Reuse;
};

enum class TReplyStatus : std::uint8_t {
    Ok = 1,
    Failed = 2,      // not a picture we can read (recorded as failed)
    NoThumbnail = 3, // CachedOnly: the cache has none
    Unreadable = 4,  // the file could not be read at all (gone, no access)
    NotWritten = 5,  // PageThumbnail: a file could not be written (WriteErrno says why)
    // No helper can run or decode here (none installed, or each ends before
    // its hello): nothing was tried and nothing is recorded.
    Unavailable = 6,
};

enum class TPageFormat : std::uint8_t { None = 0, Jpeg = 1, Png = 2 };

enum class TReplySource : std::uint8_t { Made = 1, Cache = 2, Direct = 3 };

// What the caller gets.
struct TThumbReply {
    std::uint64_t Id = 0;
    TReplyStatus Status = TReplyStatus::Failed;
    TReplySource Source = TReplySource::Direct;
    // A program's icon: 0 it has none, 1 not a file with icons, 2 an icon.
    std::int8_t IconHandle = -1;
    // The original picture's size in pixels; -1 when not known.
    std::int32_t PictureWidth = -1, PictureHeight = -1;
    // The picture: Width x Height premultiplied ARGB32 pixels, rows packed.
    std::int32_t Width = 0, Height = 0;
    std::string Pixels;
    // PartPicture of a metafile: its bytes, played by the window.
    std::string Metafile;
    // PageThumbnail: the files written and the size of the first.
    TPageFormat PageFormat = TPageFormat::None;
    std::string PageName;    // NAME, 32 lower-case hex digits
    bool PageDouble = false; // the "-2x" file too
    std::int32_t PageWidth = 0, PageHeight = 0;
    std::int32_t WriteErrno = 0;
};

// How far the helper's sandbox holds: the file system closed to it
// (Landlock), its system calls filtered (seccomp); Detail says what could
// not be set up.
struct TSandboxState {
    bool FileSystem = false;
    bool Calls = false;
    std::string Detail;
    bool Complete() const { return FileSystem && Calls; }
};

// What each descriptor that comes with a request is.
enum class TFileRole : std::uint8_t {
    Source = 1,      // the file itself
    CacheNormal = 2, // the cache's thumbnails of it, by size
    CacheLarge = 3,
    CacheXLarge = 4,
    FailRecord = 5, // its failure record
    OldJpeg = 6,    // the page's last files of it
    OldJpeg2x = 7,
    OldPng = 8,
    OldPng2x = 9,
    Made = 10, // TakeMade: the PNG another program made of it
};
TFileRole CacheRole(TThumbSize size);
TFileRole OldPageRole(TPageFormat format, bool doubleSize);

// A request as the helper gets it: what to make, the file as the cache
// knows it, and the role of each descriptor that came with the frame.
struct THelperRequest {
    std::uint64_t Id = 0;
    TRequestKind Kind = TRequestKind::Picture;
    TThumbSize Size = TThumbSize::Normal;
    TDecoder Decoder = TDecoder::None;
    TPartGroup Part = TPartGroup::NameOnly;
    std::int32_t BoxWidth = 0, BoxHeight = 0;
    std::int32_t IconSize = 32;
    std::int32_t Dpi = 96;
    // The name's extension in lower case: the format of a file whose
    // content has no signature to tell it (TGA).
    std::string Format;
    TOriginal Original;
    // Thumbnails are read from and made for the cache (not for a file inside it).
    bool Cached = false;
    std::vector<TFileRole> Files;
};

struct TCacheFile {
    TThumbSize Size = TThumbSize::Normal;
    std::string Png; // with the standard's keys
};

// A reply as the helper sends it: the caller's part, and what the pool is
// to write.
struct THelperReply {
    TThumbReply Reply; // without PageName and WriteErrno, which are the pool's
    std::vector<TCacheFile> CacheFiles;
    bool RecordFailure = false; // no picture: the pool records it as failed
    // PageThumbnail: the last folder's files (OldJpeg...) are taken over,
    // else these are written.
    bool TakeOver = false;
    std::string PageFile, PageFile2x;
};

// What follows NAME in a page thumbnail's file name: "-2x" for the double
// size, and the format's extension.
std::string PageFileSuffix(TPageFormat format, bool doubleSize);
// True for the name of a page thumbnail's file: NAME and a suffix.
bool IsPageFileName(std::string_view name);
// NAME: the MD5 of the file's URI, modification time and size, so that a
// picture that changed gets a file of another name.
std::string PageThumbnailName(std::string_view uri, std::int64_t mtime, std::int64_t size);

std::string EncodeFrame(TFrameType type, std::string_view payload);
std::string EncodeHello(const TSandboxState& sandbox);
std::string EncodeRequest(const THelperRequest& request);
std::string EncodeReply(const THelperReply& reply);

// nullopt for a payload that is no hello of this protocol version.
std::optional<TSandboxState> DecodeHello(std::string_view payload);
// nullopt for a payload that breaks any of the limits above.
std::optional<THelperRequest> DecodeRequest(std::string_view payload);
std::optional<THelperReply> DecodeReply(std::string_view payload);

// Sends what it can of `bytes` on a stream socket, `files` with the first
// byte; as send(2), without SIGPIPE.
long SendWithFiles(int socket, std::string_view bytes, const std::vector<int>& files);
// Receives up to `size` bytes, adding the descriptors that came with them
// (close-on-exec) to `files`; as recv(2).
long ReceiveWithFiles(int socket, char* buffer, std::size_t size, std::vector<int>& files);

// Cuts frames out of a byte stream; a length over the limit is a fault of
// the stream, not a frame to wait for.
class TFrameReader {
public:
    explicit TFrameReader(std::size_t maxPayload) : FMaxPayload(maxPayload) {}
    enum class TResult { NeedMore, Frame, Bad };
    void Feed(const char* bytes, std::size_t size);
    // The next whole frame, if there is one.
    TResult Next(std::uint32_t& type, std::string& payload);
    std::size_t Buffered() const { return FBuffer.size() - FStart; }

private:
    std::size_t FMaxPayload;
    std::string FBuffer;
    std::size_t FStart = 0;
};

} // namespace tavolix::thumbs
