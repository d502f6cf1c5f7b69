#include "app/ShowCommand.h"

#include <charconv>
#include <cstdlib>

namespace tavolix::app {

TStartState StartStateFromShowCmd(int showCmd) {
    switch (showCmd) {
    case 2: // SW_SHOWMINIMIZED
    case 6: // SW_MINIMIZE
    case 7: // SW_SHOWMINNOACTIVE
        return TStartState::Minimized;
    case 3: // SW_SHOWMAXIMIZED
        return TStartState::Maximized;
    default:
        return TStartState::Normal;
    }
}

Qt::WindowState WindowStateFromShowCmd(int showCmd) {
    switch (StartStateFromShowCmd(showCmd)) {
    case TStartState::Minimized:
        return Qt::WindowMinimized;
    case TStartState::Maximized:
        return Qt::WindowMaximized;
    case TStartState::Normal:
        break;
    }
    return Qt::WindowNoState;
}

std::optional<int> ParseShowCmd(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') {
        text.remove_prefix(1);
    }
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

int TakeStartShowCommand() {
    const char* value = std::getenv(kShowCmdVariable);
    std::optional<int> showCmd = value ? ParseShowCmd(value) : std::nullopt;
    unsetenv(kShowCmdVariable);
    return showCmd.value_or(kShowNormal);
}

} // namespace tavolix::app
