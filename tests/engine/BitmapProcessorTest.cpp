#include <cstdlib>
#include <limits>

#include <gtest/gtest.h>

#include "engine/BitmapProcessor.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::ConsoleCapture;
using test::ManualClock;
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
                avgSeenDuringPost.push_back(this->engine.avg());
                eventsWhenLevelPosted.push_back(this->engine.nbEventDetected());
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
    std::vector<std::int32_t> eventsWhenLevelPosted;
    int eventPosts = 0;
};

class BitmapProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = BitmapProcessor::create();
        engine->setSeuil(100);
        engine->setSeuilSigma(20.0f);
    }
    void feed(TestFrame& frame) {
        engine->processBitmap({frame.bytes.data(), frame.width, frame.height, frame.bytesPerRow},
                              0.0);
    }
    std::int32_t lastHits() const {
        auto events = engine->radiationEvents();
        return events && !events->empty() ? events->back().numberOfParticules() : 0;
    }

    ManualClock clock;
    ConsoleCapture console;
    std::unique_ptr<BitmapProcessor> engine;
};

TEST_F(BitmapProcessorTest, ModelDefaultsFollowTheMachine) {
    setenv("KESTO_MACHINE", "iPhone3,2", 1);
    auto four = BitmapProcessor::create();
    EXPECT_EQ(four->seuil(), 92);
    EXPECT_EQ(four->seuilSigma(), 30.0f);
    setenv("KESTO_MACHINE", "iPhone3,3", 1);
    auto other = BitmapProcessor::create();
    EXPECT_EQ(other->seuil(), 100);
    EXPECT_EQ(other->seuilSigma(), 20.0f);
    unsetenv("KESTO_MACHINE");
}

TEST_F(BitmapProcessorTest, HitsAreStrictlyAboveTheThresholdAndIgnoreAlpha) {
    Posts posts(*engine);
    engine->startAcquisition();
    TestFrame frame(3, 1);
    frame.setPixel(0, 0, 100, 0, 0, 255);    // exactly the threshold: no hit
    frame.setPixel(1, 0, 101, 255, 0, 255);  // two hits, alpha never counts
    frame.setPixel(2, 0, 0, 0, 0, 255);
    feed(frame);
    EXPECT_EQ(lastHits(), 2);
    EXPECT_EQ(engine->max(), 255);
    EXPECT_DOUBLE_EQ(engine->avg(), (100.0 + 101 + 255) / 9.0);
    EXPECT_EQ(posts.eventPosts, 1);
}

TEST_F(BitmapProcessorTest, DarkFramePostsItsLevelAndAppendsNothing) {
    Posts posts(*engine);
    engine->startAcquisition();
    TestFrame frame(2, 1);
    frame.setPixel(0, 0, 10, 20, 30, 200);
    frame.setPixel(1, 0, 40, 50, 60, 200);
    feed(frame);
    ASSERT_EQ(posts.levels.size(), 1u);
    EXPECT_EQ(posts.levels[0], std::make_pair(std::int64_t{35}, std::int64_t{20}));
    EXPECT_EQ(engine->avg(), 35.0);
    EXPECT_EQ(engine->max(), 60);
    EXPECT_EQ(engine->nbEventDetected(), 0);
    EXPECT_EQ(posts.eventPosts, 0);
}

TEST_F(BitmapProcessorTest, LevelIsPostedBeforeAvgUpdatesAndBeforeTheEvent) {
    Posts posts(*engine);
    engine->startAcquisition();
    TestFrame first(4, 4, 0, 10, 10, 10);
    feed(first);
    TestFrame second(4, 4, 0, 200, 200, 200);
    feed(second);
    ASSERT_EQ(posts.levels.size(), 2u);
    EXPECT_EQ(posts.levels[1].first, 200);
    EXPECT_EQ(posts.avgSeenDuringPost[1], 10.0);   // the previous frame's
    EXPECT_EQ(posts.eventsWhenLevelPosted[1], 0);  // event not appended yet
    EXPECT_EQ(engine->avg(), 200.0);
    EXPECT_EQ(lastHits(), 48);
}

TEST_F(BitmapProcessorTest, EventTimeCountsFromTheStartAndASecondStartRestarts) {
    engine->startAcquisition();
    TestFrame hit(1, 1, 0, 255, 0, 0);
    clock.advance(2.5);
    feed(hit);
    EXPECT_EQ(engine->radiationEvents()->at(0), RadiationEvent(2.5, 1));
    clock.advance(1.0);
    engine->startAcquisition();
    EXPECT_EQ(engine->nbEventDetected(), 0);
    clock.advance(0.5);
    feed(hit);
    EXPECT_EQ(engine->radiationEvents()->at(0).timeStamp(), 0.5);
}

TEST_F(BitmapProcessorTest, PaddingIsNeverReadWhateverItHolds) {
    TestFrame tight(7, 5, 0, 50, 101, 3);
    TestFrame padded(7, 5, 16, 50, 101, 3);
    for (size_t y = 0; y < 5; ++y) {
        std::fill_n(padded.pixel(7, y), 16, 255);
    }
    engine->startAcquisition();
    feed(tight);
    const double avg = engine->avg();
    const auto hits = lastHits();
    const auto max = engine->max();
    engine->startAcquisition();
    feed(padded);
    EXPECT_EQ(engine->avg(), avg);
    EXPECT_EQ(lastHits(), hits);
    EXPECT_EQ(engine->max(), max);
    EXPECT_EQ(hits, 35);
}

