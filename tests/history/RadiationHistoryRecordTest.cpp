#include <cmath>

#include <gtest/gtest.h>

#include "history/AppUtils.h"
#include "history/RadiationHistoryRecord.h"

namespace kesto {
namespace {

RadiationHistoryRecord recordOver(double seconds, std::size_t events) {
    RadiationHistoryRecord record;
    record.setStartDate(Date::fromUnixSeconds(1300000000.25));
    record.setStopDate(Date::fromUnixSeconds(1300000000.25 + seconds));
    record.setRadionEvents(std::vector<RadiationEvent>(events, RadiationEvent(1.0, 12)));
    return record;
}

TEST(RadiationHistoryRecordTest, DerivesDoseFromEventsNotHitsAndRateFromDuration) {
    const auto one = recordOver(36.0, 1);
    EXPECT_DOUBLE_EQ(one.vd(), 0.055);
    EXPECT_DOUBLE_EQ(one.vm(), 5.5);

    // Equal dates: no division by zero.
    EXPECT_EQ(recordOver(0.0, 3).vm(), 0.0);
    // A stop before the start is not clamped.
    EXPECT_LT(recordOver(-36.0, 1).vm(), 0.0);

    // No stop date: events but no duration, so no rate.
    auto open = recordOver(36.0, 4);
    open.setStopDate(std::nullopt);
    EXPECT_EQ(open.vm(), 0.0);
    EXPECT_DOUBLE_EQ(open.vd(), 0.22);
}

// A record made with the file's whole seconds: what the screens show of it is
// what the file will keep, its rate is not skewed by the rounding, and its
// time covers every event it holds.
TEST(RadiationHistoryRecordTest, DatesAsKeptAreWholeSecondsThatCoverEveryEvent) {
    const Date start = Date::fromUnixSeconds(1300000000.75);
    const struct {
        double length;
        std::vector<RadiationEvent> events;
        double duration;
        double lastEvent;
    } cases[] = {
        {3.4, {RadiationEvent(1.0, 2), RadiationEvent(3.3, 1)}, 3.0, 3.0},
        {3.5, {RadiationEvent(3.5, 1)}, 4.0, 3.5},
        {0.2, {RadiationEvent(0.15, 1)}, 1.0, 0.15},  // saved 200 ms after the start
    };
    for (const auto& c : cases) {
        RadiationHistoryRecord record;
        record.setRadionEvents(c.events);
        record.setDatesAsKept(start, start.addingTimeInterval(c.length));
        EXPECT_EQ(record.startDate(), Date::fromUnixSeconds(1300000000.0)) << c.length;
        EXPECT_EQ(record.duration(), c.duration) << c.length;
        EXPECT_EQ(record.radionEvents().back().timeStamp(), c.lastEvent) << c.length;
        EXPECT_EQ(record.radionEvents().size(), c.events.size()) << c.length;
    }
}

TEST(AppUtilsTest, DurationsTruncateToWholeSecondsAndLetHoursGrow) {
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(3659.9), "01:00:59");
    // The span from year 1000 to 9999 is shown whole, not cut at 32 bits.
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(284012524799.0), "78892367:59:59");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(std::nan("")), "00:00:00");
    EXPECT_EQ(AppUtils::stringHoursMinuteSecond(1e300), "2555555555555555:33:20");
}

}  // namespace
}  // namespace kesto
