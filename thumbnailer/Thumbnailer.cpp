#include "thumbnailer/Thumbnailer.h"

#include "pictures/PictureLoad.h"
#include "pictures/ProgramIcons.h"
#include "platform/AtomicFile.h"
#include "thumbnailer/Decoders.h"
#include "thumbs/FileKinds.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
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

// A thumbnail file bigger than this is no thumbnail.
constexpr qint64 kMaxThumbnailFile = 8 << 20;

// An open regular file, or -1: a FIFO or a device named like a picture is
// never opened for reading (that could wait for ever).
class TOpenFile {
public:
    explicit TOpenFile(const std::string& path) {
        // Looked at before it is opened: opening some devices does something.
        if (::stat(path.c_str(), &FStat) != 0)
            return;
        if (!S_ISREG(FStat.st_mode)) {
            errno = EINVAL;
            return;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return;
        if (::fstat(fd, &FStat) != 0 || !S_ISREG(FStat.st_mode)) {
            ::close(fd);
            return;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        FFd = fd;
    }
    ~TOpenFile() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TOpenFile(const TOpenFile&) = delete;
    TOpenFile& operator=(const TOpenFile&) = delete;
    int Fd() const { return FFd; }
    const struct stat& Stat() const { return FStat; }

private:
    int FFd = -1;
    struct stat FStat {};
};

void PutImage(TThumbReply& reply, const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    reply.Width = image.width();
    reply.Height = image.height();
    reply.Pixels.resize(std::size_t(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(reply.Pixels.data() + std::size_t(y) * image.width() * 4, image.constScanLine(y),
                    std::size_t(image.width()) * 4);
}

TThumbReply ReplyTo(const TThumbRequest& request, TReplyStatus status, TReplySource source) {
    TThumbReply reply;
    reply.Id = request.Id;
    reply.Status = status;
    reply.Source = source;
    return reply;
}

// Files that stand in for decoders gone wrong, for the tests of the pool.
void RunTestDecoder(const std::string& path) {
    if (path.find(".crash-test") != std::string::npos)
        std::abort();
    if (path.find(".hang-test") != std::string::npos) {
        for (;;)
            ::pause();
    }
    if (path.find(".alloc-test") != std::string::npos) {
        // Touches memory until the limit stops it.
        for (;;) {
            auto* block = static_cast<char*>(std::malloc(16 << 20));
            if (!block)
                std::abort();
            for (std::size_t i = 0; i < (16u << 20); i += 4096)
                block[i] = 1;
        }
    }
}

// A device over an open file of at most `maxBytes`; false for anything else.
bool OpenDevice(const TOpenFile& file, qint64 maxBytes, QFile& device) {
    return file.Fd() >= 0 && file.Stat().st_size <= maxBytes &&
           device.open(file.Fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
}

// The image of a cache file with its text keys, or a null image. The keys
// are taken from the decoded image: the reader's own text lookup splits keys
// at their first ":", and every key here has two.
QImage ReadCacheFile(const std::string& file, qint64 maxBytes, int maxSide) {
    TOpenFile cached(file);
    QFile device;
    if (!OpenDevice(cached, maxBytes, device))
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

// A valid thumbnail of the original in `file`, scaled to `side` when bigger.
bool ReadCached(const std::string& file, const TOriginal& original, int side, QImage& out,
                QSize& pictureSize) {
    QImage image = ReadCacheFile(file, kMaxThumbnailFile, ThumbPixels(TThumbSize::XLarge));
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

bool HasFailureRecord(const std::string& file, const TOriginal& original) {
    const QImage record = ReadCacheFile(file, 64 * 1024, 16);
    return !record.isNull() &&
           IsThumbnailOf({KeyOf(record, "Thumb::URI"), KeyOf(record, "Thumb::MTime"), std::nullopt},
                         original);
}

// The original's size from its header alone, for a thumbnail that doesn't say.
QSize HeaderSize(int fd, TDecoder decoder) {
    if (decoder != TDecoder::QtImage)
        return {};
    QFile device;
    ::lseek(fd, 0, SEEK_SET);
    if (!device.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
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

// Writes a page's thumbnail file; 0 or the system's error. A file left by a
// helper that was killed while writing the same request is replaced.
int WritePageFile(const std::string& path, const QImage& image, TPageFormat format) {
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
    if (!writer.write(pixels))
        return EIO;
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == EEXIST) {
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0666);
    }
    if (fd < 0)
        return errno;
    int error = platform::WriteAllBytes(fd, std::string_view(bytes.constData(), bytes.size())) ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(path.c_str());
    return error;
}

// The size of a page thumbnail of ours, read from its header; invalid for
// anything else.
QSize PageFileSize(const std::string& path, TPageFormat format, int maxSide) {
    TOpenFile file(path);
    QFile device;
    if (!OpenDevice(file, kMaxThumbnailFile, device))
        return {};
    QImageReader reader(&device, format == TPageFormat::Png ? "png" : "jpeg");
    const QSize size = reader.size();
    return size.isValid() && !size.isEmpty() && size.width() <= maxSide && size.height() <= maxSide ? size
                                                                                                    : QSize();
}

// The file at `to` made the same as `from`: linked, or copied where the file
// system has no links. 0 or the system's error.
int TakeOver(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0)
        return 0;
    if (errno == EEXIST) {
        ::unlink(to.c_str());
        if (::link(from.c_str(), to.c_str()) == 0)
            return 0;
    }
    if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    TOpenFile source(from);
    if (source.Fd() < 0)
        return errno;
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return errno;
    char buf[64 * 1024];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(source.Fd(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        if (!platform::WriteAllBytes(fd, std::string_view(buf, static_cast<std::size_t>(n)))) {
            error = errno;
            break;
        }
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(to.c_str());
    return error;
}

} // namespace

bool TThumbnailer::Reuse(const std::string& from, const std::string& to, TThumbReply& reply) {
    for (const TPageFormat format : {TPageFormat::Jpeg, TPageFormat::Png}) {
        const QSize shown = PageFileSize(from + PageFileSuffix(format, false), format, kPageSide);
        if (!shown.isValid())
            continue;
        const bool doubled =
            PageFileSize(from + PageFileSuffix(format, true), format, 2 * kPageSide).isValid();
        if (TakeOver(from + PageFileSuffix(format, false), to + PageFileSuffix(format, false)) != 0)
            return false;
        if (doubled &&
            TakeOver(from + PageFileSuffix(format, true), to + PageFileSuffix(format, true)) != 0) {
            ::unlink((to + PageFileSuffix(format, false)).c_str());
            return false;
        }
        reply.PageFormat = format;
        reply.PageDouble = doubled;
        reply.PageWidth = shown.width();
        reply.PageHeight = shown.height();
        return true;
    }
    return false;
}

TThumbReply TThumbnailer::Handle(const TThumbRequest& request) {
    switch (request.Kind) {
    case TRequestKind::Picture:
    case TRequestKind::CachedOnly:
        return Picture(request);
    case TRequestKind::PartPicture:
        return PartPicture(request);
    case TRequestKind::RecordFailure:
        return RecordFailure(request);
    case TRequestKind::PageThumbnail:
        return PageThumbnail(request);
    case TRequestKind::TakeMade:
        return TakeMade(request);
    }
    return ReplyTo(request, TReplyStatus::Failed, TReplySource::Direct);
}

TThumbReply TThumbnailer::Picture(const TThumbRequest& request) {
    const TFileKind kind = FileKindOf(request.Path);
    TOpenFile file(request.Path);
    if (file.Fd() < 0)
        return ReplyTo(request,
                       errno == ENOENT || errno == EACCES ? TReplyStatus::Unreadable : TReplyStatus::Failed,
                       TReplySource::Direct);
    const TOriginal original{ThumbnailUri(request.Path), file.Stat().st_mtime, file.Stat().st_size};
    const bool cached = !FRoot.empty() && !IsInsideRoot(FRoot, request.Path);
    const int side = ThumbPixels(request.Size);
    const bool onlyCached = request.Kind == TRequestKind::CachedOnly || !HasOwnPicture(kind);

    if (cached) {
        // The size asked for, then bigger ones; a file the toolkit can't
        // read takes whatever the file managers left.
        for (int s = static_cast<int>(request.Size); s <= static_cast<int>(TThumbSize::XLarge); ++s) {
            QImage image;
            QSize pictureSize;
            if (ReadCached(ThumbnailPath(FRoot, static_cast<TThumbSize>(s), original.Uri), original, side,
                           image, pictureSize)) {
                TThumbReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Cache);
                if (!pictureSize.isValid())
                    pictureSize = HeaderSize(file.Fd(), kind.Decoder);
                reply.PictureWidth = pictureSize.isValid() ? pictureSize.width() : -1;
                reply.PictureHeight = pictureSize.isValid() ? pictureSize.height() : -1;
                PutImage(reply, image);
                return reply;
            }
        }
        if (onlyCached) {
            for (int s = static_cast<int>(request.Size) - 1; s >= 0; --s) {
                QImage image;
                QSize pictureSize;
                if (ReadCached(ThumbnailPath(FRoot, static_cast<TThumbSize>(s), original.Uri), original, side,
                               image, pictureSize)) {
                    TThumbReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Cache);
                    reply.PictureWidth = pictureSize.isValid() ? pictureSize.width() : -1;
                    reply.PictureHeight = pictureSize.isValid() ? pictureSize.height() : -1;
                    PutImage(reply, image);
                    return reply;
                }
            }
        }
        if (!onlyCached && HasFailureRecord(FailPath(FRoot, original.Uri), original))
            return ReplyTo(request, TReplyStatus::Failed, TReplySource::Cache);
    }
    if (onlyCached)
        return ReplyTo(request, TReplyStatus::NoThumbnail, TReplySource::Cache);

    if (FTestDecoders)
        RunTestDecoder(request.Path);
    const std::optional<TDecoded> decoded =
        DecodeForThumbnail(file.Fd(), request.Path, kind.Decoder, side, request.Dpi);
    if (!decoded) {
        if (cached)
            WriteCacheFile(FailPath(FRoot, original.Uri), FailureRecordPng(original));
        return ReplyTo(request, TReplyStatus::Failed, TReplySource::Made);
    }
    if (cached) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (writer.write(decoded->Image)) {
            const std::string withKeys = AddPngText(
                std::string_view(png.constData(), png.size()),
                ThumbnailKeys(original, decoded->PictureSize.width(), decoded->PictureSize.height()));
            if (!withKeys.empty())
                WriteCacheFile(ThumbnailPath(FRoot, request.Size, original.Uri), withKeys);
        }
    }
    TThumbReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Made);
    reply.PictureWidth = decoded->PictureSize.isValid() ? decoded->PictureSize.width() : -1;
    reply.PictureHeight = decoded->PictureSize.isValid() ? decoded->PictureSize.height() : -1;
    PutImage(reply, decoded->Image);
    return reply;
}

TThumbReply TThumbnailer::PartPicture(const TThumbRequest& request) {
    {
        // Opened first: a FIFO or a device is refused before any reader waits on it.
        TOpenFile file(request.Path);
        if (file.Fd() < 0)
            return ReplyTo(request, TReplyStatus::Unreadable, TReplySource::Direct);
    }
    if (FTestDecoders)
        RunTestDecoder(request.Path);
    TThumbReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Direct);
    const int icon = request.IconSize;
    switch (FileKindOf(request.Path).Part) {
    case TPartGroup::IconFile:
        PutImage(reply, IconImage(pictures::LoadIconImage(request.Path, QSize(icon, icon))));
        break;
    case TPartGroup::ShellIcon: {
        const pictures::TProgramIcon found = pictures::ExtractFirstIcon(request.Path, icon, icon);
        reply.IconHandle = static_cast<std::int8_t>(found.Handle);
        if (found.Handle == pictures::TProgramIcon::kIcon)
            PutImage(reply, IconImage(found.IcoBytes));
        break;
    }
    case TPartGroup::Bitmap: {
        // The default view limits width and height each on its own.
        const pictures::TBitmapPicture bitmap = pictures::LoadBitmapFile(request.Path, [&](QSize real) {
            return QSize(std::min(real.width(), std::max(1, request.BoxWidth)),
                         std::min(real.height(), std::max(1, request.BoxHeight)));
        });
        if (bitmap.Size.isValid() && !bitmap.Image.isNull()) {
            reply.PictureWidth = bitmap.Size.width();
            reply.PictureHeight = bitmap.Size.height();
            PutImage(reply, bitmap.Image);
        }
        break;
    }
    case TPartGroup::Metafile: {
        pictures::TLoadedMetafile meta = pictures::LoadMetafile(request.Path, request.Dpi);
        if (meta.Info) {
            reply.PictureWidth = meta.Info->Width;
            reply.PictureHeight = meta.Info->Height;
            reply.Metafile.assign(meta.Bytes.begin(), meta.Bytes.end());
        }
        break;
    }
    case TPartGroup::NameOnly:
        break;
    }
    return reply;
}

TThumbReply TThumbnailer::PageThumbnail(const TThumbRequest& request) {
    const TFileKind kind = FileKindOf(request.Path);
    if (!HasOwnPicture(kind))
        return ReplyTo(request, TReplyStatus::Failed, TReplySource::Direct);
    TOpenFile file(request.Path);
    if (file.Fd() < 0)
        return ReplyTo(request,
                       errno == ENOENT || errno == EACCES ? TReplyStatus::Unreadable : TReplyStatus::Failed,
                       TReplySource::Direct);
    const TOriginal original{ThumbnailUri(request.Path), file.Stat().st_mtime, file.Stat().st_size};
    const std::string name = PageThumbnailName(original.Uri, original.MTime, original.Size);
    const std::string output = request.Output + "/" + name;
    TThumbReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Cache);
    reply.PageName = name;
    if (!request.Reuse.empty() && Reuse(request.Reuse + "/" + name, output, reply))
        return reply;
    const bool cached = !FRoot.empty() && !IsInsideRoot(FRoot, request.Path);
    constexpr int kDoubleSide = 2 * kPageSide;

    // Both files come from x-large; large does alone for a picture smaller
    // than it (no 2x file is made for that).
    QImage big;
    QSize pictureSize;
    TReplySource source = TReplySource::Cache;
    if (cached) {
        if (!ReadCached(ThumbnailPath(FRoot, TThumbSize::XLarge, original.Uri), original, kDoubleSide, big,
                        pictureSize)) {
            QImage large;
            QSize size;
            if (ReadCached(ThumbnailPath(FRoot, TThumbSize::Large, original.Uri), original, kPageSide, large,
                           size) &&
                large.width() < kPageSide && large.height() < kPageSide) {
                big = std::move(large);
                pictureSize = size;
            }
        }
        if (big.isNull() && HasFailureRecord(FailPath(FRoot, original.Uri), original))
            return ReplyTo(request, TReplyStatus::Failed, TReplySource::Cache);
    }
    if (big.isNull()) {
        source = TReplySource::Made;
        if (FTestDecoders)
            RunTestDecoder(request.Path);
        std::optional<TDecoded> decoded =
            DecodeForThumbnail(file.Fd(), request.Path, kind.Decoder, kDoubleSide, request.Dpi);
        if (!decoded) {
            if (cached)
                WriteCacheFile(FailPath(FRoot, original.Uri), FailureRecordPng(original));
            return ReplyTo(request, TReplyStatus::Failed, TReplySource::Made);
        }
        big = std::move(decoded->Image);
        pictureSize = decoded->PictureSize;
    }

    const bool doubled = big.width() > kPageSide || big.height() > kPageSide;
    const QImage shown = doubled ? big.scaled(FitInto(big.size(), kPageSide, false), Qt::IgnoreAspectRatio,
                                              Qt::SmoothTransformation)
                                 : big;
    // What was made serves the pictures view and the next page too.
    if (source == TReplySource::Made && cached) {
        if (const std::string png = CachePng(shown, original, pictureSize, kCacheQuality); !png.empty())
            WriteCacheFile(ThumbnailPath(FRoot, TThumbSize::Large, original.Uri), png);
        if (const std::string png = doubled ? CachePng(big, original, pictureSize, kCacheQuality) : "";
            !png.empty())
            WriteCacheFile(ThumbnailPath(FRoot, TThumbSize::XLarge, original.Uri), png);
    }
    const TPageFormat format = HasTransparency(big) ? TPageFormat::Png : TPageFormat::Jpeg;
    reply.Source = source;
    const std::string first = output + PageFileSuffix(format, false);
    int error = WritePageFile(first, shown, format);
    if (error == 0 && doubled) {
        error = WritePageFile(output + PageFileSuffix(format, true), big, format);
        if (error != 0)
            ::unlink(first.c_str());
    }
    if (error != 0) {
        reply.Status = TReplyStatus::NotWritten;
        reply.PageName.clear();
        reply.WriteErrno = error;
        return reply;
    }
    reply.PictureWidth = pictureSize.isValid() ? pictureSize.width() : -1;
    reply.PictureHeight = pictureSize.isValid() ? pictureSize.height() : -1;
    reply.PageFormat = format;
    reply.PageDouble = doubled;
    reply.PageWidth = shown.width();
    reply.PageHeight = shown.height();
    return reply;
}

TThumbReply TThumbnailer::TakeMade(const TThumbRequest& request) {
    TOpenFile file(request.Path);
    if (file.Fd() < 0)
        return ReplyTo(request, TReplyStatus::Unreadable, TReplySource::Direct);
    // Another program's output: a PNG of a thumbnail's size or nothing.
    constexpr int kMaxMadeSide = 4096;
    TOpenFile made(request.Output);
    QFile device;
    if (!OpenDevice(made, kMaxThumbnailFile, device))
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
    if (!FRoot.empty() && !IsInsideRoot(FRoot, request.Path)) {
        const TOriginal original{ThumbnailUri(request.Path), file.Stat().st_mtime, file.Stat().st_size};
        if (const std::string png = CachePng(image, original, QSize(), -1); !png.empty())
            WriteCacheFile(ThumbnailPath(FRoot, request.Size, original.Uri), png);
    }
    TThumbReply reply = ReplyTo(request, TReplyStatus::Ok, TReplySource::Made);
    PutImage(reply, image);
    return reply;
}

TThumbReply TThumbnailer::RecordFailure(const TThumbRequest& request) {
    if (!FRoot.empty()) {
        const std::string uri = ThumbnailUri(request.Path);
        if (request.StalePid > 0)
            RemoveTemporaries(FRoot, uri, request.StalePid);
        struct stat st;
        if (::stat(request.Path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            !IsInsideRoot(FRoot, request.Path))
            WriteCacheFile(FailPath(FRoot, uri), FailureRecordPng({uri, st.st_mtime, st.st_size}));
    }
    return ReplyTo(request, TReplyStatus::Ok, TReplySource::Direct);
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

} // namespace

int Serve(int in, int out, TThumbnailer& thumbnailer) {
    if (!platform::WriteAllBytes(out, EncodeHello()))
        return 0;
    TFrameReader reader(kMaxRequestPayload);
    char buf[8192];
    for (;;) {
        std::uint32_t type = 0;
        std::string payload;
        const TFrameReader::TResult r = reader.Next(type, payload);
        if (r == TFrameReader::TResult::Bad)
            return 2;
        if (r == TFrameReader::TResult::NeedMore) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return 0;
            reader.Feed(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (type != static_cast<std::uint32_t>(TFrameType::Request))
            return 2;
        const std::optional<TThumbRequest> request = DecodeRequest(payload);
        if (!request)
            return 2;
        if (!platform::WriteAllBytes(out, EncodeReply(thumbnailer.Handle(*request))))
            return 0;
        if (CpuSeconds() > kRetireCpuSeconds)
            return 0;
    }
}

} // namespace tavolix::thumbnailer
