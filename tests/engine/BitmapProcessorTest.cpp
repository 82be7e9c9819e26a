#include <array>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "engine/LightReport.h"
#include "engine/internal/FrameScanner.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::TestFrame;

class BitmapProcessorTest : public ::testing::Test {
  protected:
    BitmapProcessorTest() {
        engine->setSeuil(100);
        engine->setSeuilSigma(20.0f);
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(
            this, BitmapProcessor::kMatriceImageChanged,
            [this](const Notification& n) {
                const auto report = LightReport::from(n);
                levels.push_back({report->level, report->limit});
                seenDuringPost.push_back({engine->avg(), engine->nbEventDetected()});
            },
            engine.get());
        center.addObserver(
            this, BitmapProcessor::kEventDetected, [this](const Notification&) { ++eventPosts; },
            engine.get());
    }
    ~BitmapProcessorTest() override { NotificationCenter::defaultCenter().removeObserver(this); }
    void feed(const TestFrame& frame) {
        engine->processBitmap({frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow},
                              0.0);
    }

    test::ManualClock clock;
    test::ConsoleCapture console;
    std::unique_ptr<BitmapProcessor> engine = BitmapProcessor::create();
    std::vector<std::pair<std::int64_t, std::int64_t>> levels;    // level, sigma
    std::vector<std::pair<double, std::int32_t>> seenDuringPost;  // avg, events
    int eventPosts = 0;
};

// Odd widths and padded rows, some not whole pixels; padding and alpha never count.
TEST_F(BitmapProcessorTest, RandomFramesGiveWhatTheReferenceScanFinds) {
    std::mt19937 random(7);
    double previousAverage = 0.0;
    using Shape = std::array<std::size_t, 3>;  // width, height, bytes per row
    for (const auto [width, height, bytesPerRow] :
         {Shape{1, 1, 4}, Shape{2, 2, 10}, Shape{7, 5, 44}, Shape{13, 3, 58}, Shape{641, 4, 2567},
          Shape{480, 360, 1920}}) {
        for (std::int32_t seuil : {-1, 0, 1, 100, 101, 255, 256}) {
            std::vector<std::uint8_t> bytes(bytesPerRow * height);
            for (auto& b : bytes) {
                b = static_cast<std::uint8_t>(random() % 8 == 0 ? random() : random() % 100);
            }
            ScanTotals expected;
            for (std::size_t row = 0; row < height; ++row) {
                FrameScanner::scanReference(bytes.data() + row * (bytesPerRow & ~3u), 4 * width,
                                            seuil, expected);
            }
            const double average =
                static_cast<double>(expected.sum) / (3.0 * static_cast<double>(width * height));
            SCOPED_TRACE(testing::Message()
                         << width << "x" << height << " in " << bytesPerRow << ", seuil " << seuil);
            engine->setSeuil(seuil);
            engine->startAcquisition();
            const int postsBefore = eventPosts;
            engine->processBitmap({bytes.data(), width, height, bytesPerRow}, 0.0);
            EXPECT_EQ(*engine->radiationEvents(),
                      std::vector<RadiationEvent>(expected.hits > 0,
                                                  {0.0, static_cast<std::int32_t>(expected.hits)}));
            EXPECT_EQ(std::pair(engine->avg(), engine->max()),
                      std::pair(average, std::int32_t{expected.max}));
            EXPECT_EQ(levels.back(),
                      std::pair(static_cast<std::int64_t>(average), std::int64_t{20}));
            EXPECT_EQ(seenDuringPost.back(), std::pair(previousAverage, 0));
            EXPECT_EQ(eventPosts - postsBefore, expected.hits > 0 ? 1 : 0);
            previousAverage = average;
        }
    }
}

TEST_F(BitmapProcessorTest, FramesThatDoNotFitAreIgnoredAndEmptyOnesHaveLevelZero) {
    engine->startAcquisition();
    feed(TestFrame(2400, 2400, 0, 255, 255, 255));  // a channel sum beyond 32 bits
    EXPECT_EQ(engine->avg(), 255.0);
    engine->resetModel();
    engine->startAcquisition();
    levels.clear();
    const TestFrame frame(4, 4, 0, 255, 255, 255);
    const size_t huge = std::numeric_limits<size_t>::max() / 2;
    engine->processBitmap({frame.bytes.data(), 4, 4, 15}, 0.0);       // rows too short
    engine->processBitmap({frame.bytes.data(), huge, 4, huge}, 0.0);  // 4 × width overflows
    engine->processBitmap({frame.bytes.data(), 4, huge, 16}, 0.0);    // size overflows
    engine->processBitmap({nullptr, 4, 4, 16}, 0.0);                  // no pixels
    engine->processBitmap({nullptr, 0, 10, 0}, 0.0);
    engine->processBitmap({nullptr, 10, 0, 40}, 0.0);
    EXPECT_EQ(levels, (std::vector<std::pair<std::int64_t, std::int64_t>>(2, {0, 20})));
    EXPECT_EQ(std::pair(engine->avg(), engine->nbEventDetected()), std::pair(0.0, 0));
}

// Events are timed from the acquisition's start (0 without one).
TEST_F(BitmapProcessorTest, AcquisitionsKeepTimedEventsAndOnlyARunningOneTakesFrames) {
    const TestFrame hit(1, 1, 0, 255, 0, 0);
    feed(hit);                      // no acquisition: ignored
    engine->eventDetected(3, 1.0);  // no list yet: posted, not kept
    EXPECT_FALSE(engine->radiationEvents().has_value());
    engine->startAcquisition();
    clock.advance(2.5);
    feed(hit);
    engine->stopAcquisition();
    feed(hit);  // stopped: ignored
    EXPECT_EQ(engine->radiationEvents(), std::vector{RadiationEvent(2.5, 1)});
    EXPECT_EQ(std::pair(levels.size(), eventPosts), std::pair(std::size_t{1}, 2));
    engine->startAcquisition();  // a second start restarts the clock and the list
    clock.advance(0.5);
    feed(hit);
    EXPECT_EQ(engine->radiationEvents(), std::vector{RadiationEvent(0.5, 1)});
    engine->resetModel();
    feed(hit);
    EXPECT_EQ(engine->radiationEvents(), std::vector{RadiationEvent(0.0, 1)});
}

// A camera that stops: the acquisition notices after five quiet seconds
// (from its start when no frame ever came), and ends at its last frame.
TEST_F(BitmapProcessorTest, FiveQuietSecondsMeanTheCameraStoppedAndTheEndIsTheLastFrame) {
    const TestFrame dark(1, 1);
    engine->startAcquisition();
    const Date start = clock.now();
    clock.advance(4.9);
    EXPECT_FALSE(engine->framesStopped());
    clock.advance(0.1);
    EXPECT_TRUE(engine->framesStopped()) << "no frame since the start";
    feed(dark);
    EXPECT_FALSE(engine->framesStopped());
    clock.advance(5.0);
    EXPECT_TRUE(engine->framesStopped());
    EXPECT_FALSE(engine->endedByCamera());
    engine->stopAcquisitionAtLastFrame();
    EXPECT_EQ(std::tuple(engine->acquisitionDuration(), engine->acquisitionFrames(),
                         engine->framesStopped(), engine->endedByCamera()),
              std::tuple(5.0, std::uint64_t{1}, false, true));
    EXPECT_EQ(engine->lastFrameDate(), start.addingTimeInterval(5.0));
    engine->startAcquisition();
    EXPECT_FALSE(engine->endedByCamera());
}

}  // namespace
}  // namespace kesto
