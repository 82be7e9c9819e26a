#include "engine/CameraProfile.h"

#include <algorithm>
#include <cmath>

#include "platform/Format.h"

namespace kesto {

bool CameraProfile::validate(std::string& error) const {
    constexpr std::size_t kMaximumSide = 8192;
    if (width < 1 || height < 1 || width > kMaximumSide || height > kMaximumSide) {
        error = cformat("frame size %zux%zu is not from 1x1 to 8192x8192", width, height);
        return false;
    }
    if (threshold < kLeastThreshold || threshold > 254) {
        error = cformat("threshold %d is not from %d to 254", threshold, kLeastThreshold);
        return false;
    }
    if (!std::isfinite(lightLimit) || lightLimit < 0.0 || lightLimit > 255.0) {
        error = cformat("light limit %g is not from 0 to 255", lightLimit);
        return false;
    }
    if (mask.size() > values()) {
        error = cformat("the mask holds %zu values, more than a %zux%zu frame has", mask.size(),
                        width, height);
        return false;
    }
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] >= values()) {
            error = cformat("mask index %u is outside a %zux%zu frame (%zu values)", mask[i], width,
                            height, values());
            return false;
        }
        if (i > 0 && mask[i] <= mask[i - 1]) {
            error = cformat("mask indexes are not in increasing order at %u", mask[i]);
            return false;
        }
    }
    return true;
}

}  // namespace kesto
