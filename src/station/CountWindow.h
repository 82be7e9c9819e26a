#pragma once

#include <cstdint>
#include <vector>

#include "platform/Date.h"

namespace kesto {

// The counting of the last few hours, second by second: how long the sensor
// was watched in the dark and how many events it saw in each second, for the
// rates over the last minute, ten minutes or hour. A ring of one-second
// slots, each marked with its second, so that seconds nobody wrote (a camera
// that stopped) count as nothing rather than as old figures. Its size is
// fixed when it is made: memory does not grow with the time run.
//
// Threads: a value; the caller locks.
class CountWindow {
  public:
    struct Count {
        double seconds = 0.0;     // dark time watched
        std::int64_t events = 0;  // events seen in it
    };

    // Keeps at least the last `longestSeconds` seconds (one at least).
    explicit CountWindow(double longestSeconds);

    // Adds `seconds` of dark time and `events` to the second holding `at`.
    void add(Date at, double seconds, std::int64_t events);
    // The whole seconds of the last `seconds` up to the one holding `now`
    // (at most the window's length).
    Count sum(Date now, double seconds) const;
    double longestSeconds() const { return static_cast<double>(slots_.size() - 1); }

  private:
    struct Slot {
        std::int64_t second = INT64_MIN;
        float seconds = 0.0f;
        std::uint32_t events = 0;
    };

    static std::int64_t secondOf(Date date);

    std::vector<Slot> slots_;
};

}  // namespace kesto
