#pragma once

namespace tavolix::ui {

// The program-wide wait cursor until Release() or the end of the scope,
// however it ends. Scopes nest.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

    void Release();

    // How many wait cursors were shown since the program started (for tests).
    static int TimesShown();

private:
    bool FActive = true;
};

} // namespace tavolix::ui
