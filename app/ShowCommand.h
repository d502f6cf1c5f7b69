#pragma once

#include <optional>
#include <string_view>

#include <Qt>

namespace tavolix::app {

// The show command reaches the program as the decimal number in the
// environment variable TAVOLIX_SHOWCMD (a launcher sets it, e.g.
// "env TAVOLIX_SHOWCMD=3 tavolix"). Absent or not a number: 1 (normal).
inline constexpr const char* kShowCmdVariable = "TAVOLIX_SHOWCMD";
inline constexpr int kShowNormal = 1;

enum class TStartState { Normal, Minimized, Maximized };

// 2, 6 and 7 minimize, 3 maximizes, every other value gives a normal frame.
TStartState StartStateFromShowCmd(int showCmd);
Qt::WindowState WindowStateFromShowCmd(int showCmd);

// The whole text as an optionally signed decimal int, or nothing.
std::optional<int> ParseShowCmd(std::string_view text);

// Reads the show command and removes the variable, so that the programs the
// frame starts later do not inherit it. Call at start, before other threads.
int TakeStartShowCommand();

} // namespace tavolix::app
