#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

// Waits up to 5 s for a condition, letting the event loop run, then checks
// it as a GoogleTest expectation. QtTest's QTRY_* macros report to QtTest,
// which nothing reads in these tests: their failures passed unseen.
#define TRY_EXPECT(expr)                                                                                     \
    do {                                                                                                     \
        QElapsedTimer tryTimer_;                                                                             \
        tryTimer_.start();                                                                                   \
        while (!(expr) && tryTimer_.elapsed() < 5000)                                                        \
            QTest::qWait(10);                                                                                \
        EXPECT_TRUE(expr) << #expr;                                                                          \
    } while (0)

#define TRY_EXPECT_EQ(actual, expected)                                                                      \
    do {                                                                                                     \
        QElapsedTimer tryTimer_;                                                                             \
        tryTimer_.start();                                                                                   \
        while (!((actual) == (expected)) && tryTimer_.elapsed() < 5000)                                      \
            QTest::qWait(10);                                                                                \
        EXPECT_EQ(actual, expected);                                                                         \
    } while (0)
