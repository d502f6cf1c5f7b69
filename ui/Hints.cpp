#include "ui/Hints.h"

#include <algorithm>
#include <utility>

#include <QAction>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QRect>
#include <QStyleOptionTitleBar>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

namespace tavolix::ui {

THintParts SplitHint(const QString& hint) {
    qsizetype bar = hint.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        return {hint, hint};
    }
    return {hint.left(bar), hint.mid(bar + 1)};
}

QString TooltipText(const QString& tooltip) {
    if (!Qt::mightBeRichText(tooltip)) {
        return tooltip;
    }
    return QStringLiteral("<p style='white-space:pre'>") + tooltip.toHtmlEscaped() + QStringLiteral("</p>");
}

void ApplyHint(QWidget* widget, const QString& hint) {
    THintParts parts = SplitHint(hint);
    widget->setToolTip(TooltipText(parts.Tooltip));
    widget->setStatusTip(parts.LongHint);
}

void ApplyHint(QAction* action, const QString& hint) {
    THintParts parts = SplitHint(hint);
    action->setToolTip(TooltipText(parts.Tooltip));
    action->setStatusTip(parts.LongHint);
}

int TTavolixStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
    if (hint == SH_ToolTip_WakeUpDelay) {
        return kTooltipDelayMs;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

namespace {

constexpr const char* kTitleClock = "tavolixTitleClock";

} // namespace

void TTavolixStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                       QPainter* painter, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionTitleBar*>(option);
    const QString clock = control == CC_TitleBar && bar ? TitleClock(widget) : QString();
    if (clock.isEmpty()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    QStyleOptionTitleBar withClock(*bar);
    const QRect label = subControlRect(CC_TitleBar, bar, SC_TitleBarLabel, widget);
    const QFontMetrics metrics(painter->font());
    const QString after = QStringLiteral("  ") + clock;
    const int room = std::max(0, label.width() - metrics.horizontalAdvance(after) - 4);
    withClock.text = metrics.elidedText(widget->windowTitle(), Qt::ElideRight, room) + after;
    QProxyStyle::drawComplexControl(control, &withClock, painter, widget);
}

void SetTitleClock(QWidget* window, const QString& text) {
    if (!window || TitleClock(window) == text)
        return;
    window->setProperty(kTitleClock, text);
    // The title bar alone: what lies below is not painted again.
    const QStyle* style = window->style();
    const int bar = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) +
                    style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    window->update(0, 0, window->width(), bar);
}

QString TitleClock(const QWidget* window) {
    return window ? window->property(kTitleClock).toString() : QString();
}

TTooltipTimeFilter::TTooltipTimeFilter(QObject* parent)
    : QObject(parent), FShowText([](const QPoint& pos, const QString& text, QWidget* w, int msec) {
          QToolTip::showText(pos, text, w, QRect(), msec);
      }) {
}

void TTooltipTimeFilter::SetShowText(TShowText show) {
    FShowText = std::move(show);
}

bool TTooltipTimeFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->toolTip().isEmpty()) {
        return false;
    }
    auto* help = static_cast<QHelpEvent*>(event);
    int msec = widget->toolTipDuration() > 0 ? widget->toolTipDuration() : kTooltipShownMs;
    FShowText(help->globalPos(), widget->toolTip(), widget, msec);
    return true;
}

} // namespace tavolix::ui
