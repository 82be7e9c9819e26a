#include "camera/internal/CameraCaptureBackend.h"

#include <filesystem>

#include "camera/internal/GstCaptureSession.h"
#include "platform/Console.h"

namespace kesto {

CameraCaptureBackend::CameraCaptureBackend(std::string path) : path_(std::move(path)) {
    std::error_code ignored;
    if (std::filesystem::exists(path_, ignored)) {
        device_ = std::make_unique<V4l2CaptureDevice>(path_);
    }
}

std::unique_ptr<CaptureSession> CameraCaptureBackend::createSession() {
    if (!device_) {
        if (!absenceLogged_) {
            absenceLogged_ = true;
            Console::log("No camera at " + path_ +
                         ": the capture chain runs, but no frames "
                         "will arrive");
        }
        return std::make_unique<GstCaptureSession>(std::string{});
    }
    return std::make_unique<GstCaptureSession>("v4l2src device=" + path_ + " ! " +
                                               GstCaptureSession::kDeliveryTail);
}

}  // namespace kesto
