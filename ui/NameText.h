#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace tavolix::ui {

// The one crossing between the core's byte strings (UTF-8; file names exactly
// as the system gives them) and the widgets' text. Bytes that are not UTF-8
// show as U+FFFD; such a name can be shown but not typed back.
QString ToText(std::string_view bytes);
std::string ToBytes(const QString& text);
// A name as the user sees it: control and bidirectional characters as "\u"
// escapes (platform::VisibleName). For showing only; never to be read back.
QString ToVisibleText(std::string_view bytes);

} // namespace tavolix::ui
