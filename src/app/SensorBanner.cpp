#include "app/SensorBanner.h"

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"

namespace kesto {

void SensorBanner::print(ProgressReport& report) {
    CaptureBackend& backend = CaptureBackend::current();
    report.message(text(backend), fields(backend));
}

std::string SensorBanner::text(CaptureBackend& backend) {
    std::string line = "Reading " + backend.description();
    if (!backend.isSimulated()) {
        return line;
    }
    line += " \u2014 SIMULATED, not a measurement";
    if (const SimulatedSensor* sensor = backend.simulatedSensor()) {
        line += " (seed " + std::to_string(sensor->seed());
        if (sensor->hotSeed() != sensor->seed()) {
            line += ", hot-pixel seed " + std::to_string(sensor->hotSeed());
        }
        line += ")";
    }
    return line;
}

nlohmann::json SensorBanner::fields(CaptureBackend& backend) {
    nlohmann::json fields = {{"event", "sensor"},
                             {"sensor", backend.description()},
                             {"simulated", backend.isSimulated()}};
    if (const SimulatedSensor* sensor = backend.simulatedSensor()) {
        fields["seed"] = sensor->seed();
        fields["hotSeed"] = sensor->hotSeed();
    }
    return fields;
}

}  // namespace kesto
