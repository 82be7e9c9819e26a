#include "history/file/WriterLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "history/file/DataDirectory.h"
#include "platform/Console.h"

namespace kesto {
namespace {

std::string describe(const char* what, const std::filesystem::path& path) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

// The holder writes its id right after locking: a reader that comes in
// between finds nothing and says so.
std::string holder(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    long pid = 0;
    const char* end = text + (n > 0 ? n : 0);
    const auto [ptr, ec] = std::from_chars(text, end, pid);
    if (ec != std::errc() || ptr == text || pid <= 0) {
        return "another process";
    }
    return "process " + std::to_string(pid);
}

}  // namespace

Result<WriterLock> WriterLock::acquire(const std::filesystem::path& directory) {
    if (auto made = DataDirectory::ensure(directory); !made) {
        return made.failure();
    }
    const std::filesystem::path path = directory / kFileName;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        return fail(describe("cannot open", path));
    }
    // An open-file-description lock: not shared with a forked child, and not
    // dropped when some other descriptor of the file is closed.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int result = 0;
    while ((result = ::fcntl(fd.get(), F_OFD_SETLK, &lock)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        if (errno == EAGAIN || errno == EACCES) {
            return fail("the history in " + directory.string() + " is being saved by " +
                        holder(fd.get()) + "; only one process may save there at a time");
        }
        // A file system without locks must not cost the user every later
        // measurement: saving goes on, unguarded, and says so.
        Console::log(describe("Cannot lock", path) +
                     "; another process could save into this history at the same time");
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    // Should this fail, the lock holds all the same; only a refused process's
    // message would lack the id.
    if (::ftruncate(fd.get(), 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd.get(), pid.data(), pid.size(), 0);
    }
    return WriterLock(directory, std::move(fd));
}

}  // namespace kesto
