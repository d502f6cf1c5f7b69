#include "ui/Commands.h"

#include "ui/Hints.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace tavolix::ui {

namespace {

void SetHelpTopic(QObject* object, int topic) {
    if (topic > 0)
        object->setProperty("helpContext", topic);
}

} // namespace

QString CommandText(const char* source) {
    return source ? QCoreApplication::translate("Commands", source) : QString();
}

QAction* AddCommand(QMenu* menu, const TCommand& command) {
    QAction* action = menu->addAction(CommandText(command.Caption));
    if (command.Shortcut.key() != Qt::Key_unknown)
        action->setShortcut(command.Shortcut);
    if (command.Hint)
        ApplyHint(action, CommandText(command.Hint));
    SetHelpTopic(action, command.HelpTopic);
    return action;
}

QMenu* MakeMenu(const TCommand& command, QWidget* parent) {
    auto* menu = new QMenu(CommandText(command.Caption), parent);
    if (command.Hint)
        ApplyHint(menu->menuAction(), CommandText(command.Hint));
    SetHelpTopic(menu, command.HelpTopic);
    return menu;
}

} // namespace tavolix::ui
