#include "results/ResultOrder.h"

#include "hitview/FLBoxS.h"
#include "results/DetailsView.h"
#include "results/ResultCommands.h"
#include "results/ResultStatus.h"
#include "ui/MessageBoxes.h"
#include "ui/WaitCursor.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>

namespace tavolix::results {

using hitview::TFileListBoxS;
using search::TSortDirection;
using search::TSortOrder;
using ui::ShowMessageBox;
using ui::TMessageKind;

TResultOrder::TResultOrder(QWidget& window, TFileListBoxS& list, TDetailsView& details, TResultStatus& status)
    : FWindow(window), FList(list), FDetails(details), FStatus(status) {
}

QMenu* TResultOrder::BuildMenu() {
    auto add = [this](QMenu* menu, const TCommand& command, auto click) {
        QAction* action = ui::AddCommand(menu, command);
        QObject::connect(action, &QAction::triggered, &FWindow, click);
        return action;
    };
    Sort1 = ui::MakeMenu(kSort1, &FWindow);
    auto* orders = new QActionGroup(Sort1);
    for (int i = 0; i < hitview::kSortChoiceCount; ++i) {
        const hitview::TSortChoice& choice = hitview::SortChoices()[static_cast<std::size_t>(i)];
        const TCommand command{choice.MenuText, choice.MenuHint,
                               Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)};
        SortBy1[i] = add(Sort1, command, [this, order = choice.Order] { SortMenuClick(order); });
        SortBy1[i]->setCheckable(true);
        orders->addAction(SortBy1[i]);
    }
    Sort1->addSeparator();
    Reverse1 = add(Sort1, kReverse1, [this] { Reverse1Click(); });
    Reverse1->setCheckable(true);
    return Sort1;
}

void TResultOrder::HeaderControl1SectionClick(int section) {
    FStatus.ClearItemStatus();
    if (section == 0)
        ShowMessageBox(
            &FWindow, TMessageKind::Plain,
            QCoreApplication::translate("tavolix::results::TMDIChild",
                                        "クリックは、右の項目から選択して下さい。\r\n"
                                        "\r\n"
                                        "(選択可能項目)\r\n"
                                        "\r\n"
                                        " Directory : ディレクトリーでソート\r\n"
                                        " Name      : 名前でソート\r\n"
                                        " Ext       : 拡張子でソート\r\n"
                                        " Size      : ファイルサイズでソート\r\n"
                                        " Time      : 更新日時でソート\r\n"
                                        "\r\n"
                                        "続けて同じ項目をクリックすると、昇順・降順表示が切り替わります。"),
            ui::mbOK);
    else if (section >= 1 && section <= hitview::kSortChoiceCount)
        SortBy(&FList, hitview::SortChoices()[static_cast<std::size_t>(section - 1)].Order);
    FStatus.ShowSortStatus();
    ShowSortChecks();
}

void TResultOrder::DetailsView1SectionClick(int section) {
    FStatus.ClearItemStatus();
    SortBy(&FList, hitview::SortOrderOfColumn(section));
    FStatus.ShowSortStatus();
    ShowSortChecks();
}

void TResultOrder::SortMenuClick(TSortOrder order) {
    FStatus.ClearItemStatus();
    // The order chosen again keeps its way round; reversing has its own command.
    if (order != FList.SortOrder())
        SortBy(&FList, order);
    FStatus.ShowSortStatus();
    ShowSortChecks();
}

void TResultOrder::Reverse1Click() {
    FStatus.ClearItemStatus();
    {
        ui::TWaitCursor wait;
        FList.SetSortDirection(FList.SortDirection() == TSortDirection::sdUpword ? TSortDirection::sdDownword
                                                                                 : TSortDirection::sdUpword);
    }
    FStatus.ShowSortStatus();
    ShowSortChecks();
}

void TResultOrder::ShowSortChecks() {
    for (int i = 0; i < hitview::kSortChoiceCount; ++i)
        SortBy1[i]->setChecked(hitview::SortChoices()[static_cast<std::size_t>(i)].Order ==
                               FList.SortOrder());
    Reverse1->setChecked(FList.SortDirection() == TSortDirection::sdDownword);
    FDetails.ShowSortOrder();
}

void TResultOrder::SortBy(TFileListBoxS* list, TSortOrder order) {
    ui::TWaitCursor wait;
    // Another column starts in its own direction, smallest first.
    if (order != list->SortOrder()) {
        list->SetSortDirection(TSortDirection::sdUpword);
        list->SetSortOrder(order);
    } else
        list->SetSortDirection(list->SortDirection() == TSortDirection::sdUpword ? TSortDirection::sdDownword
                                                                                 : TSortDirection::sdUpword);
}

} // namespace tavolix::results
