#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/UniqueFd.h"

namespace kesto {

Result<std::string> RegularFile::read(const std::filesystem::path& path, std::uint64_t maxBytes) {
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return fail(path.string() + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return fail(path.string() + ": " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(path.string() + ": not a regular file");
    }
    const std::string tooLarge =
        path.string() + ": larger than " + std::to_string(maxBytes) + " bytes";
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        return fail(tooLarge);
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            // The file may grow while it is read: the bound holds all the same.
            if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
                return fail(tooLarge);
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return bytes;
        } else if (errno != EINTR) {
            return fail(path.string() + ": " + std::strerror(errno));
        }
    }
}

}  // namespace kesto
