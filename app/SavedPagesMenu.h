#pragma once

#include "settings/SavedPages.h"

#include <array>
#include <string>

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace tavolix::app {

// The menu of the pages written last ("作成ﾃﾞｰﾀ"): the settings file's ten,
// read again as the menu opens (tavolix-page or a second frame may have
// added one), each item opening its page in its program.
class TSavedPagesMenu final : public QObject {
    Q_OBJECT

public:
    TSavedPagesMenu(std::string settingsFile, QWidget* frame);

    // Makes the menu and its ten items, blank until Load.
    QMenu* Build();
    // Reads the settings file's list; its failure, if any.
    platform::TIoResult Load();
    // Registers a page just written as the newest; "" or why not.
    QString Register(const settings::TSavedPageFields& record);
    // Opens the page of an item, or says why it can't.
    void Open(QAction* item);

    const settings::TSavedPages& Pages() const { return FPages; }
    QMenu* Menu() const { return FMenu; }
    const std::array<QAction*, settings::kSavedPageSlots>& Items() const { return FItems; }

private:
    // The items' captions and hints from the list.
    void ShowPages();

    QWidget* FFrame;
    settings::TSavedPages FPages;
    QMenu* FMenu = nullptr;
    std::array<QAction*, settings::kSavedPageSlots> FItems{};
};

} // namespace tavolix::app
