#pragma once

#include <functional>

#include <QStyledItemDelegate>

class QListView;

namespace tavolix::hitview {

// Paints one item of a list box (see TFileListBoxS::OnDrawItem).
using TDrawItemEvent = std::function<void(QPainter& painter, int index, const QRect& rect, bool selected)>;

// Draws a list box's items by its handler (the name alone without one), in
// the list's font and colours, each the size of the list's grid. `draw`
// belongs to the list and is read at each paint.
class TDrawItemDelegate final : public QStyledItemDelegate {
public:
    TDrawItemDelegate(QListView* box, const TDrawItemEvent* draw);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override;

private:
    QListView* FBox;
    const TDrawItemEvent* FDraw;
};

} // namespace tavolix::hitview
