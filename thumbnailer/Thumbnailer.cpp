#include "thumbnailer/Thumbnailer.h"

#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"
#include "platform/AtomicFile.h"
#include "thumbnailer/Decoders.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

namespace tavolix::thumbnailer {

// The helper speaks the protocol and reads the table of file kinds.
using namespace thumbs;

namespace {

void PutImage(TThumbReply& reply, const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    reply.Width = image.width();
    reply.Height = image.height();
    reply.Pixels.resize(std::size_t(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(reply.Pixels.data() + std::size_t(y) * image.width() * 4, image.constScanLine(y),
                    std::size_t(image.width()) * 4);
}

THelperReply ReplyTo(const THelperRequest& request, TReplyStatus status, TReplySource source) {
    THelperReply reply;
    reply.Reply.Id = request.Id;
    reply.Reply.Status = status;
    reply.Reply.Source = source;
    return reply;
}

// The path a file: URI names (for the test decoders that try to reach it).
std::string PathOfUri(const std::string& uri) {
    std::string path;
    for (std::size_t i = 7; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size()) {
            path += static_cast<char>(std::strtol(uri.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path;
}

// Files that stand in for decoders gone wrong, for the tests of the pool and
// the sandbox. Those that reach out make a picture when they got through.
std::optional<TDecoded> RunTestDecoder(const std::string& uri, int fd) {
    if (uri.find(".crash-test") != std::string::npos)
        std::abort();
    if (uri.find(".hang-test") != std::string::npos) {
        for (;;)
            ::pause();
    }
    if (uri.find(".alloc-test") != std::string::npos) {
        // Touches memory until the limit stops it.
        for (;;) {
            auto* block = static_cast<char*>(std::malloc(16 << 20));
            if (!block)
                std::abort();
            for (std::size_t i = 0; i < (16u << 20); i += 4096)
                block[i] = 1;
        }
    }
    bool through = false;
    if (uri.find(".open-test") != std::string::npos) {
        // The file itself by its name, as a decoder that follows a reference would.
        const int fd = ::open(PathOfUri(uri).c_str(), O_RDONLY | O_CLOEXEC);
        char byte;
        through = fd >= 0 && ::read(fd, &byte, 1) == 1;
        if (fd >= 0)
            ::close(fd);
    } else if (uri.find(".socket-test") != std::string::npos) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        through = fd >= 0;
        if (fd >= 0)
            ::close(fd);
    } else if (uri.find(".wait-test") != std::string::npos) {
        // Holds its helper until the file says "go": a helper to kill from outside.
        for (char head[2] = {}; ::pread(fd, head, 2, 0) != 2 || std::memcmp(head, "go", 2) != 0;)
            ::usleep(2000);
        through = true;
    } else if (uri.find(".exec-test") != std::string::npos) {
        // Leaves a file beside the picture when the program ran.
        const std::string mark = PathOfUri(uri) + ".ran";
        ::execl("/bin/sh", "sh", "-c", "echo > \"$0\"", mark.c_str(), static_cast<char*>(nullptr));
    } else {
        return std::nullopt;
    }
    if (!through)
        return TDecoded{};
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    return TDecoded{image, image.size()};
}

// A device over an open file of at most `maxBytes`, read from its start;
// false for anything else.
bool OpenDevice(int fd, qint64 maxBytes, QFile& device) {
    struct stat st;
    return fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes &&
           ::lseek(fd, 0, SEEK_SET) == 0 &&
           device.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
}

// The image of a cache file with its text keys, or a null image. The keys
// are taken from the decoded image: the reader's own text lookup splits keys
// at their first ":", and every key here has two.
QImage ReadCacheFile(int fd, qint64 maxBytes, int maxSide) {
    QFile device;
    if (!OpenDevice(fd, maxBytes, device))
        return {};
    QImageReader reader(&device, "png");
    reader.setAllocationLimit(16);
    const QSize size = reader.size();
    // Bigger than a thumbnail may be: not one we trust.
    if (!size.isValid() || size.width() > maxSide || size.height() > maxSide)
        return {};
    return reader.read();
}

std::optional<std::string> KeyOf(const QImage& image, const char* name) {
    const QString value = image.text(QString::fromLatin1(name));
    if (value.isNull())
        return std::nullopt;
    return value.toStdString();
}

// A valid thumbnail of the original in `fd`, scaled to `side` when bigger.
bool ReadCached(int fd, const TOriginal& original, int side, QImage& out, QSize& pictureSize) {
    QImage image = ReadCacheFile(fd, kMaxThumbnailFile, ThumbPixels(TThumbSize::XLarge));
    if (image.isNull() || !IsThumbnailOf({KeyOf(image, "Thumb::URI"), KeyOf(image, "Thumb::MTime"),
                                          KeyOf(image, "Thumb::Size")},
                                         original))
        return false;
    const auto w = KeyOf(image, "Thumb::Image::Width"), h = KeyOf(image, "Thumb::Image::Height");
    const auto pw = w ? ParseDimension(*w) : std::nullopt, ph = h ? ParseDimension(*h) : std::nullopt;
    pictureSize = pw && ph ? QSize(*pw, *ph) : QSize();
    if (image.width() > side || image.height() > side)
        image =
            image.scaled(FitInto(image.size(), side, false), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out = std::move(image);
    return true;
}

bool HasFailureRecord(int fd, const TOriginal& original) {
    const QImage record = ReadCacheFile(fd, 64 * 1024, 16);
    return !record.isNull() &&
           IsThumbnailOf({KeyOf(record, "Thumb::URI"), KeyOf(record, "Thumb::MTime"), std::nullopt},
                         original);
}

// The original's size from its header alone, for a thumbnail that doesn't say.
QSize HeaderSize(int fd, TDecoder decoder) {
    QFile device;
    if (decoder != TDecoder::QtImage || fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0 ||
        !device.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {};
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    return reader.transformation() & QImageIOHandler::TransformationRotate90 ? size.transposed() : size;
}

// The cache's PNGs made for pages: a faster level than the default, a fifth
// bigger at most in a third of the time or less.
constexpr int kCacheQuality = 80;

// A cache file as the standard wants it: the picture with its keys.
std::string CachePng(const QImage& image, const TOriginal& original, QSize pictureSize, int quality) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return AddPngText(std::string_view(png.constData(), png.size()),
                      ThumbnailKeys(original, pictureSize.width(), pictureSize.height()));
}

// The pixels alone: a page's files carry neither the cache's keys (the
// original's full path) nor anything else a reader left in the image.
QImage PixelsOnly(const QImage& image) {
    return QImage(image.constBits(), image.width(), image.height(), image.bytesPerLine(), image.format())
        .copy();
}

bool HasTransparency(const QImage& image) {
    if (!image.hasAlphaChannel())
        return false;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) < 255)
                return true;
        }
    }
    return false;
}

// A page's thumbnail file as bytes; empty when it can't be made.
std::string PageFileBytes(const QImage& image, TPageFormat format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format == TPageFormat::Png ? "png" : "jpeg");
    // A PNG's level as the cache's; a JPEG shown at its own size a little finer
    // than one shown at half.
    const bool doubleSize = image.width() > kPageSide || image.height() > kPageSide;
    writer.setQuality(format == TPageFormat::Png ? kCacheQuality : doubleSize ? 80 : 85);
    const QImage pixels =
        PixelsOnly(format == TPageFormat::Png ? image : image.convertToFormat(QImage::Format_RGB32));
    if (!writer.write(pixels) || std::size_t(bytes.size()) > kMaxThumbnailFile)
        return {};
    return bytes.toStdString();
}

// The size of a page thumbnail of ours, read from its header; invalid for
// anything else.
QSize PageFileSize(int fd, TPageFormat format, int maxSide) {
    QFile device;
    if (!OpenDevice(fd, kMaxThumbnailFile, device))
        return {};
    QImageReader reader(&device, format == TPageFormat::Png ? "png" : "jpeg");
    const QSize size = reader.size();
    return size.isValid() && !size.isEmpty() && size.width() <= maxSide && size.height() <= maxSide ? size
                                                                                                    : QSize();
}

void PutPictureSize(TThumbReply& reply, QSize size) {
    reply.PictureWidth = size.isValid() ? size.width() : -1;
    reply.PictureHeight = size.isValid() ? size.height() : -1;
}

} // namespace

int TThumbnailer::FdOf(TFileRole role) const {
    for (std::size_t i = 0; i < FRequest->Files.size() && i < FFiles->size(); ++i) {
        if (FRequest->Files[i] == role)
            return (*FFiles)[i];
    }
    return -1;
}

THelperReply TThumbnailer::Handle(const THelperRequest& request, const std::vector<int>& files) {
    FRequest = &request;
    FFiles = &files;
    switch (request.Kind) {
    case TRequestKind::Picture:
    case TRequestKind::CachedOnly:
        return Picture(request);
    case TRequestKind::PartPicture:
        return PartPicture(request);
    case TRequestKind::PageThumbnail:
        return PageThumbnail(request);
    case TRequestKind::TakeMade:
        return TakeMade(request);
    }
    return ReplyTo(request, TReplyStatus::Failed, TReplySource::Direct);
}

THelperReply TThumbnailer::Picture(const THelperRequest& request) {
    const TOriginal& original = request.Original;
    const int side = ThumbPixels(request.Size);
    const bool onlyCached = request.Kind == TRequestKind::CachedOnly ||
                            !HasOwnPicture(TFileKind{request.Part, request.Decoder, false});
    const int source = FdOf(TFileRole::Source);

    // The size asked for, then bigger ones; a file the toolkit can't read
    // takes whatever the file managers left, smaller ones too.
    std::vector<TThumbSize> sizes;
    for (int s = static_cast<int>(request.Size); s <= static_cast<int>(TThumbSize::XLarge); ++s)
        sizes.push_back(static_cast<TThumbSize>(s));
    for (int s = static_cast<int>(request.Size) - 1; onlyCached && s >= 0; --s)
        sizes.push_back(static_cast<TThumbSize>(s));
    for (TThumbSize size : sizes) {
        QImage image;
        QSize pictureSize;
        if (ReadCached(FdOf(CacheRole(size)), original, side, image, pictureSize)) {
            THelperReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Cache);
            if (!pictureSize.isValid() && size >= request.Size)
                pictureSize = HeaderSize(source, request.Decoder);
            PutPictureSize(reply.Reply, pictureSize);
            PutImage(reply.Reply, image);
            return reply;
        }
    }
    if (onlyCached)
        return ReplyTo(request, TReplyStatus::NoThumbnail, TReplySource::Cache);
    if (HasFailureRecord(FdOf(TFileRole::FailRecord), original))
        return ReplyTo(request, TReplyStatus::Failed, TReplySource::Cache);

