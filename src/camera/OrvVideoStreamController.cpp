#include "camera/OrvVideoStreamController.h"

#include <atomic>

#include "engine/BitmapProcessor.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

std::atomic<bool> errorFlag{false};

constexpr double kMinFrameDuration = 1.0 / 10.0;  // at most 10 frames a second

std::int32_t modeFor(std::uint32_t mask, std::uint32_t bit) {
    return (mask & bit) != 0 ? CaptureDevice::kModeContinuousAuto : CaptureDevice::kModeLocked;
}

}  // namespace

OrvVideoStreamController::OrvVideoStreamController(CaptureBackend& backend)
    : OrvVideoStreamController(backend, BitmapProcessor::sharedInstance()) {}

OrvVideoStreamController::OrvVideoStreamController(CaptureBackend& backend, BitmapProcessor& engine)
    : backend_(backend), engine_(engine) {}

OrvVideoStreamController::~OrvVideoStreamController() {
    Console::log("*** Deallocating OrvVideoStreamController");
    NotificationCenter::defaultCenter().removeObserver(this,
                                                       CaptureSession::kRuntimeErrorNotification);
    // Dropping a session still running (deleteVideoChain not called) stops
    // it and waits for the frame in flight: no frame may reach this
    // controller once it is gone.
    session_.reset();
}

bool OrvVideoStreamController::errorHappened() {
    return errorFlag.load();
}

void OrvVideoStreamController::setErrorHappened(bool value) {
    errorFlag.store(value);
}

void OrvVideoStreamController::setupVideoChain() {
    // Observed with the current session as sender: none at the first setup,
    // so errors from any session count then.
    NotificationCenter::defaultCenter().addObserver(
        this, CaptureSession::kRuntimeErrorNotification,
        [this](const Notification& n) { onVideoError(n); }, session_.get());
    session_ = backend_.createSession();
    session_->beginConfiguration();
    session_->setSessionPreset(CaptureSession::kPresetMedium);
    device_ = backend_.defaultDevice();
    session_->addInput(device_);
    session_->setSampleBufferDelegate(this, std::make_unique<SerialQueue>("myQueue"));
    session_->setMinFrameDuration(kMinFrameDuration);
    session_->setPixelFormat(CaptureSession::kPixelFormatBGRA);
    session_->commitConfiguration();
}

void OrvVideoStreamController::activateVideoChain(bool on) {
    if (!on) {
        if (session_) {
            session_->stopRunning();
        }
        return;
    }
    if (errorFlag.load()) {
        if (session_) {
            session_->startRunning();
            session_->stopRunning();
        }
        errorFlag.store(false);
    }
    if (session_) {
        session_->startRunning();
    }
    turnOnTorch(true);
    const std::int32_t torch = device_ != nullptr ? device_->torchMode() : CaptureDevice::kTorchOff;
    if (torch != CaptureDevice::kTorchOn) {
        Console::logf("*** [device torchMode] %d \u2260 %d ***", torch, CaptureDevice::kTorchOn);
    }
}

void OrvVideoStreamController::deleteVideoChain() {
    if (session_) {
        session_->stopRunning();
        session_.reset();
    }
}

void OrvVideoStreamController::onVideoError(const Notification& /*notification*/) {
    errorFlag.store(true);
}

void OrvVideoStreamController::didOutputSampleBuffer(const FrameBitmap& frame) {
    engine_.processBitmap(frame, Clock::now().referenceSeconds());
}

void OrvVideoStreamController::lockParameter(bool lock) {
    if (session_) {
        session_->beginConfiguration();
    }
    if (device_ != nullptr && device_->lockForConfiguration()) {
        device_->setWhiteBalanceMode(lock ? CaptureDevice::kModeLocked
                                          : CaptureDevice::kModeContinuousAuto);
        Console::logf("whiteBalanceMode %d, exposureMode %d, focusMode %d",
                      device_->whiteBalanceMode(), device_->exposureMode(), device_->focusMode());
        device_->unlockForConfiguration();
    }
    if (session_) {
        session_->commitConfiguration();
    }
}

std::uint32_t OrvVideoStreamController::setParameters(std::uint32_t mask) {
    Console::logf("set %d %d %d", (mask & kWhiteBalanceAuto) != 0 ? 1 : 0,
                  (mask & kExposureAuto) != 0 ? 1 : 0, (mask & kFocusAuto) != 0 ? 1 : 0);
    if (session_) {
        session_->beginConfiguration();
    }
    if (device_ != nullptr && device_->lockForConfiguration()) {
        device_->setWhiteBalanceMode(modeFor(mask, kWhiteBalanceAuto));
        device_->setExposureMode(modeFor(mask, kExposureAuto));
        device_->setFocusMode(modeFor(mask, kFocusAuto));
        device_->unlockForConfiguration();
    }
    if (session_) {
        session_->commitConfiguration();
    }
    return getParameters();
}

std::uint32_t OrvVideoStreamController::getParameters() {
    // Without a device every mode reads as locked (0).
    auto modes = [this] {
        struct {
            std::int32_t whiteBalance = 0, exposure = 0, focus = 0;
        } m;
        if (device_ != nullptr) {
            m.whiteBalance = device_->whiteBalanceMode();
            m.exposure = device_->exposureMode();
            m.focus = device_->focusMode();
        }
        return m;
    };
    const auto shown = modes();
    Console::logf("->  %d %d %d", shown.whiteBalance, shown.exposure, shown.focus);
    const auto read = modes();
    std::uint32_t mask = 0;
    if (read.whiteBalance != CaptureDevice::kModeLocked) {
        mask |= kWhiteBalanceAuto;
    }
    if (read.exposure != CaptureDevice::kModeLocked) {
        mask |= kExposureAuto;
    }
    if (read.focus != CaptureDevice::kModeLocked) {
        mask |= kFocusAuto;
    }
    return mask;
}

bool OrvVideoStreamController::hasFlash() const {
    return device_ != nullptr && device_->hasTorch();
}

void OrvVideoStreamController::turnOnTorch(bool /*on*/) {}

void OrvVideoStreamController::logLEDState() {
    Console::logf("led : %d", device_ != nullptr ? device_->torchMode() : CaptureDevice::kTorchOff);
}

}  // namespace kesto
