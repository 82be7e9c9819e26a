#pragma once

// A small HTTP/1.1 client for the load programs: blocking, one connection,
// keep-alive, bounded waits. Loopback only (127.0.0.0/8): these programs
// never reach another machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>

namespace bench {

class LoopbackHttp {
  public:
    struct Answer {
        int status = 0;
        std::string body;
    };

    // Connects to 127.0.0.1:port, from the loopback address `from` when given.
    explicit LoopbackHttp(int port, const std::string& from = "") {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (!from.empty()) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from.c_str(), &local.sin_addr);
            bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        host_ = "127.0.0.1:" + std::to_string(port);
    }
    ~LoopbackHttp() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    LoopbackHttp(const LoopbackHttp&) = delete;
    LoopbackHttp& operator=(const LoopbackHttp&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // Reads what arrives within `waitMs`; false at the end of the stream or on silence.
    bool receive(int waitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) {
            return false;
        }
        char chunk[65536];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    // One request and its whole answer (Content-Length or chunked), within `waitMs`.
    std::optional<Answer> request(const std::string& method, const std::string& path,
                                  const std::string& headers = "", const std::string& body = "",
                                  int waitMs = 10000) {
        std::string raw = method + " " + path + " HTTP/1.1\r\nHost: " + host() + "\r\n" + headers;
        if (method == "POST") {
            raw +=
                "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n";
        }
        raw += "\r\n" + body;
        if (!send(raw)) {
            return std::nullopt;
        }
        for (;;) {
            if (auto answer = takeAnswer()) {
                return answer;
            }
            if (!receive(waitMs)) {
                return std::nullopt;
            }
        }
    }

    // Starts an event stream: the answer's status (0: none within `waitMs`).
    int openStream(const std::string& path, const std::string& headers = "", int waitMs = 10000) {
        if (!send("GET " + path + " HTTP/1.1\r\nHost: " + host() + "\r\n" + headers + "\r\n")) {
            return 0;
        }
        while (buffer_.find("\r\n\r\n") == std::string::npos) {
            if (!receive(waitMs)) {
                return 0;
            }
        }
        const auto end = buffer_.find("\r\n\r\n");
        const int status = std::atoi(buffer_.substr(9, 3).c_str());
        buffer_.erase(0, end + 4);
        return status;
    }

    // The next event's data line of an open stream (chunks joined); nothing
    // at its end or after `waitMs` of silence.
    std::optional<std::string> nextEvent(int waitMs) {
        for (;;) {
            dechunk();
            const auto end = events_.find("\n\n");
            if (end != std::string::npos) {
                const std::string block = events_.substr(0, end);
                events_.erase(0, end + 2);
                const auto data = block.find("data: ");
                if (data != std::string::npos) {
                    return block.substr(data + 6);
                }
                continue;
            }
            if (!receive(waitMs)) {
                return std::nullopt;
            }
        }
    }

    void setHost(std::string host) { host_ = std::move(host); }
    std::string host() const { return host_; }

  private:
    void dechunk() {
        for (;;) {
            const auto sizeEnd = buffer_.find("\r\n");
            if (sizeEnd == std::string::npos) {
                return;
            }
            const auto size = std::stoul(buffer_.substr(0, sizeEnd), nullptr, 16);
            if (buffer_.size() < sizeEnd + 2 + size + 2) {
                return;
            }
            events_ += buffer_.substr(sizeEnd + 2, size);
            buffer_.erase(0, sizeEnd + 2 + size + 2);
        }
    }

    std::optional<Answer> takeAnswer() {
        const auto end = buffer_.find("\r\n\r\n");
        if (end == std::string::npos || buffer_.size() < 12) {
            return std::nullopt;
        }
        Answer answer;
        answer.status = std::atoi(buffer_.substr(9, 3).c_str());
        const std::string head = lower(buffer_.substr(0, end));
        std::size_t at = end + 4;
        const auto length = head.find("\r\ncontent-length:");
        if (length != std::string::npos) {
            const auto size = std::stoul(head.substr(length + 17));
            if (buffer_.size() < at + size) {
                return std::nullopt;
            }
            answer.body = buffer_.substr(at, size);
            buffer_.erase(0, at + size);
            return answer;
        }
        if (head.find("\r\ntransfer-encoding: chunked") == std::string::npos) {
            answer.body = buffer_.substr(at);  // no body, or one that ends at close
            buffer_.clear();
            return answer;
        }
        std::string body;
        for (;;) {
            const auto sizeEnd = buffer_.find("\r\n", at);
            if (sizeEnd == std::string::npos) {
                return std::nullopt;
            }
            const auto size = std::stoul(buffer_.substr(at, sizeEnd - at), nullptr, 16);
            if (buffer_.size() < sizeEnd + 2 + size + 2) {
                return std::nullopt;
            }
            body += buffer_.substr(sizeEnd + 2, size);
            at = sizeEnd + 2 + size + 2;
            if (size == 0) {
                break;
            }
        }
        answer.body = body;
        buffer_.erase(0, at);
        return answer;
    }

    static std::string lower(std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    }

    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
    std::string events_;
    std::string host_;
};

}  // namespace bench
