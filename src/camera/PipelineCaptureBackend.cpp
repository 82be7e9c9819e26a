#include "camera/PipelineCaptureBackend.h"

#include "camera/GstCaptureSession.h"

namespace kesto {

bool PipelineCaptureBackend::validate(const std::string& description, std::string& error) {
    return GstCaptureSession::validate(description, error);
}

std::unique_ptr<CaptureSession> PipelineCaptureBackend::createSession() {
    return std::make_unique<GstCaptureSession>(description_);
}

std::string PipelineCaptureBackend::description() const {
    return description_.empty() ? "no sensor" : "pipeline " + description_;
}

}  // namespace kesto
