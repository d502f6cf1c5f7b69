#include "ui/ReadableColours.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QWidget>

namespace tavolix::ui {

namespace {

double Linear(int channel) {
    const double c = std::clamp(channel, 0, 255) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

struct THsl {
    double H, S, L; // hue 0-6 (sextants), saturation and lightness 0-1
};

THsl ToHsl(TRgb c) {
    const double r = c.R / 255.0, g = c.G / 255.0, b = c.B / 255.0;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    const double l = (hi + lo) / 2, d = hi - lo;
    if (d <= 0)
        return {0, 0, l};
    const double s = d / (1 - std::abs(2 * l - 1));
    double h = hi == r ? std::fmod((g - b) / d + 6, 6) : hi == g ? (b - r) / d + 2 : (r - g) / d + 4;
    return {h, s, l};
}

TRgb FromHsl(THsl c) {
    const double chroma = (1 - std::abs(2 * c.L - 1)) * c.S;
    const double x = chroma * (1 - std::abs(std::fmod(c.H, 2) - 1));
    const double m = c.L - chroma / 2;
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(c.H) % 6) {
    case 0:
        r = chroma, g = x;
        break;
    case 1:
        r = x, g = chroma;
        break;
    case 2:
        g = chroma, b = x;
        break;
    case 3:
        g = x, b = chroma;
        break;
    case 4:
        r = x, b = chroma;
        break;
    default:
        r = chroma, b = x;
        break;
    }
    auto channel = [m](double v) { return static_cast<int>(std::lround(std::clamp(v + m, 0.0, 1.0) * 255)); };
    return {channel(r), channel(g), channel(b)};
}

TRgb Rgb(const QColor& c) {
    const QColor rgb = c.toRgb();
    return {rgb.red(), rgb.green(), rgb.blue()};
}

// Keeps a widget's fixed colour readable when its palette changes.
class TFixedColourKeeper final : public QObject {
public:
    TFixedColourKeeper(QWidget* widget, QPalette::ColorRole textRole, const QColor& fixed,
                       QPalette::ColorRole backgroundRole)
        : QObject(widget), FTextRole(textRole), FFixed(fixed), FBackgroundRole(backgroundRole) {
        Apply(widget);
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::PaletteChange)
            Apply(static_cast<QWidget*>(watched));
        return false;
    }

private:
    void Apply(QWidget* widget) const {
        QPalette palette = widget->palette();
        bool changed = false;
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            const QColor wanted = FixedColourOn(FFixed, palette.color(group, FBackgroundRole));
            if (palette.color(group, FTextRole) != wanted) {
                palette.setColor(group, FTextRole, wanted);
                changed = true;
            }
        }
        // Setting it sends another change, which then finds nothing to do.
        if (changed)
            widget->setPalette(palette);
    }

    QPalette::ColorRole FTextRole;
    QColor FFixed;
    QPalette::ColorRole FBackgroundRole;
};

} // namespace

double RelativeLuminance(TRgb c) {
    return 0.2126 * Linear(c.R) + 0.7152 * Linear(c.G) + 0.0722 * Linear(c.B);
}

double ContrastRatio(TRgb a, TRgb b) {
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDarkBackground(TRgb background) {
    return ContrastRatio({255, 255, 255}, background) > ContrastRatio({0, 0, 0}, background);
}

TRgb ReadableShade(TRgb c, TRgb background, double minimum) {
    if (ContrastRatio(c, background) >= minimum)
        return c;
    const bool lighter = IsDarkBackground(background);
    const THsl hsl = ToHsl(c);
    // Luminance grows with lightness at a fixed hue and saturation: the
    // nearest lightness that reads is found by halving.
    double near = hsl.L, far = lighter ? 1.0 : 0.0;
    TRgb best = FromHsl({hsl.H, hsl.S, far});
    for (int i = 0; i < 24; ++i) {
        const double mid = (near + far) / 2;
        const TRgb shade = FromHsl({hsl.H, hsl.S, mid});
        if (ContrastRatio(shade, background) >= minimum) {
            far = mid;
            best = shade;
        } else {
            near = mid;
        }
    }
    return best;
}

QColor FixedColourOn(const QColor& fixed, const QColor& background) {
    const TRgb back = Rgb(background);
    if (!IsDarkBackground(back))
        return fixed;
    const TRgb shade = ReadableShade(Rgb(fixed), back);
    return QColor(shade.R, shade.G, shade.B);
}

void SetFixedTextColour(QWidget* widget, QPalette::ColorRole textRole, const QColor& fixed,
                        QPalette::ColorRole backgroundRole) {
    new TFixedColourKeeper(widget, textRole, fixed, backgroundRole);
}

} // namespace tavolix::ui
