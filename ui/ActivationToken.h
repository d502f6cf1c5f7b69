#pragma once

#include <QString>

namespace tavolix::ui {

// A token from the Wayland compositor that lets a program started now take
// the focus from the program's active window (xdg-activation), or an empty
// string: not on Wayland, no such protocol there, asked off the window's
// thread, or no answer at once. Each token is good for one start.
QString NewActivationToken();

} // namespace tavolix::ui
