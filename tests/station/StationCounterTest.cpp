#include <cmath>

#include <gtest/gtest.h>

#include "station/StationCounter.h"

namespace kesto {
namespace {

// 2011-03-13 07:00:00 UTC: a boundary of 10-minute intervals.
constexpr double kBoundary = 1299999600.0;

Date at(double seconds) {
    return Date::fromUnixSeconds(kBoundary + seconds);
}

// Ten frames a second from `from` up to `to`, each with `hits` and `light`.
void frames(StationCounter& counter, double from, double to, std::int32_t hits = 0,
            bool light = false) {
    const auto count = static_cast<int>(std::lround((to - from) * 10.0));
    for (int i = 0; i < count; ++i) {
        counter.addFrame(at(from + i * 0.1), hits, light);
    }
}

// Sums of spans between dates near 1.3e9 s carry that much rounding.
constexpr double kSlack = 1e-3;

TEST(StationCounterTest, IntervalsFollowTheClockAndShareTheGapAcrossABoundary) {
    StationCounter counter(600.0, 600.0);
    counter.begin(at(250.3));
    EXPECT_EQ(counter.current().start, at(250.0));
    EXPECT_EQ(counter.current().end, at(600.0));
    // The first frame starts the count; one event at 1 s of dark time.
    frames(counter, 251.0, 252.1);
    counter.addFrame(at(252.1), 3, false);
    EXPECT_NEAR(counter.current().darkSeconds, 1.1, kSlack);
    ASSERT_EQ(counter.current().events.size(), 1u);
    EXPECT_NEAR(counter.current().events[0].timeStamp(), 1.1, kSlack);
    EXPECT_EQ(counter.current().events[0].numberOfParticules(), 3);

    // A frame 0.6 s after the last, across the boundary: 0.3 s to each side.
    frames(counter, 252.2, 599.8);
    counter.addFrame(at(600.3), 0, false);
    const auto closed = counter.closeDue(at(600.3));
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_NEAR(closed[0].darkSeconds, 600.0 - 251.0, kSlack);
    EXPECT_EQ(counter.current().start, at(600.0));
    EXPECT_NEAR(counter.current().darkSeconds, 0.3, kSlack);

    // Nothing closes before the boundary, and a quiet camera's interval
    // closes a few seconds after its end with what it had.
    EXPECT_TRUE(counter.closeDue(at(1199.0)).empty());
    EXPECT_TRUE(counter.closeDue(at(1201.0)).empty());
    const auto quiet = counter.closeDue(at(1200.0 + StationCounter::kLongestFrameGap));
    ASSERT_EQ(quiet.size(), 1u);
    EXPECT_NEAR(quiet[0].darkSeconds, 0.3, kSlack);
}

TEST(StationCounterTest, LightAndSilenceAreNotCountedAndClockJumpsStartAfresh) {
    StationCounter counter(600.0, 3600.0);
    counter.begin(at(0.0));
    frames(counter, 0.0, 60.0);
    frames(counter, 60.0, 120.0, 40, true);  // lit frames carry many hits: none counts
    frames(counter, 120.0, 180.0);
    // The camera stops for a minute: that minute was watched by nobody.
    frames(counter, 240.0, 300.0, 1);
    const StationInterval interval = counter.current();
    EXPECT_NEAR(interval.litSeconds, 60.0, kSlack);
    EXPECT_NEAR(interval.darkSeconds, 59.9 + 60.0 + 59.9, kSlack);
    EXPECT_EQ(interval.events.size(), 599u);  // the frames after the silence, but its first
    EXPECT_FALSE(counter.light());
    // Rates: the last minute holds the frames after the silence.
    const auto minute = counter.window(at(299.9), 60.0);
    EXPECT_NEAR(minute.seconds, 59.9, 0.15);
    EXPECT_EQ(minute.events, 599);

    // A board's clock set from the network jumps a day: one interval closes,
    // no day of empty ones, and counting goes on in the interval of the new time.
    counter.addFrame(at(86400.0 + 30.0), 0, false);
    const auto closed = counter.closeDue(at(86400.0 + 30.0));
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].start, at(0.0));
    EXPECT_EQ(counter.current().start, at(86400.0));
    frames(counter, 86430.1, 86440.0);
    EXPECT_NEAR(counter.current().darkSeconds, 9.9, kSlack);

    // And back by an hour: the interval in progress closes too.
    counter.addFrame(at(86400.0 - 3600.0), 0, false);
    EXPECT_EQ(counter.closeDue(at(86400.0 - 3600.0)).size(), 1u);
    EXPECT_EQ(counter.current().start, at(86400.0 - 3600.0));

    const auto finished = counter.finish(at(86400.0 - 3500.0));
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_FALSE(counter.counting());
    counter.addFrame(at(86400.0 - 3400.0), 1, false);
    EXPECT_EQ(counter.current().frames, 0u);
}

}  // namespace
}  // namespace kesto
