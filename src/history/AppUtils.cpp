#include "history/AppUtils.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>

#include "platform/Format.h"

namespace kesto {

std::string AppUtils::stringHoursMinuteSecond(double seconds) {
    // Truncate toward zero into 64 bits, which hold any span between two
    // dates a history can hold (years 1000 to 9999); NaN and values beyond
    // 64 bits clamp rather than invoke undefined conversion.
    std::int64_t s = 0;
    if (!std::isnan(seconds)) {
        constexpr double kLimit = 9.2e18;  // just inside the 64-bit range
        const double t = std::trunc(seconds);
        s = static_cast<std::int64_t>(t < -kLimit ? -kLimit : (t > kLimit ? kLimit : t));
    }
    return cformat("%02" PRId64 ":%02" PRId64 ":%02" PRId64, s / 3600, (s % 3600) / 60, s % 60);
}

}  // namespace kesto
