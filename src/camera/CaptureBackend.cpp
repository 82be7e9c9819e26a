#include "camera/CaptureBackend.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "camera/CameraCaptureBackend.h"
#include "camera/ContinuousCaptureBackend.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/RawCaptureBackend.h"
#include "camera/SimulatedCaptureBackend.h"
#include "platform/Console.h"
#include "platform/NoDestructor.h"

namespace kesto {
namespace {

struct Choice {
    std::mutex mutex;
    std::unique_ptr<CaptureBackend> backend;  // guarded by mutex; only makeContinuous wraps it
};

Choice& choice() {
    static NoDestructor<Choice> instance;
    return instance.get();
}

}  // namespace

std::unique_ptr<CaptureBackend> CaptureBackend::create(const SensorSpec& spec, std::string& error) {
    switch (spec.kind) {
        case SensorSpec::Kind::Simulated:
            return std::make_unique<SimulatedCaptureBackend>(spec);
        case SensorSpec::Kind::Camera:
            return std::make_unique<CameraCaptureBackend>(spec.device);
        case SensorSpec::Kind::Raw: {
            std::error_code ignored;
            if (!std::filesystem::is_directory(spec.directory, ignored)) {
                error = "raw: " + spec.directory + " is not a directory";
                return nullptr;
            }
            return std::make_unique<RawCaptureBackend>(spec);
        }
        case SensorSpec::Kind::Pipeline:
            if (!PipelineCaptureBackend::validate(spec.pipeline, error)) {
                error = "gst: " + error;
                return nullptr;
            }
            return std::make_unique<PipelineCaptureBackend>(spec.pipeline);
    }
    error = "unknown sensor kind";
    return nullptr;
}

bool CaptureBackend::select(const SensorSpec& spec, std::string& error) {
    auto& c = choice();
    std::lock_guard lock(c.mutex);
    if (c.backend) {
        error = "the sensor is already chosen (" + c.backend->description() + ")";
        return false;
    }
    c.backend = create(spec, error);
    return c.backend != nullptr;
}

ContinuousCaptureBackend& CaptureBackend::makeContinuous() {
    current();  // chosen by now
    auto& c = choice();
    std::lock_guard lock(c.mutex);
    if (auto* continuous = dynamic_cast<ContinuousCaptureBackend*>(c.backend.get())) {
        return *continuous;
    }
    auto continuous = std::make_unique<ContinuousCaptureBackend>(std::move(c.backend));
    auto& made = *continuous;
    c.backend = std::move(continuous);
    return made;
}

CaptureBackend& CaptureBackend::current() {
    auto& c = choice();
    std::lock_guard lock(c.mutex);
    if (!c.backend) {
        const char* text = std::getenv("KESTO_SENSOR");
        std::string error;
        if (text == nullptr || *text == '\0') {
            c.backend = create(SensorSpec{}, error);
        } else if (auto spec = SensorSpec::parse(text, error)) {
            c.backend = create(*spec, error);
        }
        if (!c.backend) {
            Console::log("KESTO_SENSOR refused: " + error + "; no frames will arrive");
            c.backend = std::make_unique<PipelineCaptureBackend>(std::string{});
        }
    }
    return *c.backend;
}

}  // namespace kesto
