#include "engine/LightReport.h"

#include "platform/NotificationCenter.h"

namespace kesto {

PropertyListValue LightReport::payload() const {
    return PropertyListValue::array(
        {PropertyListValue::integer(level), PropertyListValue::integer(limit)});
}

std::optional<LightReport> LightReport::from(const Notification& notification) {
    const PropertyListValue* payload = notification.payload;
    const PropertyListValue::Array* values = payload ? payload->arrayValue() : nullptr;
    if (!values || values->size() < 2) {
        return std::nullopt;
    }
    const auto level = (*values)[0].numberAsInt32();
    const auto limit = (*values)[1].numberAsInt32();
    if (!level || !limit) {
        return std::nullopt;
    }
    return LightReport{*level, *limit};
}

}  // namespace kesto
