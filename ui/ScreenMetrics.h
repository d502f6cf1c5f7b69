#pragma once

#include <optional>

#include <QRect>

namespace tavolix::ui {

// Window-system values the list box and its progress window size themselves
// by. Each has an override so tests can fix it.

// The primary screen's geometry.
QRect ScreenGeometry();
void SetScreenGeometryOverride(std::optional<QRect> geometry);

// Height of a horizontal scroll bar in the application's style.
int HorizontalScrollBarHeight();
void SetHorizontalScrollBarHeightOverride(std::optional<int> height);

} // namespace tavolix::ui
