#pragma once

#include "app/HelpFile.h"
#include "ui/Commands.h"

namespace tavolix::app {

// The frame's menus and commands; those it shares with the result windows
// are ui's.
inline constexpr ui::TCommand kClose1 = {ui::kQuitCommand.Caption, ui::kQuitCommand.Hint, Qt::Key_F4};
inline constexpr ui::TCommand kHTMLSave = {
    ui::kWritePageCommand.Caption,
    QT_TRANSLATE_NOOP("Commands", "検索結果を、ＨＴＭＬ形式で自動作成して保存します。"),
    ui::kWritePageCommand.Shortcut};
inline constexpr ui::TCommand kSearchOptionsMenu = {
    QT_TRANSLATE_NOOP("Commands", "検索ｵﾌﾟｼｮﾝ (&S)"),
    QT_TRANSLATE_NOOP(
        "Commands", "検索するフォルダの範囲を変更します。（ 設定ファイルに保存され、tavolix-page と共通 ）"),
    {},
    kHelpSearch};
inline constexpr ui::TCommand kHiddenFolders1 = {
    QT_TRANSLATE_NOOP("Commands", "隠しフォルダ（ . で始まる名前 ）も検索 (&H)"),
    QT_TRANSLATE_NOOP("Commands", "名前が「 . 」で始まるフォルダも検索します （ オフの時は、"
                                  "検索しなかったフォルダの数を表示 ）。")};
inline constexpr ui::TCommand kOneFileSystem1 = {
    QT_TRANSLATE_NOOP("Commands", "１つのファイルシステム内だけを検索 (&X)"),
    QT_TRANSLATE_NOOP("Commands", "検索ディレクトリと別のファイルシステム（ ネットワーク、ＵＳＢ "
                                  "メモリなど ）にあるフォルダは、検索しません。")};
inline constexpr ui::TCommand kKeyLists1 = {
    QT_TRANSLATE_NOOP("Commands", "「 ; 」で区切って複数のキーを指定 (&L)"),
    QT_TRANSLATE_NOOP(
        "Commands",
        "「 ; 」で区切った複数のキーの、どれかに合うファイルを検索します （ 例 ＝ *.jpg;*.png ）。")};
inline constexpr ui::TCommand kFilterRowShow1 = {
    QT_TRANSLATE_NOOP("Commands", "絞り込み行の表示／非表示 (&F)"),
    QT_TRANSLATE_NOOP("Commands", "種類・サイズ・更新日時で検索結果を絞り込む行を、表示・非表示します "
                                  "（ 表示中だけ絞り込み ）。"),
    Qt::Key_F8};
inline constexpr ui::TCommand kExcludeFolders1 = {
    QT_TRANSLATE_NOOP("Commands", "除外するフォルダ (&E)..."),
    QT_TRANSLATE_NOOP("Commands",
                      "検索しないフォルダの名前やパスを、指定キーと同じワイルドカードで指定します。")};
inline constexpr ui::TCommand kSavedPagesMenu = {
    QT_TRANSLATE_NOOP("Commands", "作成ﾃﾞｰﾀ (&D)"),
    QT_TRANSLATE_NOOP("Commands",
                      "過去に作成＆保存したデータです。クリックすると、ＷＷＷブラウザで閲覧できます。"),
    {},
    kHelpSearch};
inline constexpr ui::TCommand kWindowMenu = {
    QT_TRANSLATE_NOOP("Commands", "ｳｨﾝﾄﾞｳ (&W)"),
    QT_TRANSLATE_NOOP("Commands", "検索結果フォームの表示に関する変更 （ 作成するＨＴＭＬとは無関係 ）"),
    {},
    kHelpMain};
inline constexpr ui::TCommand kDirectoryShow = {
    QT_TRANSLATE_NOOP("Commands", "ディレクトリ表示／非表示"),
    QT_TRANSLATE_NOOP("Commands", "ディレクトリ・パネルの表示・非表示を切替えます。"), Qt::Key_F5};
inline constexpr ui::TCommand kTile1 = {
    QT_TRANSLATE_NOOP("Commands", "並べて表示 (&T)"),
    QT_TRANSLATE_NOOP("Commands", "検索結果を、タイル表示 （ 続けて選択すると、横表示・縦表示を切替え ）"),
    Qt::CTRL | Qt::Key_T};
// Ctrl+C, Ctrl+X and Ctrl+A copy, cut and select all on every desktop: the
// window commands that had them take Shift with them.
inline constexpr ui::TCommand kCascade1 = {QT_TRANSLATE_NOOP("Commands", "重ねて表示 (&C)"),
                                           QT_TRANSLATE_NOOP("Commands", "検索結果を、カスケード表示"),
                                           Qt::CTRL | Qt::SHIFT | Qt::Key_C};
inline constexpr ui::TCommand kNextChild1 = {QT_TRANSLATE_NOOP("Commands", "次の Child Form (&D)"),
                                             QT_TRANSLATE_NOOP("Commands", "次の検索結果を、前面に表示"),
                                             Qt::CTRL | Qt::Key_D};
inline constexpr ui::TCommand kMAX = {QT_TRANSLATE_NOOP("Commands", "最大化 (&X)"),
                                      QT_TRANSLATE_NOOP("Commands", "検索結果を、最大フォーム・サイズで表示"),
                                      Qt::CTRL | Qt::Key_M};
inline constexpr ui::TCommand kNORMAL = {
    QT_TRANSLATE_NOOP("Commands", "ノーマル化 (&N)"),
    QT_TRANSLATE_NOOP("Commands", "検索結果を、普通サイズで表示 （ 最大化・アイコン化を解除 ）"),
    Qt::CTRL | Qt::SHIFT | Qt::Key_X};
inline constexpr ui::TCommand kMINI = {QT_TRANSLATE_NOOP("Commands", "アイコン化 (&M)"),
                                       QT_TRANSLATE_NOOP("Commands", "全ての検索結果を、アイコン化"),
                                       Qt::CTRL | Qt::Key_N};
inline constexpr ui::TCommand kArrange = {QT_TRANSLATE_NOOP("Commands", "アイコン整列 (&A)"),
                                          QT_TRANSLATE_NOOP("Commands", "アイコン化時の整列"),
                                          Qt::CTRL | Qt::SHIFT | Qt::Key_A};

} // namespace tavolix::app
