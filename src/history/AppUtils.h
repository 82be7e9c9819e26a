#pragma once

#include <string>

namespace kesto {

// Small text helpers shared by the history and measure screens.
// Pure functions: any thread.
class AppUtils {
  public:
    // Seconds as "hh:mm:ss", truncated to whole seconds; hours grow past two
    // digits (360000 s is "100:00:00").
    static std::string stringHoursMinuteSecond(double seconds);
};

}  // namespace kesto
