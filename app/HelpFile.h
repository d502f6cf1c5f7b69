#pragma once

#include <optional>

#include <QString>
#include <QUrl>

namespace tavolix::app {

// The help is the HTML document tavolix-help.html. Its topics are the
// elements with id "topic-<number>":
//   1000 the main window, its menus and the window commands
//   1200 searching: keys, quick keys, tree and volumes, the result window
//   1300 writing the HTML page, the saved pages, the settings file
inline constexpr const char* kHelpFileName = "tavolix-help.html";
inline constexpr int kHelpMain = 1000;
inline constexpr int kHelpSearch = 1200;
inline constexpr int kHelpPage = 1300;

// The first of these that exists: <programDir>/tavolix-help.html,
// <programDir>/../share/tavolix/tavolix-help.html (installed), and
// <sourceHelpDir>/tavolix-help.html (a build tree); empty when none does.
QString HelpFilePath(const QString& programDir, const QString& sourceHelpDir);
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
// tavolix-help-<topic>.html beside the document that forwards to its
// anchor; without one the document itself. Empty without a document.
QString HelpTopicPage(const QString& helpFile, int topic);

// Opens the topic in the web browser without waiting. False when there is
// no document or nothing could be started.
bool ShowHelpTopic(int topic);

} // namespace tavolix::app
