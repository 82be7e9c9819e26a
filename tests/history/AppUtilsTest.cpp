#include <cmath>

#include <gtest/gtest.h>

#include "history/AppUtils.h"

namespace kesto {
namespace {

TEST(AppUtilsTest, TruncatesToWholeSecondsAndLetsHoursGrow) {
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(0.0), "00:00:00");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(59.9), "00:00:59");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(3599.0), "00:59:59");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(3600.0), "01:00:00");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(360000.0), "100:00:00");
    // The span from year 1000 to 9999 is shown whole, not cut at 32 bits.
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(284012524799.0), "78892367:59:59");
    // Undefined and absurd values do not crash.
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(std::nan("")), "00:00:00");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(1e300), "2555555555555555:33:20");
}

}  // namespace
}  // namespace kesto
