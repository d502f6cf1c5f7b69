#include "results/HitActions.h"

#include "hitview/FLBoxS.h"
#include "platform/ExecuteFile.h"
#include "results/DetailsView.h"
#include "results/HitTransfer.h"
#include "results/ResultCommands.h"
#include "search/FieldText.h"
#include "ui/Hints.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"

#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QStringList>

namespace tavolix::results {

using ui::ApplyHint;
using ui::ShowMessageBox;
using ui::TMessageKind;

namespace {

// More hits than this are opened only when the user says so.
constexpr std::size_t kOpenWithoutAsking = 10;

} // namespace

THitActions::THitActions(QWidget& window, hitview::TFileListBoxS& list, TDetailsView& details,
                         std::function<void()> choose)
    : FWindow(window), FList(list), FDetails(details), FChoose(std::move(choose)) {
}

void THitActions::OpenSelected(int showCmd) {
    const std::vector<std::string> paths = SelectedPaths(FList);
    if (paths.empty())
        return;
    if (paths.size() > kOpenWithoutAsking &&
        ShowMessageBox(
            &FWindow, TMessageKind::Confirmation,
            QCoreApplication::translate(
                "tavolix::results::TMDIChild",
                "選択した %1 個のファイルを、それぞれのプログラムで開きます。\r\n\r\nよろしいですか ?")
                .arg(
                    ui::ToText(search::SizeToText(static_cast<std::int64_t>(paths.size()), FList.Formats()))),
            ui::mbYes | ui::mbNo) != ui::TMessageResult::mrYes)
        return;
    std::vector<platform::TOpenRequest> requests;
    requests.reserve(paths.size());
    for (const std::string& path : paths)
        requests.push_back({path, "", "", showCmd});
    // All within the one wait a single file has.
    platform::ExecuteFiles(requests);
}

void THitActions::Build() {
    PopupMenu1 = new QMenu(&FWindow);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // The actions belong to the window, so their hints reach the frame's
    // status bar as those of the window's menus do.
    auto add = [this](const TCommand& command, void (THitActions::*handler)()) {
        auto* action = new QAction(ui::CommandText(command.Caption), &FWindow);
        ApplyHint(action, ui::CommandText(command.Hint));
        // Shown beside the item; the views take these keys themselves.
        if (command.Shortcut.key() != Qt::Key_unknown) {
            action->setShortcut(command.Shortcut);
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        QObject::connect(action, &QAction::triggered, &FWindow, [this, handler] { (this->*handler)(); });
        PopupMenu1->addAction(action);
        return action;
    };
    Open1 = add(kOpen1, &THitActions::OpenChosen);
    OpenFolder1 = add(kOpenFolder1, &THitActions::OpenFolder1Click);
    PopupMenu1->addSeparator();
    CopyPath1 = add(kCopyPath1, &THitActions::CopyPath1Click);
    CopyName1 = add(kCopyName1, &THitActions::CopyName1Click);

    FList.OnStartDrag = [this](int index) { return StartDrag(index); };
    FList.OnContextPopup = [this](int index, const QPoint& globalPos) { ContextPopup(index, globalPos); };
    FDetails.OnStartDrag = FList.OnStartDrag;
    FDetails.OnContextPopup = FList.OnContextPopup;
}

QMimeData* THitActions::StartDrag(int index) {
    // The press has selected the hit: the status bar follows, as for a click.
    FChoose();
    if (index < 0)
        return nullptr;
    return SelectedHitsMimeData(FList);
}

void THitActions::ContextPopup(int index, const QPoint& globalPos) {
    // A hit of the selection keeps it: the menu acts on every selected hit.
    QItemSelectionModel* selection = FList.selectionModel();
    const QModelIndex item = FList.model()->index(index, 0);
    if (selection->isSelected(item))
        selection->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
    else
        FList.SetItemIndex(index);
    FChoose();
    PopupMenu1->popup(globalPos);
}

void THitActions::OpenFolder1Click() {
    if (FList.ItemIndex() >= 0)
        ShowInFolder(FList.GetSelectedPath(), &FWindow);
}

void THitActions::CopyPath1Click() {
    if (FList.ItemIndex() >= 0)
        CopyToClipboard(SelectedHitsMimeData(FList));
}

void THitActions::CopyName1Click() {
    QStringList names;
    for (const auto& [from, to] : FList.SelectedRanges())
        for (int i = from; i <= to; ++i)
            names << ui::ToText(FList.Items().Strings(i));
    if (!names.isEmpty())
        CopyToClipboard(names.join(QLatin1Char('\n')));
}

void THitActions::OpenChosen() {
    if (FList.ItemIndex() < 0)
        return;
    OpenSelected(1);
}

} // namespace tavolix::results
