#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Frames arrive on one thread while the main thread starts, stops, resets and
// reads the figures, and observers come and go: the figures stay coherent and
// ThreadSanitizer stays quiet.
TEST(BitmapProcessorConcurrencyTest, FramesRaceWithMainThreadControlAndObservers) {
    test::ConsoleCapture console;
    auto engine = BitmapProcessor::create();
    engine->setSeuil(100);
    test::TestFrame frame(64, 48, 0, 10, 10, 10);
    frame.setPixel(5, 5, 255, 0, 0);

    std::atomic<bool> done{false};
    std::atomic<int> levelPosts{0};
    int token = 0;
    NotificationCenter::defaultCenter().addObserver(
        &token, BitmapProcessor::kMatriceImageChanged,
        [&](const Notification&) { levelPosts.fetch_add(1); }, engine.get());

    std::thread frames([&] {
        while (!done.load()) {
            engine->processBitmap(
                {frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow}, 0.0);
        }
    });

    int transient = 0;
    for (int round = 0; round < 300; ++round) {
        engine->startAcquisition();
        // Let a few frames through this acquisition before touching it again.
        const int seen = levelPosts.load();
        while (levelPosts.load() < seen + 3) {
            std::this_thread::yield();
        }
        const auto n = engine->nbEventDetected();
        const auto hits = engine->cumulatedParticules();
        EXPECT_GE(hits, n);  // every event carries at least one hit
        EXPECT_GE(engine->instantaneousRadiation(), 0.0);
        EXPECT_GE(engine->instantaneousVD(), 0.0);
        if (auto events = engine->radiationEvents()) {
            for (const auto& e : *events) {
                EXPECT_EQ(e.numberOfParticules(), 1);
            }
        }
        if (round % 3 == 0) {
            NotificationCenter::defaultCenter().addObserver(
                &transient, BitmapProcessor::kEventDetected, [](const Notification&) {},
                engine.get());
        }
        engine->stopAcquisition();
        EXPECT_GE(engine->acquisitionDuration(), 0.0);
        if (round % 3 == 0) {
            NotificationCenter::defaultCenter().removeObserver(&transient);
        }
        if (round % 5 == 0) {
            engine->resetModel();
        }
    }
    done.store(true);
    frames.join();
    NotificationCenter::defaultCenter().removeObserver(&token);
    EXPECT_GT(levelPosts.load(), 0);
}

}  // namespace
}  // namespace kesto
