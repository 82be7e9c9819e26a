#include "history/file/DataDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace kesto {
namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::filesystem::path> absolute(std::optional<std::string> value) {
    if (value && std::filesystem::path(*value).is_absolute()) {
        return std::filesystem::path(*value);
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> homeDirectory() {
    if (auto home = absolute(environment("HOME"))) {
        return home;
    }
    // The reentrant form: upload threads resolve the directory too.
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return absolute(std::string(found->pw_dir));
    }
    return std::nullopt;
}

}  // namespace

Result<std::filesystem::path> DataDirectory::resolve(
    const std::optional<std::filesystem::path>& option) {
    if (option && !option->empty()) {
        return *option;
    }
    if (auto own = environment("KESTO_DATA_DIR")) {
        return *own;
    }
    if (auto xdg = absolute(environment("XDG_DATA_HOME"))) {
        return *xdg / "kesto";
    }
    if (auto home = homeDirectory()) {
        return *home / ".local" / "share" / "kesto";
    }
    return fail(
        "no data directory: HOME is unset, empty or relative and this user has no home "
        "directory; give one with --data-dir or KESTO_DATA_DIR");
}

Result<void> DataDirectory::ensure(const std::filesystem::path& directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        return fail("cannot create " + directory.string() + ": " + ec.message());
    }
    return {};
}

}  // namespace kesto
