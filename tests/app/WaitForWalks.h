#pragma once

#include "app/serfile.h"
#include "results/findf.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

// Waits for the walks of the frame's result windows to end on their own
// (only a broken one runs for a minute), and for those without hits to close.
inline void WaitForWalks(tavolix::app::TMDIForm& frame) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (QMdiSubWindow* window : frame.MDIArea->subWindowList())
                if (auto* child = qobject_cast<tavolix::results::TMDIChild*>(window->widget());
                    child && child->Searching())
                    return false;
            return true;
        },
        60000));
    QCoreApplication::processEvents();
}
