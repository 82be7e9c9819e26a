#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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
    const auto at = request.find("Content-Length: ");
    const std::size_t length = at < end ? std::strtoul(request.c_str() + at + 16, nullptr, 10) : 0;
    return end != std::string::npos && request.size() >= end + 4 + length;
}

}  // namespace

LoopbackServer::LoopbackServer(std::string response)
    : response_(std::move(response)), listener_(listenOnLoopback(port_)) {
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // wakes the blocked accept()
    thread_.join();
    ::close(listener_);
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
    int client = -1;
    while ((client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
        const timeval tick{0, 50000};  // reads wake up to see the end of the test
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        std::string request;
        char buffer[4096];
        const auto more = [&] {
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            request.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            return !stopping_ && (n > 0 || (n < 0 && errno == EAGAIN));
        };
        while (!complete(request) && more()) {
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        // A silent server holds the connection until the client gives up.
        while (response_.empty() && more()) {
        }
        for (std::size_t sent = 0; sent < response_.size();) {
            const ssize_t n =
                ::send(client, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        ::close(client);
    }
}

}  // namespace kesto::test
