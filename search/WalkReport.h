#pragma once

#include "search/DirWalker.h"

#include <string>

namespace tavolix::search {

// A walk's counts in words, for the result window (Japanese) and for
// tavolix-page (English) alike. Each gives "" when there is nothing to say.
// Paths are shown as platform::VisibleName shows names.

// The folders not read in full, counted by cause:
// "読み込めなかったフォルダ 3 （ アクセス拒否 2 ， 応答なし 1 ）".
std::string UnreadFoldersText(const TWalkStats& stats);
// "3 directories could not be read in full: 2 permission denied, 1 did not answer".
std::string UnreadFoldersLine(const TWalkStats& stats);

// The folders the walk's choices left out, counted by choice:
// "検索しなかったフォルダ 3 （ ドットで始まる名前 2 ， 除外 1 ）".
std::string NotSearchedText(const TWalkStats& stats);
// "3 folders were not searched: 2 begin with a dot, 1 excluded; --hidden-folders
// searches those beginning with a dot".
std::string NotSearchedLine(const TWalkStats& stats);

// One folder and why, for a list of them:
// "/a/b/ （ アクセス拒否 : Permission denied ）" and
// "/a/b/: not read (Permission denied)".
std::string UnreadFolderText(const TUnreadDir& dir);
std::string UnreadFolderLine(const TUnreadDir& dir);

// Why the base folder itself can't be read, for its own box:
// "検索ディレクトリ  /a  を読み込めません。" + CR LF CR LF + the system's reason.
std::string BaseUnreadableText(const std::string& baseDir, int error);

} // namespace tavolix::search
