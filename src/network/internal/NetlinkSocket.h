#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "network/internal/RtnetlinkCodec.h"
#include "platform/UniqueHandle.h"

struct mnl_socket;

namespace kesto {

// One NETLINK_ROUTE socket (libmnl's, which owns the descriptor):
// request/reply exchanges with the kernel, or, bound to multicast groups,
// the kernel's change messages.
//
// Threads: one thread at a time uses a socket; fd() may be polled by it.
class NetlinkSocket {
  public:
    // Opens a socket; with `groups` (RTMGRP_* bits) it also receives the
    // kernel's change messages of those groups. Check isOpen().
    explicit NetlinkSocket(std::uint32_t groups = 0);

    bool isOpen() const { return socket_ != nullptr; }
    int fd() const;

    // A fresh sequence number for a request.
    static std::uint32_t nextSequence();

    // Sends `request` and hands every reply message carrying `seq` to
    // `onMessage` until the exchange ends: Done, Refused (the kernel's errno
    // in `error`) or Failed, which also stands for an I/O error, a reply
    // cut short or no answer within a second.
    RtnetlinkCodec::Outcome transact(std::span<const std::uint8_t> request, std::uint32_t seq,
                                     const RtnetlinkCodec::MessageHandler& onMessage, int& error);

    enum class Drain { Received, Nothing, Failed };
    // Reads and discards every message waiting, without blocking. An overrun
    // (the kernel dropped messages for us) counts as received.
    Drain drain();

  private:
    static void close(mnl_socket* socket);
    UniqueHandle<mnl_socket, close> socket_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace kesto
