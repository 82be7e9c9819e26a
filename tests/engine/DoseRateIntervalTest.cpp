#include <gtest/gtest.h>

#include "engine/DoseRateInterval.h"

namespace kesto {
namespace {

// Exact 95% Poisson bounds as published in tables of the chi-square quantiles.
TEST(DoseRateIntervalTest, EventBoundsMatchKnownPoissonQuantiles) {
    struct Case {
        std::int64_t events;
        double lower, upper, tolerance;
    };
    const Case cases[] = {
        {0, 0.0, 3.6889, 1e-4},        {1, 0.025318, 5.5716, 1e-4}, {2, 0.24217, 7.2247, 1e-4},
        {10, 4.7954, 18.390, 1e-3},    {100, 81.364, 121.63, 1e-2}, {1000, 938.97, 1063.95, 0.01},
        {1000000, 998041, 1001961, 2},  // the normal approximation, ±1.96 √n
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        const auto bounds = DoseRateInterval::eventBounds(c.events);
        EXPECT_NEAR(bounds.lower, c.lower, c.tolerance);
        EXPECT_NEAR(bounds.upper, c.upper, c.tolerance);
    }
}

TEST(DoseRateIntervalTest, RatesFollowTheDoseModelOverTheElapsedTime) {
    // One event a second is 198 μSv/h: 10 events in 10 s, 198 × [0.4795, 1.839].
    const auto ten = DoseRateInterval::forEvents(10, 10.0);
    ASSERT_TRUE(ten.known());
    EXPECT_NEAR(ten.lower(), 94.95, 0.01);
    EXPECT_NEAR(ten.upper(), 364.1, 0.1);
    EXPECT_EQ(ten.text(), "95%: 94.95\u2013364.13 \u03bcSv/h");

    const auto none = DoseRateInterval::forEvents(0, 3600.0);
    EXPECT_EQ(none.lower(), 0.0);
    EXPECT_EQ(none.text(), "95%: below 0.20 \u03bcSv/h");

    // Above 1000 μSv/h both bounds go to mSv/h together.
    EXPECT_EQ(DoseRateInterval::forEvents(100, 10.0).text(), "95%: 1.61\u20132.41 mSv/h");

    EXPECT_FALSE(DoseRateInterval::forEvents(3, 0.0).known());
    EXPECT_EQ(DoseRateInterval::forEvents(3, 0.0).text(), "");
    EXPECT_DOUBLE_EQ(DoseRateInterval::detectableRate(30.0), 19.8);
    EXPECT_DOUBLE_EQ(DoseRateInterval::detectableRate(3600.0), 0.165);
}

}  // namespace
}  // namespace kesto
