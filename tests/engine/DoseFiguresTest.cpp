#include <cmath>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

class DoseFiguresTest : public ::testing::Test {
  protected:
    void SetUp() override { engine = BitmapProcessor::create(); }
    // Starts an acquisition with events at the given times, then lets the
    // clock run to `now` seconds after the start.
    void acquire(std::initializer_list<double> times, double now, std::int32_t count = 1) {
        engine->startAcquisition();
        for (double t : times) {
            engine->eventDetected(count, t);
        }
        clock.advance(now);
    }
    test::ManualClock clock;
    std::unique_ptr<BitmapProcessor> engine;
};

TEST_F(DoseFiguresTest, NoEventsGiveAnUpperBoundOnlyAfterTwoSeconds) {
    EXPECT_EQ(engine->instantaneousRadiation(), 0.0);  // no list at all
    acquire({}, 1.5);
    EXPECT_EQ(engine->instantaneousRadiation(), 0.0);
    clock.advance(0.5);
    EXPECT_EQ(engine->instantaneousRadiation(), 0.0);  // exactly 2.0 s
    clock.advance(2.0);
    EXPECT_DOUBLE_EQ(engine->instantaneousRadiation(), 49.5);
}

TEST_F(DoseFiguresTest, FewEventsGiveTheMeanSinceTheStart) {
    engine->startAcquisition();
    engine->eventDetected(2, 10.0);
    engine->eventDetected(5, 20.0);
    engine->eventDetected(1, 30.0);
    clock.advance(60.0);
    EXPECT_DOUBLE_EQ(engine->instantaneousRadiation(), 9.9);
    EXPECT_DOUBLE_EQ(engine->instantaneousVD(), 0.165);
    EXPECT_EQ(engine->cumulatedParticules(), 8);
    EXPECT_EQ(engine->nbEventDetected(), 3);
}

TEST_F(DoseFiguresTest, ElevenOrMoreEventsUseTheSlidingWindow) {
    acquire({5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 25.0);
    EXPECT_DOUBLE_EQ(engine->instantaneousRadiation(), 99.0);  // 1980 / (25 − 5)

    engine->startAcquisition();
    for (int i = 0; i < 15; ++i) {
        engine->eventDetected(1, i + 1.0);  // window starts at index 4, time 5.0
    }
    clock.advance(25.0);
    EXPECT_DOUBLE_EQ(engine->instantaneousRadiation(), 1980.0 / 20.0);
}

TEST_F(DoseFiguresTest, WindowThatDoesNotEndAfterItsStartGivesZero) {
    acquire({30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}, 30.0);
    EXPECT_EQ(engine->instantaneousRadiation(), 0.0);
    acquire({40}, 30.0);
    EXPECT_EQ(engine->instantaneousRadiation(), 0.0);
}

TEST_F(DoseFiguresTest, DoseCountsEventsNotHits) {
    engine->startAcquisition();
    for (int i = 0; i < 20; ++i) {
        engine->eventDetected(i * 7 + 1, i);
    }
    EXPECT_DOUBLE_EQ(engine->instantaneousVD(), 1.1);
    EXPECT_DOUBLE_EQ(engine->getVdOfRadiationHistoryRecord(), 1.1);
}

TEST_F(DoseFiguresTest, StoppedAcquisitionKeepsItsFiguresAsTheClockRunsOn) {
    engine->startAcquisition();
    for (int i = 0; i < 200; ++i) {
        engine->eventDetected(1, i * 0.1);
    }
    clock.advance(30.0);
    engine->stopAcquisition();
    clock.advance(1000.0);
    EXPECT_EQ(engine->acquisitionDuration(), 30.0);
    EXPECT_DOUBLE_EQ(engine->getVmOfRadiationHistoryRecord(), 11.0 / (30.0 / 3600.0));
    engine->resetModel();
    EXPECT_EQ(engine->acquisitionDuration(), 0.0);
    EXPECT_EQ(engine->getVmOfRadiationHistoryRecord(), 0.0);
}

TEST_F(DoseFiguresTest, StoppedAcquisitionWithFewEventsDoesNotKeepFalling) {
    acquire({10.0, 20.0, 30.0}, 60.0);
    engine->stopAcquisition();
    const double atStop = engine->instantaneousRadiation();
    EXPECT_DOUBLE_EQ(atStop, 9.9);
    clock.advance(3600.0);
    EXPECT_EQ(engine->instantaneousRadiation(), atStop);
}

TEST_F(DoseFiguresTest, RunningDurationFollowsTheClock) {
    EXPECT_EQ(engine->acquisitionDuration(), 0.0);
    engine->startAcquisition();
    clock.advance(12.25);
    EXPECT_EQ(engine->acquisitionDuration(), 12.25);
}

TEST_F(DoseFiguresTest, UnitsRescaleFromOneThousand) {
    struct Case {
        double in;
        const char* unit;
        double out;
    };
    for (const auto& c : {Case{999.99, "\u03BCSv", 999.99}, Case{1000.0, "mSv", 1.0},
                          Case{2500.0, "mSv", 2.5}, Case{0.0, "\u03BCSv", 0.0}}) {
        double v = c.in;
        EXPECT_EQ(BitmapProcessor::getUnitOfValue(v), c.unit);
        EXPECT_EQ(v, c.out);
        v = c.in;
        EXPECT_EQ(BitmapProcessor::getUnitOfVDValue(v), c.unit);
        v = c.in;
        EXPECT_EQ(BitmapProcessor::getUnitOfVMValue(v), std::string(c.unit) + "/h");
        EXPECT_EQ(v, c.out);
    }
    double nan = std::nan("");
    EXPECT_EQ(BitmapProcessor::getUnitOfValue(nan), "\u03BCSv");
    EXPECT_EQ(std::string("\u03BCSv").substr(0, 2), "\xCE\xBC");  // U+03BC in UTF-8
}

}  // namespace
}  // namespace kesto
