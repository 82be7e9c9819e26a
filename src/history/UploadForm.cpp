#include "history/UploadForm.h"

#include <array>

#include "platform/Format.h"

namespace kesto {

std::string UploadForm::generateDataFromText(const std::optional<std::string>& value,
                                             std::string_view fieldName,
                                             std::string_view boundary) {
    std::string part;
    part.reserve(64 + fieldName.size() + (value ? value->size() : 0));
    part += "--";
    part += boundary;
    part += "\r\nContent-Disposition: form-data; name=\"";
    part += fieldName;
    part += "\"\r\n\r\n";
    if (value) {
        part += *value;
    }
    part += "\r\n";
    return part;
}

std::string UploadForm::stringFromRadiationEventList(const std::vector<RadiationEvent>& events) {
    std::string text;
    text.reserve(events.size() * 16);
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i > 0) {
            text += '|';
        }
        text += cformat("%f|%d", events[i].timeStamp(), events[i].numberOfParticules());
    }
    return text;
}

std::string UploadForm::chooseBoundary(const std::vector<std::string_view>& values) {
    const auto unused = [&](const std::string& candidate) {
        for (std::string_view value : values) {
            if (value.find(candidate) != std::string_view::npos) {
                return false;
            }
        }
        return true;
    };
    std::string candidate = kBoundary;
    // Values are finite, so some counter is in none of them.
    for (unsigned long n = 1; !unused(candidate); ++n) {
        candidate = cformat("KestoBoundary%lu", n);
    }
    return candidate;
}

UploadForm::Body UploadForm::build(const RadiationHistoryRecord& record) {
    // An absent date is sent as 0.000000, an absent text as nothing.
    const auto seconds = [](const std::optional<Date>& date) {
        return cformat("%f", date ? date->unixSeconds() : 0.0);
    };
    const std::array<std::pair<const char*, std::optional<std::string>>, 7> fields{{
        {"startDate", seconds(record.startDate())},
        {"stopDate", seconds(record.stopDate())},
        {"udid", record.udid()},
        {"tag", record.tag()},
        {"latitude", cformat("%f", record.latitude())},
        {"longitude", cformat("%f", record.longitude())},
        {"radiationEvents", stringFromRadiationEventList(record.radionEvents())},
    }};
    std::vector<std::string_view> values;
    for (const auto& field : fields) {
        if (field.second) {
            values.emplace_back(*field.second);
        }
    }
    Body body;
    body.boundary = chooseBoundary(values);
    for (const auto& [name, value] : fields) {
        body.bytes += generateDataFromText(value, name, body.boundary);
    }
    body.bytes += "--" + body.boundary + "--";
    return body;
}

}  // namespace kesto
