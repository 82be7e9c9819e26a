#include "camera/RawCaptureBackend.h"

#include "camera/internal/PacedCaptureSession.h"
#include "camera/internal/RawFrameReplay.h"
#include "platform/Format.h"

namespace kesto {

std::unique_ptr<CaptureSession> RawCaptureBackend::createSession() {
    return std::make_unique<PacedCaptureSession>(std::make_shared<RawFrameReplay>(
        spec_.directory, spec_.width, spec_.height, spec_.rowBytes(), spec_.loop));
}

std::string RawCaptureBackend::description() const {
    return cformat("raw frames from %s (%zu \u00D7 %zu%s)", spec_.directory.c_str(), spec_.width,
                   spec_.height, spec_.loop ? ", looping" : "");
}

}  // namespace kesto
