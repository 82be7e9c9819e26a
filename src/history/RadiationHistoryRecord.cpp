#include "history/RadiationHistoryRecord.h"

#include <algorithm>
#include <cmath>

#include "platform/Console.h"

namespace kesto {

double RadiationHistoryRecord::duration() const {
    if (!startDate_ || !stopDate_) {
        return 0.0;
    }
    return stopDate_->timeIntervalSince(*startDate_);
}

double RadiationHistoryRecord::vd() const {
    return static_cast<double>(radionEvents_.size()) * kDosePerEvent;
}

double RadiationHistoryRecord::vm() const {
    const double hours = duration() / 3600.0;
    if (hours == 0.0) {
        return 0.0;
    }
    return vd() / hours;
}

void RadiationHistoryRecord::setDatesAsKept(std::optional<Date> start, std::optional<Date> stop) {
    startDate_ = start ? std::optional(Date::fromUnixSeconds(std::floor(start->unixSeconds())))
                       : std::nullopt;
    stopDate_ = stop;
    if (!start || !stop) {
        return;
    }
    // Rounded, not cut: the rate of the whole-second record stays unbiased.
    double seconds = std::round(stop->timeIntervalSince(*start));
    if (!radionEvents_.empty()) {
        seconds = std::max(seconds, 1.0);
    }
    stopDate_ = startDate_->addingTimeInterval(seconds);
    for (RadiationEvent& event : radionEvents_) {
        if (event.timeStamp() > seconds) {
            event = RadiationEvent(seconds, event.numberOfParticules());
        }
    }
}

PropertyListValue RadiationHistoryRecord::toDictionary() const {
    PropertyListValue::Dictionary entries;
    entries.reserve(8);
    if (udid_) {
        entries.emplace_back(kUdidKey, PropertyListValue::string(*udid_));
    }
    if (tag_) {
        entries.emplace_back(kTagKey, PropertyListValue::string(*tag_));
    }
    if (startDate_) {
        entries.emplace_back(kStartDateKey, PropertyListValue::date(*startDate_));
    }
    if (stopDate_) {
        entries.emplace_back(kStopDateKey, PropertyListValue::date(*stopDate_));
    }
    entries.emplace_back(kLatitudeKey, PropertyListValue::real(latitude_));
    entries.emplace_back(kLongitudeKey, PropertyListValue::real(longitude_));
    PropertyListValue::Array events;
    events.reserve(radionEvents_.size());
    for (const RadiationEvent& event : radionEvents_) {
        events.push_back(event.toDictionary());
    }
    entries.emplace_back(kRadionEventsKey, PropertyListValue::array(std::move(events)));
    if (simulated_) {
        entries.emplace_back(kSimulatedKey, PropertyListValue::boolean(*simulated_));
    }
    return PropertyListValue::dictionary(std::move(entries));
}

RadiationHistoryRecord RadiationHistoryRecord::toRadiationHistoryRecord(
    const PropertyListValue& dictionary) {
    RadiationHistoryRecord record;
    const auto text = [&](const char* key) -> std::optional<std::string> {
        const PropertyListValue* value = dictionary.find(key);
        const std::string* s = value ? value->stringValue() : nullptr;
        return s ? std::optional<std::string>(*s) : std::nullopt;
    };
    const auto date = [&](const char* key) -> std::optional<Date> {
        const PropertyListValue* value = dictionary.find(key);
        return value ? value->dateValue() : std::nullopt;
    };
    const auto number = [&](const char* key) {
        const PropertyListValue* value = dictionary.find(key);
        return value ? value->numberAsDouble().value_or(0.0) : 0.0;
    };
    record.tag_ = text(kTagKey);
    record.startDate_ = date(kStartDateKey);
    record.stopDate_ = date(kStopDateKey);
    record.udid_ = text(kUdidKey);
    record.latitude_ = number(kLatitudeKey);
    record.longitude_ = number(kLongitudeKey);
    if (const PropertyListValue* simulated = dictionary.find(kSimulatedKey)) {
        record.simulated_ = simulated->booleanValue();
    }
    const PropertyListValue* events = dictionary.find(kRadionEventsKey);
    if (const PropertyListValue::Array* array = events ? events->arrayValue() : nullptr) {
        record.radionEvents_.reserve(array->size());
        for (const PropertyListValue& event : *array) {
            // Something that is not an event dictionary is no detection.
            if (event.isDictionary()) {
                record.radionEvents_.push_back(RadiationEvent::toRadiationEvent(event));
            }
        }
    }
    return record;
}

void RadiationHistoryRecord::logToConsole() const {
    Console::logf("Record:%s, Event:%d", tag_ ? tag_->c_str() : "(null)",
                  static_cast<int>(radionEvents_.size()));
}

}  // namespace kesto
