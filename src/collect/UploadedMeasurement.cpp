#include "collect/UploadedMeasurement.h"

#include <cmath>
#include <cstring>
#include <map>
#include <optional>

#include "platform/Date.h"
#include "platform/ParseNumber.h"
#include "platform/Utf8Text.h"

namespace kesto {
namespace {

// 10000-01-01T00:00:00Z: later dates have no ISO 8601 form of four digits.
constexpr double kLastSeconds = 253402300800.0;

std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text.size() > 40 ? out + "..." : out;
}

Result<double> number(const std::string& field, std::string_view text) {
    const auto value = parseNumber<double>(text);
    if (!value || !std::isfinite(*value)) {
        return fail(field + " is not a number: '" + shown(text) + "'");
    }
    return *value;
}

Result<std::int64_t> date(const std::string& field, std::string_view text) {
    const Result<double> seconds = number(field, text);
    if (!seconds) {
        return seconds.failure();
    }
    if (*seconds <= 0.0 || *seconds >= kLastSeconds) {
        return fail(field + " is not a date after 1970 and before the year 10000: '" + shown(text) +
                    "'");
    }
    return std::llround(*seconds * 1e6);
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

Result<std::vector<RadiationEvent>> parseEvents(std::string_view text) {
    std::vector<RadiationEvent> out;
    if (text.empty()) {
        return out;
    }
    std::size_t index = 0;
    while (true) {
        const auto bar = text.find('|');
        if (bar == std::string_view::npos) {
            return fail("radiationEvents has a time without a count at event " +
                        std::to_string(index + 1));
        }
        const std::string_view timeText = text.substr(0, bar);
        text.remove_prefix(bar + 1);
        const auto next = text.find('|');
        const std::string_view countText = text.substr(0, next);
        const auto time = parseNumber<double>(timeText);
        const auto count = parseNumber<std::int32_t>(countText);
        if (!time || !std::isfinite(*time) || *time < 0.0) {
            return fail("radiationEvents: event " + std::to_string(index + 1) +
                        " has no time of 0 seconds or more: '" + shown(timeText) + "'");
        }
        if (!count || *count < 0) {
            return fail("radiationEvents: event " + std::to_string(index + 1) +
                        " has no count of 0 or more: '" + shown(countText) + "'");
        }
        out.emplace_back(*time, *count);
        ++index;
        if (next == std::string_view::npos) {
            return out;
        }
        text.remove_prefix(next + 1);
    }
}

}  // namespace

Result<UploadedMeasurement> UploadedMeasurement::fromFields(
    const std::vector<MultipartForm::Field>& fields) {
    std::map<std::string_view, std::string_view> byName;
    for (const auto& field : fields) {
        byName.emplace(field.name, field.value);
    }
    for (const char* name :
         {"startDate", "stopDate", "udid", "tag", "latitude", "longitude", "radiationEvents"}) {
        if (!byName.contains(name)) {
            return fail(std::string("the form has no field '") + name + "'");
        }
    }
    UploadedMeasurement out;
    const Result<std::int64_t> start = date("startDate", byName["startDate"]);
    if (!start) {
        return start.failure();
    }
    const Result<std::int64_t> stop = date("stopDate", byName["stopDate"]);
    if (!stop) {
        return stop.failure();
    }
    if (*stop < *start) {
        return fail("stopDate is before startDate");
    }
    out.startMicros = *start;
    out.stopMicros = *stop;

    const std::string_view udid = byName["udid"];
    if (udid.size() > kMaxUdidBytes || !Utf8Text::isValid(udid) || hasControlCharacter(udid)) {
        return fail("udid is not at most 256 bytes of UTF-8 text");
    }
    out.udid = udid;
    const std::string_view tag = byName["tag"];
    if (tag.size() > kMaxTagBytes || !Utf8Text::isValid(tag)) {
        return fail("tag is not at most 4 KiB of UTF-8 text");
    }
    out.tag = tag;

    const Result<double> latitude = number("latitude", byName["latitude"]);
    if (!latitude) {
        return latitude.failure();
    }
    const Result<double> longitude = number("longitude", byName["longitude"]);
    if (!longitude) {
        return longitude.failure();
    }
    if (std::fabs(*latitude) > 90.0 || std::fabs(*longitude) > 180.0) {
        return fail("latitude and longitude must be within ±90 and ±180 degrees");
    }
    out.latitude = *latitude;
    out.longitude = *longitude;

    Result<std::vector<RadiationEvent>> list = parseEvents(byName["radiationEvents"]);
    if (!list) {
        return list.failure();
    }
    out.events = std::move(*list);
    return out;
}

Result<UploadedMeasurement> UploadedMeasurement::fromForm(std::string_view contentType,
                                                          std::string_view body) {
    const auto fields = MultipartForm::parse(contentType, body);
    if (!fields) {
        return fields.failure();
    }
    return fromFields(*fields);
}

RadiationHistoryRecord UploadedMeasurement::record() const {
    RadiationHistoryRecord record;
    record.setStartDate(Date::fromUnixSeconds(static_cast<double>(startMicros) / 1e6));
    record.setStopDate(Date::fromUnixSeconds(static_cast<double>(stopMicros) / 1e6));
    record.setUdid(udid);
    record.setTag(tag);
    record.setLatitude(latitude);
    record.setLongitude(longitude);
    record.setRadionEvents(events);
    return record;
}

bool UploadedMeasurement::hasPosition() const {
    return latitude != 0.0 || longitude != 0.0;
}

std::int64_t UploadedMeasurement::hits() const {
    std::int64_t sum = 0;
    for (const RadiationEvent& event : events) {
        sum += event.numberOfParticules();
    }
    return sum;
}

std::uint64_t UploadedMeasurement::digest() const {
    std::uint64_t hash = 14695981039346656037ULL;
    const auto mix = [&](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            hash = (hash ^ bytes[i]) * 1099511628211ULL;
        }
    };
    mix(&stopMicros, sizeof stopMicros);
    mix(&latitude, sizeof latitude);
    mix(&longitude, sizeof longitude);
    for (const RadiationEvent& event : events) {
        const double time = event.timeStamp();
        const std::int32_t count = event.numberOfParticules();
        mix(&time, sizeof time);
        mix(&count, sizeof count);
    }
    return hash;
}

}  // namespace kesto
