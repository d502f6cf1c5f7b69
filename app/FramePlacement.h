#pragma once

#include "settings/ViewSettings.h"

#include <optional>

#include <QDeadlineTimer>

class QWidget;

namespace tavolix::app {

// A Wayland compositor places and sizes the frame, and its title bar is drawn
// by the compositor or the toolkit, never by the program.
bool CompositorOwnsFrame();

// The frame's size and place: the size the user left it in (clamped to the
// screen), else three quarters of the screen in outer size, centred. The
// user's changes reach the settings file with the rest of the memory, not
// the frame's own placing.
class TFramePlacement {
public:
    explicit TFramePlacement(QWidget& frame) : FFrame(frame) {}

    // The frame as the settings file has it; gives the frame its normal
    // size, also to a frame that starts maximised.
    void Start(const settings::TFrameSize& kept);
    bool StartsMaximized() const { return FKept.Maximized; }
    // The first time the frame stands on the screen in the normal state.
    void Place();
    // The frame's own placing is over: changes now are the user's.
    bool Settled() const { return FPlaced && FPlacing.hasExpired(); }
    void MarkChanged() { FChanged = true; }
    // The size to write after the user's changes, once; none while minimised
    // or when it is the size kept.
    std::optional<settings::TFrameSize> TakeChange();

private:
    // The frame's size out of the maximised state, and whether it is maximised.
    settings::TFrameSize Now() const;

    QWidget& FFrame;
    settings::TFrameSize FKept;
    bool FChanged = false;
    bool FPlaced = false;
    QDeadlineTimer FPlacing; // while the frame's borders settle after it was placed
};

} // namespace tavolix::app
