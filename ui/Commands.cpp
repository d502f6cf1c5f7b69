#include "ui/Commands.h"

#include "ui/Hints.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace tavolix::ui {

namespace {

// The help topics these commands belong to (the help's numbers).
constexpr int kMainTopic = 1000;
constexpr int kSearchTopic = 1200;
constexpr int kPageTopic = 1300;

void SetHelpTopic(QObject* object, int topic) {
    if (topic > 0)
        object->setProperty("helpContext", topic);
}

} // namespace

const TCommand kFileMenu = {QT_TRANSLATE_NOOP("Commands", "終了 (&F)"), nullptr, {}, kMainTopic};
const TCommand kHelpCommand = {QT_TRANSLATE_NOOP("Commands", "ヘルプ"),
                               QT_TRANSLATE_NOOP("Commands", "使用方法などの説明を行います。"), Qt::Key_F1};
const TCommand kAboutCommand = {
    QT_TRANSLATE_NOOP("Commands", "ヌバロ について (&A)"),
    QT_TRANSLATE_NOOP("Commands", " Ｔａｖｏｌｉｘ（ ヌバロ ）の バージョン情報を表示します。")};
const TCommand kSearchMenu = {
    QT_TRANSLATE_NOOP("Commands", "検索・作成＆保存 (&O)"),
    QT_TRANSLATE_NOOP("Commands",
                      "概要：①指定に基づき検索、②HTML形式のファイル作成・保存、③WWWブラウザで閲覧"),
    {},
    kSearchTopic};
const TCommand kFindCommand = {
    QT_TRANSLATE_NOOP("Commands", "検索開始"),
    QT_TRANSLATE_NOOP("Commands",
                      "指定に基づき、検索を開始 | 指定に基づき、検索を開始 （ サブ・ディレクトリーも検索 ）"),
    Qt::Key_F2};
const TCommand kWritePageCommand = {
    QT_TRANSLATE_NOOP("Commands", "HTML自動作成＆保存"),
    QT_TRANSLATE_NOOP("Commands",
                      "検索結果を、ＨＴＭＬ形式で自動作成して保存 | "
                      "検索結果は、ＨＴＭＬ形式で作成して保存しないと、ＷＷＷブラウザで閲覧できません。"),
    Qt::Key_F3, kPageTopic};

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
