#pragma once

#include <string>

namespace kesto {

// Which machine model the system runs on; the engine's thresholds and the
// calibration wording depend on it.
class DeviceUtil {
  public:
    // The hardware model identifier: the environment variable KESTO_MACHINE
    // when set, otherwise the kernel's machine name (uname), e.g. "x86_64".
    static std::string platform();
    // The display name of the model; an identifier not in the table is
    // returned unchanged.
    static std::string platformString();
    // True exactly when platformString() is "iPhone 4".
    static bool isIPhone4();
    // The display name of one identifier.
    static std::string displayNameOf(const std::string& identifier);
};

}  // namespace kesto
