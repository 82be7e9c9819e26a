#include "network/NetlinkSocket.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace kesto {
namespace {

// Big enough for one datagram of a route dump, whose parts the kernel sizes
// from the reader's buffer (up to 32 KiB).
constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

NetlinkSocket::NetlinkSocket(std::uint32_t groups) {
    fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd_ < 0) {
        return;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    // A reply never takes long; the limit keeps a wedged kernel from
    // freezing the caller, usually the main thread.
    timeval timeout{1, 0};
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    buffer_.resize(kBufferSize);
}

NetlinkSocket::~NetlinkSocket() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::uint32_t NetlinkSocket::nextSequence() {
    static std::atomic<std::uint32_t> sequence{1};
    return sequence.fetch_add(1, std::memory_order_relaxed);
}

bool NetlinkSocket::transact(std::span<const std::uint8_t> request, std::uint32_t seq,
                             const std::function<bool(const RtnetlinkCodec::Message&)>& onMessage) {
    if (fd_ < 0) {
        return false;
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = sendto(fd_, request.data(), request.size(), 0,
                      reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size())) {
        return false;
    }
    std::vector<RtnetlinkCodec::Message> messages;
    for (;;) {
        sockaddr_nl from{};
        socklen_t fromLength = sizeof from;
        const ssize_t received = recvfrom(fd_, buffer_.data(), buffer_.size(), MSG_TRUNC,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;  // includes the receive timeout
        }
        if (static_cast<std::size_t>(received) > buffer_.size()) {
            return false;  // truncated: the rest of the reply is lost
        }
        if (from.nl_pid != 0) {
            continue;  // only the kernel answers requests
        }
        messages.clear();
        const bool wellFormed = RtnetlinkCodec::splitMessages(
            std::span(buffer_.data(), static_cast<std::size_t>(received)), messages);
        for (const auto& message : messages) {
            if (message.seq != seq) {
                continue;  // a late answer to an earlier, abandoned request
            }
            if (!onMessage(message)) {
                return true;
            }
        }
        if (!wellFormed) {
            return false;
        }
    }
}

NetlinkSocket::Drain NetlinkSocket::drain() {
    if (fd_ < 0) {
        return Drain::Failed;
    }
    bool any = false;
    for (;;) {
        const ssize_t received = recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
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
