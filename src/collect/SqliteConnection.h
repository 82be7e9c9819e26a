#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "collect/SqlConnection.h"
#include "platform/Result.h"
#include "platform/UniqueHandle.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kesto {

// A connection to a SQLite file in WAL mode (readers do not wait for the
// writer) with full synchronous commits: once COMMIT returns, the
// transaction is in the write-ahead log on disk. Another process or
// connection holding the write lock is waited for up to 10 s.
//
// Threads: one thread at a time.
class SqliteConnection : public SqlConnection {
  public:
    static Result<std::unique_ptr<SqliteConnection>> open(const std::filesystem::path& file);
    ~SqliteConnection() override;

    Engine engine() const override { return Engine::Sqlite; }
    Result<void> execute(std::string_view sql) override;
    Result<void> query(std::string_view sql, const std::vector<SqlValue>& parameters,
                       const std::function<bool(const SqlRow&)>& row) override;
    Result<void> begin() override;
    void rollback() override;

  private:
    static void close(sqlite3* db);
    static void finalize(sqlite3_stmt* statement);
    using Statement = UniqueHandle<sqlite3_stmt, &SqliteConnection::finalize>;

    explicit SqliteConnection(sqlite3* db);
    Failure failure(const std::string& what) const;

    UniqueHandle<sqlite3, &SqliteConnection::close> db_;
    // Prepared once per text: the store runs the same few statements.
    std::unordered_map<std::string, Statement> statements_;
};

}  // namespace kesto
