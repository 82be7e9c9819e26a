#include "web/StaticFiles.h"

#include <algorithm>
#include <system_error>

namespace kesto {

StaticFiles::StaticFiles(const std::filesystem::path& resourceDirectory)
    : web_(resourceDirectory / "web"),
      mounts_{{"/web/", resourceDirectory / "web"},
              {"/images/", resourceDirectory / "images"},
              {"/help/", resourceDirectory / "help"}} {}

StaticFiles::StaticFiles(std::filesystem::path index, std::vector<Mount> mounts)
    : web_(std::move(index)), mounts_(std::move(mounts)) {}

bool StaticFiles::isSafeName(std::string_view name) {
    if (name.empty() || name.size() > 128 || name.front() == '.') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    });
}

std::optional<std::filesystem::path> StaticFiles::inside(const std::filesystem::path& folder,
                                                         std::string_view name) {
    if (!isSafeName(name)) {
        return std::nullopt;
    }
    std::error_code ec;
    const auto root = std::filesystem::canonical(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    const auto file = std::filesystem::canonical(root / std::string(name), ec);
    if (ec || file.parent_path() != root || !std::filesystem::is_regular_file(file, ec)) {
        return std::nullopt;
    }
    return file;
}

std::optional<std::filesystem::path> StaticFiles::resolve(std::string_view requestPath) const {
    if (requestPath == "/") {
        return inside(web_, "index.html");
    }
    for (const auto& mount : mounts_) {
        if (requestPath.starts_with(mount.prefix)) {
            return inside(mount.folder, requestPath.substr(mount.prefix.size()));
        }
    }
    return std::nullopt;
}

std::string StaticFiles::contentType(const std::filesystem::path& file) {
    const auto ext = file.extension().string();
    if (ext == ".html" || ext == ".htm") {
        return "text/html; charset=utf-8";
    }
    if (ext == ".js" || ext == ".mjs") {
        return "text/javascript; charset=utf-8";
    }
    if (ext == ".css") {
        return "text/css; charset=utf-8";
    }
    if (ext == ".json") {
        return "application/json";
    }
    if (ext == ".webmanifest") {
        return "application/manifest+json";
    }
    if (ext == ".png") {
        return "image/png";
    }
    if (ext == ".svg") {
        return "image/svg+xml";
    }
    if (ext == ".jpg" || ext == ".jpeg") {
        return "image/jpeg";
    }
    if (ext == ".ico") {
        return "image/x-icon";
    }
    if (ext == ".wav") {
        return "audio/wav";
    }
    if (ext == ".txt") {
        return "text/plain; charset=utf-8";
    }
    return "application/octet-stream";
}

}  // namespace kesto
