#include "app/FramePlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tavolix::app {

bool CompositorOwnsFrame() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void TFramePlacement::Start(const settings::TFrameSize& kept) {
    FKept = kept;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        if (FKept.Width > 0)
            FFrame.resize(QSize(FKept.Width, FKept.Height).boundedTo(screen->availableGeometry().size()));
        else
            FFrame.resize(area.width() * 3 / 4, area.height() * 3 / 4);
    }
}

void TFramePlacement::Place() {
    // The frame takes the size the compositor gives it: a tile, maximized or
    // full screen; a resize would fight it, and a move is ignored.
    if (CompositorOwnsFrame())
        return;
    const QScreen* screen = FFrame.screen();
    // Before the window is on the screen, the window manager has yet to
    // place it and would undo a change.
    if (Settled() || !screen || FFrame.isMinimized() || FFrame.isMaximized() || FFrame.isFullScreen() ||
        !FFrame.windowHandle() || !FFrame.windowHandle()->isExposed())
        return;
    // The window manager's borders may change just after (a window leaving
    // the maximized state gets its side borders back): the frame is placed
    // again as they settle, for a moment.
    if (!FPlaced) {
        FPlaced = true;
        FPlacing.setRemainingTime(1000);
    }
    const QSize borders = FFrame.frameGeometry().size() - FFrame.geometry().size();
    QRect area = screen->geometry();
    QRect placed(QPoint(), QSize(area.width() * 3 / 4, area.height() * 3 / 4));
    if (FKept.Width > 0) {
        area = screen->availableGeometry();
        placed.setSize((QSize(FKept.Width, FKept.Height) + borders).boundedTo(area.size()));
    }
    placed.moveCenter(area.center());
    if (FFrame.frameGeometry() == placed)
        return;
    FFrame.resize(placed.size() - borders);
    FFrame.move(placed.topLeft());
}

std::optional<settings::TFrameSize> TFramePlacement::TakeChange() {
    if (!FChanged || FFrame.isMinimized())
        return std::nullopt;
    FChanged = false;
    const settings::TFrameSize now = Now();
    if (now == FKept)
        return std::nullopt;
    FKept = now;
    return now;
}

settings::TFrameSize TFramePlacement::Now() const {
    settings::TFrameSize now = FKept;
    now.Maximized = FFrame.isMaximized();
    // A frame that started maximised has its normal size from the start.
    const QSize normal =
        FFrame.isMaximized() || FFrame.isFullScreen() ? FFrame.normalGeometry().size() : FFrame.size();
    if (!normal.isEmpty()) {
        now.Width = normal.width();
        now.Height = normal.height();
    }
    return now;
}

} // namespace tavolix::app
