#include "platform/UniqueFd.h"

#include <unistd.h>

namespace kesto {

void UniqueFd::reset(int fd) {
    const int old = std::exchange(fd_, fd);
    if (old >= 0) {
        // The descriptor is gone whatever close() says (Linux); nothing to retry.
        ::close(old);
    }
}

int UniqueFd::close() {
    const int old = std::exchange(fd_, -1);
    return old >= 0 ? ::close(old) : 0;
}

}  // namespace kesto
