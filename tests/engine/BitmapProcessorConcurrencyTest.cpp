#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Frames on one thread while the main one starts, stops, resets and reads.
TEST(BitmapProcessorConcurrencyTest, FramesRaceWithMainThreadControlAndObservers) {
    test::ConsoleCapture console;
    auto engine = BitmapProcessor::create();
    engine->setSeuil(100);
    test::TestFrame frame(64, 48, 0, 10, 10, 10);
    frame.setPixel(5, 5, 255, 0, 0);
    auto& center = NotificationCenter::defaultCenter();
    std::atomic<bool> done{false};
    std::atomic<int> levelPosts{0};
    int token = 0;
    center.addObserver(
        &token, BitmapProcessor::kMatriceImageChanged,
        [&](const Notification&) { levelPosts.fetch_add(1); }, engine.get());
    std::thread frames([&] {
        while (!done.load()) {
            engine->processBitmap(
                {frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow}, 0.0);
        }
    });
    for (int round = 0; round < 300; ++round) {
        engine->startAcquisition();
        for (const int seen = levelPosts.load(); levelPosts.load() < seen + 3;) {
            std::this_thread::yield();
        }
        for (const auto& e : engine->radiationEvents().value_or(std::vector<RadiationEvent>{})) {
            EXPECT_EQ(e.numberOfParticules(), 1);
        }
        engine->stopAcquisition();
        if (round % 5 == 0) {
            engine->resetModel();
        }
    }
    done.store(true);
    frames.join();
    center.removeObserver(&token);
}

}  // namespace
}  // namespace kesto
