#pragma once

#include <QKeyCombination>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace tavolix::ui {

// A menu command: caption, hint and shortcut stand together. Caption and
// hint are source texts of the context "Commands" (QT_TRANSLATE_NOOP), put in
// the user's language when the command is made.
struct TCommand {
    const char* Caption;
    const char* Hint = nullptr; // "tooltip|long hint" as ApplyHint takes it; none when null
    QKeyCombination Shortcut{};
    int HelpTopic = 0; // the help topic F1 opens on it; 0: the menu's
};

// A text of the command tables in the user's language.
QString CommandText(const char* source);
// Appends the command to `menu`, which owns it.
QAction* AddCommand(QMenu* menu, const TCommand& command);
// A menu of the menu bar made from its command (no shortcut).
QMenu* MakeMenu(const TCommand& command, QWidget* parent);

// The commands the frame and the result windows both have.
extern const TCommand kFileMenu;
extern const TCommand kHelpCommand;
extern const TCommand kAboutCommand;
extern const TCommand kSearchMenu; // its hint is the program's outline
extern const TCommand kFindCommand;
extern const TCommand kWritePageCommand;

} // namespace tavolix::ui
