#include "engine/RadiationEvent.h"

namespace kesto {

PropertyListValue RadiationEvent::toDictionary() const {
    PropertyListValue::Dictionary entries;
    entries.reserve(2);
    entries.emplace_back(kTimeIntervalKey, PropertyListValue::real(timeStamp_));
    entries.emplace_back(kNumberOfParticulesKey, PropertyListValue::integer(numberOfParticules_));
    return PropertyListValue::dictionary(std::move(entries));
}

RadiationEvent RadiationEvent::toRadiationEvent(const PropertyListValue& dictionary) {
    double time = 0.0;
    std::int32_t count = 0;
    if (const auto* entry = dictionary.find(kTimeIntervalKey)) {
        time = entry->numberAsDouble().value_or(0.0);
    }
    if (const auto* entry = dictionary.find(kNumberOfParticulesKey)) {
        count = entry->numberAsInt32().value_or(0);
    }
    return RadiationEvent(time, count);
}

}  // namespace kesto
