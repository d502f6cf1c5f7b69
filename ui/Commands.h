#pragma once

#include <QKeyCombination>
#include <QString>
#include <QtGlobal>

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

// The commands the frame and the result windows both have, with the help
// topics of the menus (the help's numbers).
inline constexpr TCommand kFileMenu = {QT_TRANSLATE_NOOP("Commands", "終了 (&F)"), nullptr, {}, 1000};
inline constexpr TCommand kHelpCommand = {QT_TRANSLATE_NOOP("Commands", "ヘルプ"),
                                          QT_TRANSLATE_NOOP("Commands", "使用方法などの説明を行います。"),
                                          Qt::Key_F1};
inline constexpr TCommand kAboutCommand = {
    QT_TRANSLATE_NOOP("Commands", "ヌバロ について (&A)"),
    QT_TRANSLATE_NOOP("Commands", " Ｔａｖｏｌｉｘ（ ヌバロ ）の バージョン情報を表示します。")};
// The frame's own item has F4 as well.
inline constexpr TCommand kQuitCommand = {
    QT_TRANSLATE_NOOP("Commands", "ヌバロ を終了"),
    QT_TRANSLATE_NOOP("Commands", " Ｔａｖｏｌｉｘ（ ヌバロ ）を、終了します。"), Qt::CTRL | Qt::Key_Q};
// Its hint is the program's outline.
inline constexpr TCommand kSearchMenu = {
    QT_TRANSLATE_NOOP("Commands", "検索・作成＆保存 (&O)"),
    QT_TRANSLATE_NOOP("Commands",
                      "概要：①指定に基づき検索、②HTML形式のファイル作成・保存、③WWWブラウザで閲覧"),
    {},
    1200};
inline constexpr TCommand kFindCommand = {
    QT_TRANSLATE_NOOP("Commands", "検索開始"),
    QT_TRANSLATE_NOOP("Commands",
                      "指定に基づき、検索を開始 | 指定に基づき、検索を開始 （ サブ・ディレクトリーも検索 ）"),
    Qt::Key_F2};
inline constexpr TCommand kWritePageCommand = {
    QT_TRANSLATE_NOOP("Commands", "HTML自動作成＆保存"),
    QT_TRANSLATE_NOOP("Commands",
                      "検索結果を、ＨＴＭＬ形式で自動作成して保存 | "
                      "検索結果は、ＨＴＭＬ形式で作成して保存しないと、ＷＷＷブラウザで閲覧できません。"),
    Qt::Key_F3, 1300};

} // namespace tavolix::ui
