#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "collect/SqlConnection.h"
#include "platform/Result.h"
#include "platform/UniqueHandle.h"

struct pg_conn;

namespace kesto {

// A connection to PostgreSQL through libpq. Each statement is prepared on
// its first use and then only executed (the server plans it once);
// parameters go as text. A result is read whole: the store's reads are all
// bounded (an export goes page by page). Commits are as durable as the server's
// synchronous_commit, which is on unless its administrator turned it off.
//
// Threads: one thread at a time.
class PostgresConnection : public SqlConnection {
  public:
    // `uri` as libpq takes it (postgresql://...). Messages never show a password.
    static Result<std::unique_ptr<PostgresConnection>> open(const std::string& uri);
    ~PostgresConnection() override;

    Engine engine() const override { return Engine::Postgres; }
    Result<void> execute(std::string_view sql) override;
    Result<void> query(std::string_view sql, const std::vector<SqlValue>& parameters,
                       const std::function<bool(const SqlRow&)>& row) override;
    Result<void> begin() override;
    Result<void> commit() override;
    void rollback() override;

    // "?" placeholders numbered as PostgreSQL's "$1", "$2"...
    static std::string numbered(std::string_view sql);

  private:
    static void finish(pg_conn* connection);
    explicit PostgresConnection(pg_conn* connection);
    Failure failure(const std::string& what) const;
    // Connects again after the server went away, but never inside a
    // transaction: its earlier statements went with the old connection.
    Result<void> reconnectIfLost();

    UniqueHandle<pg_conn, &PostgresConnection::finish> connection_;
    bool inTransaction_ = false;
    // Statement text to its prepared name, on this connection (a new one
    // after a reconnection has none).
    std::unordered_map<std::string, std::string> prepared_;
};

}  // namespace kesto
