#pragma once

#include "pictures/ByteView.h"
#include "pictures/Metafile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

namespace tavolix::pictures {

// A .bmp file through the header check and the toolkit's reader; a null
// image for anything that fails either.
QImage LoadBitmapFile(const std::string& path);
// The same for the bytes of a whole .bmp file.
QImage DecodeBitmap(TByteView file);

// A one-image .ico in memory as an image (null when the reader refuses it).
QImage IcoBytesToImage(const std::vector<std::uint8_t>& ico);

// The image of an .ico file that best fits `size` (null when unreadable).
QImage LoadIconFile(const std::string& path, QSize size);

// A metafile read whole; Info is empty when the bytes are no metafile we
// accept.
struct TLoadedMetafile {
    std::vector<std::uint8_t> Bytes;
    std::optional<TMetafileInfo> Info;
};
TLoadedMetafile LoadMetafile(const std::string& path, int screenDpi);

} // namespace tavolix::pictures