    std::optional<TDecoded> decoded;
    if (FTestDecoders)
        decoded = RunTestDecoder(original.Uri, source);
    if (!decoded)
        decoded = DecodeForThumbnail(source, request.Format, request.Decoder, side, request.Dpi);
    if (!decoded || decoded->Image.isNull()) {
        THelperReply failed = ReplyTo(request, TReplyStatus::Failed, TReplySource::Made);
        failed.RecordFailure = request.Cached;
        return failed;
    }
    THelperReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Made);
    if (request.Cached) {
        if (std::string png = CachePng(decoded->Image, original, decoded->PictureSize, -1); !png.empty())
            reply.CacheFiles.push_back({request.Size, std::move(png)});
    }
    PutPictureSize(reply.Reply, decoded->PictureSize);
    PutImage(reply.Reply, decoded->Image);
    return reply;
}

THelperReply TThumbnailer::PartPicture(const THelperRequest& request) {
    THelperReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Direct);
    if (FTestDecoders)
        RunTestDecoder(request.Original.Uri, FdOf(TFileRole::Source));
    const pictures::TFileSource file(FdOf(TFileRole::Source));
    TThumbReply& a = reply.Reply;
    const int icon = request.IconSize;
    switch (request.Part) {
    case TPartGroup::IconFile:
        PutImage(a, IconImage(pictures::LoadIconImage(file, QSize(icon, icon))));
        break;
    case TPartGroup::ShellIcon: {
        const pictures::TProgramIcon found = pictures::ExtractFirstIcon(file, icon, icon);
        a.IconHandle = static_cast<std::int8_t>(found.Handle);
        if (found.Handle == pictures::TProgramIcon::kIcon)
            PutImage(a, IconImage(found.IcoBytes));
        break;
    }
    case TPartGroup::Bitmap: {
        // The default view limits width and height each on its own.
        const pictures::TBitmapPicture bitmap = pictures::LoadBitmapFile(file, [&](QSize real) {
            return QSize(std::min(real.width(), std::max(1, request.BoxWidth)),
                         std::min(real.height(), std::max(1, request.BoxHeight)));
        });
        if (bitmap.Size.isValid() && !bitmap.Image.isNull()) {
            a.PictureWidth = bitmap.Size.width();
            a.PictureHeight = bitmap.Size.height();
            PutImage(a, bitmap.Image);
        }
        break;
    }
    case TPartGroup::Metafile: {
        pictures::TLoadedMetafile meta = pictures::LoadMetafile(file, request.Dpi);
        if (meta.Info) {
            a.PictureWidth = meta.Info->Width;
            a.PictureHeight = meta.Info->Height;
            a.Metafile.assign(meta.Bytes.begin(), meta.Bytes.end());
        }
        break;
    }
    case TPartGroup::NameOnly:
        break;
    }
    return reply;
}

