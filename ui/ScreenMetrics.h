#pragma once

#include <optional>

#include <QRect>
#include <QString>

class QFontMetrics;

namespace tavolix::ui {

// Window-system values the list box and its progress window size themselves
// by. Each has an override so tests can fix it.

// The primary screen's geometry.
QRect ScreenGeometry();
void SetScreenGeometryOverride(std::optional<QRect> geometry);

// Height of a horizontal scroll bar in the application's style.
int HorizontalScrollBarHeight();
void SetHorizontalScrollBarHeightOverride(std::optional<int> height);

// The width of `text` with each digit the font's widest: as wide as any
// number of its form ("2,818,066" for every count of seven digits).
int WidestNumberWidth(const QString& text, const QFontMetrics& metrics);

} // namespace tavolix::ui
