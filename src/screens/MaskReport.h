#pragma once

#include <cstdint>
#include <optional>

namespace kesto {

struct Notification;

// One "MatriceImageChanged" report, as the detecting screens and the
// calibration screen read it: the frame's average level and the limit above
// which light reaches the sensor, both as integers.
//
// A plain value: any thread (the reports arrive on the frame thread).
struct MaskReport {
    std::int32_t level = 0;
    std::int32_t limit = 0;

    // Nothing for a report without payload or with fewer than two numbers.
    static std::optional<MaskReport> from(const Notification& notification);
    // Light reaches the sensor: strictly above the limit. Equality is masked.
    bool lightReaches() const { return level > limit; }
};

}  // namespace kesto
