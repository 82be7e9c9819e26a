#include "collect/CollectApi.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "platform/Date.h"

namespace kesto {
namespace {

using Json = nlohmann::ordered_json;

// The JSON is written by hand: a map of 10,000 points is the page's
// heaviest answer, and a tree of JSON values for it costs more than the
// query.
void appendText(std::string& out, const std::string& text) {
    out += Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

void appendNumber(std::string& out, double value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, ec == std::errc() ? end : buffer);
}

void appendOptional(std::string& out, const std::optional<double>& value) {
    if (value) {
        appendNumber(out, *value);
    } else {
        out += "null";
    }
}

void appendDate(std::string& out, std::int64_t micros) {
    out += '"';
    out += Date::fromUnixSeconds(static_cast<double>(micros) / 1e6).iso8601();
    out += '"';
}

void appendPoint(std::string& out, const MeasurementRow& row) {
    out += "{\"id\":";
    out += std::to_string(row.id);
    out += ",\"device\":";
    appendText(out, row.udid);
    out += ",\"tag\":";
    appendText(out, row.tag);
    out += ",\"lat\":";
    appendOptional(out, row.latitude);
    out += ",\"lon\":";
    appendOptional(out, row.longitude);
    out += ",\"start\":";
    appendDate(out, row.startMicros);
    out += ",\"stop\":";
    appendDate(out, row.stopMicros);
    out += ",\"rate\":";
    appendNumber(out, row.meanRate);
    out += ",\"lower\":";
    appendOptional(out, row.rateLower);
    out += ",\"upper\":";
    appendOptional(out, row.rateUpper);
    out += ",\"events\":";
    out += std::to_string(row.events);
    out += '}';
}

}  // namespace

Result<std::string> CollectApi::points(MeasurementStore& store, MeasurementFilter filter) {
    filter.descending = true;
    filter.byStart = false;
    if (!filter.box) {
        filter.box = MeasurementFilter::Box{-90.0, -180.0, 90.0, 180.0};  // placed ones only
    }
    if (filter.limit == 0 || filter.limit > kMaxPoints) {
        filter.limit = kMaxPoints;
    }
    // One more than asked tells whether the limit left some out.
    const std::size_t wanted = filter.limit;
    filter.limit = wanted + 1;
    std::string out = "{\"points\":[";
    std::size_t count = 0;
    bool truncated = false;
    const Result<void> read = store.forEach(filter, [&](const MeasurementRow& row) {
        if (count == wanted) {
            truncated = true;
            return false;
        }
        if (count++ > 0) {
            out += ',';
        }
        appendPoint(out, row);
        return true;
    });
    if (!read) {
        return read.failure();
    }
    out += truncated ? "],\"truncated\":true}" : "],\"truncated\":false}";
    return out;
}

Result<std::string> CollectApi::devices(MeasurementStore& store) {
    const auto devices = store.devices();
    if (!devices) {
        return devices.failure();
    }
    std::string out = "{\"devices\":[";
    for (const DeviceSummary& device : *devices) {
        out += out.back() == '[' ? "{\"device\":" : ",{\"device\":";
        appendText(out, device.udid);
        out += ",\"measurements\":" + std::to_string(device.measurements) + ",\"lastSeen\":";
        appendDate(out, device.lastReceivedMicros);
        out += ",\"latest\":";
        appendPoint(out, device.latest);
        out += '}';
    }
    return out + "]}";
}

Result<std::string> CollectApi::series(MeasurementStore& store, MeasurementFilter filter) {
    filter.byStart = true;
    filter.descending = false;
    if (filter.limit == 0 || filter.limit > kMaxSeries) {
        filter.limit = kMaxSeries;
    }
    std::string out = "{\"device\":";
    appendText(out, filter.udid.value_or(""));
    out += ",\"measurements\":[";
    const Result<void> read = store.forEach(filter, [&](const MeasurementRow& row) {
        if (out.back() != '[') {
            out += ',';
        }
        appendPoint(out, row);
        return true;
    });
    if (!read) {
        return read.failure();
    }
    return out + "]}";
}

}  // namespace kesto
