#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace kesto::test {
namespace {

int listenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// True once `request` holds the head and as many body bytes as announced.
bool complete(const std::string& request) {
    const auto end = request.find("\r\n\r\n");
    if (end == std::string::npos) {
        return false;
    }
    std::size_t length = 0;
    const auto at = request.find("Content-Length: ");
    if (at != std::string::npos && at < end) {
        length = std::strtoul(request.c_str() + at + 16, nullptr, 10);
    }
    return request.size() >= end + 4 + length;
}

}  // namespace

LoopbackServer::LoopbackServer(std::string response) : response_(std::move(response)) {
    listener_ = listenOnLoopback(port_);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
}

std::string LoopbackServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string LoopbackServer::response(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " Status\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::uint16_t LoopbackServer::closedPort() {
    std::uint16_t port = 0;
    ::close(listenOnLoopback(port));
    return port;
}

void LoopbackServer::serve() {
    while (!stopping_) {
        pollfd watch{listener_, POLLIN, 0};
        if (::poll(&watch, 1, 50) <= 0 || (watch.revents & POLLIN) == 0) {
            continue;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        std::string request;
        char buffer[4096];
        while (!stopping_ && !complete(request)) {
            pollfd in{client, POLLIN, 0};
            if (::poll(&in, 1, 50) <= 0) {
                continue;
            }
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        if (response_.empty()) {
            // Hold the connection open without a word until the test ends.
            while (!stopping_) {
                pollfd in{client, POLLIN, 0};
                if (::poll(&in, 1, 50) > 0) {
                    if (::read(client, buffer, sizeof buffer) <= 0) {
                        break;
                    }
                }
            }
        } else {
            std::string_view rest = response_;
            while (!rest.empty()) {
                const ssize_t n = ::send(client, rest.data(), rest.size(), MSG_NOSIGNAL);
                if (n <= 0) {
                    break;
                }
                rest.remove_prefix(static_cast<std::size_t>(n));
            }
        }
        ::close(client);
    }
}

}  // namespace kesto::test
