#pragma once

#include <string>

#include "collect/DatabaseUrl.h"
#include "collect/UploadedMeasurement.h"
#include "support/TestSupport.h"

namespace kesto::test {

// An empty database of either engine for one test, gone after it: a SQLite
// file in a temporary folder, or a fresh database in the throw-away
// PostgreSQL cluster whose socket folder tests/collect/postgres-cluster
// wrote to the file named by KESTO_TEST_POSTGRES_STATE (ctest starts it).
class TestDatabase {
  public:
    explicit TestDatabase(DatabaseUrl::Engine engine);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const DatabaseUrl& url() const { return url_; }
    static std::string engineName(DatabaseUrl::Engine engine);

  private:
    TemporaryDirectory folder_;
    std::string postgresName_;
    std::string maintenanceUri_;
    DatabaseUrl url_;
};

// A measurement of `events` one-hit events, one every 2 s from 0.5 s, over
// 600 s from `startSeconds`.
UploadedMeasurement sampleMeasurement(const std::string& udid, double startSeconds,
                                      const std::string& tag = "Roof", double latitude = 48.85,
                                      double longitude = 2.35, int events = 3);

}  // namespace kesto::test
