#pragma once

#include <functional>

class QAction;
class QMenu;
class QMimeData;
class QPoint;
class QWidget;

namespace tavolix::hitview {
class TFileListBoxS;
} // namespace tavolix::hitview

namespace tavolix::results {

class TDetailsView;

// The ways a result window's hits go to other programs: opening them, their
// folder, a drag, the context menu, the clipboard. Both views share them.
class THitActions {
public:
    // `choose`: the press or the menu has chosen a hit; its status shows.
    THitActions(QWidget& window, hitview::TFileListBoxS& list, TDetailsView& details,
                std::function<void()> choose);

    // The hit's context menu and its commands, owned by the window; the
    // views' drags and menus come here.
    void Build();

    QMenu* PopupMenu1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* OpenFolder1 = nullptr;
    QAction* CopyPath1 = nullptr;
    QAction* CopyName1 = nullptr;

    // Opens the selected hits, asking first when there are many.
    void OpenSelected(int showCmd);
    // The selection as the chosen hit stands (none chosen: nothing).
    void OpenChosen();
    void CopyPath1Click();

private:
    QMimeData* StartDrag(int index);
    void ContextPopup(int index, const QPoint& globalPos);
    void OpenFolder1Click();
    void CopyName1Click();

    QWidget& FWindow;
    hitview::TFileListBoxS& FList;
    TDetailsView& FDetails;
    std::function<void()> FChoose;
};

} // namespace tavolix::results
