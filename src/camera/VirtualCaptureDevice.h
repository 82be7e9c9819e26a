#pragma once

#include <atomic>

#include "camera/CaptureDevice.h"

namespace kesto {

// A device whose modes live in memory: the simulated sensor's (it accepts
// every mode, starting in continuous automatic like a camera) and, made
// not lockable, the stand-in for sources without camera controls (raw
// replays, pipelines), whose modes read as locked and never change.
//
// Threads: main thread; the modes may be read from any thread.
class VirtualCaptureDevice : public CaptureDevice {
  public:
    explicit VirtualCaptureDevice(bool lockable);

    bool lockForConfiguration() override;
    void unlockForConfiguration() override;
    std::int32_t whiteBalanceMode() const override { return whiteBalance_.load(); }
    void setWhiteBalanceMode(std::int32_t mode) override;
    std::int32_t exposureMode() const override { return exposure_.load(); }
    void setExposureMode(std::int32_t mode) override;
    std::int32_t focusMode() const override { return focus_.load(); }
    void setFocusMode(std::int32_t mode) override;

    bool isLocked() const { return locked_.load(); }

  private:
    // Like a camera, a mode set without holding the lock is refused.
    void set(std::atomic<std::int32_t>& mode, std::int32_t value);

    const bool lockable_;
    std::atomic<bool> locked_{false};
    std::atomic<std::int32_t> whiteBalance_;
    std::atomic<std::int32_t> exposure_;
    std::atomic<std::int32_t> focus_;
};

}  // namespace kesto
