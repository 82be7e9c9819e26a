#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collect/DatabaseUrl.h"
#include "collect/UploadedMeasurement.h"
#include "engine/RadiationEvent.h"
#include "history/export/ExportRow.h"
#include "platform/Result.h"

namespace kesto {

// One stored measurement as the readers see it: the upload's fields and the
// figures derived from it when it was stored (the same as `kesto history`
// derives for a saved one).
struct MeasurementRow {
    std::int64_t id = 0;
    std::string udid;
    std::string tag;
    std::int64_t startMicros = 0;
    std::int64_t stopMicros = 0;
    std::optional<double> latitude;  // absent: no position (sent as 0, 0)
    std::optional<double> longitude;
    std::int64_t events = 0;
    std::int64_t hits = 0;
    double dose = 0.0;                // μSv
    double meanRate = 0.0;            // μSv/h
    std::optional<double> rateLower;  // 95% bounds, μSv/h; absent for no duration
    std::optional<double> rateUpper;
    std::int64_t receivedMicros = 0;

    double duration() const { return static_cast<double>(stopMicros - startMicros) / 1e6; }
    // The row as the history exports write one.
    ExportRow exportRow() const;
};

// One device as the table of devices shows it.
struct DeviceSummary {
    std::string udid;
    std::int64_t measurements = 0;
    std::int64_t lastReceivedMicros = 0;
    MeasurementRow latest;  // the one with the latest start
};

// Which measurements a reader wants; every part optional. Times bound the
// start date ([from, to)); the box holds positions (west may exceed east
// across the antimeridian); `afterId` pages through a long result in id
// order.
struct MeasurementFilter {
    struct Box {
        double south = 0.0;
        double west = 0.0;
        double north = 0.0;
        double east = 0.0;
    };
    std::optional<std::int64_t> fromMicros;
    std::optional<std::int64_t> toMicros;
    std::optional<std::string> udid;
    std::optional<Box> box;
    std::optional<std::int64_t> afterId;
    std::size_t limit = 0;  // 0: no limit
    // Order: by id (paging, exports) or by start date (a device's chart);
    // newest first when descending (a map that cannot show everything).
    bool byStart = false;
    bool descending = false;
};

// Where every uploaded measurement is kept: a database with a versioned
// schema that the store creates and migrates itself when it opens it
// (SqliteStore, PostgresStore). A store call that returns success has
// committed: on a 2xx the measurement survives a crash of the process.
//
// Threads: any. Writes are serialized on one connection, reads on another,
// so readers never wait for a commit's flush.
class MeasurementStore {
  public:
    enum class Outcome {
        Stored,         // a new measurement
        AlreadyStored,  // the same device, start and tag with the same content
        Conflict,       // the same device, start and tag with other content: not stored
    };

    virtual ~MeasurementStore() = default;

    // Opens (creating and migrating) the database the URL names.
    static Result<std::unique_ptr<MeasurementStore>> open(const DatabaseUrl& url);

    // Stores the measurements in one transaction and commits it, so that many
    // uploads share a flush; one outcome per measurement, in order. A failure
    // stores none of them.
    virtual Result<std::vector<Outcome>> storeAll(
        const std::vector<const UploadedMeasurement*>& measurements,
        std::int64_t receivedMicros) = 0;

    // Calls `row` for each match until it returns false.
    virtual Result<void> forEach(const MeasurementFilter& filter,
                                 const std::function<bool(const MeasurementRow&)>& row) = 0;
    virtual Result<std::vector<DeviceSummary>> devices() = 0;
    // A measurement's events, oldest first.
    virtual Result<std::vector<RadiationEvent>> events(std::int64_t measurementId) = 0;
    virtual Result<std::int64_t> count() = 0;
    virtual Result<int> schemaVersion() = 0;
    // "SQLite /var/lib/kesto/collect.sqlite", "PostgreSQL db on host": no password.
    virtual std::string description() const = 0;
};

}  // namespace kesto
