#pragma once

#include "ui/Commands.h"

#include <QtGlobal>

// The result window's menu commands: caption, hint, shortcut and help topic.
namespace tavolix::results {

using ui::TCommand;

// The window's own commands; those it shares with the frame are ui's.
inline constexpr TCommand kClose1 = {QT_TRANSLATE_NOOP("Commands", "検索結果フォームを閉じる"),
                                     QT_TRANSLATE_NOOP("Commands", "検索結果の表示フォームを閉じます。"),
                                     Qt::Key_F4};
inline constexpr const char* kGyouRetsuHint = QT_TRANSLATE_NOOP(
    "Commands", "検索結果を見易くする場合などに、使用して下さい （ 作成するＨＴＭＬとは無関係 ）。");
inline constexpr TCommand kGyouRetsu = {
    QT_TRANSLATE_NOOP("Commands", "行列数設定 (&G)"), kGyouRetsuHint, {}, 1000};
inline constexpr TCommand kN4 = {QT_TRANSLATE_NOOP("Commands", "行表示数"), kGyouRetsuHint};
inline constexpr TCommand kN5 = {QT_TRANSLATE_NOOP("Commands", "列表示数"), kGyouRetsuHint};
inline constexpr const char* kRows[] = {
    QT_TRANSLATE_NOOP("Commands", "１行"), QT_TRANSLATE_NOOP("Commands", "２行"),
    QT_TRANSLATE_NOOP("Commands", "３行"), QT_TRANSLATE_NOOP("Commands", "４行"),
    QT_TRANSLATE_NOOP("Commands", "５行"), QT_TRANSLATE_NOOP("Commands", "６行"),
    QT_TRANSLATE_NOOP("Commands", "７行"), QT_TRANSLATE_NOOP("Commands", "８行"),
    QT_TRANSLATE_NOOP("Commands", "９行"), QT_TRANSLATE_NOOP("Commands", "10行"),
    QT_TRANSLATE_NOOP("Commands", "11行"), QT_TRANSLATE_NOOP("Commands", "12行"),
    QT_TRANSLATE_NOOP("Commands", "13行"), QT_TRANSLATE_NOOP("Commands", "14行"),
    QT_TRANSLATE_NOOP("Commands", "15行"),
};
inline constexpr const char* kColumns[] = {
    QT_TRANSLATE_NOOP("Commands", "１列"), QT_TRANSLATE_NOOP("Commands", "２列"),
    QT_TRANSLATE_NOOP("Commands", "３列"), QT_TRANSLATE_NOOP("Commands", "４列"),
    QT_TRANSLATE_NOOP("Commands", "５列"), QT_TRANSLATE_NOOP("Commands", "６列"),
    QT_TRANSLATE_NOOP("Commands", "７列"),
};
// Enter and Ctrl+C are the views' own keys; the menu shows them.
inline constexpr TCommand kOpen1 = {
    QT_TRANSLATE_NOOP("Commands", "開く"),
    QT_TRANSLATE_NOOP("Commands", "選択したファイルを、関連付けられたプログラムで開きます。"),
    Qt::Key_Return};
inline constexpr TCommand kOpenFolder1 = {
    QT_TRANSLATE_NOOP("Commands", "格納フォルダを開く"),
    QT_TRANSLATE_NOOP("Commands", "ファイルを格納しているフォルダを、ファイルを選択した状態で開きます。")};
inline constexpr TCommand kCopyPath1 = {
    QT_TRANSLATE_NOOP("Commands", "パスをコピー"),
    QT_TRANSLATE_NOOP(
        "Commands",
        "選択したファイルのパスを、１行に１つコピーします （ ファイル・マネージャーにはファイルとして ）。"),
    Qt::CTRL | Qt::Key_C};
inline constexpr TCommand kCopyName1 = {
    QT_TRANSLATE_NOOP("Commands", "名前をコピー"),
    QT_TRANSLATE_NOOP("Commands",
                      "選択したファイルの名前を（ １行に１つ ）、クリップボードにコピーします。")};
inline constexpr TCommand kDetails1 = {
    QT_TRANSLATE_NOOP("Commands", "詳細表示 (&L)"),
    QT_TRANSLATE_NOOP("Commands", "１行に１ファイルを、フォルダ・サイズ・更新日時・種類と共に表示します | "
                                  "見出しのクリックで並べ替え、見出しの境界のドラッグで列の幅を変更します"
                                  " （ 新しい検索結果にも適用 ）。"),
    Qt::Key_F7};
inline constexpr TCommand kSort1 = {
    QT_TRANSLATE_NOOP("Commands", "並べ替え (&R)"),
    QT_TRANSLATE_NOOP("Commands", "検索結果の並び順を変更します （ 作成するＨＴＭＬも、この順 ）。"),
    {},
    1200};
inline constexpr TCommand kReverse1 = {QT_TRANSLATE_NOOP("Commands", "逆順 (&V)"),
                                       QT_TRANSLATE_NOOP("Commands", "昇順・降順を切替えます。"),
                                       Qt::CTRL | Qt::Key_6};
inline constexpr TCommand kSearchAgain1 = {
    QT_TRANSLATE_NOOP("Commands", "再検索 (&A)"),
    QT_TRANSLATE_NOOP("Commands",
                      "同じフォルダ・キー・絞り込み・検索ｵﾌﾟｼｮﾝで、このウィンドウの検索をやり直します | "
                      "表示方法と並び順は、そのまま保ちます。"),
    Qt::CTRL | Qt::Key_R, 1200};
inline constexpr TCommand kPictureView1 = {
    QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙ表示 (&P)"),
    QT_TRANSLATE_NOOP("Commands", "JPEG・PNG・WebP・SVG・PDF などの画像も、縮小して表示します | "
                                  "縮小画像は別のプロセスで作成し、共通のサムネイル・キャッシュに保存します"
                                  " （ 新しい検索結果にも適用 ）。"),
    Qt::Key_F6};
// The pictures' sizes, in the order of settings::kPictureSizes.
inline constexpr const char* kPictureSizeHint = QT_TRANSLATE_NOOP(
    "Commands", "ｻﾑﾈｲﾙ表示の画像の大きさ | "
                "列の数は、ウィンドウの幅に合わせて決まります （ 新しい検索結果にも適用 ）。");
inline constexpr TCommand kPictureSizes1[] = {
    {QT_TRANSLATE_NOOP("Commands", "小さいｻﾑﾈｲﾙ"), kPictureSizeHint},
    {QT_TRANSLATE_NOOP("Commands", "中くらいのｻﾑﾈｲﾙ"), kPictureSizeHint},
    {QT_TRANSLATE_NOOP("Commands", "大きいｻﾑﾈｲﾙ"), kPictureSizeHint},
};
inline constexpr TCommand kPictureLarger1 = {QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙを大きく"), kPictureSizeHint,
                                             Qt::CTRL | Qt::Key_Plus};
inline constexpr TCommand kPictureSmaller1 = {QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙを小さく"),
                                              kPictureSizeHint, Qt::CTRL | Qt::Key_Minus};
inline constexpr TCommand kPageThumbnails1 = {
    QT_TRANSLATE_NOOP("Commands", "ｻﾑﾈｲﾙ付きHTML (&T)"),
    QT_TRANSLATE_NOOP(
        "Commands",
        "ＨＴＭＬの画像を、縮小画像（サムネイル）で作成します | "
        "縮小画像は、ＨＴＭＬと同じ名前のフォルダ （ ～.files ） に保存し、元のファイルにリンクします。"),
    {},
    1300};

} // namespace tavolix::results
