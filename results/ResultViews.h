#pragma once

#include "results/ResultWindowHost.h"

#include <cstdint>
#include <functional>

class QAbstractItemView;
class QAction;
class QHeaderView;
class QMenu;
class QWidget;

namespace tavolix::hitview {
class TFileListBoxS;
} // namespace tavolix::hitview

namespace tavolix::results {

class TDetailsView;
class TPictureView;

// The views a result window shows its hits in: the grid of rows and columns
// (with its header), the pictures view and the details view, with the menu
// that switches them, the grid's rows and columns and the pictures' size.
// The choices go to the frame, for the windows opened after.
class TResultViews {
public:
    TResultViews(TResultWindowHost& host, QWidget& window, hitview::TFileListBoxS& list, QHeaderView& header,
                 TDetailsView& details, TPictureView& pictures);

    // The rows and columns menu; the window owns it and its commands.
    QMenu* BuildMenu();

    QMenu* GyouRetsu = nullptr;
    QMenu* N4 = nullptr;
    QMenu* N5 = nullptr;
    QAction* PictureView1 = nullptr;
    QAction* PictureSizes1[3] = {};
    QAction* PictureLarger1 = nullptr;
    QAction* PictureSmaller1 = nullptr;
    QAction* Details1 = nullptr;

    bool DetailsShown() const;
    QAbstractItemView* CurrentView() const;
    void SetDetailsShown(bool shown);
    // The grid of the view in force: the rows and columns chosen, or in the
    // pictures view as many pictures of the chosen size as the list holds.
    void ApplyGrid();
    void UpdateGridCommands();
    // The rows and columns last chosen in any window.
    void TakeChosenGrid();
    // The window is shown: the grid the list has is the one chosen.
    void KeepListGrid();
    // Ctrl and the wheel change the pictures' size, a notch a step.
    void Zoom(int angleDelta);
    // One of the choices new windows follow changed.
    void ChangeView(const std::function<void(settings::TViewChoices&)>& edit);

private:
    void GyouSetClick(QAction* sender);
    void RetsuSetClick(QAction* sender);
    void PictureView1Click();
    void PictureSizeClick(int side);
    void Details1Click();
    void RememberGrid();

    TResultWindowHost& FHost;
    QWidget& FWindow;
    hitview::TFileListBoxS& FList;
    QHeaderView& FHeader;
    TDetailsView& FDetails;
    TPictureView& FPictures;
    std::int32_t FGyouCount = 6;
    std::int32_t FRetsuCount = 2;
    // Wheel turns with Ctrl held, not yet a whole notch.
    int FZoomAngle = 0;
};

} // namespace tavolix::results
