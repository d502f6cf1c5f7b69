// The picture a helper's reply carries, as an image the tests can look at.
#pragma once

#include "thumbs/Protocol.h"

#include <cstddef>
#include <cstring>

#include <QImage>

inline QImage ImageOf(const tavolix::thumbs::TThumbReply& reply) {
    QImage image(reply.Width, reply.Height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < reply.Height; ++y)
        std::memcpy(image.scanLine(y), reply.Pixels.data() + std::size_t(y) * reply.Width * 4,
                    std::size_t(reply.Width) * 4);
    return image;
}
