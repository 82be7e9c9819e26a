#include "platform/ResourceLocator.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/Console.h"

namespace kesto {
namespace {

std::mutex& overrideMutex() {
    static std::mutex mutex;
    return mutex;
}

std::filesystem::path& overridePath() {
    static std::filesystem::path path;
    return path;
}

// "/a/b/" names the folder b as "/a/b" does: its sibling locale is /a/locale.
std::filesystem::path folder(std::filesystem::path path) {
    path = path.lexically_normal();
    return path.has_filename() || !path.has_parent_path() || path == path.root_path()
               ? path
               : path.parent_path();
}

// Says once per folder when the data folder chosen does not exist, naming it
// and where it came from: every later "not found" follows from this one.
void reportWhenMissing(const std::filesystem::path& directory, const char* origin) {
    static std::mutex mutex;
    static std::filesystem::path lastChecked;
    std::lock_guard lock(mutex);
    if (directory == lastChecked) {
        return;
    }
    lastChecked = directory;
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) {
        Console::logf("Resources: no folder %s (%s)", directory.c_str(), origin);
    }
}

std::filesystem::path programDirectory() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path(error) : exe.parent_path();
}

}  // namespace

std::filesystem::path ResourceLocator::resourceDirectory() {
    {
        std::lock_guard lock(overrideMutex());
        if (!overridePath().empty()) {
            return overridePath();
        }
    }
    if (const char* env = std::getenv("KESTO_RESOURCES"); env && *env) {
        auto directory = folder(env);
        reportWhenMissing(directory, "KESTO_RESOURCES");
        return directory;
    }
    auto directory = folder(programDirectory().parent_path() / "share" / "kesto");
    reportWhenMissing(directory, "beside the program");
    return directory;
}

std::filesystem::path ResourceLocator::localeDirectory() {
    return resourceDirectory().parent_path() / "locale";
}

std::optional<std::filesystem::path> ResourceLocator::pathForResource(
    std::string_view name, std::string_view type, std::string_view subdirectory) {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return std::nullopt;  // a resource name never leaves its folder
    }
    std::string file(name);
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    auto path = resourceDirectory();
    if (!subdirectory.empty()) {
        path /= subdirectory;
    }
    path /= file;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    return path;
}

void ResourceLocator::setResourceDirectory(const std::filesystem::path& directory) {
    std::lock_guard lock(overrideMutex());
    overridePath() = directory.empty() ? directory : folder(directory);
}

}  // namespace kesto
