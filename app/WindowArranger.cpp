#include "app/WindowArranger.h"

#include "results/findf.h"

#include <algorithm>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QStyle>

namespace tavolix::app {

std::vector<QMdiSubWindow*> TWindowArranger::ResultSubWindows() const {
    std::vector<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : FArea->subWindowList(QMdiArea::CreationOrder))
        if (!window->isHidden() && dynamic_cast<results::TMDIChild*>(window->widget()))
            windows.push_back(window);
    return windows;
}

std::vector<results::TMDIChild*> TWindowArranger::ResultWindows() const {
    std::vector<results::TMDIChild*> children;
    for (QMdiSubWindow* window : FArea->subWindowList(QMdiArea::ActivationHistoryOrder))
        if (auto* child = dynamic_cast<results::TMDIChild*>(window->widget()); child && !window->isHidden())
            children.push_back(child);
    return children;
}

QMdiSubWindow* TWindowArranger::SubWindowOf(results::TMDIChild* child) const {
    for (QMdiSubWindow* window : FArea->subWindowList())
        if (window->widget() == child)
            return window;
    return nullptr;
}

void TWindowArranger::PlaceNew(QMdiSubWindow* window) {
    // New windows step down and right from the top left corner, as a cascade
    // would put them, as far as they stay wholly inside the area.
    const QMdiSubWindow* active = FArea->activeSubWindow();
    const bool maximized = active && active != window && !active->isHidden() && active->isMaximized();
    window->resize(FArea->viewport()->size());
    const int step = std::max(1, window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    const QSize area = FArea->viewport()->size();
    const int room = std::min(area.width() - window->width(), area.height() - window->height());
    const int places = std::clamp(room / step + 1, 1, 8);
    const int index = static_cast<int>(ResultSubWindows().size()) % places;
    window->move(index * step, index * step);
    if (maximized)
        window->showMaximized();
    else
        window->show();
    FArea->setActiveSubWindow(window);
}

void TWindowArranger::Tile() {
    FTileVertical = !FTileVertical;
    std::vector<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : ResultSubWindows())
        if (!window->isMinimized())
            windows.push_back(window);
    if (windows.empty())
        return;
    // The active window first, as the window list has it.
    if (QMdiSubWindow* active = FArea->activeSubWindow()) {
        auto it = std::find(windows.begin(), windows.end(), active);
        if (it != windows.end())
            std::rotate(windows.begin(), it, it + 1);
    }
    const QRect area = FArea->viewport()->rect();
    const int n = static_cast<int>(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* window = windows[static_cast<std::size_t>(i)];
        if (window->isMaximized())
            window->showNormal();
        if (FTileVertical) {
            const int x0 = area.width() * i / n, x1 = area.width() * (i + 1) / n;
            window->setGeometry(x0, 0, x1 - x0, area.height());
        } else {
            const int y0 = area.height() * i / n, y1 = area.height() * (i + 1) / n;
            window->setGeometry(0, y0, area.width(), y1 - y0);
        }
    }
}

void TWindowArranger::Cascade() {
    FArea->cascadeSubWindows();
}

void TWindowArranger::ActivateNext() {
    FArea->activateNextSubWindow();
}

void TWindowArranger::MaximizeActive() {
    if (QMdiSubWindow* active = FArea->activeSubWindow())
        active->showMaximized();
}

void TWindowArranger::NormalizeAll() {
    for (QMdiSubWindow* window : FArea->subWindowList(QMdiArea::ActivationHistoryOrder))
        if (!window->isHidden())
            window->showNormal();
}

void TWindowArranger::MinimizeAll() {
    const QList<QMdiSubWindow*> windows = FArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    // A maximized window would hand its maximized state to the window activated
    // after the next minimizing, which then stays maximized.
    for (QMdiSubWindow* window : windows)
        if (!window->isHidden() && window->isMaximized())
            window->showNormal();
    // Oldest first, the active window last.
    for (QMdiSubWindow* window : windows)
        if (!window->isHidden())
            window->showMinimized();
}

void TWindowArranger::ArrangeIcons() {
    // Minimized windows in rows along the bottom, left to right.
    const QRect area = FArea->viewport()->rect();
    int x = 0;
    int y = area.height();
    for (QMdiSubWindow* window : ResultSubWindows()) {
        if (!window->isMinimized())
            continue;
        const QSize size = window->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= size.height();
        }
        window->move(x, y - size.height());
        x += size.width();
    }
}

void TWindowArranger::FillWindowList(QMenu* menu) {
    for (QAction* action : FWindowListActions) {
        menu->removeAction(action);
        delete action;
    }
    FWindowListActions.clear();
    const auto windows = ResultSubWindows();
    if (windows.empty())
        return;
    FWindowListActions.push_back(menu->addSeparator());
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QString title = window->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = menu->addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(title)
                                                    : QStringLiteral("%1 %2").arg(number).arg(title));
        item->setCheckable(true);
        item->setChecked(window == FArea->activeSubWindow());
        QPointer<QMdiSubWindow> target(window);
        QObject::connect(item, &QAction::triggered, FArea, [area = FArea, target] {
            if (target)
                area->setActiveSubWindow(target);
        });
        FWindowListActions.push_back(item);
        ++number;
    }
}

} // namespace tavolix::app
