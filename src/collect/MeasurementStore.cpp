#include "collect/MeasurementStore.h"

#include "collect/PostgresConnection.h"
#include "collect/SqlMeasurementStore.h"
#include "collect/SqliteConnection.h"
#include "engine/DoseRateInterval.h"
#include "platform/Date.h"
#include "platform/Utf8Text.h"

namespace kesto {

ExportRow MeasurementRow::exportRow() const {
    ExportRow row;
    row.tag = Utf8Text::xmlSafe(tag);
    row.start = Date::fromUnixSeconds(static_cast<double>(startMicros) / 1e6).iso8601();
    row.stop = Date::fromUnixSeconds(static_cast<double>(stopMicros) / 1e6).iso8601();
    row.duration = duration();
    row.dose = dose;
    row.meanRate = meanRate;
    row.events = events;
    if (rateLower && rateUpper) {
        row.interval = DoseRateInterval::fromBounds(events, row.duration, *rateLower, *rateUpper);
    }
    row.latitude = latitude.value_or(0.0);
    row.longitude = longitude.value_or(0.0);
    return row;
}

Result<std::unique_ptr<MeasurementStore>> MeasurementStore::open(const DatabaseUrl& url) {
    std::unique_ptr<SqlConnection> writer;
    std::unique_ptr<SqlConnection> reader;
    std::string description;
    if (url.engine() == DatabaseUrl::Engine::Sqlite) {
        description = "SQLite " + url.target();
        auto first = SqliteConnection::open(url.target());
        if (!first) {
            return first.failure();
        }
        writer = std::move(*first);
        auto second = SqliteConnection::open(url.target());
        if (!second) {
            return second.failure();
        }
        reader = std::move(*second);
    } else {
        description = "PostgreSQL " + url.redacted();
        auto first = PostgresConnection::open(url.target());
        if (!first) {
            return first.failure();
        }
        writer = std::move(*first);
        auto second = PostgresConnection::open(url.target());
        if (!second) {
            return second.failure();
        }
        reader = std::move(*second);
    }
    auto store = SqlMeasurementStore::open(std::move(writer), std::move(reader), description);
    if (!store) {
        return store.failure();
    }
    return std::unique_ptr<MeasurementStore>(std::move(*store));
}

}  // namespace kesto
