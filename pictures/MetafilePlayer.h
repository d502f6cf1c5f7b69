#pragma once

#include "pictures/ByteView.h"
#include "pictures/Metafile.h"

#include <QRectF>

class QImage;
class QPainter;

namespace tavolix::pictures {

// Plays a placeable or enhanced metafile into `target` (painter coordinates):
// mapping modes, window and viewport, world transforms, pens, brushes, fonts,
// lines, polygons, rectangles, ellipses, arcs, paths, text and stretched
// device-independent bitmaps. Records it does not know are skipped; drawing
// never leaves `target`. The painter's state is as before on return.
void PlayMetafile(QPainter& painter, TByteView file, const TMetafileInfo& info, const QRectF& target);

// A packed or split device-independent bitmap as an image, decoded within
// `limit`; null when the header fails the checks or the pixels are not all
// there.
QImage DibToImage(TByteView header, TByteView bits, QSize limit = QSize(1 << 16, 1 << 16));

} // namespace tavolix::pictures
