#pragma once

#include <string>

#include "camera/CaptureDevice.h"
#include "platform/UniqueFd.h"

namespace kesto {

// A Video4Linux camera's automatic/manual controls as capture modes:
// white balance ↔ "White Balance, Automatic", exposure ↔ "Auto Exposure"
// (manual reads as locked, any automatic or priority mode as automatic),
// focus ↔ "Focus, Automatic Continuous". A control the camera lacks reads
// as locked and ignores changes; a camera with none of the three cannot be
// locked for configuration. No torch.
//
// Threads: main thread.
class V4l2CaptureDevice : public CaptureDevice {
  public:
    explicit V4l2CaptureDevice(std::string path);

    const std::string& path() const { return path_; }

    bool lockForConfiguration() override;
    void unlockForConfiguration() override;
    std::int32_t whiteBalanceMode() const override;
    void setWhiteBalanceMode(std::int32_t mode) override;
    std::int32_t exposureMode() const override;
    void setExposureMode(std::int32_t mode) override;
    std::int32_t focusMode() const override;
    void setFocusMode(std::int32_t mode) override;

  private:
    bool hasControl(unsigned id) const;
    bool readControl(unsigned id, int& value) const;
    bool writeControl(unsigned id, int value) const;

    std::string path_;
    UniqueFd fd_;
    bool locked_ = false;
};

}  // namespace kesto
