#include "collect/DatabaseUrl.h"

namespace kesto {

Result<DatabaseUrl> DatabaseUrl::parse(std::string_view text) {
    DatabaseUrl url;
    if (text.starts_with("sqlite:")) {
        text.remove_prefix(7);
        if (text.empty()) {
            return fail("sqlite: needs a file, as in sqlite:/var/lib/kesto/collect.sqlite");
        }
        url.engine_ = Engine::Sqlite;
        url.target_ = std::string(text);
        return url;
    }
    if (text.starts_with("postgresql://") || text.starts_with("postgres://")) {
        url.engine_ = Engine::Postgres;
        url.target_ = std::string(text);
        return url;
    }
    DatabaseUrl shown;
    shown.engine_ = Engine::Postgres;
    shown.target_ = std::string(text);
    return fail("the database must be sqlite:PATH or postgresql://..., not '" + shown.redacted() +
                "'");
}

DatabaseUrl DatabaseUrl::sqlite(std::filesystem::path file) {
    DatabaseUrl url;
    url.engine_ = Engine::Sqlite;
    url.target_ = file.string();
    return url;
}

std::string DatabaseUrl::redacted() const {
    if (engine_ == Engine::Sqlite) {
        return "sqlite:" + target_;
    }
    std::string text = target_;
    // user:password@host: the password goes.
    const auto scheme = text.find("://");
    const auto at = text.find('@', scheme == std::string::npos ? 0 : scheme + 3);
    if (scheme != std::string::npos && at != std::string::npos) {
        const auto colon = text.find(':', scheme + 3);
        if (colon != std::string::npos && colon < at) {
            text.replace(colon, at - colon, ":***");
        }
    }
    // ...?password=secret: the same.
    for (std::size_t at2 = text.find("password="); at2 != std::string::npos;
         at2 = text.find("password=", at2 + 1)) {
        const auto end = text.find('&', at2);
        text.replace(at2 + 9, (end == std::string::npos ? text.size() : end) - at2 - 9, "***");
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace kesto
