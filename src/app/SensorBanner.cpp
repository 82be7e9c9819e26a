#include "app/SensorBanner.h"

#include "camera/CaptureBackend.h"

namespace kesto {

void SensorBanner::print(ProgressReport& report) {
    const CaptureBackend& backend = CaptureBackend::current();
    const bool simulated = backend.isSimulated();
    report.message(
        "Reading " + backend.description() +
            (simulated ? " \u2014 SIMULATED, not a measurement" : ""),
        {{"event", "sensor"}, {"sensor", backend.description()}, {"simulated", simulated}});
}

}  // namespace kesto
