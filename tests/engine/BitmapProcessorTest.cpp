#include <cstdlib>
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

// Records what one engine posts.
struct Posts {
    explicit Posts(const BitmapProcessor& observed) : engine(observed) {
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(
            this, BitmapProcessor::kMatriceImageChanged,
            [this](const Notification& n) {
                const auto* array = n.payload->arrayValue();
                levels.push_back({*(*array)[0].integerValue(), *(*array)[1].integerValue()});
                avgSeenDuringPost.push_back(engine.avg());
                eventsSeenDuringPost.push_back(engine.nbEventDetected());
            },
            &observed);
        center.addObserver(
            this, BitmapProcessor::kEventDetected, [this](const Notification&) { ++eventPosts; },
            &observed);
    }
    ~Posts() { NotificationCenter::defaultCenter().removeObserver(this); }

    const BitmapProcessor& engine;
    std::vector<std::pair<std::int64_t, std::int64_t>> levels;
    std::vector<double> avgSeenDuringPost;
    std::vector<std::int32_t> eventsSeenDuringPost;
    int eventPosts = 0;
};

class BitmapProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = BitmapProcessor::create();
        engine->setSeuil(100);
        engine->setSeuilSigma(20.0f);
    }
    void feed(const TestFrame& frame) {
        engine->processBitmap({frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow},
                              0.0);
    }
    std::int32_t lastHits() const {
        auto events = engine->radiationEvents();
        return events && !events->empty() ? events->back().numberOfParticules() : 0;
    }

    test::ManualClock clock;
    test::ConsoleCapture console;
    std::unique_ptr<BitmapProcessor> engine;
};

TEST_F(BitmapProcessorTest, ModelDefaultsFollowTheMachine) {
    setenv("KESTO_MACHINE", "iPhone3,2", 1);
    EXPECT_EQ(BitmapProcessor::create()->seuil(), 92);
    EXPECT_EQ(BitmapProcessor::create()->seuilSigma(), 30.0f);
    setenv("KESTO_MACHINE", "iPhone3,3", 1);
    EXPECT_EQ(BitmapProcessor::create()->seuil(), 100);
    EXPECT_EQ(BitmapProcessor::create()->seuilSigma(), 20.0f);
    unsetenv("KESTO_MACHINE");
}

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
            EXPECT_EQ(engine->nbEventDetected(), expected.hits > 0 ? 1 : 0);
            EXPECT_EQ(lastHits(), static_cast<std::int32_t>(expected.hits));
            EXPECT_EQ(engine->avg(), average);
            EXPECT_EQ(engine->max(), expected.max);
            ASSERT_EQ(posts.levels.size(), 1u);
            EXPECT_EQ(posts.levels[0],
                      std::make_pair(static_cast<std::int64_t>(average), std::int64_t{20}));
        }
    }
}

TEST_F(BitmapProcessorTest, LargeBrightFrameAveragesWithoutWrapping) {
    // 2400 × 2400 white pixels: the channel sum (4.4e9) does not fit 32 bits.
    engine->startAcquisition();
    feed(TestFrame(2400, 2400, 0, 255, 255, 255));
    EXPECT_EQ(engine->avg(), 255.0);
    EXPECT_EQ(lastHits(), 2400 * 2400 * 3);
}

TEST_F(BitmapProcessorTest, LevelIsPostedBeforeAvgUpdatesAndBeforeTheEvent) {
    Posts posts(*engine);
    engine->startAcquisition();
    feed(TestFrame(4, 4, 0, 10, 10, 10));
    feed(TestFrame(4, 4, 0, 200, 200, 200));
    ASSERT_EQ(posts.levels.size(), 2u);
    EXPECT_EQ(posts.levels[1].first, 200);
    EXPECT_EQ(posts.avgSeenDuringPost[1], 10.0);  // the previous frame's
    EXPECT_EQ(posts.eventsSeenDuringPost[1], 0);  // event not appended yet
    EXPECT_EQ(engine->avg(), 200.0);
    EXPECT_EQ(posts.eventPosts, 1);
}

TEST_F(BitmapProcessorTest, EventTimeCountsFromTheStartOrZeroAfterAReset) {
    const TestFrame hit(1, 1, 0, 255, 0, 0);
    engine->startAcquisition();
    clock.advance(2.5);
    feed(hit);
    EXPECT_EQ(engine->radiationEvents()->at(0), RadiationEvent(2.5, 1));
    clock.advance(1.0);
    engine->startAcquisition();  // a second start restarts the clock and the list
    clock.advance(0.5);
    feed(hit);
    ASSERT_EQ(engine->nbEventDetected(), 1);
    EXPECT_EQ(engine->radiationEvents()->at(0).timeStamp(), 0.5);
    engine->resetModel();  // no start date any more
    feed(hit);
    EXPECT_EQ(engine->radiationEvents()->at(0).timeStamp(), 0.0);
    EXPECT_EQ(engine->acquisitionDuration(), 0.0);
}

TEST_F(BitmapProcessorTest, FramesOutsideAnAcquisitionChangeNothing) {
    Posts posts(*engine);
    const TestFrame bright(2, 2, 0, 255, 255, 255);
    feed(bright);
    engine->startAcquisition();
    engine->stopAcquisition();
    feed(bright);
    EXPECT_TRUE(posts.levels.empty());
    EXPECT_EQ(engine->avg(), 0.0);
    EXPECT_EQ(engine->max(), 0);
    EXPECT_EQ(engine->nbEventDetected(), 0);
    EXPECT_FALSE(console.contains("Image size"));
}

TEST_F(BitmapProcessorTest, ImageSizeIsLoggedOnceAndLargerFramesGrowTheBuffer) {
    engine->startAcquisition();
    feed(TestFrame(4, 2));
    TestFrame large(64, 48, 8);
    large.setPixel(63, 47, 0, 0, 250);
    feed(large);
    EXPECT_EQ(lastHits(), 1);
    EXPECT_EQ(engine->max(), 250);
    EXPECT_EQ(console.lines(), std::vector<std::string>{"Image size : 4 * 2"});
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

TEST_F(BitmapProcessorTest, LifecycleKeepsOrClearsDatesAndEvents) {
    Posts posts(*engine);
    engine->eventDetected(3, 1.0);  // before any start: posted, not kept
    EXPECT_FALSE(engine->radiationEvents().has_value());
    EXPECT_EQ(posts.eventPosts, 1);
    engine->startAcquisition();
    EXPECT_EQ(engine->startDate(), clock.now());
    engine->eventDetected(4, 1.0);
    clock.advance(3.0);
    engine->stopAcquisition();
    EXPECT_FALSE(engine->acquisitionEnCours());
    EXPECT_EQ(engine->stopDate(), clock.now());
    EXPECT_EQ(engine->nbEventDetected(), 1);  // stopped: events kept
    engine->resetModel();
    EXPECT_FALSE(engine->startDate().has_value());
    EXPECT_FALSE(engine->stopDate().has_value());
    ASSERT_TRUE(engine->radiationEvents().has_value());  // reset: an empty list
    EXPECT_TRUE(engine->radiationEvents()->empty());
}

}  // namespace
}  // namespace kesto
