// Plays metafiles into a small image, as a result item does.
#include "FuzzOneInput.h"
#include "pictures/Metafile.h"
#include "pictures/MetafilePlayer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

using namespace tavolix::pictures;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // A value the toolkit refuses is a value the player failed to bound.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtWarningMsg && type != QtCriticalMsg && type != QtFatalMsg)
            return;
        if (message.contains(QLatin1String("OpenType support missing"))) // the fonts here, not the player
            return;
        std::fprintf(stderr, "Qt: %s\n", qPrintable(message));
        std::abort();
    });
    // The fonts are found once per process; that is not the first text input's cost.
    QImage warm(8, 8, QImage::Format_RGB32);
    QPainter painter(&warm);
    painter.drawText(0, 8, QStringLiteral("a"));
    return 0;
}

int FuzzOneInput(const std::uint8_t* data, std::size_t size) {
    const TByteView bytes(data, size);
    const auto info = ReadMetafileInfo(bytes, 96);
    if (!info)
        return 0;
    static QImage image(96, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setClipRect(QRect(0, 0, 80, 40));
    PlayMetafile(painter, bytes, *info, QRectF(2, 2, 76, 36));
    // Nothing may land outside the target.
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((x < 2 || y < 2 || x >= 78 || y >= 38) && image.pixel(x, y) != qRgb(255, 255, 255))
                std::abort();
        }
    }
    return 0;
}
