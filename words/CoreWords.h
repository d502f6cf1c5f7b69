#pragma once

#include "pages/PageWriter.h"
#include "platform/AtomicFile.h"
#include "settings/FilterChoice.h"
#include "settings/SavedPages.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace tavolix::words {

// The words for what the GUI-free core returns, in the language installed
// (words::InstallLanguage; Japanese without one), as UTF-8. Shared by the
// windows and tavolix-page, so each text is written once.

// `text` with "%1".."%9" replaced by the values in one pass: a value's own
// "%1" stays as it is, and its bytes are kept exactly.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> values);

// The page's fixed texts.
pages::TPageTexts PageTexts();

// A kind of the type filter ("pictures") as the reader calls it.
std::string KindWord(std::string_view kind);
// How a search was filtered, for a window's title and a page's key line:
// "種類 = 画像 ， 10M 以上 ， 7d 以内に更新"; `keyList`: the key was read as
// several patterns. Empty when nothing is filtered.
std::string FilterText(const settings::TFilterChoice& choice, bool keyList);

// A saved page's long hint: " 検索ベース = /a/  ; キー = *.gif  ; 検索数 = 3".
std::string SavedPageHint(const settings::TSavedPagesMenuItem& item);
// The box a click on a saved page shows instead of opening it; empty for
// the clicks that open a page or do nothing.
std::string SavedPageMessage(const settings::TSavedPageAction& action);

// "<file> に書き込めません": a failed write of the settings file.
std::string CannotWriteText(const platform::TIoError& error);
// CannotWriteText with the system's reason in parentheses.
std::string CannotWriteWhyText(const platform::TIoError& error);
// A failed registration: the refused value and why, or CannotWriteText with
// the system's reason in parentheses.
std::string RegisterErrorText(const settings::TRegisterError& error);
// "<file> を読み込めません (reason)": a settings file that was not read.
std::string CannotReadText(const platform::TIoError& error);

// tavolix-page's word that the search has waited `seconds` for `folder`
// (a visible name) without getting on.
std::string WaitingForText(std::string_view folder, int seconds);
// tavolix-page's word that a signal stopped the search; `page`: a page was
// asked for, and is not written.
std::string SearchStoppedText(bool page);

} // namespace tavolix::words
