#include "platform/Wildcard.h"

#include <gtest/gtest.h>

using tavolix::platform::TWildcard;

TEST(Wildcard, Smoke) {
    EXPECT_TRUE(TWildcard("*.gif").Matches("a.GIF"));
}
