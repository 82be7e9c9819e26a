#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "engine/FrameScanner.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::TestFrame;

// Records what one engine posts, and what its observers see meanwhile.
struct Posts {
    explicit Posts(const BitmapProcessor& engine) {
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(
            this, BitmapProcessor::kMatriceImageChanged,
            [this, &engine](const Notification& n) {
                const auto& values = *n.payload->arrayValue();
                levels.push_back({*values[0].integerValue(), *values[1].integerValue()});
                seenDuringPost.push_back({engine.avg(), engine.nbEventDetected()});
            },
            &engine);
        center.addObserver(
            this, BitmapProcessor::kEventDetected, [this](const Notification&) { ++eventPosts; },
            &engine);
    }
    ~Posts() { NotificationCenter::defaultCenter().removeObserver(this); }

    std::vector<std::pair<std::int64_t, std::int64_t>> levels;    // level, sigma
    std::vector<std::pair<double, std::int32_t>> seenDuringPost;  // avg, events
    int eventPosts = 0;
};

class BitmapProcessorTest : public ::testing::Test {
  protected:
    BitmapProcessorTest() {
        engine->setSeuil(100);
        engine->setSeuilSigma(20.0f);
    }
    void feed(const TestFrame& frame) {
        engine->processBitmap({frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow},
                              0.0);
    }

    test::ManualClock clock;
    test::ConsoleCapture console;
    std::unique_ptr<BitmapProcessor> engine = BitmapProcessor::create();
};

// Random frames of odd widths and padded rows, rows whose length is not a
// whole number of pixels among them, at every threshold edge: the hits,
// level and maximum are those of the byte-by-byte reference over the blue,
// green and red bytes of each row. Row r starts at r × (bytes per row
// rounded down to whole pixels); padding and alpha never count.
TEST_F(BitmapProcessorTest, RandomFramesGiveWhatTheReferenceScanFinds) {
    struct Shape {
        std::size_t width, height, bytesPerRow;
    };
    std::mt19937 random(7);
    double previousAverage = 0.0;
    for (const Shape shape :
         {Shape{1, 1, 4}, Shape{2, 2, 10}, Shape{7, 5, 28}, Shape{7, 5, 44}, Shape{13, 3, 58},
          Shape{33, 9, 141}, Shape{100, 7, 480}, Shape{641, 4, 2567}, Shape{480, 360, 1920}}) {
        for (std::int32_t seuil : {-1, 0, 1, 99, 100, 101, 254, 255, 256}) {
            std::vector<std::uint8_t> bytes(shape.bytesPerRow * shape.height);
            // Mostly dark, so some frames have no hit at all at high thresholds.
            for (auto& b : bytes) {
                b = static_cast<std::uint8_t>(random() % 8 == 0 ? random() : random() % 100);
            }
            ScanTotals expected;
            for (std::size_t row = 0; row < shape.height; ++row) {
                FrameScanner::scanReference(bytes.data() + row * (shape.bytesPerRow & ~3u),
                                            4 * shape.width, seuil, expected);
            }
            const double average = static_cast<double>(expected.sum) /
                                   (3.0 * static_cast<double>(shape.width * shape.height));

            engine->setSeuil(seuil);
            engine->startAcquisition();
            Posts posts(*engine);
            engine->processBitmap({bytes.data(), shape.width, shape.height, shape.bytesPerRow},
                                  0.0);
            SCOPED_TRACE(testing::Message() << shape.width << "x" << shape.height << " in "
                                            << shape.bytesPerRow << ", seuil " << seuil);
            const auto events = *engine->radiationEvents();
            EXPECT_EQ(events.size(), expected.hits > 0 ? 1u : 0u);
            EXPECT_EQ(events.empty() ? 0 : events[0].numberOfParticules(), expected.hits);
            EXPECT_EQ(engine->avg(), average);
            EXPECT_EQ(engine->max(), expected.max);
            ASSERT_EQ(posts.levels.size(), 1u);
            EXPECT_EQ(posts.levels[0],
                      std::make_pair(static_cast<std::int64_t>(average), std::int64_t{20}));
            // Observers of the level see the previous frame's and no event yet.
            EXPECT_EQ(posts.seenDuringPost[0], std::make_pair(previousAverage, 0));
            EXPECT_EQ(posts.eventPosts, expected.hits > 0 ? 1 : 0);
            previousAverage = average;
        }
    }
}

TEST_F(BitmapProcessorTest, LargeBrightFrameAveragesWithoutWrapping) {
    // 2400 × 2400 white pixels: the channel sum (4.4e9) does not fit 32 bits.
    engine->startAcquisition();
    feed(TestFrame(2400, 2400, 0, 255, 255, 255));
    EXPECT_EQ(engine->avg(), 255.0);
    EXPECT_EQ(engine->radiationEvents()->at(0).numberOfParticules(), 2400 * 2400 * 3);
}

TEST_F(BitmapProcessorTest, FramesThatDoNotFitAreIgnoredAndEmptyOnesHaveLevelZero) {
    Posts posts(*engine);
    engine->startAcquisition();
    const TestFrame frame(4, 4, 0, 255, 255, 255);
    const size_t huge = std::numeric_limits<size_t>::max() / 2;
    engine->processBitmap({frame.bytes.data(), 4, 4, 15}, 0.0);       // rows too short
    engine->processBitmap({frame.bytes.data(), huge, 4, huge}, 0.0);  // 4 × width overflows
    engine->processBitmap({frame.bytes.data(), 4, huge, 16}, 0.0);    // size overflows
    engine->processBitmap({nullptr, 4, 4, 16}, 0.0);                  // no pixels
    EXPECT_TRUE(posts.levels.empty());
    EXPECT_EQ(console.count("Frame ignored"), 4u);

    engine->processBitmap({nullptr, 0, 10, 0}, 0.0);
    engine->processBitmap({nullptr, 10, 0, 40}, 0.0);
    const std::pair<std::int64_t, std::int64_t> empty{0, 20};
    EXPECT_EQ(posts.levels, (std::vector{empty, empty}));
    EXPECT_EQ(engine->avg(), 0.0);
    EXPECT_EQ(engine->nbEventDetected(), 0);
}

// Events are kept only in an acquisition's list, timed from its start (0
// without a start date); a stopped acquisition keeps them and takes no frames.
TEST_F(BitmapProcessorTest, AcquisitionsKeepTimedEventsAndOnlyARunningOneTakesFrames) {
    Posts posts(*engine);
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
    EXPECT_EQ(posts.levels.size(), 1u);
    EXPECT_EQ(posts.eventPosts, 2);
    engine->startAcquisition();  // a second start restarts the clock and the list
    clock.advance(0.5);
    feed(hit);
    EXPECT_EQ(engine->radiationEvents(), std::vector{RadiationEvent(0.5, 1)});
    engine->resetModel();
    EXPECT_FALSE(engine->startDate() || engine->stopDate());
    feed(hit);
    EXPECT_EQ(engine->radiationEvents(), std::vector{RadiationEvent(0.0, 1)});
}

}  // namespace
}  // namespace kesto
