#include "history/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/UniqueFd.h"

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

// Temporaries are named "<file>.tmp-<pid>-XXXXXX" so that a save killed
// half-way can be cleaned up later: a temporary whose process no longer
// exists is one nobody will finish or rename. Ownership is judged by the pid
// alone, not by age, because a save of a long history on a slow disk may
// take any time; a temporary of a live process (this one included: another
// thread may be saving) is left alone, and so is any name not of this exact
// form. A reused pid only delays the cleanup to a later save.
void removeStaleTemporaries(const std::filesystem::path& directory, const std::string& prefix) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const char* digits = name.c_str() + prefix.size();
        const char* nameEnd = name.c_str() + name.size();
        pid_t pid = 0;
        const auto [rest, error] = std::from_chars(digits, nameEnd, pid);
        if (error != std::errc() || pid <= 0 || nameEnd - rest != 7 || *rest != '-') {
            continue;
        }
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            ::unlink(it->path().c_str());
        }
    }
}

}  // namespace

Result<void> AtomicFile::replace(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path directory =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const std::string prefix = path.filename().string() + ".tmp-";
    removeStaleTemporaries(directory, prefix);
    std::string pattern = (directory / (prefix + std::to_string(::getpid()) + "-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd) {
        return fail(describe("cannot create a temporary file in", directory));
    }
    const std::filesystem::path temporary(name.data());
    const auto abandon = [&](const char* what, const std::filesystem::path& subject) {
        Failure failure = fail(describe(what, subject));
        ::unlink(temporary.c_str());
        return failure;
    };
    // The history holds a device identifier and positions: the user's only.
    if (::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0 || !writeAll(fd.get(), bytes) ||
        ::fsync(fd.get()) != 0) {
        const int saved = errno;
        fd.reset();
        errno = saved;
        return abandon("cannot write", temporary);
    }
    if (fd.close() != 0) {
        return abandon("cannot write", temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return abandon("cannot rename over", path);
    }
    // The rename itself must reach the disk, or a crash could bring back the
    // old directory entry (or none).
    const UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot flush a directory (EINVAL); nothing more to do there.
    if (!dir || (::fsync(dir.get()) != 0 && errno != EINVAL)) {
        // The new file is in place; only its durability is in doubt.
        return fail(describe("cannot flush the directory", directory));
    }
    return {};
}

}  // namespace kesto
