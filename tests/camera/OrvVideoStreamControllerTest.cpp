#include <atomic>

#include <gtest/gtest.h>

#include "camera/CaptureBackend.h"
#include "camera/OrvVideoStreamController.h"
#include "camera/SimulatedCaptureBackend.h"
#include "camera/VirtualCaptureDevice.h"
#include "camera/internal/CameraCaptureBackend.h"
#include "camera/internal/V4l2CaptureDevice.h"
#include "engine/BitmapProcessor.h"
#include "platform/HopTarget.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using Log = std::vector<std::string>;
using test::ConsoleCapture;

// A backend whose sessions log their starts and stops (on the calling
// thread) into one shared log, and deliver no frames.
class RecordingCaptureBackend : public CaptureBackend {
  public:
    class Session : public CaptureSession {
      public:
        explicit Session(Log& log) : log_(log) {}
        ~Session() override { shutDown(); }
        void fail() { postRuntimeError(); }

      protected:
        void start() override { log_.push_back("start"); }
        void stop() override { log_.push_back("stop"); }

      private:
        Log& log_;
    };

    explicit RecordingCaptureBackend(bool lockable)
        : device_(std::make_unique<VirtualCaptureDevice>(lockable)) {}

    std::unique_ptr<CaptureSession> createSession() override {
        return std::make_unique<Session>(log_);
    }
    CaptureDevice* defaultDevice() override { return device_.get(); }
    std::string description() const override { return "recording backend"; }
    Log takeLog() { return std::exchange(log_, {}); }

  private:
    std::unique_ptr<CaptureDevice> device_;
    Log log_;
};

class OrvVideoStreamControllerTest : public ::testing::Test {
  protected:
    void SetUp() override { OrvVideoStreamController::setErrorHappened(false); }
    void TearDown() override { OrvVideoStreamController::setErrorHappened(false); }
    std::unique_ptr<BitmapProcessor> engine_ = BitmapProcessor::create();
};

TEST_F(OrvVideoStreamControllerTest, LifecycleLogsTheTorchAtEveryActivationAndTheDeallocation) {
    auto backend = std::make_unique<RecordingCaptureBackend>(true);
    ConsoleCapture console;
    {
        OrvVideoStreamController controller(*backend, *engine_);
        controller.deleteVideoChain();  // no session yet: nothing happens
        controller.setupVideoChain();
        EXPECT_FALSE(controller.session()->isRunning());  // set up, not started
        controller.activateVideoChain(true);
        controller.activateVideoChain(true);  // already running: no second start
        EXPECT_TRUE(controller.session()->isRunning());
        controller.activateVideoChain(false);
        EXPECT_FALSE(controller.session()->isRunning());
        controller.deleteVideoChain();
        EXPECT_EQ(controller.session(), nullptr);
        controller.deleteVideoChain();
        EXPECT_EQ(backend->takeLog(), (Log{"start", "stop"}));
        EXPECT_EQ(console.count("*** [device torchMode] 0 \u2260 1 ***"), 2u);
        EXPECT_FALSE(controller.hasFlash());
        controller.turnOnTorch(true);
        controller.logLEDState();
        EXPECT_TRUE(console.contains("led : 0"));
    }
    EXPECT_EQ(console.count("*** Deallocating OrvVideoStreamController"), 1u);
}

TEST_F(OrvVideoStreamControllerTest, ErrorFromAnySessionMakesTheNextActivationCycleOnceOnly) {
    auto backend = std::make_unique<RecordingCaptureBackend>(true);
    OrvVideoStreamController controller(*backend, *engine_);
    controller.setupVideoChain();
    controller.activateVideoChain(true);
    controller.activateVideoChain(false);
    backend->takeLog();

    // Another controller's session fails: the first setup observed any sender.
    {
        OrvVideoStreamController other(*backend, *engine_);
        other.setupVideoChain();
        static_cast<RecordingCaptureBackend::Session*>(other.session())->fail();
    }
    EXPECT_TRUE(OrvVideoStreamController::errorHappened());
    controller.activateVideoChain(true);
    EXPECT_FALSE(OrvVideoStreamController::errorHappened());
    EXPECT_EQ(backend->takeLog(), (Log{"start", "stop", "start"}));
    controller.activateVideoChain(false);
    controller.activateVideoChain(true);
    EXPECT_EQ(backend->takeLog(), (Log{"stop", "start"}));

    // A later setup filters on the session current when it registers: keep
    // only what the next one registers, filtered on `first`.
    controller.activateVideoChain(false);
    const CaptureSession* first = controller.session();
    NotificationCenter::defaultCenter().removeObserver(&controller);
    controller.setupVideoChain();
    auto& center = NotificationCenter::defaultCenter();
    center.post(CaptureSession::kRuntimeErrorNotification, controller.session());
    EXPECT_FALSE(OrvVideoStreamController::errorHappened());
    center.post(CaptureSession::kRuntimeErrorNotification, first);  // identity only
    EXPECT_TRUE(OrvVideoStreamController::errorHappened());
}

