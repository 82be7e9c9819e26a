#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kesto::test {

// A tiny HTTP server on 127.0.0.1 that keeps every request's raw bytes and
// answers each with one canned response, or never answers at all.
class LoopbackServer {
  public:
    // `response` is written verbatim; an empty one means "never answer".
    explicit LoopbackServer(std::string response);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string baseURL() const;
    std::vector<std::string> requests() const;

    static std::string response(int status, const std::string& body);
    // A port on which nothing listens.
    static std::uint16_t closedPort();

  private:
    void serve();

    std::string response_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace kesto::test
