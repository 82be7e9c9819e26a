#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// Maps request paths to the few folders the web front end shows, and to
// nothing else:
//   /                 → <web>/index.html
//   /web/<file>       → <web>/<file>        (the page: html, js, css)
//   /images/<file>    → <images>/<file>     (the staged images)
//   /help/<file>      → <help>/<file>       (the help page and its image)
// <file> is one path component of [A-Za-z0-9._-], not starting with '.', so
// no request names a parent or a hidden file; the file found must be a
// regular file whose real path (symbolic links resolved) is still inside
// its folder.
//
// Threads: a value after construction; any thread.
class StaticFiles {
  public:
    struct Mount {
        std::string prefix;  // "/web/"
        std::filesystem::path folder;
    };

    // The folders under the resource directory: web, images, help.
    explicit StaticFiles(const std::filesystem::path& resourceDirectory);
    // Another server's files: "/" is <index>/index.html; the first mount
    // whose prefix a path starts with serves it.
    StaticFiles(std::filesystem::path index, std::vector<Mount> mounts);

    std::optional<std::filesystem::path> resolve(std::string_view requestPath) const;
    static bool isSafeName(std::string_view name);
    // "text/html; charset=utf-8", "image/png"...; application/octet-stream otherwise.
    static std::string contentType(const std::filesystem::path& file);

  private:
    static std::optional<std::filesystem::path> inside(const std::filesystem::path& folder,
                                                       std::string_view name);

    std::filesystem::path web_;
    std::vector<Mount> mounts_;
};

}  // namespace kesto
