#pragma once

#include "hitview/FLBoxS.h"
#include "results/findf.h"

#include <gtest/gtest.h>

#include <QTest>

// Starts a result window's search and waits for the walk's end (it ends on
// its own; only a broken one runs for a minute): true when hits stay.
inline bool SearchToTheEnd(tavolix::results::TMDIChild& c) {
    const bool started = c.FormCreate();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !c.Searching(); }, 60000));
    return started && c.ListBox1->Items().Count() > 0;
}
