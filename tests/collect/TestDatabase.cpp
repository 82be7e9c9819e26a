#include "collect/TestDatabase.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "collect/PostgresConnection.h"

namespace kesto::test {
namespace {

std::string socketFolder() {
    const char* state = std::getenv("KESTO_TEST_POSTGRES_STATE");
    std::ifstream in(state ? state : "");
    std::string folder;
    if (!state || !std::getline(in, folder) || folder.empty()) {
        throw std::runtime_error(
            "no PostgreSQL test cluster: run the suite through ctest, or start one with "
            "tests/collect/postgres-cluster start STATE and set KESTO_TEST_POSTGRES_STATE=STATE");
    }
    return folder;
}

}  // namespace

TestDatabase::TestDatabase(DatabaseUrl::Engine engine) {
    if (engine == DatabaseUrl::Engine::Sqlite) {
        url_ = DatabaseUrl::sqlite(folder_.path() / "collect.sqlite");
        return;
    }
    static std::atomic<int> next{0};
    const std::string folder = socketFolder();
    postgresName_ = "kesto_test_" + std::to_string(getpid()) + "_" + std::to_string(next++);
    maintenanceUri_ = "postgresql://kesto@/postgres?host=" + folder;
    auto maintenance = PostgresConnection::open(maintenanceUri_);
    if (!maintenance) {
        throw std::runtime_error(maintenance.error());
    }
    if (auto made = (*maintenance)->execute("CREATE DATABASE " + postgresName_); !made) {
        throw std::runtime_error(made.error());
    }
    auto parsed = DatabaseUrl::parse("postgresql://kesto@/" + postgresName_ + "?host=" + folder);
    url_ = *parsed;
}

TestDatabase::~TestDatabase() {
    if (postgresName_.empty()) {
        return;
    }
    if (auto maintenance = PostgresConnection::open(maintenanceUri_)) {
        (void)(*maintenance)->execute("DROP DATABASE IF EXISTS " + postgresName_ + " WITH (FORCE)");
    }
}

std::string TestDatabase::engineName(DatabaseUrl::Engine engine) {
    return engine == DatabaseUrl::Engine::Sqlite ? "SQLite" : "PostgreSQL";
}

UploadedMeasurement sampleMeasurement(const std::string& udid, double startSeconds,
                                      const std::string& tag, double latitude, double longitude,
                                      int events) {
    UploadedMeasurement m;
    m.udid = udid;
    m.tag = tag;
    m.startMicros = std::llround(startSeconds * 1e6);
    m.stopMicros = m.startMicros + 600'000'000;
    m.latitude = latitude;
    m.longitude = longitude;
    for (int i = 0; i < events; ++i) {
        m.events.emplace_back(0.5 + 2.0 * i, 1);
    }
    return m;
}

}  // namespace kesto::test
