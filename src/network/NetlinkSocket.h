#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "network/RtnetlinkCodec.h"

namespace kesto {

// One NETLINK_ROUTE socket: request/reply exchanges with the kernel, or,
// bound to multicast groups, the kernel's change messages.
//
// Threads: one thread at a time uses a socket; fd() may be polled by it.
class NetlinkSocket {
  public:
    // Opens a socket; with `groups` (RTMGRP_* bits) it also receives the
    // kernel's change messages of those groups. Check isOpen().
    explicit NetlinkSocket(std::uint32_t groups = 0);
    ~NetlinkSocket();
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // A fresh sequence number for a request.
    static std::uint32_t nextSequence();

    // Sends `request` and hands every reply message carrying `seq` to
    // `onMessage`, which returns true while more replies are expected.
    // False when the exchange failed (I/O error, no answer within a second,
    // malformed reply).
    bool transact(std::span<const std::uint8_t> request, std::uint32_t seq,
                  const std::function<bool(const RtnetlinkCodec::Message&)>& onMessage);

    enum class Drain { Received, Nothing, Failed };
    // Reads and discards every message waiting, without blocking. An overrun
    // (the kernel dropped messages for us) counts as received.
    Drain drain();

  private:
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace kesto
