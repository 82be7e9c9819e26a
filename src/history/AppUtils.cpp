#include "history/AppUtils.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/Format.h"

namespace kesto {

std::string AppUtils::stringHoursMinuteSecond(double seconds) {
    // Truncate toward zero into 32 bits; out-of-range and NaN values clamp
    // rather than invoke undefined conversion.
    std::int32_t s = 0;
    if (!std::isnan(seconds)) {
        constexpr double lo = std::numeric_limits<std::int32_t>::min();
        constexpr double hi = std::numeric_limits<std::int32_t>::max();
        const double t = std::trunc(seconds);
        s = t <= lo ? std::numeric_limits<std::int32_t>::min()
                    : (t >= hi ? std::numeric_limits<std::int32_t>::max()
                               : static_cast<std::int32_t>(t));
    }
    return cformat("%02d:%02d:%02d", s / 3600, (s % 3600) / 60, s % 60);
}

}  // namespace kesto
