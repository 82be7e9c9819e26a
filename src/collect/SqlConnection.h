#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Result.h"

namespace kesto {

// A value bound to a statement's "?" placeholder.
using SqlValue = std::variant<std::nullptr_t, std::int64_t, double, std::string>;

// One result row, read by column index while the query runs.
class SqlRow {
  public:
    virtual ~SqlRow() = default;
    virtual bool isNull(int column) const = 0;
    virtual std::int64_t integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual std::string text(int column) const = 0;
};

// One connection to a database, the little the measurement store needs of
// it; SqliteConnection and PostgresConnection. Statements use "?" for their
// parameters whatever the engine.
//
// Threads: one thread at a time (the store holds a lock around each use).
class SqlConnection {
  public:
    enum class Engine { Sqlite, Postgres };

    virtual ~SqlConnection() = default;
    virtual Engine engine() const = 0;
    // Statements without parameters or results, separated by ';'.
    virtual Result<void> execute(std::string_view sql) = 0;
    // One statement; `row` is called for each row until it returns false.
    virtual Result<void> query(std::string_view sql, const std::vector<SqlValue>& parameters,
                               const std::function<bool(const SqlRow&)>& row) = 0;
    // One statement whose rows, if any, are not needed.
    Result<void> run(std::string_view sql, const std::vector<SqlValue>& parameters) {
        return query(sql, parameters, [](const SqlRow&) { return true; });
    }
    // Opens a write transaction.
    virtual Result<void> begin() = 0;
    virtual Result<void> commit() { return execute("COMMIT"); }
    // Ends a failed transaction; nothing to report when there was none.
    virtual void rollback() = 0;
};

}  // namespace kesto
