#pragma once

#include <optional>

#include <QByteArray>

namespace tavolix::thumbnailer {

// An SVG (or gzip-compressed SVG) file made safe to draw from nothing but
// itself: an <image> that names a file instead of carrying its data (a
// "data:" URI) is drawn without it, and no style sheet is fetched (the
// toolkit's renderer would open either by its name, a FIFO or a device
// included). The text is the file's own, unpacked, when nothing reached
// outside; nullopt for a file the renderer would refuse too (broken XML) or
// that unpacks to more than `maxBytes`.
std::optional<QByteArray> SelfContainedSvg(const QByteArray& file, qint64 maxBytes);

} // namespace tavolix::thumbnailer
