#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kesto {

// Which database `kesto collect` keeps its measurements in:
//   sqlite:PATH                         a SQLite file (created when missing)
//   postgresql://[user[:pw]@]host[:port]/db[?param=value...]  (or postgres://)
//                                       a PostgreSQL database, as libpq reads
//                                       the URI (host may be a socket folder:
//                                       postgresql:///db?host=/run/postgresql)
//
// Threads: a value; any thread.
class DatabaseUrl {
  public:
    enum class Engine { Sqlite, Postgres };

    static Result<DatabaseUrl> parse(std::string_view text);
    static DatabaseUrl sqlite(std::filesystem::path file);

    Engine engine() const { return engine_; }
    // The SQLite file, or the libpq connection URI.
    const std::string& target() const { return target_; }
    // The URL without its password, for messages.
    std::string redacted() const;

  private:
    Engine engine_ = Engine::Sqlite;
    std::string target_;
};

}  // namespace kesto
