#pragma once

#include <functional>

#include <QObject>
#include <QPoint>
#include <QProxyStyle>
#include <QString>

class QAction;
class QWidget;

namespace tavolix::ui {

inline constexpr int kTooltipDelayMs = 200;
inline constexpr int kTooltipShownMs = 11000;

// A hint is "tooltip|long hint"; without "|" it serves as both. Only the
// first "|" splits. The blanks around "|" are kept: the long hints' leading
// blank is the status line's margin, like the blank that starts other hints.
struct THintParts {
    QString Tooltip;
    QString LongHint;
};
THintParts SplitHint(const QString& hint);

// The tooltip as the tip shows it literally: a text Qt would take for rich
// text is escaped and wrapped.
QString TooltipText(const QString& tooltip);

// Tooltip := the short part, status tip := the long part.
void ApplyHint(QWidget* widget, const QString& hint);
void ApplyHint(QAction* action, const QString& hint);

// The application style with the tooltip delay of 200 ms, and the clock
// after the title on title bars the program draws itself (SetTitleClock).
class TTavolixStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

// The clock `window`'s own title bar shows after its title (a subwindow's,
// drawn by TTavolixStyle); empty for none. The title itself stays as it is,
// and a long one gives way to the clock. Repaints the title bar on a change.
void SetTitleClock(QWidget* window, const QString& text);
QString TitleClock(const QWidget* window);

// Installed on the application: shows a widget's own tooltip for 11000 ms
// (or the widget's toolTipDuration when it sets one). Widgets without a
// tooltip of their own (item views, menus) keep their handling.
class TTooltipTimeFilter : public QObject {
    Q_OBJECT
public:
    using TShowText =
        std::function<void(const QPoint& globalPos, const QString& text, QWidget* widget, int msec)>;
    explicit TTooltipTimeFilter(QObject* parent = nullptr);
    // Replaces QToolTip::showText, for tests.
    void SetShowText(TShowText show);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TShowText FShowText;
};

} // namespace tavolix::ui
