#include "camera/CaptureBackend.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "camera/ContinuousCaptureBackend.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/RawCaptureBackend.h"
#include "camera/SimulatedCaptureBackend.h"
#include "camera/internal/CameraCaptureBackend.h"
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

Result<std::unique_ptr<CaptureBackend>> CaptureBackend::create(const SensorSpec& spec) {
    using Made = std::unique_ptr<CaptureBackend>;
    switch (spec.kind) {
        case SensorSpec::Kind::Simulated:
            return Made(std::make_unique<SimulatedCaptureBackend>(spec));
        case SensorSpec::Kind::Camera:
            return Made(std::make_unique<CameraCaptureBackend>(spec.device));
        case SensorSpec::Kind::Raw: {
            std::error_code ignored;
            if (!std::filesystem::is_directory(spec.directory, ignored)) {
                return fail("raw: " + spec.directory + " is not a directory");
            }
            return Made(std::make_unique<RawCaptureBackend>(spec));
        }
        case SensorSpec::Kind::Pipeline:
            if (auto valid = PipelineCaptureBackend::validate(spec.pipeline); !valid) {
                return fail("gst: " + valid.error());
            }
            return Made(std::make_unique<PipelineCaptureBackend>(spec.pipeline));
    }
    return fail("unknown sensor kind");
}

Result<void> CaptureBackend::select(const SensorSpec& spec) {
    auto& c = choice();
    std::lock_guard lock(c.mutex);
    if (c.backend) {
        return fail("the sensor is already chosen (" + c.backend->description() + ")");
    }
    Result<std::unique_ptr<CaptureBackend>> made = create(spec);
    if (!made) {
        return made.failure();
    }
    c.backend = std::move(*made);
    return {};
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
        Result<SensorSpec> spec =
            text == nullptr || *text == '\0' ? SensorSpec{} : SensorSpec::parse(text);
        Result<std::unique_ptr<CaptureBackend>> made =
            spec ? create(*spec) : Result<std::unique_ptr<CaptureBackend>>(spec.failure());
        if (made) {
            c.backend = std::move(*made);
        } else {
            Console::log("KESTO_SENSOR refused: " + made.error() + "; no frames will arrive");
            c.backend = std::make_unique<PipelineCaptureBackend>(std::string{});
        }
    }
    return *c.backend;
}

}  // namespace kesto
