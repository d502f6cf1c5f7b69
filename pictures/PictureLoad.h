#pragma once

#include "pictures/BitmapInfo.h"
#include "pictures/ByteView.h"
#include "pictures/Metafile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

namespace tavolix::pictures {

// A .bmp file through the header check, decoded at the size `fit` gives for
// the header's size (at most that size; nullptr: the whole picture, scaled
// down past kMaxDecodedPixels). Size is the header's, empty with a null
// image for anything that fails.
struct TBitmapPicture {
    QSize Size;
    QImage Image;
};
TBitmapPicture LoadBitmapFile(const std::string& path, const std::function<QSize(QSize)>& fit);
TBitmapPicture LoadBitmapFile(const TByteSource& file, const std::function<QSize(QSize)>& fit);
QImage LoadBitmapFile(const std::string& path);
// The same for the bytes of a whole .bmp file, decoded within `limit`.
QImage DecodeBitmap(TByteView file, QSize limit = QSize(kMaxBitmapSide, kMaxBitmapSide));

// A one-image .ico in memory as an image (null when the reader refuses it).
// An image in PNG is left to the picture helper (IsPngIcon): the window's
// process decodes no PNG.
QImage IcoBytesToImage(const std::vector<std::uint8_t>& ico);
bool IsPngIcon(const std::vector<std::uint8_t>& ico);

// The image of an .ico file that best fits `size`, as a one-image .ico
// (empty when unreadable).
std::vector<std::uint8_t> LoadIconImage(const std::string& path, QSize size);
std::vector<std::uint8_t> LoadIconImage(const TByteSource& file, QSize size);

// A metafile read whole; Info is empty when the bytes are no metafile we
// accept.
struct TLoadedMetafile {
    std::vector<std::uint8_t> Bytes;
    std::optional<TMetafileInfo> Info;
};
TLoadedMetafile LoadMetafile(const std::string& path, int screenDpi);
TLoadedMetafile LoadMetafile(const TByteSource& file, int screenDpi);

} // namespace tavolix::pictures
