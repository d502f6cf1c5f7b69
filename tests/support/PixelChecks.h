#pragma once

#include <cstdlib>
#include <functional>

#include <QColor>
#include <QImage>
#include <QRect>

// Where a colour was painted in an image, for tests that check where shapes land.
using TPixelTest = std::function<bool(QColor)>;

inline TPixelTest Is(QColor c) {
    return [c](QColor x) { return x.rgb() == c.rgb(); };
}
inline TPixelTest Near(QColor c, int tolerance = 40) {
    return [c, tolerance](QColor x) {
        return std::abs(x.red() - c.red()) <= tolerance && std::abs(x.green() - c.green()) <= tolerance &&
               std::abs(x.blue() - c.blue()) <= tolerance;
    };
}

inline QRect BoundsOf(const QImage& image, const TPixelTest& test, QRect within = QRect()) {
    within = within.isNull() ? image.rect() : within & image.rect();
    QRect r;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            if (test(image.pixelColor(x, y)))
                r |= QRect(x, y, 1, 1);
        }
    }
    return r;
}

inline int CountOf(const QImage& image, const TPixelTest& test, QRect within = QRect()) {
    within = within.isNull() ? image.rect() : within & image.rect();
    int n = 0;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x)
            n += test(image.pixelColor(x, y));
    }
    return n;
}
