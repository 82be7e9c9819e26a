#include "history/DataDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace kesto {
namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::filesystem::path homeDirectory() {
    if (auto home = environment("HOME")) {
        return *home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    return ".";
}

}  // namespace

std::filesystem::path DataDirectory::resolve(const std::optional<std::filesystem::path>& option) {
    if (option && !option->empty()) {
        return *option;
    }
    if (auto own = environment("KESTO_DATA_DIR")) {
        return *own;
    }
    if (auto xdg = environment("XDG_DATA_HOME"); xdg && std::filesystem::path(*xdg).is_absolute()) {
        return std::filesystem::path(*xdg) / "kesto";
    }
    return homeDirectory() / ".local" / "share" / "kesto";
}

bool DataDirectory::ensure(const std::filesystem::path& directory, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        error = "cannot create " + directory.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace kesto
