#include "thumbnailer/Decoders.h"

#include "pictures/MetafilePlayer.h"
#include "pictures/PictureLoad.h"
#include "thumbnailer/HeifDecoder.h"
#include "thumbnailer/PngReduce.h"
#include "thumbnailer/RawDecoder.h"
#include "thumbnailer/SelfContainedSvg.h"
#include "thumbnailer/VideoDecoder.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <poppler-qt6.h>
#include <unistd.h>

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

namespace tavolix::thumbnailer {

// The helper speaks the protocol and reads the table of file kinds.
using namespace thumbs;

namespace {

// The file as a device whose handle the caller keeps.
bool OpenDevice(QFile& file, int fd) {
    ::lseek(fd, 0, SEEK_SET);
    return file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
}

bool ReadAll(int fd, qint64 limit, QByteArray& out) {
    QFile file;
    if (!OpenDevice(file, fd) || file.size() > limit)
        return false;
    out = file.read(limit + 1);
    return out.size() <= limit;
}

QImage Blank(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull())
        image.fill(Qt::transparent);
    return image;
}

std::optional<TDecoded> Finish(QImage image, QSize pictureSize, int side) {
    if (image.isNull())
        return std::nullopt;
    if (image.width() > side || image.height() > side)
        image =
            image.scaled(FitInto(image.size(), side, false), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return TDecoded{std::move(image), pictureSize};
}

bool IsPng(int fd) {
    static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    char head[8];
    return ::pread(fd, head, sizeof head, 0) == sizeof head && std::memcmp(head, kSignature, 8) == 0;
}

// The colour space the toolkit's own PNG reader gives a picture: its ICC
// profile, else sRGB, else its gamma (and primaries).
QColorSpace ColourSpaceOf(const TPngColours& colours) {
    if (!colours.IccProfile.empty()) {
        const QColorSpace icc = QColorSpace::fromIccProfile(QByteArray::fromStdString(colours.IccProfile));
        if (icc.isValid())
            return icc;
    }
    if (colours.SrgbIntent >= 0 && colours.SrgbIntent <= 3)
        return QColorSpace::SRgb;
    if (colours.Gamma == 0)
        return {};
    const float gamma = 100000.0f / float(colours.Gamma);
    if (const auto& c = colours.Chromaticities) {
        const auto point = [&](int i) { return QPointF((*c)[2 * i] / 100000.0, (*c)[2 * i + 1] / 100000.0); };
        const QColorSpace space(point(0), point(1), point(2), point(3), QColorSpace::TransferFunction::Gamma,
                                gamma);
        if (space.isValid())
            return space;
    }
    return QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Gamma, gamma);
}

// PNG: inflating and unfiltering every row is most of the cost; the rows
// are averaged into the thumbnail's pixels as they come, and no picture of
// the full size is ever held.
std::optional<TDecoded> DecodePng(int fd, int side) {
    ::lseek(fd, 0, SEEK_SET);
    TPngFile input(fd);
    TPngLimits limits;
    limits.MaxPixels = kMaxWholePixels;
    const std::optional<TPngReduced> png = ReducePng(
        input,
        [side](int width, int height) {
            const QSize target = FitInto(QSize(width, height), side, false);
            return std::pair(target.width(), target.height());
        },
        limits);
    if (!png)
        return std::nullopt;
    QImage image(png->OutWidth, png->OutHeight,
                 png->HasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), png->Pixels.data() + std::size_t(y) * png->OutWidth,
                    std::size_t(png->OutWidth) * 4);
    if (const QColorSpace space = ColourSpaceOf(png->Colours); space.isValid())
        image.setColorSpace(space);
    return TDecoded{std::move(image), QSize(png->Width, png->Height)};
}

// TGA has no signature (its header reads as an icon's), so it goes by its
// name; the toolkit's reader takes only files that end in the footer of
// TGA's second version, which one without gets here.
std::optional<TDecoded> DecodeTga(int fd, int side) {
    QByteArray bytes;
    if (!ReadAll(fd, kMaxVectorFileBytes, bytes))
        return std::nullopt;
    static const QByteArray kFooterEnd("TRUEVISION-XFILE.\0", 18);
    if (!bytes.endsWith(kFooterEnd))
        bytes += QByteArray(8, '\0') + kFooterEnd;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "tga");
    reader.setAllocationLimit(kAllocationLimitMiB);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxWholePixels)
        return std::nullopt;
    return Finish(reader.read(), size, side);
}

