#pragma once

#include <cstdint>

#include "platform/PropertyListValue.h"

namespace kesto {

// One detection event: a frame in which at least one colour-channel value
// rose above the detection threshold. An immutable 16-byte value, so one
// event can sit in the engine's list and in saved records at once and be read
// from any thread.
class RadiationEvent {
  public:
    static constexpr const char* kTimeIntervalKey = "timeInterval";
    static constexpr const char* kNumberOfParticulesKey = "numberOfParticules";

    constexpr RadiationEvent() = default;
    // initWithTime:particuleCount:
    constexpr RadiationEvent(double time, std::int32_t particuleCount)
        : timeStamp_(time), numberOfParticules_(particuleCount) {}

    static constexpr RadiationEvent RadiationEventAtTime(double time, std::int32_t particuleCount) {
        return RadiationEvent(time, particuleCount);
    }

    // Seconds since the start of the acquisition.
    constexpr double timeStamp() const { return timeStamp_; }
    // Channel values of the frame above the threshold.
    constexpr std::int32_t numberOfParticules() const { return numberOfParticules_; }

    // { "timeInterval": real, "numberOfParticules": integer }, in that order.
    PropertyListValue toDictionary() const;
    // Missing entries give 0.0 and 0; a fractional count is truncated; other
    // keys are ignored.
    static RadiationEvent toRadiationEvent(const PropertyListValue& dictionary);

    constexpr bool operator==(const RadiationEvent&) const = default;

  private:
    double timeStamp_ = 0.0;
    std::int32_t numberOfParticules_ = 0;
};

static_assert(sizeof(RadiationEvent) == 16);

}  // namespace kesto
