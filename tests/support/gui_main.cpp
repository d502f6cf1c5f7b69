#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // The locale the test runs in (LC_ALL from ctest), as the program would.
    if (!std::setlocale(LC_ALL, "")) {
        std::fprintf(stderr, "the locale %s is not installed (scripts/setup.sh generates it)\n",
                     std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "");
        return 1;
    }
    tzset();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
