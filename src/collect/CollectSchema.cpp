#include "collect/CollectSchema.h"

#include <string>
#include <vector>

namespace kesto {
namespace {

using Engine = SqlConnection::Engine;

// The statements of one step for `engine`. Types are written so both
// engines read them: BIGINT and DOUBLE PRECISION are integer and real to
// SQLite; only the generated key differs.
std::vector<std::string> step(int version, Engine engine) {
    const std::string key = engine == Engine::Sqlite
                                ? "id INTEGER PRIMARY KEY"
                                : "id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
    switch (version) {
        case 1:
            return {
                "CREATE TABLE measurements (" + key +
                    ", udid TEXT NOT NULL, tag TEXT NOT NULL,"
                    " start_us BIGINT NOT NULL, stop_us BIGINT NOT NULL,"
                    " latitude DOUBLE PRECISION, longitude DOUBLE PRECISION,"
                    " events BIGINT NOT NULL, hits BIGINT NOT NULL,"
                    " dose DOUBLE PRECISION NOT NULL, mean_rate DOUBLE PRECISION NOT NULL,"
                    " rate_lower DOUBLE PRECISION, rate_upper DOUBLE PRECISION,"
                    " digest BIGINT NOT NULL, received_us BIGINT NOT NULL,"
                    " UNIQUE (udid, start_us, tag))",
                std::string("CREATE TABLE events (measurement_id BIGINT NOT NULL"
                            " REFERENCES measurements (id), seq INTEGER NOT NULL,"
                            " time_s DOUBLE PRECISION NOT NULL, particles INTEGER NOT NULL,"
                            " PRIMARY KEY (measurement_id, seq))") +
                    (engine == Engine::Sqlite ? " WITHOUT ROWID" : ""),
                "CREATE INDEX measurements_start ON measurements (start_us)",
            };
        case 2:
            return {
                "CREATE TABLE devices (udid TEXT PRIMARY KEY, measurements BIGINT NOT NULL,"
                " last_received_us BIGINT NOT NULL, latest_start_us BIGINT NOT NULL,"
                " latest_id BIGINT NOT NULL)",
                "INSERT INTO devices (udid, measurements, last_received_us, latest_start_us,"
                " latest_id)"
                " SELECT udid, count(*), max(received_us), max(start_us),"
                " (SELECT l.id FROM measurements l WHERE l.udid = m.udid"
                "  ORDER BY l.start_us DESC, l.id DESC LIMIT 1)"
                " FROM measurements m GROUP BY udid",
                "CREATE INDEX measurements_place ON measurements (latitude, longitude)"
                " WHERE latitude IS NOT NULL",
            };
        case 3:
            // A map's box on PostgreSQL reads its rows from the index alone
            // (once vacuumed): a city's points are scattered over the table.
            if (engine == Engine::Postgres) {
                return {
                    "CREATE INDEX measurements_map ON measurements (latitude, longitude)"
                    " INCLUDE (id, udid, tag, start_us, stop_us, events, hits, dose, mean_rate,"
                    " rate_lower, rate_upper, received_us) WHERE latitude IS NOT NULL",
                    "DROP INDEX measurements_place",
                };
            }
            return {};
        default:
            return {};
    }
}

}  // namespace

Result<int> CollectSchema::version(SqlConnection& connection) {
    // The table's presence, asked in each engine's own catalogue.
    const char* exists = connection.engine() == Engine::Sqlite
                             ? "SELECT count(*) FROM sqlite_master WHERE name = 'kesto_schema'"
                             : "SELECT count(*) FROM pg_catalog.pg_tables"
                               " WHERE tablename = 'kesto_schema'"
                               " AND schemaname = current_schema()";
    std::int64_t tables = 0;
    Result<void> asked = connection.query(exists, {}, [&](const SqlRow& row) {
        tables = row.integer(0);
        return false;
    });
    if (!asked) {
        return asked.failure();
    }
    if (tables == 0) {
        return 0;
    }
    int version = 0;
    asked = connection.query("SELECT version FROM kesto_schema", {}, [&](const SqlRow& row) {
        version = static_cast<int>(row.integer(0));
        return false;
    });
    if (!asked) {
        return asked.failure();
    }
    return version;
}

Result<int> CollectSchema::migrate(SqlConnection& connection, int target) {
    if (Result<void> begun = connection.begin(); !begun) {
        return fail("cannot open the database's schema: " + begun.error());
    }
    const auto failed = [&](const std::string& why) {
        connection.rollback();
        return Failure{why};
    };
    // Two servers starting on one PostgreSQL database: one migrates, the
    // other waits and then finds the work done. (SQLite's write lock,
    // taken by begin(), does the same.)
    if (connection.engine() == Engine::Postgres) {
        if (Result<void> locked = connection.run("SELECT pg_advisory_xact_lock(4507341)", {});
            !locked) {
            return failed(locked.error());
        }
    }
    const Result<int> found = version(connection);
    if (!found) {
        return failed("cannot read the schema version: " + found.error());
    }
    if (*found > kVersion) {
        return failed("the database has schema version " + std::to_string(*found) +
                      ", newer than this kesto knows (" + std::to_string(kVersion) +
                      "): use the newer kesto");
    }
    if (*found == 0) {
        if (Result<void> made =
                connection.execute("CREATE TABLE kesto_schema (version INTEGER NOT NULL);"
                                   " INSERT INTO kesto_schema (version) VALUES (0)");
            !made) {
            return failed("cannot create the schema table: " + made.error());
        }
    }
    int reached = *found;
    while (reached < target) {
        const int next = reached + 1;
        for (const std::string& statement : step(next, connection.engine())) {
            if (Result<void> done = connection.run(statement, {}); !done) {
                return failed("cannot bring the database to schema version " +
                              std::to_string(next) + ": " + done.error());
            }
        }
        reached = next;
    }
    if (reached != *found) {
        if (Result<void> set = connection.run("UPDATE kesto_schema SET version = ?",
                                              {static_cast<std::int64_t>(reached)});
            !set) {
            return failed("cannot record the schema version: " + set.error());
        }
    }
    if (Result<void> committed = connection.commit(); !committed) {
        return failed("cannot commit the schema: " + committed.error());
    }
    return reached;
}

}  // namespace kesto
