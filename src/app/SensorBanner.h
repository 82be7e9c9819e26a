#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "app/ProgressReport.h"

namespace kesto {

class CaptureBackend;

// The first thing a terminal front end says: which sensor is read, that a
// simulated one is not a measurement, and the simulator's seeds (so that a
// run can be made again, or the same simulated camera measured again).
//
// Threads: the main thread (after the sensor has been chosen).
class SensorBanner {
  public:
    // For the process's sensor (CaptureBackend::current()).
    static void print(ProgressReport& report);
    // "Reading simulated sensor (0.50 μSv/h) — SIMULATED, not a measurement
    // (seed 7, hot-pixel seed 3)", "Reading camera /dev/video0".
    static std::string text(CaptureBackend& backend);
    // {"event": "sensor", "sensor": ..., "simulated": ..., "seed": ..., "hotSeed": ...}
    static nlohmann::json fields(CaptureBackend& backend);
};

}  // namespace kesto
