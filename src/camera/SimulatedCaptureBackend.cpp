#include "camera/SimulatedCaptureBackend.h"

#include <random>

#include "camera/internal/PacedCaptureSession.h"

namespace kesto {
namespace {

std::uint64_t randomSeed() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

}  // namespace

SimulatedCaptureBackend::SimulatedCaptureBackend(const SensorSpec& spec)
    : sensor_(std::make_shared<SimulatedSensor>(
          spec.width, spec.height, spec.seed ? *spec.seed : randomSeed(), spec.rate, spec.lensOpen,
          spec.hotPixels, spec.darkLevel, spec.hotSeed)) {
    if (spec.frames) {
        sensor_->setFrameLimit(*spec.frames);
    }
}

std::unique_ptr<CaptureSession> SimulatedCaptureBackend::createSession() {
    return std::make_unique<PacedCaptureSession>(sensor_);
}

}  // namespace kesto
