#pragma once

#include "words/Language.h"

#include <optional>

#include <QString>
#include <QUrl>

namespace tavolix::app {

// The help is the HTML document tavolix-help.html, in English
// tavolix-help-en.html (HelpFileName). Its topics are the elements with id
// "topic-<number>":
//   1000 the main window, its menus and the window commands
//   1200 searching: keys, quick keys, tree and volumes, the result window
//   1300 writing the HTML page, the saved pages, the settings file
inline constexpr const char* kHelpFileName = "tavolix-help.html";
inline constexpr int kHelpMain = 1000;
inline constexpr int kHelpSearch = 1200;
inline constexpr int kHelpPage = 1300;

// The document of a language: tavolix-help.html for Japanese, else
// tavolix-help-<language>.html.
QString HelpFileName(const QString& language);
// The document of the language the texts are in (words::Language()).
QString HelpFileName();

// The first of these that exists: <programDir>/NAME,
// <programDir>/../share/tavolix/NAME (installed), and <sourceHelpDir>/NAME (a
// build tree), NAME being HelpFileName(language); a language without a
// document of its own gets the English one. Empty when none exists.
QString HelpFilePath(const QString& programDir, const QString& sourceHelpDir,
                     const QString& language = words::kSourceLanguage);
// The same for this program and this source tree.
QString HelpFilePath();
// What HelpFilePath() gives instead (for tests; an empty text: no document);
// nullopt looks for the document again.
void SetHelpFilePath(std::optional<QString> path);

// "topic-1200"
QString HelpTopicId(int topic);
// file:///.../tavolix-help.html#topic-1200, or an empty URL without a document.
QUrl HelpTopicUrl(int topic);

// What to hand to the desktop opener for a topic. xdg-open drops the
// fragment of a file URL, so each topic but the first has a small page
// beside the document that forwards to its anchor, named after the document
// (tavolix-help-1200.html, tavolix-help-en-1200.html); without one the
// document itself. Empty without a document.
QString HelpTopicPage(const QString& helpFile, int topic);

// Opens the topic in the web browser without waiting. False when there is
// no document or nothing could be started.
bool ShowHelpTopic(int topic);

} // namespace tavolix::app
