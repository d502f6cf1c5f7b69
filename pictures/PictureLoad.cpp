#include "pictures/PictureLoad.h"

#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"
#include "pictures/IconFile.h"

#include <algorithm>

#include <QBuffer>
#include <QImageReader>

namespace tavolix::pictures {

namespace {

constexpr std::uint64_t kMaxRleFileBytes = 64u << 20;

QImage Decode(const std::uint8_t* data, std::size_t size, const char* format) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAllocationLimit(static_cast<int>(kMaxDecodedPixels * 4 / (1024 * 1024)));
    return reader.read();
}

} // namespace

QImage LoadBitmapFile(const std::string& path) {
    TFileSource file(path);
    if (!file.IsOpen())
        return {};
    std::vector<std::uint8_t> head;
    const std::size_t headSize =
        file.Size() < kBitmapHeadBytes ? static_cast<std::size_t>(file.Size()) : kBitmapHeadBytes;
    if (!file.ReadBlock(0, headSize, head))
        return {};
    const auto info = CheckBitmapFile(TByteView(head), file.Size());
    if (!info)
        return {};
    // Only the bytes the header accounts for are read; trailing data is left.
    std::uint64_t need = file.Size();
    if (info->PixelBytes() != 0)
        need = TByteView(head).U32(10) + info->PixelBytes();
    else if (need > kMaxRleFileBytes)
        return {};
    std::vector<std::uint8_t> bytes;
    if (!file.ReadBlock(0, static_cast<std::size_t>(need), bytes))
        return {};
    return Decode(bytes.data(), bytes.size(), "bmp");
}

QImage DecodeBitmap(TByteView file) {
    const auto info = CheckBitmapFile(file.Sub(0, std::min(file.Size(), kBitmapHeadBytes)), file.Size());
    if (!info)
        return {};
    return Decode(file.Data(), file.Size(), "bmp");
}

QImage IcoBytesToImage(const std::vector<std::uint8_t>& ico) {
    if (ico.empty())
        return {};
    return Decode(ico.data(), ico.size(), "ico");
}

QImage LoadIconFile(const std::string& path, QSize size) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, kMaxIconImageBytes * 4, bytes))
        return {};
    return IcoBytesToImage(ExtractIconImage(TByteView(bytes), size.width(), size.height()));
}

TLoadedMetafile LoadMetafile(const std::string& path, int screenDpi) {
    TLoadedMetafile result;
    if (!ReadWholeFile(path, kMaxMetafileBytes, result.Bytes))
        return result;
    result.Info = ReadMetafileInfo(TByteView(result.Bytes), screenDpi);
    if (!result.Info)
        result.Bytes.clear();
    return result;
}

} // namespace tavolix::pictures
