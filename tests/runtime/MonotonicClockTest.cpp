#include <gtest/gtest.h>

#include <windows.h>

#include "Runtime/MonotonicClock.h"

namespace {

TEST(MonotonicClock, NeverDecreasesAndFollowsRealTime) {
    const double first = GetMonotonicSeconds();
    double previous = first;
    for (int i = 0; i < 20000; ++i) {
        const double now = GetMonotonicSeconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
    Sleep(120);
    const double elapsed = GetMonotonicSeconds() - first;
    EXPECT_GT(elapsed, 0.1);
    EXPECT_LT(elapsed, 30.0);
    // Seconds since 1970: somewhere after 2020.
    EXPECT_GT(first, 1.5e9);
}

}  // namespace
