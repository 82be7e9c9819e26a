#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "camera/OrvVideoStreamController.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/internal/GstCaptureSession.h"
#include "engine/BitmapProcessor.h"
#include "engine/LightReport.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::ConsoleCapture;
using namespace std::chrono_literals;

// Real pipelines run in real time: wait for a condition, generously.
constexpr auto kPatience = 20s;

template <typename Predicate>
bool eventually(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Counts the frames the engine analyses and the threads they arrive on.
class FrameCounter {
  public:
    struct Seen {
        int frames = 0;
        std::int64_t level = -1;  // of the last frame
        std::set<std::thread::id> threads;
    };
    explicit FrameCounter(const BitmapProcessor& engine) {
        NotificationCenter::defaultCenter().addObserver(
            this, BitmapProcessor::kMatriceImageChanged,
            [this](const Notification& n) {
                std::lock_guard lock(mutex_);
                ++seen_.frames;
                seen_.threads.insert(std::this_thread::get_id());
                const auto report = LightReport::from(n);
                seen_.level = report ? report->level : -1;
            },
            &engine);
    }
    ~FrameCounter() { NotificationCenter::defaultCenter().removeObserver(this); }

    bool waitFor(int frames) {
        return eventually([&] { return seen().frames >= frames; });
    }
    Seen seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    std::mutex mutex_;
    Seen seen_;
};

class GstCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        OrvVideoStreamController::setErrorHappened(false);
        engine_->startAcquisition();
    }
    void TearDown() override { OrvVideoStreamController::setErrorHappened(false); }
    std::unique_ptr<BitmapProcessor> engine_ = BitmapProcessor::create();
};

TEST_F(GstCaptureTest, BlackFramesAreDarkAndWhiteFramesAreLightOnOneQueueThread) {
    for (const char* pattern : {"black", "white"}) {
        const bool white = std::string(pattern) == "white";
        PipelineCaptureBackend backend(std::string("videotestsrc pattern=") + pattern +
                                       " ! video/x-raw,width=64,height=48");
        engine_->startAcquisition();
        FrameCounter counter(*engine_);
        OrvVideoStreamController controller(backend, *engine_);
        controller.setupVideoChain();
        controller.activateVideoChain(true);
        ASSERT_TRUE(counter.waitFor(3)) << pattern;
        controller.activateVideoChain(false);
        controller.deleteVideoChain();
        const auto seen = counter.seen();
        EXPECT_EQ(seen.threads.size(), 1u);
        EXPECT_EQ(seen.threads.count(std::this_thread::get_id()), 0u);
        EXPECT_EQ(seen.level, white ? 255 : 0) << pattern;
        EXPECT_EQ(engine_->nbEventDetected(), white ? seen.frames : 0) << pattern;
        EXPECT_EQ(counter.seen().frames, seen.frames);  // nothing after the stop
    }
}

TEST_F(GstCaptureTest, AtMostTenFramesPerSecondOfStreamWhateverThePipelineDelivers) {
    // One second of stream at 30 frames a second; the pipeline brings its
    // own appsink, so only the session's own gate holds the rate.
    ConsoleCapture console;
    PipelineCaptureBackend backend(
        "videotestsrc num-buffers=30 ! video/x-raw,width=32,height=24,framerate=30/1 ! "
        "videoconvert ! appsink name=kesto");
    FrameCounter counter(*engine_);
    OrvVideoStreamController controller(backend, *engine_);
    controller.setupVideoChain();
    controller.activateVideoChain(true);
    ASSERT_TRUE(eventually([&] { return console.contains("Capture stream ended"); }));
    controller.deleteVideoChain();
    // 10 a second: frames 0.1 s apart from 0 to 1.0 s of stream, both ends included.
    EXPECT_GE(counter.seen().frames, 5);
    EXPECT_LE(counter.seen().frames, 11);
}

// The cycling rule itself is the controller's (its own tests); here a real
// pipeline's error reaches it.
TEST_F(GstCaptureTest, APipelineErrorIsReportedToTheController) {
    ConsoleCapture console;
    PipelineCaptureBackend failing(
        "filesrc location=/nonexistent/kesto-frames ! appsink name=kesto");
    OrvVideoStreamController controller(failing, *engine_);
    controller.setupVideoChain();
    controller.activateVideoChain(true);
    ASSERT_TRUE(eventually([] { return OrvVideoStreamController::errorHappened(); }));
    controller.deleteVideoChain();
    EXPECT_TRUE(console.contains("Capture error: "));
}

TEST(GstCaptureSessionTest, PipelinesThatCannotDeliverAreRefusedWithAReason) {
    const auto completed = GstCaptureSession::validate("videotestsrc");
    EXPECT_TRUE(completed) << completed.error();
    const auto unknown = GstCaptureSession::validate("nosuchelement ! fakesink");
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.error().find("nosuchelement"), std::string::npos);
    const auto notAppSink = GstCaptureSession::validate("videotestsrc ! fakesink name=kesto");
    ASSERT_FALSE(notAppSink);
    EXPECT_NE(notAppSink.error().find("not an appsink"), std::string::npos);
}

}  // namespace
}  // namespace kesto
