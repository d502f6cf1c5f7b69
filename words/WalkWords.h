#pragma once

#include "search/DirWalker.h"

#include <string>

namespace tavolix::words {

// What a result window says of the folders a walk did not read or left out,
// in the language installed, as UTF-8.

// "読み込めなかったフォルダ 3 （ アクセス拒否 2 ， 応答なし 1 ）"; empty when
// every folder was read.
std::string UnreadFoldersText(const search::TWalkStats& stats);
// "/a/b/ （ アクセス拒否 : Permission denied ）", the path as shown.
std::string UnreadFolderText(const search::TUnreadDir& dir);
// The folders the walk's choices left out, counted by choice:
// "検索しなかったフォルダ 3 （ ドットで始まる名前 2 ， 除外 1 ）"; empty when
// every folder was searched.
std::string NotSearchedText(const search::TWalkStats& stats);

} // namespace tavolix::words
