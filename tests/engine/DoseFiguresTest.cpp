#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Events at seconds after the start, stopped at `stop` (< 0: running), read at `now`.
struct Case {
    const char* what;
    std::vector<double> events;
    double stop, now, radiation, dose, rate, duration;
};

TEST(DoseFiguresTest, FiguresFollowTheDoseModel) {
    const std::vector<double> eleven{5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const std::vector<double> fifteen{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const Case cases[] = {
        {"no event, 2 s", {}, -1, 2.0, 0.0, 0.0, 0.0, 2.0},
        {"no event: an upper bound", {}, -1, 4.0, 49.5, 0.0, 0.0, 4.0},
        {"few: the mean", {10, 20, 30}, -1, 60.0, 9.9, 0.165, 9.9, 60.0},
        {"eleven: the window", eleven, -1, 25.0, 99.0, 0.605, 87.12, 25.0},
        {"the last eleven", fifteen, -1, 25.0, 99.0, 0.825, 118.8, 25.0},
        {"an empty window", std::vector<double>(11, 30.0), -1, 30.0, 0.0, 0.605, 72.6, 30.0},
        {"an event after now", {40}, -1, 30.0, 0.0, 0.055, 6.6, 30.0},
        {"stopped, many", fifteen, 20.0, 1000.0, 132.0, 0.825, 148.5, 20.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::ManualClock clock;
        auto engine = BitmapProcessor::create();
        engine->startAcquisition();
        for (std::size_t i = 0; i < c.events.size(); ++i) {
            engine->eventDetected(static_cast<std::int32_t>(i * 7 + 1), c.events[i]);
        }
        clock.advance(c.stop >= 0 ? c.stop : c.now);
        if (c.stop >= 0) {
            engine->stopAcquisition();
            clock.advance(c.now - c.stop);
        }
        EXPECT_DOUBLE_EQ(engine->instantaneousRadiation(), c.radiation);
        EXPECT_DOUBLE_EQ(engine->instantaneousVD(), c.dose);
        EXPECT_DOUBLE_EQ(engine->getVdOfRadiationHistoryRecord(), c.dose);
        EXPECT_DOUBLE_EQ(engine->getVmOfRadiationHistoryRecord(), c.rate);
        EXPECT_EQ(engine->acquisitionDuration(), c.duration);
        const auto n = static_cast<std::int32_t>(c.events.size());
        EXPECT_EQ(engine->cumulatedParticules(), n + 7 * n * (n - 1) / 2);  // hits, not events
        engine->resetModel();
        EXPECT_EQ(engine->acquisitionDuration() + engine->getVmOfRadiationHistoryRecord(), 0.0);
    }
}

TEST(DoseFiguresTest, UnitsRescaleFromOneThousand) {
    for (const auto& [in, unit, out] :
         {std::tuple{999.99, "\u03BCSv", 999.99}, std::tuple{1000.0, "mSv", 1.0}}) {
        double dose = in, rate = in;
        const auto units = std::pair(BitmapProcessor::getUnitOfVDValue(dose),
                                     BitmapProcessor::getUnitOfVMValue(rate));
        EXPECT_EQ(std::tuple(units.first, units.second, dose, rate),
                  std::tuple(std::string(unit), std::string(unit) + "/h", out, out));
    }
}

}  // namespace
}  // namespace kesto
