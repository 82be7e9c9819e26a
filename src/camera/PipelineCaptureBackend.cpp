#include "camera/PipelineCaptureBackend.h"

#include "camera/internal/GstCaptureSession.h"

namespace kesto {

Result<void> PipelineCaptureBackend::validate(const std::string& description) {
    return GstCaptureSession::validate(description);
}

std::unique_ptr<CaptureSession> PipelineCaptureBackend::createSession() {
    return std::make_unique<GstCaptureSession>(description_);
}

std::string PipelineCaptureBackend::description() const {
    return description_.empty() ? "no sensor" : "pipeline " + description_;
}

}  // namespace kesto
