#pragma once

#include "camera/CaptureBackend.h"
#include "camera/VirtualCaptureDevice.h"

namespace kesto {

// Raw frame replays as a backend: each session replays the directory from
// its first file; the device has no modes to lock.
//
// Threads: as CaptureBackend.
class RawCaptureBackend : public CaptureBackend {
  public:
    explicit RawCaptureBackend(SensorSpec spec) : spec_(std::move(spec)) {}

    std::unique_ptr<CaptureSession> createSession() override;
    CaptureDevice* defaultDevice() override { return &device_; }
    std::string description() const override;

  private:
    const SensorSpec spec_;
    VirtualCaptureDevice device_{false};
};

}  // namespace kesto
