#include "engine/CameraProfile.h"

#include <algorithm>
#include <cmath>

#include "platform/Format.h"

namespace kesto {

Result<void> CameraProfile::validate() const {
    constexpr std::size_t kMaximumSide = 8192;
    if (width < 1 || height < 1 || width > kMaximumSide || height > kMaximumSide) {
        return fail(cformat("frame size %zux%zu is not from 1x1 to 8192x8192", width, height));
    }
    if (threshold < kLeastThreshold || threshold > 254) {
        return fail(cformat("threshold %d is not from %d to 254", threshold, kLeastThreshold));
    }
    if (!std::isfinite(lightLimit) || lightLimit < 0.0 || lightLimit > 255.0) {
        return fail(cformat("light limit %g is not from 0 to 255", lightLimit));
    }
    if (mask.size() > values()) {
        return fail(cformat("the mask holds %zu values, more than a %zux%zu frame has", mask.size(),
                            width, height));
    }
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] >= values()) {
            return fail(cformat("mask index %u is outside a %zux%zu frame (%zu values)", mask[i],
                                width, height, values()));
        }
        if (i > 0 && mask[i] <= mask[i - 1]) {
            return fail(cformat("mask indexes are not in increasing order at %u", mask[i]));
        }
    }
    return {};
}

}  // namespace kesto
