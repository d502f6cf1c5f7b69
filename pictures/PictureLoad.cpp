#include "pictures/PictureLoad.h"

#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"
#include "pictures/DibDecode.h"
#include "pictures/IconFile.h"

#include <algorithm>

namespace tavolix::pictures {

namespace {

constexpr std::uint64_t kMaxRleFileBytes = 64u << 20;

// An icon's colour image over its AND mask. A 32-bit image keeps its own
// alpha, unless that is zero everywhere: then the mask decides, as for the
// shallower images (no mask: opaque).
QImage DecodeIconDib(TByteView image) {
    auto dib = CheckIconDib(image);
    if (!dib)
        return {};
    TDibInfo& info = dib->Info;
    const bool ownAlpha = info.BitCount == 32;
    if (ownAlpha && info.Compression == kBiRgb)
        info.AlphaMask = 0xFF000000u;
    QImage colour =
        DecodeDib(info, image, TMemorySource(image), dib->PixelsAt, QSize(info.Width, info.Height));
    if (colour.isNull() || (ownAlpha && colour.hasAlphaChannel()) || !dib->HasMask)
        return colour;
    colour = std::move(colour).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < colour.height(); ++y) {
        const TByteView row =
            image.Sub(dib->MaskAt + static_cast<std::size_t>(info.Height - 1 - y) * dib->MaskRowBytes,
                      dib->MaskRowBytes);
        auto* out = reinterpret_cast<QRgb*>(colour.scanLine(y));
        for (int x = 0; x < colour.width(); ++x) {
            if ((row.U8(x / 8) >> (7 - x % 8)) & 1)
                out[x] = 0;
        }
    }
    return colour;
}

} // namespace

TBitmapPicture LoadBitmapFile(const std::string& path, const std::function<QSize(QSize)>& fit) {
    TFileSource file(path);
    if (!file.IsOpen())
        return {};
    return LoadBitmapFile(file, fit);
}

TBitmapPicture LoadBitmapFile(const TByteSource& file, const std::function<QSize(QSize)>& fit) {
    TBitmapPicture picture;
    std::vector<std::uint8_t> head;
    const std::size_t headSize =
        file.Size() < kBitmapHeadBytes ? static_cast<std::size_t>(file.Size()) : kBitmapHeadBytes;
    if (!file.ReadBlock(0, headSize, head))
        return picture;
    const auto info = CheckBitmapFile(TByteView(head), file.Size());
    if (!info || (info->PixelBytes() == 0 && file.Size() > kMaxRleFileBytes))
        return picture;
    // The colour table may run past the first bytes.
    const std::size_t tableEnd = 14 + std::size_t{info->HeaderSize} + info->TableBytes;
    if (tableEnd > head.size() && !file.ReadBlock(0, tableEnd, head))
        return picture;
    picture.Size = QSize(info->Width, info->Height);
    // Only the rows shown are read; trailing data is left.
    const QSize want = fit ? fit(picture.Size) : picture.Size;
    if (want.width() > 0 && want.height() > 0) {
        picture.Image = DecodeDib(*info, TByteView(head).From(14), file, TByteView(head).U32(10), want);
        if (picture.Image.isNull())
            picture.Size = QSize();
    }
    return picture;
}

QImage LoadBitmapFile(const std::string& path) {
    return LoadBitmapFile(path, nullptr).Image;
}

QImage DecodeBitmap(TByteView file, QSize limit) {
    const auto info = CheckBitmapFile(file.Sub(0, std::min(file.Size(), kBitmapHeadBytes)), file.Size());
    if (!info)
        return {};
    return DecodeDib(*info, file.From(14), TMemorySource(file), file.U32(10), limit);
}

bool IsPngIcon(const std::vector<std::uint8_t>& ico) {
    return ico.size() > 22 && TByteView(ico).From(22).Equals(0, "\x89PNG", 4);
}

QImage IcoBytesToImage(const std::vector<std::uint8_t>& ico) {
    if (ico.size() <= 22 || IsPngIcon(ico))
        return {};
    return DecodeIconDib(TByteView(ico).From(22));
}

std::vector<std::uint8_t> LoadIconImage(const std::string& path, QSize size) {
    return LoadIconImage(TFileSource(path), size);
}

std::vector<std::uint8_t> LoadIconImage(const TByteSource& file, QSize size) {
    std::vector<std::uint8_t> bytes;
    if (file.Size() > kMaxIconImageBytes * 4 ||
        !file.ReadBlock(0, static_cast<std::size_t>(file.Size()), bytes))
        return {};
    return ExtractIconImage(TByteView(bytes), size.width(), size.height());
}

TLoadedMetafile LoadMetafile(const std::string& path, int screenDpi) {
    return LoadMetafile(TFileSource(path), screenDpi);
}

TLoadedMetafile LoadMetafile(const TByteSource& file, int screenDpi) {
    TLoadedMetafile result;
    if (file.Size() > kMaxMetafileBytes ||
        !file.ReadBlock(0, static_cast<std::size_t>(file.Size()), result.Bytes))
        return result;
    result.Info = ReadMetafileInfo(TByteView(result.Bytes), screenDpi);
    if (!result.Info)
        result.Bytes.clear();
    return result;
}

} // namespace tavolix::pictures