std::optional<TDecoded> DecodeQtImage(int fd, int side, std::string_view format) {
    if (format == "tga")
        return DecodeTga(fd, side);
    if (IsPng(fd))
        return DecodePng(fd, side);
    QFile file;
    if (!OpenDevice(file, fd))
        return std::nullopt;
    QImageReader reader(&file);
    reader.setAllocationLimit(kAllocationLimitMiB);
    reader.setAutoTransform(true);
    const QSize raw = reader.size();
    if (!raw.isValid() || raw.isEmpty())
        return std::nullopt;
    // A picture that must be decoded whole is refused when it is too big for
    // the limit: a "bomb" of zeros costs nothing on disk and everything here.
    const qint64 pixels = qint64(raw.width()) * raw.height();
    // Only JPEG decodes at a fraction of its size (libjpeg's DCT scaling);
    // every other reader decodes the whole picture and then scales it.
    const bool scales = reader.format() == "jpeg" || reader.format() == "jpg";
    if (pixels > (scales ? kMaxScaledPixels : kMaxWholePixels))
        return std::nullopt;
    const QSize target = FitInto(raw, side, false);
    if (target != raw)
        reader.setScaledSize(target);
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    QImage image = reader.read();
    return Finish(std::move(image), turned ? raw.transposed() : raw, side);
}

std::optional<TDecoded> DecodeSvg(int fd, int side) {
    QByteArray bytes;
    if (!ReadAll(fd, kMaxVectorFileBytes, bytes))
        return std::nullopt;
    const std::optional<QByteArray> own = SelfContainedSvg(bytes, kMaxVectorFileBytes);
    QSvgRenderer renderer;
    if (!own || !renderer.load(*own) || !renderer.isValid())
        return std::nullopt;
    QSize size = renderer.defaultSize();
    if (size.isEmpty())
        size = renderer.viewBoxF().size().toSize();
    if (size.isEmpty())
        size = QSize(side, side);
    QImage image = Blank(FitInto(size, side, true));
    if (image.isNull())
        return std::nullopt;
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), image.size()));
    painter.end();
    return TDecoded{std::move(image), size};
}

std::optional<TDecoded> DecodePdf(int fd, int side, int dpi) {
    QFile file;
    if (!OpenDevice(file, fd))
        return std::nullopt;
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(&file);
    if (!document || document->isLocked() || document->numPages() < 1)
        return std::nullopt;
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return std::nullopt;
    const QSizeF points = page->pageSizeF();
    if (!(points.width() > 0 && points.height() > 0 && points.width() < 1e6 && points.height() < 1e6))
        return std::nullopt;
    const double resolution = 72.0 * side / std::max(points.width(), points.height());
    QImage image = page->renderToImage(resolution, resolution);
    const QSize shown(static_cast<int>(std::lround(points.width() * dpi / 72.0)),
                      static_cast<int>(std::lround(points.height() * dpi / 72.0)));
    return Finish(std::move(image), shown, side);
}

std::optional<TDecoded> DecodeMetafile(int fd, int side, int dpi) {
    const pictures::TLoadedMetafile meta = pictures::LoadMetafile(pictures::TFileSource(fd), dpi);
    if (!meta.Info || meta.Info->Width <= 0 || meta.Info->Height <= 0)
        return std::nullopt;
    const QSize size(meta.Info->Width, meta.Info->Height);
    QImage image = Blank(FitInto(size, side, true));
    if (image.isNull())
        return std::nullopt;
    QPainter painter(&image);
    pictures::PlayMetafile(painter, pictures::TByteView(meta.Bytes), *meta.Info, QRectF(image.rect()));
    painter.end();
    return TDecoded{std::move(image), size};
}

} // namespace

QImage IconImage(const std::vector<std::uint8_t>& ico) {
    if (!pictures::IsPngIcon(ico))
        return pictures::IcoBytesToImage(ico);
    // The image after the one-image directory, every pixel kept.
    TPngBytes input(ico.data() + 22, ico.size() - 22);
    const std::optional<TPngReduced> png = ReducePng(input, nullptr);
    if (!png)
        return {};
    QImage image(png->OutWidth, png->OutHeight, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), png->Pixels.data() + std::size_t(y) * png->OutWidth,
                    std::size_t(png->OutWidth) * 4);
    return image;
}

std::optional<TDecoded> DecodeForThumbnail(int fd, std::string_view format, TDecoder decoder, int side,
                                           int dpi) {
    switch (decoder) {
    case TDecoder::QtImage:
        return DecodeQtImage(fd, side, format);
    case TDecoder::Svg:
        return DecodeSvg(fd, side);
    case TDecoder::Pdf:
        return DecodePdf(fd, side, dpi);
    case TDecoder::Bitmap: {
        const pictures::TBitmapPicture bitmap = pictures::LoadBitmapFile(
            pictures::TFileSource(fd), [side](QSize real) { return FitInto(real, side, false); });
        return Finish(bitmap.Image, bitmap.Size, side);
    }
    case TDecoder::Icon: {
        QImage icon = IconImage(pictures::LoadIconImage(pictures::TFileSource(fd), QSize(side, side)));
        const QSize size = icon.size();
        return Finish(std::move(icon), size, side);
    }
    case TDecoder::Metafile:
        return DecodeMetafile(fd, side, dpi);
    case TDecoder::Heif:
        return DecodeHeif(fd, side);
    case TDecoder::Raw:
        return DecodeRaw(fd, side);
    case TDecoder::Video:
        return DecodeVideo(fd, side);
    case TDecoder::ProgramIcon:
    case TDecoder::None:
        break;
    }
    return std::nullopt;
}

} // namespace tavolix::thumbnailer
