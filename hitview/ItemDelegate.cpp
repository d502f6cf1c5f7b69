#include "hitview/ItemDelegate.h"

#include <QListView>
#include <QPainter>
#include <QStyle>

namespace tavolix::hitview {

TDrawItemDelegate::TDrawItemDelegate(QListView* box, const TDrawItemEvent* draw)
    : QStyledItemDelegate(box), FBox(box), FDraw(draw) {
}

void TDrawItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    // The selection keeps its colours when the list has no focus.
    const QPalette::ColorGroup group =
        option.state.testFlag(QStyle::State_Enabled) ? QPalette::Active : QPalette::Disabled;
    const QColor text = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    const QColor back = option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);

    painter->save();
    painter->setFont(FBox->font());
    painter->setPen(text);
    painter->setBrush(back);
    painter->setBackground(back);
    painter->setBackgroundMode(Qt::OpaqueMode);
    if (*FDraw) {
        (*FDraw)(*painter, index.row(), option.rect, selected);
    } else {
        painter->fillRect(option.rect, back);
        painter->drawText(option.rect.adjusted(2, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
    painter->restore();

    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = back;
        FBox->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, FBox);
    }
}

QSize TDrawItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return FBox->gridSize();
}

} // namespace tavolix::hitview
