#include "ui/ScreenMetrics.h"

#include <QApplication>
#include <QFontMetrics>
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

int WidestNumberWidth(const QString& text, const QFontMetrics& metrics) {
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit)
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    QString wide = text;
    for (QChar& c : wide)
        if (c.isDigit())
            c = widest;
    return metrics.horizontalAdvance(wide);
}

} // namespace tavolix::ui
