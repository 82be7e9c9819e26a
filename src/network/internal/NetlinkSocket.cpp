#include "network/internal/NetlinkSocket.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>

#include <libmnl/libmnl.h>

namespace kesto {
namespace {

// Big enough for one datagram of a route dump, whose parts the kernel sizes
// from the reader's buffer (up to 32 KiB).
constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

void NetlinkSocket::close(mnl_socket* socket) {
    mnl_socket_close(socket);
}

NetlinkSocket::NetlinkSocket(std::uint32_t groups) {
    UniqueHandle<mnl_socket, close> socket(mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC));
    if (!socket) {
        return;
    }
    // A reply never takes long; the limit keeps a wedged kernel from
    // freezing the caller, usually the main thread.
    timeval timeout{1, 0};
    if (mnl_socket_bind(socket.get(), groups, MNL_SOCKET_AUTOPID) != 0 ||
        setsockopt(mnl_socket_get_fd(socket.get()), SOL_SOCKET, SO_RCVTIMEO, &timeout,
                   sizeof timeout) != 0) {
        return;
    }
    socket_ = std::move(socket);
    buffer_.resize(kBufferSize);
}

int NetlinkSocket::fd() const {
    return socket_ ? mnl_socket_get_fd(socket_.get()) : -1;
}

std::uint32_t NetlinkSocket::nextSequence() {
    static std::atomic<std::uint32_t> sequence{1};
    return sequence.fetch_add(1, std::memory_order_relaxed);
}

RtnetlinkCodec::Outcome NetlinkSocket::transact(std::span<const std::uint8_t> request,
                                                std::uint32_t seq,
                                                const RtnetlinkCodec::MessageHandler& onMessage,
                                                int& error) {
    using Outcome = RtnetlinkCodec::Outcome;
    if (!socket_) {
        return Outcome::Failed;
    }
    ssize_t sent;
    do {
        sent = mnl_socket_sendto(socket_.get(), request.data(), request.size());
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size())) {
        return Outcome::Failed;
    }
    // Only the kernel can write to this socket: NETLINK_ROUTE refuses
    // unicasts between unprivileged sockets.
    const std::uint32_t portId = mnl_socket_get_portid(socket_.get());
    for (;;) {
        const ssize_t received = mnl_socket_recvfrom(socket_.get(), buffer_.data(), buffer_.size());
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Outcome::Failed;  // the receive timeout, or a datagram cut short
        }
        const auto outcome = RtnetlinkCodec::readReplies(
            std::span(buffer_.data(), static_cast<std::size_t>(received)), seq, portId, onMessage,
            error);
        if (outcome != Outcome::More && outcome != Outcome::Stale) {
            return outcome;
        }
    }
}

NetlinkSocket::Drain NetlinkSocket::drain() {
    if (!socket_) {
        return Drain::Failed;
    }
    bool any = false;
    for (;;) {
        const ssize_t received = recv(fd(), buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (received >= 0) {
            any = true;
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == ENOBUFS) {
            any = true;  // messages were dropped: something changed
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return any ? Drain::Received : Drain::Nothing;
        }
        return Drain::Failed;
    }
}

}  // namespace kesto
