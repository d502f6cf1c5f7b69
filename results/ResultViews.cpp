#include "results/ResultViews.h"

#include "hitview/FLBoxS.h"
#include "results/DetailsView.h"
#include "results/GridLayout.h"
#include "results/PictureView.h"
#include "results/ResultCommands.h"

#include <cstdlib>

#include <QAction>
#include <QActionGroup>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>

namespace tavolix::results {

TResultViews::TResultViews(TResultWindowHost& host, QWidget& window, hitview::TFileListBoxS& list,
                           QHeaderView& header, TDetailsView& details, TPictureView& pictures)
    : FHost(host), FWindow(window), FList(list), FHeader(header), FDetails(details), FPictures(pictures) {
}

QMenu* TResultViews::BuildMenu() {
    auto add = [this](QMenu* menu, const TCommand& command, auto click) {
        QAction* action = ui::AddCommand(menu, command);
        QObject::connect(action, &QAction::triggered, &FWindow, click);
        return action;
    };
    GyouRetsu = ui::MakeMenu(kGyouRetsu, &FWindow);
    N4 = ui::MakeMenu(kN4, GyouRetsu);
    GyouRetsu->addMenu(N4);
    for (int tag = 1; tag <= 15; ++tag) {
        if (tag == 6 || tag == 11)
            N4->addSeparator();
        QAction* item = N4->addAction(ui::CommandText(kRows[tag - 1]));
        item->setData(tag);
        QObject::connect(item, &QAction::triggered, &FWindow, [this, item] { GyouSetClick(item); });
    }
    N5 = ui::MakeMenu(kN5, GyouRetsu);
    GyouRetsu->addMenu(N5);
    for (int tag = 1; tag <= 7; ++tag) {
        if (tag == 6)
            N5->addSeparator();
        QAction* item = N5->addAction(ui::CommandText(kColumns[tag - 1]));
        item->setData(tag);
        QObject::connect(item, &QAction::triggered, &FWindow, [this, item] { RetsuSetClick(item); });
    }
    GyouRetsu->addSeparator();
    PictureView1 = add(GyouRetsu, kPictureView1, [this] { PictureView1Click(); });
    PictureView1->setCheckable(true);
    auto* sizes = new QActionGroup(&FWindow);
    for (int i = 0; i < 3; ++i) {
        const int side = settings::kPictureSizes[i];
        PictureSizes1[i] = add(GyouRetsu, kPictureSizes1[i], [this, side] { PictureSizeClick(side); });
        PictureSizes1[i]->setCheckable(true);
        sizes->addAction(PictureSizes1[i]);
    }
    PictureLarger1 = add(GyouRetsu, kPictureLarger1,
                         [this] { PictureSizeClick(StepPictureSize(FPictures.PictureSide(), 1)); });
    PictureLarger1->setShortcuts({kPictureLarger1.Shortcut, Qt::CTRL | Qt::Key_Equal,
                                  QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Plus)});
    PictureSmaller1 = add(GyouRetsu, kPictureSmaller1,
                          [this] { PictureSizeClick(StepPictureSize(FPictures.PictureSide(), -1)); });
    PictureSmaller1->setShortcuts({kPictureSmaller1.Shortcut,
                                   QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Minus)});
    Details1 = add(GyouRetsu, kDetails1, [this] { Details1Click(); });
    Details1->setCheckable(true);
    return GyouRetsu;
}

void TResultViews::GyouSetClick(QAction* sender) {
    if (!sender)
        return;
    FList.SetGyou(sender->data().toInt());
    FGyouCount = FList.Gyou();
    RememberGrid();
}

void TResultViews::RetsuSetClick(QAction* sender) {
    if (!sender)
        return;
    FList.SetColumns(sender->data().toInt());
    FRetsuCount = FList.Columns();
    RememberGrid();
}

