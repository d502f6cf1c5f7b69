#pragma once

#include <QIcon>

namespace tavolix::ui {

// The program's icon (a magnifier over a page) in 16, 32, 48 and 256 pixels,
// for the frame, the about box and the desktop entry.
QIcon ProgramIcon();

} // namespace tavolix::ui
