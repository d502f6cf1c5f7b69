#pragma once

#include <string>

#include <QColor>
#include <QImage>

// Picture files made at test time: small ones of each format, and the
// shapes of hostile ones.

// The bytes of `image` saved in a format the toolkit writes ("jpg", "png",
// "webp", "tiff", "ico", "bmp").
std::string PictureBytes(const QImage& image, const char* format, int quality = -1);
// A picture of one colour with a dark left half, so that orientation shows.
QImage HalvesImage(int width, int height, QColor right = Qt::red);
// A JPEG with an EXIF orientation (1-8) in front of the picture's own data.
std::string JpegWithOrientation(const QImage& image, int orientation);
// A one-page PDF of `width` x `height` points filled with one colour.
std::string PdfPage(int width, int height);
// An SVG of `width` x `height` user units: a rectangle.
std::string SvgPicture(int width, int height);
// A PNG of `image` in 8-bit RGB (RGBA when it has alpha), its rows filtered
// by turns with every filter (two Paeth rows in a row among them), in
// Adam7's seven passes when `interlaced`.
std::string PngOf(const QImage& image, bool interlaced);
// An 8-bit grey PNG of zeros that claims `width` x `height` pixels and is
// small on disk (a decompression bomb).
std::string PngOfZeros(int width, int height);
