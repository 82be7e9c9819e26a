#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

namespace kesto::test {

// An answer as it came over the wire; chunked bodies are joined.
struct HttpAnswer {
    int status = 0;
    std::multimap<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

// A client that writes exactly the bytes it is given, as a careless or
// hostile one would, and reads what comes back. Waits are bounded (10 s of
// real time by default) so that a server that never answers fails the test
// instead of hanging it.
class HttpTestClient {
  public:
    explicit HttpTestClient(int port, const char* from = nullptr) {
        socket_.reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (from != nullptr) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            bind(socket_.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ =
            connect(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    bool connected() const { return connected_; }
    bool ended() const { return ended_; }
    int fd() const { return socket_.get(); }

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(socket_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // What arrives within `waitMs` of silence; empty at the end of the stream.
    std::string receiveSome(int waitMs = 10000) {
        pollfd p{socket_.get(), POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0) {
            return {};
        }
        char buffer[65536];
        const ssize_t n = recv(socket_.get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            ended_ = true;
            return {};
        }
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    // Everything until the server closes (nothing when it did not within the wait).
    std::optional<std::string> receiveUntilClosed(int waitMs = 10000) {
        std::string all;
        while (!ended_) {
            const std::string some = receiveSome(waitMs);
            if (some.empty() && !ended_) {
                return std::nullopt;
            }
            all += some;
        }
        return all;
    }

    // True when the server closed the connection (reading anything it sent first).
    bool closedByServer(int waitMs = 10000) { return receiveUntilClosed(waitMs).has_value(); }

    static std::optional<HttpAnswer> parse(const std::string& raw) {
        const auto end = raw.find("\r\n\r\n");
        if (end == std::string::npos || raw.compare(0, 9, "HTTP/1.1 ") != 0) {
            return std::nullopt;
        }
        HttpAnswer answer;
        answer.status = std::stoi(raw.substr(9, 3));
        std::size_t line = raw.find("\r\n") + 2;
        while (line < end) {
            const auto next = raw.find("\r\n", line);
            const std::string text = raw.substr(line, next - line);
            const auto colon = text.find(':');
            std::string name = text.substr(0, colon);
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            const auto value = text.find_first_not_of(' ', colon + 1);
            answer.headers.emplace(name, value == std::string::npos ? "" : text.substr(value));
            line = next + 2;
        }
        std::string body = raw.substr(end + 4);
        if (answer.header("transfer-encoding") == "chunked") {
            std::string joined;
            std::size_t at = 0;
            while (at < body.size()) {
                const auto sizeEnd = body.find("\r\n", at);
                const auto size = std::stoul(body.substr(at, sizeEnd - at), nullptr, 16);
                joined += body.substr(sizeEnd + 2, size);
                at = sizeEnd + 2 + size + 2;
                if (size == 0) {
                    break;
                }
            }
            body = joined;
        }
        answer.body = body;
        return answer;
    }

    // Sends `raw` and reads the whole answer (the request should say
    // "Connection: close").
    std::optional<HttpAnswer> exchange(std::string_view raw) {
        if (!send(raw)) {
            return std::nullopt;
        }
        const auto all = receiveUntilClosed();
        return all ? parse(*all) : std::nullopt;
    }

  private:
    UniqueFd socket_;
    bool connected_ = false;
    std::atomic<bool> ended_{false};
};

// "METHOD PATH HTTP/1.1" with Host (unless `headers` has one), `headers`
// (each "Name: value\r\n"), the body's length and Connection: close.
inline std::string rawRequest(const std::string& method, const std::string& path, int port,
                              const std::string& headers = "", const std::string& body = "") {
    std::string out = method + " " + path + " HTTP/1.1\r\n";
    if (headers.find("Host:") == std::string::npos) {
        out += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    }
    out += headers;
    if (!body.empty() || method == "POST") {
        out += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n";
    }
    return out + "Connection: close\r\n\r\n" + body;
}

}  // namespace kesto::test
