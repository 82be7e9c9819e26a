#include "network/internal/KernelRouteWatch.h"

#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace kesto {

std::unique_ptr<KernelRouteWatch> KernelRouteWatch::open() {
    auto socket =
        std::make_unique<NetlinkSocket>(RTMGRP_IPV4_ROUTE | RTMGRP_LINK | RTMGRP_IPV4_IFADDR);
    if (!socket->isOpen()) {
        return nullptr;
    }
    UniqueFd wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd) {
        return nullptr;
    }
    return std::make_unique<KernelRouteWatch>(std::move(socket), std::move(wakeFd));
}

KernelRouteWatch::KernelRouteWatch(std::unique_ptr<NetlinkSocket> socket, UniqueFd wakeFd)
    : socket_(std::move(socket)), wakeFd_(std::move(wakeFd)) {}

bool KernelRouteWatch::wait() {
    for (;;) {
        pollfd fds[2] = {{socket_->fd(), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (fds[1].revents != 0) {
            return false;  // interrupted; the eventfd stays readable for later waits
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // An overrun shows as POLLERR; drain() reports it as a change.
            if (socket_->drain() == NetlinkSocket::Drain::Failed) {
                return false;
            }
            return true;
        }
        switch (socket_->drain()) {
            case NetlinkSocket::Drain::Received:
                return true;
            case NetlinkSocket::Drain::Nothing:
                continue;
            case NetlinkSocket::Drain::Failed:
                return false;
        }
    }
}

void KernelRouteWatch::interrupt() {
    const std::uint64_t one = 1;
    while (write(wakeFd_.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace kesto
