#include "platform/ResourceLocator.h"

#include <cstdlib>
#include <mutex>
#include <string>

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
        return env;
    }
    return (programDirectory().parent_path() / "share" / "kesto").lexically_normal();
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
    overridePath() = directory;
}

}  // namespace kesto
