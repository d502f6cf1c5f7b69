// The checked hand-over to the toolkit's BMP and ICO readers.
#include "FuzzOneInput.h"
#include "pictures/BitmapInfo.h"
#include "pictures/IconFile.h"
#include "pictures/PictureLoad.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QGuiApplication>

using namespace tavolix::pictures;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const TByteView bytes(data, size);
    const QImage bitmap = DecodeBitmap(bytes, QSize(200, 36)); // an item's box, as the painter decodes
    if (std::uint64_t(bitmap.width()) * std::uint64_t(bitmap.height()) > kMaxDecodedPixels)
        std::abort();
    const QImage icon = IcoBytesToImage(ExtractIconImage(bytes, 32, 32));
    if (icon.width() > 1024 || icon.height() > 1024)
        std::abort();
    return 0;
}
