#pragma once

#include "app/ProgressReport.h"

namespace kesto {

// The first thing a terminal front end says: which sensor is read, and that
// a simulated one is not a measurement.
//
// Threads: the main thread (after the sensor has been chosen).
class SensorBanner {
  public:
    static void print(ProgressReport& report);
};

}  // namespace kesto
