#include "history/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kesto {
namespace {

std::string describe(const char* what, const std::filesystem::path& path) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool AtomicFile::replace(const std::filesystem::path& path, std::string_view bytes,
                         std::string& error) {
    const std::filesystem::path directory =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string pattern = (directory / (path.filename().string() + ".tmp-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = describe("cannot create a temporary file in", directory);
        return false;
    }
    const std::filesystem::path temporary(name.data());
    const auto fail = [&](const char* what, const std::filesystem::path& subject) {
        error = describe(what, subject);
        ::unlink(temporary.c_str());
        return false;
    };
    // The history holds a device identifier and positions: the user's only.
    if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return fail("cannot write", temporary);
    }
    if (::close(fd) != 0) {
        return fail("cannot write", temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail("cannot rename over", path);
    }
    // The rename itself must reach the disk, or a crash could bring back the
    // old directory entry (or none).
    const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Some file systems cannot flush a directory (EINVAL); nothing more to do there.
    if (dir < 0 || (::fsync(dir) != 0 && errno != EINVAL)) {
        error = describe("cannot flush the directory", directory);
        if (dir >= 0) {
            ::close(dir);
        }
        // The new file is in place; only its durability is in doubt.
        return false;
    }
    ::close(dir);
    return true;
}

}  // namespace kesto