TEST_F(BitmapProcessorTest, RowsWhoseLengthIsNotAWholeNumberOfPixelsUseTheRoundedStride) {
    // 2 pixels, 10 bytes per row: rows start every 8 bytes in the copy.
    std::vector<std::uint8_t> bytes(20, 0);
    bytes[8] = 200;   // first pixel of row 1 (stride 8), blue
    bytes[18] = 200;  // outside every scanned pixel
    engine->startAcquisition();
    engine->processBitmap({bytes.data(), 2, 2, 10}, 0.0);
    EXPECT_EQ(lastHits(), 1);
    EXPECT_DOUBLE_EQ(engine->avg(), 200.0 / 12.0);
}

TEST_F(BitmapProcessorTest, FramesOutsideAnAcquisitionChangeNothing) {
    Posts posts(*engine);
    TestFrame bright(2, 2, 0, 255, 255, 255);
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
    TestFrame small(4, 2, 0, 0, 0, 0);
    feed(small);
    TestFrame large(64, 48, 8, 0, 0, 0);
    large.setPixel(63, 47, 0, 0, 250);
    feed(large);
    EXPECT_EQ(lastHits(), 1);
    EXPECT_EQ(engine->max(), 250);
    EXPECT_EQ(console.lines(), std::vector<std::string>{"Image size : 4 * 2"});
}

TEST_F(BitmapProcessorTest, MalformedFramesAreIgnoredWithOneLineEach) {
    Posts posts(*engine);
    engine->startAcquisition();
    TestFrame frame(4, 4, 0, 255, 255, 255);
    engine->processBitmap({frame.bytes.data(), 4, 4, 15}, 0.0);  // rows too short
    const size_t huge = std::numeric_limits<size_t>::max() / 2;
    engine->processBitmap({frame.bytes.data(), huge, 4, huge}, 0.0);  // 4 × width overflows
    engine->processBitmap({frame.bytes.data(), 4, huge, 16}, 0.0);    // size overflows
    EXPECT_TRUE(posts.levels.empty());
    EXPECT_EQ(engine->nbEventDetected(), 0);
    EXPECT_EQ(console.count("Frame ignored"), 3u);
}

TEST_F(BitmapProcessorTest, EmptyFrameHasLevelZeroAndNoEvent) {
    Posts posts(*engine);
    engine->setSeuilSigma(30.0f);
    engine->startAcquisition();
    engine->processBitmap({nullptr, 0, 10, 0}, 0.0);
    engine->processBitmap({nullptr, 10, 0, 40}, 0.0);
    ASSERT_EQ(posts.levels.size(), 2u);
    EXPECT_EQ(posts.levels[0], std::make_pair(std::int64_t{0}, std::int64_t{30}));
    EXPECT_EQ(posts.levels[1], std::make_pair(std::int64_t{0}, std::int64_t{30}));
    EXPECT_EQ(engine->avg(), 0.0);
    EXPECT_EQ(engine->nbEventDetected(), 0);
}

TEST_F(BitmapProcessorTest, LargeBrightFrameAveragesWithoutWrapping) {
    // 2400 × 2400 white pixels: the channel sum (4.4e9) does not fit 32 bits.
    TestFrame frame(2400, 2400, 0, 255, 255, 255);
    engine->startAcquisition();
    feed(frame);
    EXPECT_EQ(engine->avg(), 255.0);
    EXPECT_EQ(lastHits(), 2400 * 2400 * 3);
}

TEST_F(BitmapProcessorTest, LifecycleKeepsOrClearsDatesAndEvents) {
    EXPECT_FALSE(engine->radiationEvents().has_value());  // New: no list
    engine->startAcquisition();
    EXPECT_TRUE(engine->acquisitionEnCours());
    EXPECT_EQ(engine->startDate(), clock.now());
    EXPECT_FALSE(engine->stopDate().has_value());
    engine->eventDetected(4, 1.0);
    clock.advance(3.0);
    engine->stopAcquisition();
    EXPECT_FALSE(engine->acquisitionEnCours());
    EXPECT_EQ(engine->stopDate(), clock.now());
    EXPECT_EQ(engine->nbEventDetected(), 1);  // Stopped: events kept
    engine->resetModel();
    EXPECT_FALSE(engine->startDate().has_value());
    EXPECT_FALSE(engine->stopDate().has_value());
    ASSERT_TRUE(engine->radiationEvents().has_value());  // Reset: empty list
    EXPECT_TRUE(engine->radiationEvents()->empty());
}

TEST_F(BitmapProcessorTest, ResetDuringAnAcquisitionGivesEventsTimeZero) {
    engine->startAcquisition();
    clock.advance(5.0);
    engine->resetModel();
    TestFrame hit(1, 1, 0, 255, 0, 0);
    feed(hit);
    ASSERT_EQ(engine->nbEventDetected(), 1);
    EXPECT_EQ(engine->radiationEvents()->at(0).timeStamp(), 0.0);
    EXPECT_EQ(engine->acquisitionDuration(), 0.0);
}

TEST_F(BitmapProcessorTest, EventsBeforeAnyStartAreDroppedButStillPosted) {
    Posts posts(*engine);
    engine->eventDetected(3, 1.0);
    EXPECT_FALSE(engine->radiationEvents().has_value());
    EXPECT_EQ(posts.eventPosts, 1);
}

}  // namespace
}  // namespace kesto
