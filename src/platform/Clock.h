#pragma once

#include "platform/Date.h"

namespace kesto {

// The one source of "now" for the whole process.
//
// By default it reads the system's real-time clock. Tests (and the headless
// run loop) switch it to manual time, where it only moves when told to, so
// that 30 seconds of timers can be run in a few milliseconds.
//
// Threads: any thread may read it; setting it is meant for the main thread
// or a test body, but is safe from any thread.
class Clock {
  public:
    static Date now();

    // Freezes the clock at `date`; from now on only setManual/advance move it.
    static void setManual(Date date);
    // Moves a manual clock forward (or backward, for a negative interval).
    static void advance(double seconds);
    // Returns to the system's real-time clock.
    static void useSystemTime();
    static bool isManual();
};

}  // namespace kesto
