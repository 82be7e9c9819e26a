#include "platform/Date.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kesto {

std::string Date::iso8601() const {
    const double whole = std::floor(seconds_);
    const auto secs = static_cast<std::time_t>(whole);
    std::tm utc{};
    gmtime_r(&secs, &utc);
    char text[64];
    const long millis = std::lround((seconds_ - whole) * 1000.0);
    if (millis == 0 || millis == 1000) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    } else {
        char base[48];
        std::strftime(base, sizeof base, "%Y-%m-%dT%H:%M:%S", &utc);
        std::snprintf(text, sizeof text, "%s.%03ldZ", base, millis);
    }
    return text;
}

}  // namespace kesto
