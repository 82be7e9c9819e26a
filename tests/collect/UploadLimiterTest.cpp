#include <gtest/gtest.h>

#include "collect/UploadLimiter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

TEST(UploadLimiterTest, AnAddressGetsItsBurstThenItsRateAndOthersAreNotHeldUp) {
    test::ManualClock clock;
    UploadLimiter limiter(2.0, 5.0, 2);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(limiter.allow("10.0.0.1")) << i;
    }
    EXPECT_FALSE(limiter.allow("10.0.0.1"));
    EXPECT_DOUBLE_EQ(limiter.wait("10.0.0.1"), 0.5);
    EXPECT_TRUE(limiter.allow("10.0.0.2"));
    clock.advance(0.5);
    EXPECT_TRUE(limiter.allow("10.0.0.1"));
    EXPECT_FALSE(limiter.allow("10.0.0.1"));
    // A clock set back refills nothing.
    clock.advance(-100.0);
    EXPECT_FALSE(limiter.allow("10.0.0.1"));
    // A third address pushes out the one heard from least recently (.2),
    // which comes back with a full bucket, never less.
    EXPECT_TRUE(limiter.allow("10.0.0.3"));
    EXPECT_FALSE(limiter.allow("10.0.0.1"));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(limiter.allow("10.0.0.2")) << i;
    }
    // Rate 0: no limit.
    UploadLimiter off(0.0, 1.0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(off.allow("10.0.0.1"));
    }
}

}  // namespace
}  // namespace kesto
