#include "collect/SqliteConnection.h"

#include <sqlite3.h>

namespace kesto {
namespace {

class SqliteRow : public SqlRow {
  public:
    explicit SqliteRow(sqlite3_stmt* statement) : statement_(statement) {}
    bool isNull(int column) const override {
        return sqlite3_column_type(statement_, column) == SQLITE_NULL;
    }
    std::int64_t integer(int column) const override {
        return sqlite3_column_int64(statement_, column);
    }
    double real(int column) const override { return sqlite3_column_double(statement_, column); }
    std::string text(int column) const override {
        const auto* bytes = sqlite3_column_text(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                                   static_cast<std::size_t>(size))
                     : std::string();
    }

  private:
    sqlite3_stmt* statement_;
};

}  // namespace

void SqliteConnection::close(sqlite3* db) {
    sqlite3_close_v2(db);
}
void SqliteConnection::finalize(sqlite3_stmt* statement) {
    sqlite3_finalize(statement);
}

SqliteConnection::SqliteConnection(sqlite3* db) : db_(db) {}
SqliteConnection::~SqliteConnection() {
    statements_.clear();  // before the database they belong to
}

Failure SqliteConnection::failure(const std::string& what) const {
    return fail(what + ": " + sqlite3_errmsg(db_.get()));
}

Result<std::unique_ptr<SqliteConnection>> SqliteConnection::open(
    const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    const int status =
        sqlite3_open_v2(file.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<SqliteConnection> connection(new SqliteConnection(raw));
    if (status != SQLITE_OK) {
        return connection->failure("cannot open the database " + file.string());
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, 10000);
    // WAL: readers see the last commit while a write goes on; FULL: the log
    // is flushed at every commit, so a committed upload outlives a crash.
    Result<void> set = connection->execute(
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
    if (!set) {
        return fail("cannot set up the database " + file.string() + ": " + set.error());
    }
    std::string mode;
    Result<void> read = connection->query("PRAGMA journal_mode", {}, [&](const SqlRow& row) {
        mode = row.text(0);
        return false;
    });
    if (!read || mode != "wal") {
        return fail("the database " + file.string() +
                    " cannot use write-ahead logging (journal mode '" + mode + "')");
    }
    return connection;
}

Result<void> SqliteConnection::execute(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    if (sqlite3_exec(db_.get(), text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string why = message ? message : sqlite3_errmsg(db_.get());
        sqlite3_free(message);
        return fail(why);
    }
    return {};
}

Result<void> SqliteConnection::query(std::string_view sql, const std::vector<SqlValue>& parameters,
                                     const std::function<bool(const SqlRow&)>& row) {
    std::string text(sql);
    auto found = statements_.find(text);
    if (found == statements_.end()) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v3(db_.get(), text.data(), static_cast<int>(text.size()),
                               SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK) {
            return failure("cannot prepare a statement");
        }
        found = statements_.emplace(std::move(text), Statement(raw)).first;
    }
    sqlite3_stmt* statement = found->second.get();
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const SqlValue& value = parameters[i];
        int status = SQLITE_OK;
        if (std::holds_alternative<std::int64_t>(value)) {
            status = sqlite3_bind_int64(statement, index, std::get<std::int64_t>(value));
        } else if (std::holds_alternative<double>(value)) {
            status = sqlite3_bind_double(statement, index, std::get<double>(value));
        } else if (std::holds_alternative<std::string>(value)) {
            const std::string& s = std::get<std::string>(value);
            status = sqlite3_bind_text64(statement, index, s.data(), s.size(), SQLITE_STATIC,
                                         SQLITE_UTF8);
        } else {
            status = sqlite3_bind_null(statement, index);
        }
        if (status != SQLITE_OK) {
            return failure("cannot bind a value");
        }
    }
    const SqliteRow current(statement);
    for (;;) {
        const int status = sqlite3_step(statement);
        if (status == SQLITE_DONE) {
            break;
        }
        if (status != SQLITE_ROW) {
            Failure why = failure("a statement failed");
            sqlite3_reset(statement);
            return why;
        }
        if (!row(current)) {
            break;
        }
    }
    // Reset at once: an unfinished read would keep its snapshot open.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return {};
}

Result<void> SqliteConnection::begin() {
    // IMMEDIATE: take the write lock now, not at the first write, so that a
    // busy database is waited for instead of failing mid-transaction.
    return execute("BEGIN IMMEDIATE");
}

void SqliteConnection::rollback() {
    if (sqlite3_get_autocommit(db_.get()) == 0) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

}  // namespace kesto
