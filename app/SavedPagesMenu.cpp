#include "app/SavedPagesMenu.h"

#include "app/FrameCommands.h"
#include "platform/ExecuteFile.h"
#include "platform/Volumes.h"
#include "ui/Commands.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "words/CoreWords.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace tavolix::app {

using ui::ShowMessageBox;
using ui::TMessageKind;

TSavedPagesMenu::TSavedPagesMenu(std::string settingsFile, QWidget* frame)
    : QObject(frame), FFrame(frame), FPages(std::move(settingsFile)) {
}

QMenu* TSavedPagesMenu::Build() {
    FMenu = ui::MakeMenu(kSavedPagesMenu, FFrame);
    for (int k = 1; k <= settings::kSavedPageSlots; ++k) {
        QAction* item = FMenu->addAction(QStringLiteral("(&%1)").arg(k));
        item->setData(k);
        item->setObjectName(QStringLiteral("SaveData%1").arg(k));
        connect(item, &QAction::triggered, this, [this, item] { Open(item); });
        FItems[static_cast<std::size_t>(k - 1)] = item;
        if (k == 5)
            FMenu->addSeparator();
    }
    connect(FMenu, &QMenu::aboutToShow, this, [this] { Load(); });
    return FMenu;
}

platform::TIoResult TSavedPagesMenu::Load() {
    platform::TIoResult error = FPages.Load();
    ShowPages();
    return error;
}

void TSavedPagesMenu::ShowPages() {
    const auto items = FPages.MenuItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        FItems[i]->setText(ui::ToText(items[i].Caption));
        // No "|": the whole text is the long hint.
        const QString hint = ui::ToText(words::SavedPageHint(items[i]));
        FItems[i]->setStatusTip(hint);
        FItems[i]->setToolTip(hint);
    }
}

QString TSavedPagesMenu::Register(const settings::TSavedPageFields& record) {
    // The page was written with the system's table: its registration uses the same.
    const settings::TRegisterResult error = FPages.Register(record, platform::TMountTable::System());
    ShowPages();
    return error ? ui::ToText(words::RegisterErrorText(*error)) : QString();
}

void TSavedPagesMenu::Open(QAction* item) {
    if (!item)
        return;
    const settings::TSavedPageAction action =
        FPages.ClickAction(item->data().toInt(), platform::TMountTable::System());
    switch (action.Kind) {
    case settings::TSavedPageAction::None:
        break;
    case settings::TSavedPageAction::NotRegistered:
    case settings::TSavedPageAction::NotAnswering:
        ShowMessageBox(FFrame, TMessageKind::Warning, ui::ToText(words::SavedPageMessage(action)), ui::mbOK);
        break;
    case settings::TSavedPageAction::Missing:
        ShowMessageBox(FFrame, TMessageKind::Confirmation, ui::ToText(words::SavedPageMessage(action)),
                       ui::mbOK);
        break;
    case settings::TSavedPageAction::Open:
        platform::ExecuteFile(action.Path, "", action.Folder, 1);
        break;
    }
}

} // namespace tavolix::app