THelperReply TThumbnailer::PageThumbnail(const THelperRequest& request) {
    const TOriginal& original = request.Original;
    THelperReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Cache);
    TThumbReply& a = reply.Reply;
    // The last page's files of the picture as it is now.
    for (const TPageFormat format : {TPageFormat::Jpeg, TPageFormat::Png}) {
        const QSize shown = PageFileSize(FdOf(OldPageRole(format, false)), format, kPageSide);
        if (!shown.isValid())
            continue;
        reply.TakeOver = true;
        a.PageFormat = format;
        a.PageDouble = PageFileSize(FdOf(OldPageRole(format, true)), format, 2 * kPageSide).isValid();
        a.PageWidth = shown.width();
        a.PageHeight = shown.height();
        return reply;
    }
    constexpr int kDoubleSide = 2 * kPageSide;

    // Both files come from x-large; large does alone for a picture smaller
    // than it (no 2x file is made for that).
    QImage big;
    QSize pictureSize;
    TReplySource source = TReplySource::Cache;
    if (!ReadCached(FdOf(TFileRole::CacheXLarge), original, kDoubleSide, big, pictureSize)) {
        QImage large;
        QSize size;
        if (ReadCached(FdOf(TFileRole::CacheLarge), original, kPageSide, large, size) &&
            large.width() < kPageSide && large.height() < kPageSide) {
            big = std::move(large);
            pictureSize = size;
        }
    }
    if (big.isNull() && HasFailureRecord(FdOf(TFileRole::FailRecord), original))
        return ReplyTo(request, TReplyStatus::Failed, TReplySource::Cache);
    if (big.isNull()) {
        source = TReplySource::Made;
        std::optional<TDecoded> decoded;
        if (FTestDecoders)
            decoded = RunTestDecoder(original.Uri, FdOf(TFileRole::Source));
        if (!decoded)
            decoded = DecodeForThumbnail(FdOf(TFileRole::Source), request.Format, request.Decoder,
                                         kDoubleSide, request.Dpi);
        if (!decoded || decoded->Image.isNull()) {
            THelperReply failed = ReplyTo(request, TReplyStatus::Failed, TReplySource::Made);
            failed.RecordFailure = request.Cached;
            return failed;
        }
        big = std::move(decoded->Image);
        pictureSize = decoded->PictureSize;
    }

    const bool doubled = big.width() > kPageSide || big.height() > kPageSide;
    const QImage shown = doubled ? big.scaled(FitInto(big.size(), kPageSide, false), Qt::IgnoreAspectRatio,
                                              Qt::SmoothTransformation)
                                 : big;
    // What was made serves the pictures view and the next page too.
    if (source == TReplySource::Made && request.Cached) {
        if (std::string png = CachePng(shown, original, pictureSize, kCacheQuality); !png.empty())
            reply.CacheFiles.push_back({TThumbSize::Large, std::move(png)});
        if (std::string png = doubled ? CachePng(big, original, pictureSize, kCacheQuality) : "";
            !png.empty())
            reply.CacheFiles.push_back({TThumbSize::XLarge, std::move(png)});
    }
    const TPageFormat format = HasTransparency(big) ? TPageFormat::Png : TPageFormat::Jpeg;
    a.Source = source;
    reply.PageFile = PageFileBytes(shown, format);
    if (doubled)
        reply.PageFile2x = PageFileBytes(big, format);
    if (reply.PageFile.empty() || (doubled && reply.PageFile2x.empty())) {
        THelperReply failed = ReplyTo(request, TReplyStatus::Failed, source);
        failed.CacheFiles = std::move(reply.CacheFiles);
        return failed;
    }
    PutPictureSize(a, pictureSize);
    a.PageFormat = format;
    a.PageDouble = doubled;
    a.PageWidth = shown.width();
    a.PageHeight = shown.height();
    return reply;
}

