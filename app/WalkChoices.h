#pragma once

#include "search/WalkOptions.h"
#include "settings/FilterChoice.h"

#include <string>
#include <string_view>

#include <QObject>

class QAction;
class QMenu;
class QWidget;

namespace tavolix::app {

class TFilterRow;

// The walk's choices: the search options menu, whose check marks come from
// the settings file and whose changes go there at once (another program may
// change them, so they are read each time), and the filters of the filter
// row while it shows.
class TWalkChoices final : public QObject {
    Q_OBJECT

public:
    TWalkChoices(std::string settingsFile, TFilterRow& filterRow, QWidget* frame);

    // Makes the menu and its commands; the frame handles FilterRowShow.
    QMenu* Build();

    // For a search of `key` as typed.
    search::TWalkOptions WalkOptions(std::string_view key) const;
    // The filter row's choice while it shows, else none.
    settings::TFilterChoice FilterChoice() const;
    // False, with a box naming the value, when a filter shown can't be read.
    bool FiltersReadable();
    bool RowShown() const { return FRowShown; }
    void SetRowShown(bool shown);

    void ShowCheckMarks();
    void HiddenFoldersClick();
    void OneFileSystemClick();
    void KeyListsClick();
    void ExcludeFoldersClick();

    QMenu* Menu = nullptr;
    QAction* HiddenFolders = nullptr;
    QAction* OneFileSystem = nullptr;
    QAction* KeyLists = nullptr;
    QAction* ExcludeFolders = nullptr;
    QAction* FilterRowShow = nullptr;

private:
    // Writes one on/off choice; on failure says so and unchecks the item again.
    void WriteChoiceOf(QAction* item, std::string_view key);

    std::string FSettingsFile;
    TFilterRow& FRow;
    QWidget* FFrame;
    bool FRowShown = false;
};

} // namespace tavolix::app
