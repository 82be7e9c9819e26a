#include "screens/MaskReport.h"

#include "platform/NotificationCenter.h"

namespace kesto {

std::optional<MaskReport> MaskReport::from(const Notification& notification) {
    const PropertyListValue* payload = notification.payload;
    const PropertyListValue::Array* values = payload ? payload->arrayValue() : nullptr;
    if (!values || values->size() < 2) {
        return std::nullopt;
    }
    // Read as integers, as the engine posts them.
    const auto level = (*values)[0].numberAsInt32();
    const auto limit = (*values)[1].numberAsInt32();
    if (!level || !limit) {
        return std::nullopt;
    }
    return MaskReport{*level, *limit};
}

}  // namespace kesto
