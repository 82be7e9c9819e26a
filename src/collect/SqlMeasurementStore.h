#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "collect/MeasurementStore.h"
#include "collect/SqlConnection.h"

namespace kesto {

// The measurement store on any SQL engine: the statements are the same for
// SQLite and PostgreSQL but for the bulk insert of events (JSON for SQLite,
// arrays for PostgreSQL). Owns a connection for writes and one for reads,
// each behind its own lock.
//
// Threads: any (see MeasurementStore).
class SqlMeasurementStore : public MeasurementStore {
  public:
    // Migrates the database through `writer` first.
    static Result<std::unique_ptr<SqlMeasurementStore>> open(std::unique_ptr<SqlConnection> writer,
                                                             std::unique_ptr<SqlConnection> reader,
                                                             std::string description);

    Result<std::vector<Outcome>> storeAll(
        const std::vector<const UploadedMeasurement*>& measurements,
        std::int64_t receivedMicros) override;
    Result<void> forEach(const MeasurementFilter& filter,
                         const std::function<bool(const MeasurementRow&)>& row) override;
    Result<std::vector<DeviceSummary>> devices() override;
    Result<std::vector<RadiationEvent>> events(std::int64_t measurementId) override;
    Result<std::int64_t> count() override;
    Result<int> schemaVersion() override;
    std::string description() const override { return description_; }

  private:
    SqlMeasurementStore(std::unique_ptr<SqlConnection> writer,
                        std::unique_ptr<SqlConnection> reader, std::string description);
    // One measurement inside the open transaction.
    Result<Outcome> storeOne(const UploadedMeasurement& measurement, std::int64_t receivedMicros);
    // A measurement's events in one statement (SQLite).
    Result<void> storeEvents(std::int64_t id, const std::vector<RadiationEvent>& events);
    // The same as storeOne in one statement (PostgreSQL).
    Result<Outcome> storeOneStatement(const UploadedMeasurement& measurement,
                                      std::int64_t receivedMicros);

    std::mutex writeMutex_;
    std::unique_ptr<SqlConnection> writer_;
    std::mutex readMutex_;
    std::unique_ptr<SqlConnection> reader_;
    std::string description_;
};

}  // namespace kesto
