#include "app/WalkChoices.h"

#include "app/ExcludeForm.h"
#include "app/FilterRow.h"
#include "app/FrameCommands.h"
#include "settings/SearchSettings.h"
#include "ui/Commands.h"
#include "ui/MessageBoxes.h"
#include "ui/NameText.h"
#include "words/CoreWords.h"

#include <ctime>

#include <QAction>
#include <QLineEdit>
#include <QMenu>

namespace tavolix::app {

using ui::ShowMessageBox;
using ui::TMessageKind;

namespace {

void TellWriteError(QWidget* parent, const platform::TIoResult& error) {
    ShowMessageBox(parent, TMessageKind::Error, ui::ToText(words::CannotWriteWhyText(*error)), ui::mbOK);
}

} // namespace

TWalkChoices::TWalkChoices(std::string settingsFile, TFilterRow& filterRow, QWidget* frame)
    : QObject(frame), FSettingsFile(std::move(settingsFile)), FRow(filterRow), FFrame(frame) {
}

QMenu* TWalkChoices::Build() {
    Menu = ui::MakeMenu(kSearchOptionsMenu, FFrame);
    const auto add = [this](const ui::TCommand& command, void (TWalkChoices::*click)(), bool separator,
                            bool checkable = true) {
        if (separator)
            Menu->addSeparator();
        QAction* action = ui::AddCommand(Menu, command);
        action->setCheckable(checkable);
        if (click)
            connect(action, &QAction::triggered, this, [this, click] { (this->*click)(); });
        return action;
    };
    HiddenFolders = add(kHiddenFolders1, &TWalkChoices::HiddenFoldersClick, false);
    OneFileSystem = add(kOneFileSystem1, &TWalkChoices::OneFileSystemClick, false);
    ExcludeFolders = add(kExcludeFolders1, &TWalkChoices::ExcludeFoldersClick, true, false);
    KeyLists = add(kKeyLists1, &TWalkChoices::KeyListsClick, true);
    FilterRowShow = add(kFilterRowShow1, nullptr, false);
    connect(Menu, &QMenu::aboutToShow, this, &TWalkChoices::ShowCheckMarks);
    return Menu;
}

settings::TFilterChoice TWalkChoices::FilterChoice() const {
    return FRowShown ? FRow.Choice() : settings::TFilterChoice();
}

search::TWalkOptions TWalkChoices::WalkOptions(std::string_view key) const {
    search::TWalkOptions options;
    settings::LoadWalkOptions(FSettingsFile, options);
    const settings::TFilterChoice choice = FilterChoice();
    // A filter that can't be read stops the search before it starts (FiltersReadable).
    if (settings::ResolveFilter(choice, std::time(nullptr), options.Filter))
        options.Filter = {};
    options.FilterText =
        words::FilterText(choice, options.KeyLists && key.find(';') != std::string_view::npos);
    return options;
}

bool TWalkChoices::FiltersReadable() {
    if (!FRowShown)
        return true;
    platform::TFileFilter filter;
    const std::optional<settings::TFilterError> error =
        settings::ResolveFilter(FRow.Choice(), std::time(nullptr), filter);
    if (!error)
        return true;
    const QString value = ui::ToVisibleText(error->Value);
    QString text;
    switch (error->Field) {
    case settings::TFilterError::MinSize:
    case settings::TFilterError::MaxSize:
        text = tr("サイズ 「 %1 」 を読めません。\r\n\r\nバイト数に、k、M、G （ 1000 倍ずつ ）や "
                  "Ki、Mi、Gi （ 1024 倍ずつ ）を付けて下さい。例 ＝ 500k、10M、1Gi")
                   .arg(value);
        (error->Field == settings::TFilterError::MinSize ? FRow.MinSizeEdit : FRow.MaxSizeEdit)->setFocus();
        break;
    default:
        text = tr("絞り込みの値 「 %1 」 を読めません。").arg(value);
        break;
    }
    ShowMessageBox(FFrame, TMessageKind::Warning, text, ui::mbOK);
    return false;
}

void TWalkChoices::SetRowShown(bool shown) {
    FRowShown = shown;
    FilterRowShow->setChecked(shown);
}

void TWalkChoices::ShowCheckMarks() {
    const search::TWalkOptions options = WalkOptions({});
    HiddenFolders->setChecked(options.HiddenFolders);
    OneFileSystem->setChecked(options.OneFileSystem);
    KeyLists->setChecked(options.KeyLists);
    FilterRowShow->setChecked(FRowShown);
}

void TWalkChoices::WriteChoiceOf(QAction* item, std::string_view key) {
    if (const platform::TIoResult error = settings::WriteWalkChoice(FSettingsFile, key, item->isChecked())) {
        item->setChecked(!item->isChecked());
        TellWriteError(FFrame, error);
    }
}

void TWalkChoices::HiddenFoldersClick() {
    WriteChoiceOf(HiddenFolders, settings::kHiddenFoldersKey);
}

void TWalkChoices::OneFileSystemClick() {
    WriteChoiceOf(OneFileSystem, settings::kOneFileSystemKey);
}

void TWalkChoices::KeyListsClick() {
    WriteChoiceOf(KeyLists, settings::kKeyListsKey);
}

void TWalkChoices::ExcludeFoldersClick() {
    TExcludeForm form(WalkOptions({}).Exclude, FFrame);
    if (form.exec() != QDialog::Accepted)
        return;
    if (const platform::TIoResult error = settings::WriteExcludeList(FSettingsFile, form.Patterns()))
        TellWriteError(FFrame, error);
}

} // namespace tavolix::app
