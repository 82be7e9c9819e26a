#include "collect/CollectApi.h"

#include <nlohmann/json.hpp>

#include "platform/Date.h"

namespace kesto {
namespace {

using Json = nlohmann::ordered_json;

std::string iso(std::int64_t micros) {
    return Date::fromUnixSeconds(static_cast<double>(micros) / 1e6).iso8601();
}

Json optional(const std::optional<double>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json point(const MeasurementRow& row) {
    return {{"id", row.id},
            {"device", row.udid},
            {"tag", row.tag},
            {"lat", optional(row.latitude)},
            {"lon", optional(row.longitude)},
            {"start", iso(row.startMicros)},
            {"stop", iso(row.stopMicros)},
            {"rate", row.meanRate},
            {"lower", optional(row.rateLower)},
            {"upper", optional(row.rateUpper)},
            {"events", row.events}};
}

std::string text(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
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
    Json list = Json::array();
    bool truncated = false;
    const Result<void> read = store.forEach(filter, [&](const MeasurementRow& row) {
        if (list.size() == wanted) {
            truncated = true;
            return false;
        }
        list.push_back(point(row));
        return true;
    });
    if (!read) {
        return read.failure();
    }
    return text(Json{{"points", std::move(list)}, {"truncated", truncated}});
}

Result<std::string> CollectApi::devices(MeasurementStore& store) {
    const auto devices = store.devices();
    if (!devices) {
        return devices.failure();
    }
    Json list = Json::array();
    for (const DeviceSummary& device : *devices) {
        list.push_back({{"device", device.udid},
                        {"measurements", device.measurements},
                        {"lastSeen", iso(device.lastReceivedMicros)},
                        {"latest", point(device.latest)}});
    }
    return text(Json{{"devices", std::move(list)}});
}

Result<std::string> CollectApi::series(MeasurementStore& store, MeasurementFilter filter) {
    filter.byStart = true;
    filter.descending = false;
    if (filter.limit == 0 || filter.limit > kMaxSeries) {
        filter.limit = kMaxSeries;
    }
    Json list = Json::array();
    const Result<void> read = store.forEach(filter, [&](const MeasurementRow& row) {
        list.push_back(point(row));
        return true;
    });
    if (!read) {
        return read.failure();
    }
    return text(Json{{"device", filter.udid.value_or("")}, {"measurements", std::move(list)}});
}

}  // namespace kesto
