#include "app/CaptionClock.h"

#include "ui/UiFonts.h"

#include <QFontMetrics>
#include <QPainter>

namespace tavolix::app {

using ui::kSansSerif;
using ui::UiFont;

TCaptionClock::TCaptionClock(QWidget* parent) : QWidget(parent) {
    setFont(UiFont(kSansSerif, 13));
}

void TCaptionClock::SetText(const QString& text) {
    FText = text;
    update();
}

void TCaptionClock::SetActive(bool active) {
    FActive = active;
    update();
}

QSize TCaptionClock::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("00:00:00 ")), metrics.height()};
}

void TCaptionClock::paintEvent(QPaintEvent*) {
    const QWidget* top = window();
    if (top && top->isMinimized())
        return;
    QPainter painter(this);
    const QPalette::ColorGroup group = FActive ? QPalette::Active : QPalette::Inactive;
    const QColor background =
        FActive ? palette().color(group, QPalette::Highlight) : palette().color(group, QPalette::Mid);
    const QColor text =
        FActive ? palette().color(group, QPalette::HighlightedText) : palette().color(group, QPalette::Light);
    painter.fillRect(rect(), background);
    painter.setPen(text);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, FText);
}

} // namespace tavolix::app
