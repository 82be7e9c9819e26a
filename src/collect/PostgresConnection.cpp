#include "collect/PostgresConnection.h"

#include <libpq-fe.h>

#include <charconv>
#include <optional>

#include "platform/Format.h"

namespace kesto {
namespace {

using PgResult = UniqueHandle<PGresult, PQclear>;

class PostgresRow : public SqlRow {
  public:
    PostgresRow(const PGresult* result, int row) : result_(result), row_(row) {}
    bool isNull(int column) const override { return PQgetisnull(result_, row_, column) == 1; }
    std::int64_t integer(int column) const override {
        const char* text = PQgetvalue(result_, row_, column);
        std::int64_t value = 0;
        std::from_chars(text, text + PQgetlength(result_, row_, column), value);
        return value;
    }
    double real(int column) const override {
        const char* text = PQgetvalue(result_, row_, column);
        double value = 0.0;
        std::from_chars(text, text + PQgetlength(result_, row_, column), value);
        return value;
    }
    std::string text(int column) const override {
        return std::string(PQgetvalue(result_, row_, column),
                           static_cast<std::size_t>(PQgetlength(result_, row_, column)));
    }

  private:
    const PGresult* result_;
    int row_;
};

std::string asText(const SqlValue& value) {
    if (std::holds_alternative<std::int64_t>(value)) {
        return std::to_string(std::get<std::int64_t>(value));
    }
    if (std::holds_alternative<double>(value)) {
        return cformat("%.17g", std::get<double>(value));
    }
    return std::get<std::string>(value);
}

}  // namespace

void PostgresConnection::finish(pg_conn* connection) {
    PQfinish(connection);
}

PostgresConnection::PostgresConnection(pg_conn* connection) : connection_(connection) {}
PostgresConnection::~PostgresConnection() = default;

Failure PostgresConnection::failure(const std::string& what) const {
    std::string message = PQerrorMessage(connection_.get());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return fail(what + ": " + message);
}

Result<std::unique_ptr<PostgresConnection>> PostgresConnection::open(const std::string& uri) {
    std::unique_ptr<PostgresConnection> connection(
        new PostgresConnection(PQconnectdb(uri.c_str())));
    if (!connection->connection_) {
        return fail("cannot connect to PostgreSQL: out of memory");
    }
    if (PQstatus(connection->connection_.get()) != CONNECTION_OK) {
        return connection->failure("cannot connect to PostgreSQL");
    }
    // Notices (an existing table, an index) are not the user's business.
    PQsetNoticeProcessor(
        connection->connection_.get(), [](void*, const char*) {}, nullptr);
    Result<void> set = connection->execute("SET client_encoding = 'UTF8'; SET TIME ZONE 'UTC'");
    if (!set) {
        return set.failure();
    }
    return connection;
}

std::string PostgresConnection::numbered(std::string_view sql) {
    std::string out;
    int next = 1;
    for (const char c : sql) {
        if (c == '?') {
            out += '$' + std::to_string(next++);
        } else {
            out += c;
        }
    }
    return out;
}

Result<void> PostgresConnection::reconnectIfLost() {
    if (PQstatus(connection_.get()) != CONNECTION_BAD) {
        return {};
    }
    if (inTransaction_) {
        return fail("the connection to PostgreSQL was lost inside a transaction");
    }
    PQreset(connection_.get());
    prepared_.clear();
    if (PQstatus(connection_.get()) != CONNECTION_OK) {
        return failure("cannot connect to PostgreSQL again");
    }
    return {};
}

Result<void> PostgresConnection::execute(std::string_view sql) {
    if (Result<void> ready = reconnectIfLost(); !ready) {
        return ready;
    }
    const PgResult result(PQexec(connection_.get(), std::string(sql).c_str()));
    const auto status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        return failure("a statement failed");
    }
    return {};
}

Result<void> PostgresConnection::query(std::string_view sql,
                                       const std::vector<SqlValue>& parameters,
                                       const std::function<bool(const SqlRow&)>& row) {
    std::vector<std::string> texts;
    std::vector<const char*> values;
    texts.reserve(parameters.size());
    for (const SqlValue& value : parameters) {
        const bool null = std::holds_alternative<std::nullptr_t>(value);
        texts.push_back(null ? std::string() : asText(value));
        values.push_back(null ? nullptr : texts.back().c_str());
    }
    if (Result<void> ready = reconnectIfLost(); !ready) {
        return ready;
    }
    std::string key(sql);
    auto found = prepared_.find(key);
    if (found == prepared_.end()) {
        const std::string name = "kesto_" + std::to_string(prepared_.size() + 1);
        const PgResult made(PQprepare(connection_.get(), name.c_str(), numbered(sql).c_str(),
                                      static_cast<int>(values.size()), nullptr));
        if (PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
            return failure("cannot prepare a statement");
        }
        found = prepared_.emplace(std::move(key), name).first;
    }
    if (PQsendQueryPrepared(connection_.get(), found->second.c_str(),
                            static_cast<int>(values.size()), values.data(), nullptr, nullptr,
                            0) != 1) {
        return failure("cannot send a statement");
    }
    std::optional<Failure> failed;
    while (PGresult* raw = PQgetResult(connection_.get())) {
        const PgResult result(raw);
        const auto status = PQresultStatus(raw);
        if (status == PGRES_TUPLES_OK && !failed) {
            const int rows = PQntuples(raw);
            for (int i = 0; i < rows && row(PostgresRow(raw, i)); ++i) {
            }
        } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && !failed) {
            std::string message = PQresultErrorMessage(raw);
            while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
                message.pop_back();
            }
            failed = fail("a statement failed: " + message);
        }
    }
    if (failed) {
        return *failed;
    }
    return {};
}

Result<void> PostgresConnection::begin() {
    Result<void> begun = execute("BEGIN");
    inTransaction_ = begun.ok();
    return begun;
}

Result<void> PostgresConnection::commit() {
    // A COMMIT of a transaction that failed answers ROLLBACK without an
    // error: only "COMMIT" itself means the rows are there.
    const PgResult result(PQexec(connection_.get(), "COMMIT"));
    inTransaction_ = false;
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK ||
        std::string_view(PQcmdStatus(result.get())) != "COMMIT") {
        return failure("the transaction was not committed");
    }
    return {};
}

void PostgresConnection::rollback() {
    inTransaction_ = false;
    if (PQstatus(connection_.get()) == CONNECTION_OK &&
        PQtransactionStatus(connection_.get()) != PQTRANS_IDLE) {
        PgResult(PQexec(connection_.get(), "ROLLBACK"));
    }
}

}  // namespace kesto
