#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "camera/ContinuousCaptureBackend.h"
#include "camera/OrvVideoStreamController.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/SimulatedCaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

using test::ConsoleCapture;

// A backend whose sessions push frames as fast as the queue takes them, so
// frames are always on the queue while the main thread changes the chain.
class FloodingBackend : public CaptureBackend {
  public:
    class Session : public CaptureSession {
      public:
        ~Session() override { shutDown(); }

      protected:
        void start() override {
            producing_.store(true);
            producer_ = std::thread([this] {
                while (producing_.load()) {
                    dispatch([this] {
                        frame_.setPixel(3, 2, 250, 0, 0);
                        deliver(FrameBitmap{frame_.bytes.data(), frame_.width, frame_.height,
                                            frame_.bytesPerRow});
                    });
                    if (queue() != nullptr) {
                        queue()->drain();
                    }
                }
            });
        }
        void stop() override {
            producing_.store(false);
            if (producer_.joinable()) {
                producer_.join();
            }
        }

      private:
        std::atomic<bool> producing_{false};
        std::thread producer_;
        test::TestFrame frame_{16, 8, 8};  // delivery queue only
    };

    std::unique_ptr<CaptureSession> createSession() override { return std::make_unique<Session>(); }
    CaptureDevice* defaultDevice() override { return nullptr; }
    std::string description() const override { return "flood"; }
};

TEST(CaptureConcurrencyTest, FramesKeepArrivingWhileTheMainThreadDrivesTheChain) {
    ConsoleCapture console;
    FloodingBackend backend;
    auto engine = BitmapProcessor::create();
    std::atomic<int> frames{0};
    NotificationCenter::defaultCenter().addObserver(
        &frames, BitmapProcessor::kMatriceImageChanged,
        [&frames](const Notification&) { ++frames; }, engine.get());
    for (int round = 0; round < 40; ++round) {
        auto controller = std::make_unique<OrvVideoStreamController>(backend, *engine);
        engine->startAcquisition();
        controller->setupVideoChain();
        const int before = frames.load();
        controller->activateVideoChain(true);
        // Frames must be flowing before the chain is changed under them.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (frames.load() == before && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        if (frames.load() == before) {
            ADD_FAILURE() << "no frame arrived in round " << round;
            break;  // still removes the observer below
        }
        // Figures and parameters read while events are appended.
        engine->instantaneousRadiation();
        engine->cumulatedParticules();
        controller->getParameters();
        controller->activateVideoChain(false);
        controller->activateVideoChain(true);
        OrvVideoStreamController::setErrorHappened(round % 3 == 0);
        engine->stopAcquisition();
        if (round % 2 == 0) {
            controller->activateVideoChain(false);
            controller->deleteVideoChain();
        }
        controller.reset();  // odd rounds: destroyed while running
    }
    NotificationCenter::defaultCenter().removeObserver(&frames);
    OrvVideoStreamController::setErrorHappened(false);
}

// An always-on station's capture: its own delegate gets every frame while
// the screens' chains attach to it, run, detach and are destroyed, each
// seeing frames only while attached.
TEST(CaptureConcurrencyTest, TheContinuousCaptureFeedsTheStationWhileScreensComeAndGo) {
    ConsoleCapture console;
    struct Counting : SampleBufferDelegate {
        std::atomic<int> frames{0};
        void didOutputSampleBuffer(const FrameBitmap&) override { ++frames; }
    } station;
    ContinuousCaptureBackend capture(std::make_unique<FloodingBackend>());
    capture.start(station);
    auto engine = BitmapProcessor::create();
    std::atomic<int> seen{0};
    NotificationCenter::defaultCenter().addObserver(
        &seen, BitmapProcessor::kMatriceImageChanged, [&seen](const Notification&) { ++seen; },
        engine.get());
    const auto waitFor = [](const std::atomic<int>& count, int above) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (count.load() <= above && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return count.load() > above;
    };
    for (int round = 0; round < 20; ++round) {
        const int stationBefore = station.frames.load();
        auto controller = std::make_unique<OrvVideoStreamController>(capture, *engine);
        engine->startAcquisition();
        controller->setupVideoChain();
        const int before = seen.load();
        controller->activateVideoChain(true);
        if (!waitFor(seen, before)) {
            ADD_FAILURE() << "no frame reached the screen's chain in round " << round;
            break;
        }
        controller->activateVideoChain(false);
        engine->stopAcquisition();
        if (round % 2 == 0) {
            controller->deleteVideoChain();
        }
        controller.reset();
        EXPECT_TRUE(waitFor(station.frames, stationBefore)) << "round " << round;
    }
    EXPECT_TRUE(capture.isRunning());
    capture.stop();
    EXPECT_FALSE(capture.isRunning());
    NotificationCenter::defaultCenter().removeObserver(&seen);
}

// Odd rounds a real pipeline starts and stops quickly; even rounds the
// simulator, whose settings change while it runs in real time.
TEST(CaptureConcurrencyTest, QuickStartsAndStopsAndSimulatorSettingsWhileRunning) {
    ConsoleCapture console;
    SimulatedCaptureBackend simulated(*SensorSpec::parse("sim:seed=11,size=64x48"));
    PipelineCaptureBackend pipeline("videotestsrc ! video/x-raw,width=32,height=24");
    auto engine = BitmapProcessor::create();
    engine->startAcquisition();
    for (int i = 0; i < 24; ++i) {
        CaptureBackend& backend = i % 2 == 1 ? static_cast<CaptureBackend&>(pipeline) : simulated;
        OrvVideoStreamController controller(backend, *engine);
        controller.setupVideoChain();
        controller.activateVideoChain(true);  // the simulator's first frame is due at once
        simulated.simulatedSensor()->setRate(i * 100.0);
        simulated.simulatedSensor()->setLensOpen(i % 4 == 0);
        EXPECT_EQ(simulated.description().find("lens open") != std::string::npos, i % 4 == 0);
        controller.activateVideoChain(false);
        controller.activateVideoChain(true);
        EXPECT_TRUE(controller.session()->isRunning());
        controller.deleteVideoChain();
        EXPECT_EQ(controller.session(), nullptr);
    }
    // Every session ended cleanly: no runtime error, the engine untouched.
    EXPECT_FALSE(OrvVideoStreamController::errorHappened());
    EXPECT_FALSE(console.contains("Capture error"));
    EXPECT_TRUE(engine->acquisitionEnCours());
    EXPECT_DOUBLE_EQ(simulated.simulatedSensor()->rate(), 2300.0);
}

}  // namespace
}  // namespace kesto
