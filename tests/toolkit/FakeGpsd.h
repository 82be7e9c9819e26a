#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/UniqueFd.h"

namespace kesto::test {

// gpsd on the loopback: a banner, then `script` for the client that asks to watch.
class FakeGpsd {
  public:
    FakeGpsd(std::vector<std::string> script, bool closeAfterScript) {
        listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(listener_.get(), 4), 0);
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ =
            std::thread([this, script, closeAfterScript] { serve(script, closeAfterScript); });
    }
    ~FakeGpsd() { thread_.join(); }
    std::uint16_t port() const { return port_; }

  private:
    static bool readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 10000) == 1;  // a bound for a broken test, not a timing
    }
    static void send(int fd, const std::string& text) {
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    }
    void serve(const std::vector<std::string>& script, bool closeAfterScript) {
        while (readable(listener_.get())) {
            UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            send(client.get(),
                 "{\"class\":\"VERSION\",\"release\":\"3.22\",\"rev\":\"3.22\","
                 "\"proto_major\":3,\"proto_minor\":14}\r\n");
            char buffer[512];
            if (!readable(client.get()) || ::recv(client.get(), buffer, sizeof buffer, 0) <= 0) {
                continue;  // a client that only looked in; the next one asks to watch
            }
            for (const auto& chunk : script) {
                send(client.get(), chunk);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));  // separate reads
            }
            while (!closeAfterScript && readable(client.get()) &&
                   ::recv(client.get(), buffer, sizeof buffer, 0) > 0) {
            }
            return;
        }
    }

    UniqueFd listener_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace kesto::test
