#include "collect/SqlMeasurementStore.h"

#include "collect/CollectSchema.h"
#include "history/export/ExportRow.h"
#include "platform/Format.h"

namespace kesto {
namespace {

using Engine = SqlConnection::Engine;

constexpr const char* kColumns =
    "id, udid, tag, start_us, stop_us, latitude, longitude, events, hits, dose, mean_rate,"
    " rate_lower, rate_upper, received_us";

// A row of kColumns starting at column `first`.
MeasurementRow readRow(const SqlRow& row, int first = 0) {
    const auto optionalReal = [&](int column) -> std::optional<double> {
        if (row.isNull(first + column)) {
            return std::nullopt;
        }
        return row.real(first + column);
    };
    MeasurementRow out;
    out.id = row.integer(first + 0);
    out.udid = row.text(first + 1);
    out.tag = row.text(first + 2);
    out.startMicros = row.integer(first + 3);
    out.stopMicros = row.integer(first + 4);
    out.latitude = optionalReal(5);
    out.longitude = optionalReal(6);
    out.events = row.integer(first + 7);
    out.hits = row.integer(first + 8);
    out.dose = row.real(first + 9);
    out.meanRate = row.real(first + 10);
    out.rateLower = optionalReal(11);
    out.rateUpper = optionalReal(12);
    out.receivedMicros = row.integer(first + 13);
    return out;
}

}  // namespace

SqlMeasurementStore::SqlMeasurementStore(std::unique_ptr<SqlConnection> writer,
                                         std::unique_ptr<SqlConnection> reader,
                                         std::string description)
    : writer_(std::move(writer)),
      reader_(std::move(reader)),
      description_(std::move(description)) {}

Result<std::unique_ptr<SqlMeasurementStore>> SqlMeasurementStore::open(
    std::unique_ptr<SqlConnection> writer, std::unique_ptr<SqlConnection> reader,
    std::string description) {
    const Result<int> migrated = CollectSchema::migrate(*writer);
    if (!migrated) {
        return fail(description + ": " + migrated.error());
    }
    return std::unique_ptr<SqlMeasurementStore>(
        new SqlMeasurementStore(std::move(writer), std::move(reader), std::move(description)));
}

Result<std::vector<MeasurementStore::Outcome>> SqlMeasurementStore::storeAll(
    const std::vector<const UploadedMeasurement*>& measurements, std::int64_t receivedMicros) {
    const std::lock_guard lock(writeMutex_);
    std::vector<Outcome> outcomes;
    if (measurements.empty()) {
        return outcomes;
    }
    if (Result<void> begun = writer_->begin(); !begun) {
        return fail("cannot start storing: " + begun.error());
    }
    for (const UploadedMeasurement* measurement : measurements) {
        const Result<Outcome> outcome = storeOne(*measurement, receivedMicros);
        if (!outcome) {
            writer_->rollback();
            return fail("cannot store a measurement: " + outcome.error());
        }
        outcomes.push_back(*outcome);
    }
    if (Result<void> committed = writer_->commit(); !committed) {
        writer_->rollback();
        return fail("cannot commit the measurements: " + committed.error());
    }
    return outcomes;
}

namespace {

// The values of one measurement's row, in the order of kInsertColumns.
constexpr const char* kInsertColumns =
    "udid, tag, start_us, stop_us, latitude, longitude, events, hits, dose, mean_rate,"
    " rate_lower, rate_upper, digest, received_us";

std::vector<SqlValue> rowValues(const UploadedMeasurement& m, std::int64_t receivedMicros) {
    const ExportRow figures = ExportRow::of(m.record());
    const bool placed = m.hasPosition();
    const bool known = figures.interval.known();
    return {m.udid,
            m.tag,
            m.startMicros,
            m.stopMicros,
            placed ? SqlValue(m.latitude) : SqlValue(nullptr),
            placed ? SqlValue(m.longitude) : SqlValue(nullptr),
            static_cast<std::int64_t>(m.events.size()),
            m.hits(),
            figures.dose,
            figures.meanRate,
            known ? SqlValue(figures.interval.lower()) : SqlValue(nullptr),
            known ? SqlValue(figures.interval.upper()) : SqlValue(nullptr),
            static_cast<std::int64_t>(m.digest()),
            receivedMicros};
}

}  // namespace

Result<MeasurementStore::Outcome> SqlMeasurementStore::storeOne(const UploadedMeasurement& m,
                                                                std::int64_t receivedMicros) {
    if (writer_->engine() == Engine::Postgres) {
        return storeOneStatement(m, receivedMicros);
    }
    // SQLite: a call into the library per statement costs next to nothing.
    const std::vector<SqlValue> values = rowValues(m, receivedMicros);
    std::optional<std::int64_t> id;
    Result<void> inserted =
        writer_->query(std::string("INSERT INTO measurements (") + kInsertColumns +
                           ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                           " ON CONFLICT (udid, start_us, tag) DO NOTHING RETURNING id",
                       values, [&](const SqlRow& row) {
                           id = row.integer(0);
                           return false;
                       });
    if (!inserted) {
        return inserted.failure();
    }
    if (!id) {
        std::optional<std::int64_t> stored;
        Result<void> found = writer_->query(
            "SELECT digest FROM measurements WHERE udid = ? AND start_us = ? AND tag = ?",
            {m.udid, m.startMicros, m.tag}, [&](const SqlRow& row) {
                stored = row.integer(0);
                return false;
            });
        if (!found) {
            return found.failure();
        }
        return stored == std::get<std::int64_t>(values[12]) ? Outcome::AlreadyStored
                                                            : Outcome::Conflict;
    }
    if (Result<void> events = storeEvents(*id, m.events); !events) {
        return events.failure();
    }
    Result<void> device = writer_->run(
        "INSERT INTO devices (udid, measurements, last_received_us, latest_start_us, latest_id)"
        " VALUES (?, 1, ?, ?, ?) ON CONFLICT (udid) DO UPDATE SET"
        " measurements = devices.measurements + 1,"
        " last_received_us = max(devices.last_received_us, excluded.last_received_us),"
        " latest_id = CASE WHEN excluded.latest_start_us >= devices.latest_start_us"
        "  THEN excluded.latest_id ELSE devices.latest_id END,"
        " latest_start_us = max(devices.latest_start_us, excluded.latest_start_us)",
        {m.udid, receivedMicros, m.startMicros, *id});
    if (!device) {
        return device.failure();
    }
    return Outcome::Stored;
}

Result<MeasurementStore::Outcome> SqlMeasurementStore::storeOneStatement(
    const UploadedMeasurement& m, std::int64_t receivedMicros) {
    // PostgreSQL: the row, its events, the device and, when the row was
    // there already, its digest, all in one statement, so that an upload
    // costs one round trip to the server.
    std::vector<SqlValue> values = rowValues(m, receivedMicros);
    std::string times = "{";
    std::string counts = "{";
    for (const RadiationEvent& event : m.events) {
        times += cformat("%s%.17g", times.size() > 1 ? "," : "", event.timeStamp());
        counts += cformat("%s%d", counts.size() > 1 ? "," : "", event.numberOfParticules());
    }
    values.emplace_back(times + "}");
    values.emplace_back(counts + "}");
    std::optional<std::int64_t> id;
    std::optional<std::int64_t> stored;
    Result<void> done = writer_->query(
        std::string("WITH m AS (INSERT INTO measurements (") + kInsertColumns +
            ") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14)"
            " ON CONFLICT (udid, start_us, tag) DO NOTHING RETURNING id),"
            " e AS (INSERT INTO events (measurement_id, seq, time_s, particles)"
            "  SELECT m.id, u.seq - 1, u.t, u.p FROM m,"
            "  unnest($15::float8[], $16::int4[]) WITH ORDINALITY AS u (t, p, seq)),"
            " d AS (INSERT INTO devices (udid, measurements, last_received_us, latest_start_us,"
            "  latest_id) SELECT $1, 1, $14, $3, m.id FROM m ON CONFLICT (udid) DO UPDATE SET"
            "  measurements = devices.measurements + 1,"
            "  last_received_us = GREATEST(devices.last_received_us, excluded.last_received_us),"
            "  latest_id = CASE WHEN excluded.latest_start_us >= devices.latest_start_us"
            "   THEN excluded.latest_id ELSE devices.latest_id END,"
            "  latest_start_us = GREATEST(devices.latest_start_us, excluded.latest_start_us))"
            " SELECT m.id, NULL::bigint FROM m UNION ALL"
            " SELECT NULL::bigint, s.digest FROM measurements s"
            "  WHERE s.udid = $1 AND s.start_us = $3 AND s.tag = $2"
            "  AND NOT EXISTS (SELECT 1 FROM m)",
        values, [&](const SqlRow& row) {
            if (!row.isNull(0)) {
                id = row.integer(0);
            } else if (!row.isNull(1)) {
                stored = row.integer(1);
            }
            return true;
        });
    if (!done) {
        return done.failure();
    }
    if (id) {
        return Outcome::Stored;
    }
    return stored == std::get<std::int64_t>(values[12]) ? Outcome::AlreadyStored
                                                        : Outcome::Conflict;
}

Result<void> SqlMeasurementStore::storeEvents(std::int64_t id,
                                              const std::vector<RadiationEvent>& events) {
    if (events.empty()) {
        return {};
    }
    std::string pairs = "[";
    for (const RadiationEvent& event : events) {
        pairs += cformat("%s[%.17g,%d]", pairs.size() > 1 ? "," : "", event.timeStamp(),
                         event.numberOfParticules());
    }
    pairs += "]";
    return writer_->run(
        "INSERT INTO events (measurement_id, seq, time_s, particles)"
        " SELECT ?, key, json_extract(value, '$[0]'), json_extract(value, '$[1]')"
        " FROM json_each(?)",
        {id, pairs});
}

Result<void> SqlMeasurementStore::forEach(const MeasurementFilter& filter,
                                          const std::function<bool(const MeasurementRow&)>& row) {
    std::string sql = std::string("SELECT ") + kColumns + " FROM measurements WHERE 1 = 1";
    std::vector<SqlValue> parameters;
    if (filter.fromMicros) {
        sql += " AND start_us >= ?";
        parameters.emplace_back(*filter.fromMicros);
    }
    if (filter.toMicros) {
        sql += " AND start_us < ?";
        parameters.emplace_back(*filter.toMicros);
    }
    if (filter.udid) {
        sql += " AND udid = ?";
        parameters.emplace_back(*filter.udid);
    }
    if (filter.box) {
        const auto& box = *filter.box;
        sql += " AND latitude IS NOT NULL AND latitude >= ? AND latitude <= ?";
        parameters.emplace_back(box.south);
        parameters.emplace_back(box.north);
        // A box across the antimeridian runs from west to 180 and on from -180.
        sql += box.west <= box.east ? " AND longitude >= ? AND longitude <= ?"
                                    : " AND (longitude >= ? OR longitude <= ?)";
        parameters.emplace_back(box.west);
        parameters.emplace_back(box.east);
    }
    if (filter.afterId) {
        sql += filter.descending ? " AND id < ?" : " AND id > ?";
        parameters.emplace_back(*filter.afterId);
    }
    const char* direction = filter.descending ? " DESC" : "";
    sql += filter.byStart ? std::string(" ORDER BY start_us") + direction + ", id" + direction
                          : std::string(" ORDER BY id") + direction;
    if (filter.limit > 0) {
        sql += " LIMIT ?";
        parameters.emplace_back(static_cast<std::int64_t>(filter.limit));
    }
    const std::lock_guard lock(readMutex_);
    return reader_->query(sql, parameters,
                          [&](const SqlRow& current) { return row(readRow(current)); });
}

Result<std::vector<DeviceSummary>> SqlMeasurementStore::devices() {
    std::vector<DeviceSummary> out;
    std::string columns;
    for (const char* name :
         {"id", "udid", "tag", "start_us", "stop_us", "latitude", "longitude", "events", "hits",
          "dose", "mean_rate", "rate_lower", "rate_upper", "received_us"}) {
        columns += std::string(columns.empty() ? "" : ", ") + "m." + name;
    }
    const std::lock_guard lock(readMutex_);
    Result<void> read =
        reader_->query("SELECT d.udid, d.measurements, d.last_received_us, " + columns +
                           " FROM devices d JOIN measurements m ON m.id = d.latest_id"
                           " ORDER BY d.last_received_us DESC, d.udid",
                       {}, [&](const SqlRow& row) {
                           DeviceSummary device;
                           device.udid = row.text(0);
                           device.measurements = row.integer(1);
                           device.lastReceivedMicros = row.integer(2);
                           device.latest = readRow(row, 3);
                           out.push_back(std::move(device));
                           return true;
                       });
    if (!read) {
        return read.failure();
    }
    return out;
}

Result<std::vector<RadiationEvent>> SqlMeasurementStore::events(std::int64_t measurementId) {
    std::vector<RadiationEvent> out;
    const std::lock_guard lock(readMutex_);
    Result<void> read =
        reader_->query("SELECT time_s, particles FROM events WHERE measurement_id = ? ORDER BY seq",
                       {measurementId}, [&](const SqlRow& row) {
                           out.emplace_back(row.real(0), static_cast<std::int32_t>(row.integer(1)));
                           return true;
                       });
    if (!read) {
        return read.failure();
    }
    return out;
}

Result<std::int64_t> SqlMeasurementStore::count() {
    std::int64_t total = 0;
    const std::lock_guard lock(readMutex_);
    Result<void> read =
        reader_->query("SELECT count(*) FROM measurements", {}, [&](const SqlRow& row) {
            total = row.integer(0);
            return false;
        });
    if (!read) {
        return read.failure();
    }
    return total;
}

Result<int> SqlMeasurementStore::schemaVersion() {
    const std::lock_guard lock(readMutex_);
    return CollectSchema::version(*reader_);
}

}  // namespace kesto
