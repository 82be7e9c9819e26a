#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kesto::test {

// A tiny HTTP server on 127.0.0.1 that keeps every request's raw bytes and
// answers each with one canned response, or, when it is empty, never answers.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::string response);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests() const;

    static std::string response(int status, const std::string& body);
    // A port on which nothing listens.
    static std::uint16_t closedPort();

  private:
    void serve();

    std::string response_;
    std::uint16_t port_ = 0;
    int listener_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace kesto::test
