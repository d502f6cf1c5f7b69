#include "ui/WaitCursor.h"

#include <QApplication>

namespace tavolix::ui {

namespace {
int gTimesShown = 0;
} // namespace

TWaitCursor::TWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++gTimesShown;
}

TWaitCursor::~TWaitCursor() {
    Release();
}

void TWaitCursor::Release() {
    if (FActive) {
        FActive = false;
        QApplication::restoreOverrideCursor();
    }
}

int TWaitCursor::TimesShown() {
    return gTimesShown;
}

} // namespace tavolix::ui