THelperReply TThumbnailer::TakeMade(const THelperRequest& request) {
    // Another program's output: a PNG of a thumbnail's size or nothing.
    constexpr int kMaxMadeSide = 4096;
    QFile device;
    if (!OpenDevice(FdOf(TFileRole::Made), kMaxThumbnailFile, device))
        return ReplyTo(request, TReplyStatus::NoThumbnail, TReplySource::Made);
    QImageReader reader(&device, "png");
    reader.setAllocationLimit(kMaxMadeSide * kMaxMadeSide * 4 >> 20);
    const QSize size = reader.size();
    QImage image;
    if (size.isValid() && !size.isEmpty() && size.width() <= kMaxMadeSide && size.height() <= kMaxMadeSide)
        image = reader.read();
    if (image.isNull())
        return ReplyTo(request, TReplyStatus::NoThumbnail, TReplySource::Made);
    const int side = ThumbPixels(request.Size);
    if (image.width() > side || image.height() > side)
        image =
            image.scaled(FitInto(image.size(), side, false), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = PixelsOnly(image);
    THelperReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Made);
    if (request.Cached) {
        if (std::string png = CachePng(image, request.Original, QSize(), -1); !png.empty())
            reply.CacheFiles.push_back({request.Size, std::move(png)});
    }
    PutImage(reply.Reply, image);
    return reply;
}

