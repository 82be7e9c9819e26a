#pragma once

#include <memory>
#include <string>

#include "camera/CaptureBackend.h"
#include "camera/internal/V4l2CaptureDevice.h"

namespace kesto {

// A Video4Linux camera as a backend: sessions run
// "v4l2src device=DEVICE ! <GstCaptureSession::kDeliveryTail>" (the
// camera's own frame size, never scaled: scaling would smear single-pixel
// hits); the device maps the modes to the camera's controls. Without a
// camera at that path the sessions start and deliver nothing, and the
// console says why once.
//
// Threads: as CaptureBackend.
class CameraCaptureBackend : public CaptureBackend {
  public:
    explicit CameraCaptureBackend(std::string path);

    std::unique_ptr<CaptureSession> createSession() override;
    CaptureDevice* defaultDevice() override { return device_.get(); }
    std::string description() const override { return "camera " + path_; }

  private:
    const std::string path_;
    std::unique_ptr<V4l2CaptureDevice> device_;  // null when there is no camera
    bool absenceLogged_ = false;
};

}  // namespace kesto
