#pragma once

#include <cstdint>
#include <optional>

#include "platform/PropertyListValue.h"

namespace kesto {

struct Notification;

// What every analysed frame tells about light: the frame's average channel
// level and the limit above which light reaches the sensor. The engine posts
// it as the "MatriceImageChanged" payload, the two integers [level, limit];
// this is the one place that packs and unpacks them.
//
// A plain value: any thread (the reports arrive on the frame thread).
struct LightReport {
    std::int32_t level = 0;
    std::int32_t limit = 0;

    // Light reaches the sensor: strictly above the limit. Equality is masked.
    bool lightReaches() const { return level > limit; }

    PropertyListValue payload() const;
    // Nothing for a report without payload or with fewer than two numbers.
    static std::optional<LightReport> from(const Notification& notification);

    bool operator==(const LightReport&) const = default;
};

}  // namespace kesto
