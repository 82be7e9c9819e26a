#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kesto::test {

// A tiny HTTP server on 127.0.0.1 that keeps every request's raw bytes and
// answers each with one canned response, or, when it is empty, never answers.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::string response)
        : response_(std::move(response)), listener_(listen(port_)) {
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);  // wakes the blocked accept()
        thread_.join();
        ::close(listener_);
    }

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    static std::string response(int status, const std::string& body) {
        return "HTTP/1.1 " + std::to_string(status) +
               " Status\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    }
    // A port on which nothing listens.
    static std::uint16_t closedPort() {
        std::uint16_t port = 0;
        ::close(listen(port));
        return port;
    }

  private:
    static int listen(std::uint16_t& port) {
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

    void serve() {
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
            // Until the head and as many body bytes as it announces are in.
            const auto complete = [&] {
                const auto end = request.find("\r\n\r\n");
                const auto at = request.find("Content-Length: ");
                const auto length = at < end ? std::stoul(request.substr(at + 16)) : 0;
                return end != std::string::npos && request.size() >= end + 4 + length;
            };
            while (!complete() && more()) {
            }
            std::unique_lock lock(mutex_);
            requests_.push_back(request);
            lock.unlock();
            // A silent server holds the connection until the client gives up.
            while (response_.empty() && more()) {
            }
            ::send(client, response_.data(), response_.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    std::string response_;
    std::uint16_t port_ = 0;
    int listener_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace kesto::test
