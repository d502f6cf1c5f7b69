#pragma once

#include <vector>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace tavolix::results {
class TMDIChild;
}

namespace tavolix::app {

// The result windows in the frame's area: where a new one goes, the window
// menu's arrangements and its list of the windows.
class TWindowArranger {
public:
    explicit TWindowArranger(QMdiArea* area) : FArea(area) {}

    // Shown result windows, in creation order.
    std::vector<QMdiSubWindow*> ResultSubWindows() const;
    // The result windows, in activation order (the one activated last at the end).
    std::vector<results::TMDIChild*> ResultWindows() const;
    QMdiSubWindow* SubWindowOf(results::TMDIChild* child) const;

    // Shows a new window and activates it: the whole area, or maximised as the
    // active one is, one step further down and right than the last.
    void PlaceNew(QMdiSubWindow* window);
    void Tile();
    bool TileVertical() const { return FTileVertical; }
    void Cascade();
    void ActivateNext();
    void MaximizeActive();
    void NormalizeAll();
    void MinimizeAll();
    void ArrangeIcons();
    // The window menu's list of the result windows, after its commands.
    void FillWindowList(QMenu* menu);

private:
    QMdiArea* FArea;
    bool FTileVertical = false; // toggled before each tiling: the first tiles vertically
    std::vector<QAction*> FWindowListActions;
};

} // namespace tavolix::app
