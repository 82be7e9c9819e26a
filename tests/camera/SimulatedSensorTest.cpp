#include <cmath>

#include <gtest/gtest.h>

#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::ConsoleCapture;

// Feeds `frames` simulated frames, 0.1 s apart, to a running acquisition.
struct Reading {
    std::int32_t events = 0;
    std::int64_t framesWithParticles = 0;
    double rate = 0.0;
};

Reading measure(SimulatedSensor& sensor, std::uint64_t frames) {
    test::ManualClock clock;
    auto engine = BitmapProcessor::create();
    engine->startAcquisition();
    std::vector<std::uint8_t> buffer;
    Reading run;
    for (std::uint64_t k = 0; k < frames; ++k) {
        if (k > 0) {
            clock.advance(0.1);
        }
        engine->processBitmap(sensor.renderFrame(k, buffer), 0.0);
        run.framesWithParticles += sensor.particlesInFrame(k) > 0 ? 1 : 0;
    }
    engine->stopAcquisition();
    run.events = engine->nbEventDetected();
    run.rate = engine->instantaneousRadiation();
    return run;
}

TEST(SimulatedSensorTest, EventRateFollowsTheDoseModelWithinPoissonUncertainty) {
    for (double rate : {20.0, 1000.0}) {
        SimulatedSensor sensor(64, 48, 42, rate, false);
        const std::uint64_t frames = 20000;  // 2000 s
        const Reading run = measure(sensor, frames);
        const double expected = rate / 198.0 * 2000.0;
        EXPECT_NEAR(run.events, expected, 4.0 * std::sqrt(expected)) << rate << " μSv/h";
        // Every frame struck gives exactly one event, no other frame does:
        // noise stays under the threshold, every particle rises above it.
        EXPECT_EQ(run.events, run.framesWithParticles) << rate << " μSv/h";
    }
}

TEST(SimulatedSensorTest, AboveTenEventsASecondEveryFrameCarriesHitsAndSaysSo) {
    ConsoleCapture console;
    SimulatedSensor sensor(64, 48, 7, 2000.0, false);
    EXPECT_EQ(console.count("above the 1980 \u03BCSv/h"), 1u);
    const Reading run = measure(sensor, 600);
    EXPECT_EQ(run.events, 600);
    // The engine's window of eleven events reads the saturation rate.
    EXPECT_NEAR(run.rate, 1980.0, 0.01);
}

TEST(SimulatedSensorTest, DarkAndOpenLensLevelsAroundTheThresholds) {
    std::vector<std::uint8_t> buffer;
    SimulatedSensor sensor(480, 360, 5, 0.0, false);
    auto engine = BitmapProcessor::create();
    engine->setSeuil(92);  // the lowest threshold of any model
    engine->startAcquisition();
    engine->processBitmap(sensor.renderFrame(0, buffer), 0.0);
    EXPECT_LT(engine->avg(), 6.0);
    EXPECT_LE(engine->max(), 10);
    sensor.setLensOpen(true);
    engine->processBitmap(sensor.renderFrame(1, buffer), 0.0);
    EXPECT_GT(engine->avg(), 80.0);
    EXPECT_LE(engine->max(), 90);
    EXPECT_EQ(engine->nbEventDetected(), 0);
    EXPECT_FALSE(sensor.setRate(std::nan("")));
    EXPECT_FALSE(sensor.setRate(-1.0));
}

TEST(SimulatedSensorTest, FrameKDependsOnlyOnSeedAndK) {
    SimulatedSensor a(64, 48, 9, 500.0, false);
    SimulatedSensor b(64, 48, 9, 500.0, false);
    SimulatedSensor other(64, 48, 10, 500.0, false);
    std::vector<std::uint8_t> fa, fb, fo;
    int differing = 0;
    for (std::uint64_t k = 40; k-- > 0;) {  // b renders in the opposite order
        a.renderFrame(k, fa);
        b.renderFrame(39 - k, fb);
        b.renderFrame(k, fb);
        EXPECT_EQ(fa, fb) << "frame " << k;
        other.renderFrame(k, fo);
        differing += fa != fo ? 1 : 0;
    }
    EXPECT_GT(differing, 30);
}

}  // namespace
}  // namespace kesto
