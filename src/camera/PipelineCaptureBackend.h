#pragma once

#include "camera/CaptureBackend.h"
#include "camera/VirtualCaptureDevice.h"

namespace kesto {

// A GStreamer pipeline description as a backend (see GstCaptureSession for
// how it is completed). An empty description gives sessions without frames.
// The device has no modes to lock.
//
// Threads: as CaptureBackend.
class PipelineCaptureBackend : public CaptureBackend {
  public:
    explicit PipelineCaptureBackend(std::string description)
        : description_(std::move(description)) {}

    static Result<void> validate(const std::string& description);

    std::unique_ptr<CaptureSession> createSession() override;
    CaptureDevice* defaultDevice() override { return &device_; }
    std::string description() const override;

  private:
    const std::string description_;
    VirtualCaptureDevice device_{false};
};

}  // namespace kesto
