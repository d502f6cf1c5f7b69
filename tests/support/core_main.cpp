#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!std::setlocale(LC_ALL, "")) {
        std::fprintf(stderr, "the locale %s is not installed (scripts/setup.sh generates it)\n",
                     std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "");
        return 1;
    }
    tzset();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
