#pragma once

#include <cstdint>
#include <memory>

#include "camera/CaptureBackend.h"
#include "camera/CaptureDevice.h"
#include "camera/CaptureSession.h"
#include "camera/SampleBufferDelegate.h"

namespace kesto {

class BitmapProcessor;
struct Notification;

// The capture chain of one detection: builds a session from the process's
// capture backend, starts and stops it, and hands every frame to the
// detection engine on the session's serial queue "myQueue". Records capture
// runtime errors process-wide (errorHappened) and recovers from one with a
// start-stop cycle at the next activation. Offers the camera's white
// balance, exposure and focus modes and the (absent) torch.
//
// Threads: construction, destruction, setup, activation, deletion and the
// parameter operations on the main thread. didOutputSampleBuffer runs on
// the delivery queue; onVideoError on whichever thread posted the error.
class OrvVideoStreamController : public SampleBufferDelegate {
  public:
    // Parameter mask bits: set means continuous automatic, clear locked.
    static constexpr std::uint32_t kWhiteBalanceAuto = 1;
    static constexpr std::uint32_t kExposureAuto = 2;
    static constexpr std::uint32_t kFocusAuto = 4;

    // The backend and engine must outlive the controller.
    explicit OrvVideoStreamController(CaptureBackend& backend = CaptureBackend::current());
    OrvVideoStreamController(CaptureBackend& backend, BitmapProcessor& engine);
    ~OrvVideoStreamController();
    OrvVideoStreamController(const OrvVideoStreamController&) = delete;
    OrvVideoStreamController& operator=(const OrvVideoStreamController&) = delete;

    // Builds and configures the chain; does not start it.
    void setupVideoChain();
    // true starts frame delivery (after a start-stop cycle when an error
    // happened), false stops it.
    void activateVideoChain(bool on);
    // Stops and drops the session.
    void deleteVideoChain();
    // The runtime error notification's handler: sets errorHappened.
    void onVideoError(const Notification& notification);
    // Every frame, on the delivery queue: straight to the engine.
    void didOutputSampleBuffer(const FrameBitmap& frame) override;

    // true locks the white balance, false makes it automatic.
    void lockParameter(bool lock);
    // Sets the three modes from `mask`; returns getParameters().
    std::uint32_t setParameters(std::uint32_t mask);
    std::uint32_t getParameters();
    bool hasFlash() const;
    // The torch is never switched: nothing to do.
    void turnOnTorch(bool on);
    void logLEDState();

    // The session's source said it has no more frames (see CaptureSession).
    bool streamEnded() const { return session_ && session_->streamEnded(); }

    CaptureSession* session() const { return session_.get(); }
    CaptureDevice* device() const { return device_; }

    // Process-wide: a capture runtime error since the last activation.
    static bool errorHappened();
    static void setErrorHappened(bool value);

  private:
    CaptureBackend& backend_;
    BitmapProcessor& engine_;
    std::unique_ptr<CaptureSession> session_;
    CaptureDevice* device_ = nullptr;  // owned by the backend
};

}  // namespace kesto