namespace {

// `picture` saved as `format` into a file in memory and decoded from there.
bool ComesBack(const QImage& picture, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, format).write(picture))
        return false;
    const int fd = ::memfd_create("tavolix-check", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    std::optional<TDecoded> decoded;
    if (platform::WriteAllBytes(fd, std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        decoded = DecodeForThumbnail(fd, format, TDecoder::QtImage, ThumbPixels(TThumbSize::Normal), 96);
    ::close(fd);
    if (!decoded || decoded->Image.size() != picture.size())
        return false;
    const QRgb want = picture.pixel(picture.width() / 2, picture.height() / 2);
    const QRgb got = decoded->Image.pixel(picture.width() / 2, picture.height() / 2);
    return std::abs(qRed(got) - qRed(want)) < 24 && std::abs(qGreen(got) - qGreen(want)) < 24 &&
           std::abs(qBlue(got) - qBlue(want)) < 24;
}

} // namespace

bool CanDecode() {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(qRgb(40, 160, 220));
    return ComesBack(picture, "jpeg") && ComesBack(picture, "png");
}

namespace {

// CPU seconds this process has used.
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A helper that has worked this long makes way for a fresh one before its
// CPU limit could end it in the middle of a file.
constexpr double kRetireCpuSeconds = 240;

void CloseAll(std::vector<int>& files) {
    for (int fd : files) {
        if (fd >= 0)
            ::close(fd);
    }
    files.clear();
}

} // namespace

int Serve(int in, int out, TThumbnailer& thumbnailer, const TSandboxState& sandbox) {
    if (!platform::WriteAllBytes(out, EncodeHello(sandbox)))
        return 0;
    TFrameReader reader(kMaxRequestPayload);
    std::vector<int> files;
    char buf[8192];
    for (;;) {
        std::uint32_t type = 0;
        std::string payload;
        const TFrameReader::TResult r = reader.Next(type, payload);
        if (r == TFrameReader::TResult::Bad)
            return 2;
        if (r == TFrameReader::TResult::NeedMore) {
            long n = ReceiveWithFiles(in, buf, sizeof buf, files);
            if (n < 0 && errno == ENOTSOCK)
                n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || files.size() > kMaxRequestFiles) {
                CloseAll(files);
                return n <= 0 ? 0 : 2;
            }
            reader.Feed(buf, static_cast<std::size_t>(n));
            continue;
        }
        std::optional<THelperRequest> request;
        if (type == static_cast<std::uint32_t>(TFrameType::Request))
            request = DecodeRequest(payload);
        // Its descriptors came with its first byte: one for each role.
        bool matching = request && files.size() == request->Files.size();
        for (int fd : files)
            matching = matching && fd >= 0;
        if (!matching) {
            CloseAll(files);
            return 2;
        }
        const THelperReply reply = thumbnailer.Handle(*request, files);
        CloseAll(files);
        if (!platform::WriteAllBytes(out, EncodeReply(reply)))
            return 0;
        if (CpuSeconds() > kRetireCpuSeconds)
            return 0;
    }
}

} // namespace tavolix::thumbnailer
