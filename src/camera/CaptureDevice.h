#pragma once

#include <cstdint>

namespace kesto {

// The camera as the capture chain configures it: white balance, exposure
// and focus modes, changed only between a successful lockForConfiguration
// and unlockForConfiguration, and the torch.
//
// Threads: main thread (the chain's set-up and parameter operations).
class CaptureDevice {
  public:
    // Mode values shared by white balance, exposure and focus.
    static constexpr std::int32_t kModeLocked = 0;
    static constexpr std::int32_t kModeContinuousAuto = 2;
    // Torch mode values.
    static constexpr std::int32_t kTorchOff = 0;
    static constexpr std::int32_t kTorchOn = 1;

    virtual ~CaptureDevice() = default;

    // False when the modes cannot be changed (busy device, or none to change).
    virtual bool lockForConfiguration() = 0;
    virtual void unlockForConfiguration() = 0;

    virtual std::int32_t whiteBalanceMode() const = 0;
    virtual void setWhiteBalanceMode(std::int32_t mode) = 0;
    virtual std::int32_t exposureMode() const = 0;
    virtual void setExposureMode(std::int32_t mode) = 0;
    virtual std::int32_t focusMode() const = 0;
    virtual void setFocusMode(std::int32_t mode) = 0;

    // No sensor Kesto reads has a torch a program may switch.
    virtual bool hasTorch() const { return false; }
    virtual std::int32_t torchMode() const { return kTorchOff; }
};

}  // namespace kesto
