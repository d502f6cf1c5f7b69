#include "ui/ScreenMetrics.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

namespace tavolix::ui {

namespace {

std::optional<QRect> gScreenGeometry;
std::optional<int> gScrollBarHeight;

} // namespace

QRect ScreenGeometry() {
    if (gScreenGeometry)
        return *gScreenGeometry;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->geometry();
    return QRect(0, 0, 640, 480);
}

void SetScreenGeometryOverride(std::optional<QRect> geometry) {
    gScreenGeometry = geometry;
}

int HorizontalScrollBarHeight() {
    if (gScrollBarHeight)
        return *gScrollBarHeight;
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

void SetHorizontalScrollBarHeightOverride(std::optional<int> height) {
    gScrollBarHeight = height;
}

} // namespace tavolix::ui