TEST_F(OrvVideoStreamControllerTest, ParametersOnADeviceThatAcceptsTheModes) {
    auto backend = std::make_unique<RecordingCaptureBackend>(true);
    OrvVideoStreamController controller(*backend, *engine_);
    controller.setupVideoChain();
    EXPECT_EQ(controller.getParameters(), 7u);  // a camera starts automatic
    EXPECT_EQ(controller.setParameters(5), 5u);
    EXPECT_EQ(controller.setParameters(0xFFFFFFF8u | 2u), 2u);  // upper bits ignored
    EXPECT_EQ(controller.setParameters(0), 0u);
    controller.setParameters(6);
    controller.lockParameter(true);
    EXPECT_EQ(controller.getParameters(), 6u);  // exposure and focus left as they were
    controller.lockParameter(false);
    EXPECT_EQ(controller.getParameters(), 7u);
    EXPECT_FALSE(static_cast<VirtualCaptureDevice*>(backend->defaultDevice())->isLocked());

    // A device that cannot be locked keeps its modes.
    RecordingCaptureBackend fixed(false);
    OrvVideoStreamController still(fixed, *engine_);
    still.setupVideoChain();
    EXPECT_EQ(still.setParameters(7), 0u);
    EXPECT_EQ(still.getParameters(), 0u);
}

// Stepping the main loop through 30 simulated seconds delivers every frame
// due (frame 0 at the start, then ten a second) through the delivery queue
// to the engine, in time for the main thread to hear of each one within the
// step: the light reports hopped over, and one event per frame with hits.
TEST_F(OrvVideoStreamControllerTest, SteppingTheMainLoopDeliversEveryDueFrameWithoutSleeping) {
    test::ManualClock clock;
    ConsoleCapture console;
    // About one frame in seven carries hits.
    const auto made = CaptureBackend::create(*SensorSpec::parse("sim:seed=7,rate=300,size=64x48"));
    ASSERT_TRUE(made) << made.error();
    const std::unique_ptr<CaptureBackend>& backend = *made;
    constexpr std::uint64_t kFrames = 301;  // 0 s to 30 s inclusive, ten a second
    std::int32_t withHits = 0;
    for (std::uint64_t k = 0; k < kFrames; ++k) {
        withHits += backend->simulatedSensor()->particlesInFrame(k) > 0;
    }
    std::int32_t reports = 0;             // main thread only
    std::atomic<std::int32_t> onMain{0};  // frames reach the engine on the delivery queue
    HopTarget screen;
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(
        &reports, BitmapProcessor::kMatriceImageChanged,
        [&](const Notification&) {
            onMain += RunLoop::isMainThread() ? 1 : 0;
            screen.hop([&reports] { ++reports; });
        },
        engine_.get());
    OrvVideoStreamController controller(*backend, *engine_);
    engine_->startAcquisition();
    controller.setupVideoChain();
    controller.activateVideoChain(true);
    RunLoop::main().runFor(30.0);
    EXPECT_EQ(reports, static_cast<std::int32_t>(kFrames));
    EXPECT_EQ(engine_->nbEventDetected(), withHits);
    EXPECT_EQ(onMain.load(), 0);
    EXPECT_TRUE(console.contains("SIMULATED sensor, not a measurement"));
    // Stopped, the chain delivers nothing more, however far the loop steps.
    controller.activateVideoChain(false);
    RunLoop::main().runFor(1.0);
    center.removeObserver(&reports);
    EXPECT_EQ(reports, static_cast<std::int32_t>(kFrames));
    controller.deleteVideoChain();
}

TEST_F(OrvVideoStreamControllerTest, WithoutACameraTheChainRunsWithoutFramesAndSaysWhyOnce) {
    ConsoleCapture console;
    CameraCaptureBackend backend("/nonexistent/video9");
    EXPECT_EQ(backend.defaultDevice(), nullptr);
    for (int detection = 0; detection < 2; ++detection) {
        OrvVideoStreamController controller(backend, *engine_);
        controller.setupVideoChain();
        controller.activateVideoChain(true);
        EXPECT_TRUE(controller.session()->isRunning());
        EXPECT_FALSE(controller.hasFlash());
        EXPECT_EQ(controller.setParameters(7), 0u);
        controller.activateVideoChain(false);
        controller.deleteVideoChain();
    }
    EXPECT_EQ(console.count("No camera at /nonexistent/video9: the capture chain runs, but no "
                            "frames will arrive"),
              1u);
    EXPECT_EQ(console.count("Image size"), 0u);

    // A device node that is no camera has no controls to lock.
    V4l2CaptureDevice notACamera("/dev/null");
    EXPECT_FALSE(notACamera.lockForConfiguration());
    notACamera.setFocusMode(CaptureDevice::kModeContinuousAuto);
    EXPECT_EQ(notACamera.focusMode(), 0);
    EXPECT_FALSE(notACamera.hasTorch());
}

}  // namespace
}  // namespace kesto
