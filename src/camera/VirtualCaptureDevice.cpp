#include "camera/VirtualCaptureDevice.h"

namespace kesto {

VirtualCaptureDevice::VirtualCaptureDevice(bool lockable)
    : lockable_(lockable),
      whiteBalance_(lockable ? kModeContinuousAuto : kModeLocked),
      exposure_(lockable ? kModeContinuousAuto : kModeLocked),
      focus_(lockable ? kModeContinuousAuto : kModeLocked) {}

bool VirtualCaptureDevice::lockForConfiguration() {
    if (!lockable_) {
        return false;
    }
    locked_.store(true);
    return true;
}

void VirtualCaptureDevice::unlockForConfiguration() {
    locked_.store(false);
}

void VirtualCaptureDevice::set(std::atomic<std::int32_t>& mode, std::int32_t value) {
    if (locked_.load()) {
        mode.store(value);
    }
}

void VirtualCaptureDevice::setWhiteBalanceMode(std::int32_t mode) {
    set(whiteBalance_, mode);
}

void VirtualCaptureDevice::setExposureMode(std::int32_t mode) {
    set(exposure_, mode);
}

void VirtualCaptureDevice::setFocusMode(std::int32_t mode) {
    set(focus_, mode);
}

}  // namespace kesto
