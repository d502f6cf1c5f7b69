#include "ui/Hints.h"

#include <utility>

#include <QAction>
#include <QHelpEvent>
#include <QRect>
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
