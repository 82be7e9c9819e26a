#include "camera/internal/V4l2CaptureDevice.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace kesto {
namespace {

int retryingIoctl(int fd, unsigned long request, void* argument) {
    int result = 0;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

}  // namespace

V4l2CaptureDevice::V4l2CaptureDevice(std::string path)
    // Controls may be changed while another open handle streams.
    : path_(std::move(path)), fd_(open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}

bool V4l2CaptureDevice::hasControl(unsigned id) const {
    if (!fd_) {
        return false;
    }
    v4l2_queryctrl query{};
    query.id = id;
    return retryingIoctl(fd_.get(), VIDIOC_QUERYCTRL, &query) == 0 &&
           (query.flags & V4L2_CTRL_FLAG_DISABLED) == 0;
}

bool V4l2CaptureDevice::readControl(unsigned id, int& value) const {
    if (!fd_) {
        return false;
    }
    v4l2_control control{};
    control.id = id;
    if (retryingIoctl(fd_.get(), VIDIOC_G_CTRL, &control) != 0) {
        return false;
    }
    value = control.value;
    return true;
}

bool V4l2CaptureDevice::writeControl(unsigned id, int value) const {
    if (!fd_) {
        return false;
    }
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return retryingIoctl(fd_.get(), VIDIOC_S_CTRL, &control) == 0;
}

bool V4l2CaptureDevice::lockForConfiguration() {
    locked_ = hasControl(V4L2_CID_AUTO_WHITE_BALANCE) || hasControl(V4L2_CID_EXPOSURE_AUTO) ||
              hasControl(V4L2_CID_FOCUS_AUTO);
    return locked_;
}

void V4l2CaptureDevice::unlockForConfiguration() {
    locked_ = false;
}

std::int32_t V4l2CaptureDevice::whiteBalanceMode() const {
    int value = 0;
    return readControl(V4L2_CID_AUTO_WHITE_BALANCE, value) && value != 0 ? kModeContinuousAuto
                                                                         : kModeLocked;
}

void V4l2CaptureDevice::setWhiteBalanceMode(std::int32_t mode) {
    if (locked_) {
        writeControl(V4L2_CID_AUTO_WHITE_BALANCE, mode == kModeLocked ? 0 : 1);
    }
}

std::int32_t V4l2CaptureDevice::exposureMode() const {
    int value = 0;
    return readControl(V4L2_CID_EXPOSURE_AUTO, value) && value != V4L2_EXPOSURE_MANUAL
               ? kModeContinuousAuto
               : kModeLocked;
}

void V4l2CaptureDevice::setExposureMode(std::int32_t mode) {
    if (!locked_) {
        return;
    }
    if (mode == kModeLocked) {
        writeControl(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
        return;
    }
    // Most webcams offer only the aperture-priority automatic mode.
    if (!writeControl(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_AUTO)) {
        writeControl(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY);
    }
}

std::int32_t V4l2CaptureDevice::focusMode() const {
    int value = 0;
    return readControl(V4L2_CID_FOCUS_AUTO, value) && value != 0 ? kModeContinuousAuto
                                                                 : kModeLocked;
}

void V4l2CaptureDevice::setFocusMode(std::int32_t mode) {
    if (locked_) {
        writeControl(V4L2_CID_FOCUS_AUTO, mode == kModeLocked ? 0 : 1);
    }
}

}  // namespace kesto
