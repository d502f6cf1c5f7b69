#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace tavolix::ui {

// A colour as red, green and blue, 0-255.
struct TRgb {
    int R = 0, G = 0, B = 0;
    bool operator==(const TRgb&) const = default;
};

// WCAG 2: relative luminance (0 black - 1 white) and the contrast ratio of
// two colours (1 - 21), the lighter's luminance + 0.05 over the darker's.
double RelativeLuminance(TRgb c);
double ContrastRatio(TRgb a, TRgb b);

// The contrast the fixed colours keep in a dark palette (WCAG AA, body text).
inline constexpr double kReadableContrast = 4.5;

// `c` when it reads against `background` at `minimum` or more; otherwise the
// shade of its hue and saturation, lighter or darker (towards whichever of
// white and black stands further from the background), that is nearest to
// it and reaches `minimum`.
TRgb ReadableShade(TRgb c, TRgb background, double minimum = kReadableContrast);

// True for a background on which light text reads better than dark.
bool IsDarkBackground(TRgb background);

// A fixed colour of the windows (blue sort line, red picture names) as drawn
// on `background`: as it is on a light background, a readable shade of it on
// a dark one, where it would vanish.
QColor FixedColourOn(const QColor& fixed, const QColor& background);

// Gives `widget` the fixed colour `fixed` in its palette's `textRole`, shaded
// for the palette's `backgroundRole`, now and whenever the palette changes.
void SetFixedTextColour(QWidget* widget, QPalette::ColorRole textRole, const QColor& fixed,
                        QPalette::ColorRole backgroundRole);

} // namespace tavolix::ui