void TResultViews::ApplyGrid() {
    // The pictures fill rows and scroll down, as a file manager's do.
    FList.SetRowsFirst(FPictures.Shown());
    if (!FPictures.Shown()) {
        FList.SetGyou(FGyouCount);
        FList.SetColumns(FRetsuCount);
        return;
    }
    const TPictureGrid grid = PictureGrid(FList.ColumnsWidth(), FList.contentsRect().height(),
                                          FPictures.PictureSide(), QFontMetrics(FList.font()).height());
    FList.SetItemHeight(grid.ItemHeight);
    FList.SetColumns(grid.Columns);
}

void TResultViews::PictureSizeClick(int side) {
    FPictures.SetPictureSide(side);
    UpdateGridCommands();
    ApplyGrid();
    RememberGrid();
}

void TResultViews::UpdateGridCommands() {
    // Rows and columns are the default view's, the pictures' size the
    // pictures view's: each set of commands only where it acts.
    const bool pictures = FPictures.Shown();
    N4->menuAction()->setEnabled(!pictures);
    N5->menuAction()->setEnabled(!pictures);
    const int side = FPictures.PictureSide();
    for (int i = 0; i < 3; ++i) {
        PictureSizes1[i]->setEnabled(pictures);
        PictureSizes1[i]->setChecked(settings::kPictureSizes[i] == side);
    }
    PictureLarger1->setEnabled(pictures && StepPictureSize(side, 1) != side);
    PictureSmaller1->setEnabled(pictures && StepPictureSize(side, -1) != side);
}

void TResultViews::RememberGrid() {
    ChangeView([this](settings::TViewChoices& view) {
        view.Grid = {FGyouCount, FRetsuCount, FPictures.PictureSide()};
    });
}

void TResultViews::PictureView1Click() {
    FPictures.SetShown(PictureView1->isChecked());
    FDetails.SetPicturesShown(FPictures.Shown());
    ChangeView([this](settings::TViewChoices& view) { view.Pictures = FPictures.Shown(); });
    UpdateGridCommands();
    ApplyGrid();
}

bool TResultViews::DetailsShown() const {
    return Details1->isChecked();
}

QAbstractItemView* TResultViews::CurrentView() const {
    return DetailsShown() ? static_cast<QAbstractItemView*>(&FDetails) : &FList;
}

void TResultViews::Details1Click() {
    SetDetailsShown(Details1->isChecked());
    ChangeView([this](settings::TViewChoices& view) { view.Details = DetailsShown(); });
}

void TResultViews::SetDetailsShown(bool shown) {
    // The command has checked itself already: the view shown tells.
    QAbstractItemView* before = FDetails.isHidden() ? static_cast<QAbstractItemView*>(&FList) : &FDetails;
    const bool focused = before->hasFocus();
    Details1->setChecked(shown);
    FHeader.setVisible(!shown);
    FList.setVisible(!shown);
    FDetails.setVisible(shown);
    QAbstractItemView* now = CurrentView();
    if (now != before && now == &FList) {
        // The grid was not laid out while hidden: its rows fit the height now.
        FWindow.layout()->activate();
        ApplyGrid();
    }
    const QModelIndex current = FList.selectionModel()->currentIndex();
    if (current.isValid())
        now->scrollTo(now->model()->index(current.row(), 0));
    if (focused)
        now->setFocus();
}

void TResultViews::ChangeView(const std::function<void(settings::TViewChoices&)>& edit) {
    settings::TViewChoices view = FHost.ViewChoices();
    edit(view);
    FHost.SetViewChoices(view);
}

void TResultViews::TakeChosenGrid() {
    FGyouCount = FHost.ViewChoices().Grid.Rows;
    FRetsuCount = FHost.ViewChoices().Grid.Columns;
}

void TResultViews::KeepListGrid() {
    // The pictures view's grid is not a choice of rows and columns.
    if (!FPictures.Shown()) {
        FGyouCount = FList.Gyou();
        FRetsuCount = FList.Columns();
    }
}

void TResultViews::Zoom(int angleDelta) {
    FZoomAngle += angleDelta;
    if (std::abs(FZoomAngle) >= 120) {
        PictureSizeClick(StepPictureSize(FPictures.PictureSide(), FZoomAngle > 0 ? 1 : -1));
        FZoomAngle = 0;
    }
}

} // namespace tavolix::results
