#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Result.h"
#include "web/ListenAddress.h"

struct MHD_Daemon;

namespace kesto {

// An HTTP/1.1 server for a small device on an untrusted network
// (libmicrohttpd): one thread serves every connection from an event loop,
// whatever the clients do, and every resource a client controls is bounded
// (Limits). Routes answer at once, later from any thread (Reply), or with a
// stream pulled as the client takes it (StreamSource).
//
//   HttpServer server(limits);
//   server.route("GET", "/hello", [](const HttpServer::Request&, HttpServer::Reply& reply) {
//       reply.send(HttpServer::Response::text(200, "hello\n"));
//   });
//   if (auto bound = server.start(ListenAddress("127.0.0.1", 0)); !bound) { ... }
//
// What the server decides by itself, before any route:
//   - more than maxConnectionsPerAddress connections from one client
//     address: the new one is closed unanswered; maxConnections in all: the
//     next waits in the kernel's listen queue until one closes;
//   - a request line and headers that do not fit in maxHeaderBytes: 431 (a
//     request line alone too long: 414), answered by libmicrohttpd, whose
//     per-connection memory never grows past that; more than maxHeaderCount
//     header lines: 431;
//   - a request not received whole within requestDeadline of its first byte
//     (or of the previous answer on a kept-alive connection): closed;
//   - a body over maxBodyBytes, whatever its transfer coding: 413 (with a
//     Content-Length, before reading it; chunked, once it ended, or closed
//     unanswered past 64 times the bound); any Content-Encoding but identity:
//     415. Bodies are never inflated;
//   - Range is ignored: a whole answer, once;
//   - a deferred reply not begun within replyDeadline: 503;
//   - a stream whose client has not taken its data for streamStall: closed
//     (its socket's send buffer is kept small, so that shows soon); one whose
//     client closed while it waited: let go at once;
//   - no route for the path: 404; a route, but not for the method: 405.
// Refusals are JSON: {"ok": false, "error": why}. The filter (setFilter)
// sees every request first and may answer it itself.
//
// Threads: construction, route(), setFilter(), setCommonHeaders(), start(),
// stop() and destruction on one owning thread (routes and filter set before
// start()); handlers, filters and stream sources run on the server's one
// thread (during stop(), once more on the owning thread, to be closed);
// Reply::send/begin and StreamWaker::wake from any thread. Time is
// Clock's (a manual clock moves the deadlines); the server's thread looks at
// them every kSweepInterval of real time.
class HttpServer {
  public:
    static constexpr std::chrono::milliseconds kSweepInterval{100};

    struct Limits {
        std::size_t maxConnections = 512;
        std::size_t maxConnectionsPerAddress = 64;
        std::size_t maxHeaderBytes = 16 * 1024;
        std::size_t maxHeaderCount = 64;
        std::size_t maxBodyBytes = 16 * 1024;
        std::chrono::milliseconds requestDeadline{10000};
        std::chrono::milliseconds replyDeadline{5000};
        std::chrono::milliseconds streamStall{5000};
        // A waiting stream is asked again after this, for a heartbeat.
        std::chrono::milliseconds streamHeartbeat{15000};
    };

    using Headers = std::vector<std::pair<std::string, std::string>>;

    struct Request {
        std::string method;
        std::string path;  // percent-decoded, without the query
        Headers headers;   // names in lower case, in arrival order, repeats kept
        Headers query;
        std::string body;
        std::string peer;  // the client's address, "127.0.0.1" or "::1"

        // Every value of header `name` (lower case).
        std::vector<std::string_view> headerValues(std::string_view name) const {
            std::vector<std::string_view> out;
            for (const auto& [key, value] : headers) {
                if (key == name) {
                    out.emplace_back(value);
                }
            }
            return out;
        }
        // The only value of header `name`; nothing when absent or repeated.
        std::optional<std::string_view> header(std::string_view name) const {
            const auto values = headerValues(name);
            return values.size() == 1 ? std::optional(values.front()) : std::nullopt;
        }
        std::optional<std::string_view> queryValue(std::string_view name) const {
            for (const auto& [key, value] : query) {
                if (key == name) {
                    return value;
                }
            }
            return std::nullopt;
        }
    };

    struct Response {
        int status = 200;
        std::string contentType;
        std::string body;
        Headers headers;

        static Response text(int status, std::string body,
                             std::string contentType = "text/plain; charset=utf-8");
        // {"ok": false, "error": why}
        static Response error(int status, std::string_view why);
        static Response json(int status, std::string body);
    };

    // What a stream sends, pulled on the server's thread when its client can
    // take more.
    class StreamSource {
      public:
        enum class Pull { Sent, Wait, End, Fail };
        virtual ~StreamSource() = default;
        // Appends what there is to `out` (Sent); Wait: nothing now, asked
        // again after StreamWaker::wake() or streamHeartbeat (`heartbeat`
        // true then); End: the stream is over; Fail: it cannot go on, and the
        // client must see a cut transfer, never a complete one.
        virtual Pull pull(std::string& out, bool heartbeat) = 0;
    };

    // Tells a waiting stream it has something to send. Any thread; does
    // nothing once the stream or the server is gone.
    class StreamWaker {
      public:
        void wake() const;

        struct State;
        explicit StreamWaker(std::shared_ptr<State> state) : state_(std::move(state)) {}

      private:
        std::shared_ptr<State> state_;
    };

    // One request's answer. send() once, from the handler or later from any
    // thread; a handler that returns without sending has deferred it.
    class Reply {
      public:
        // A deferred reply's work starts: false when it must not (the
        // replyDeadline passed and 503 went, or the server stopped).
        bool begin();
        void send(Response response);
        // Server thread, in the handler only: answers `head` (status and
        // headers) followed by what `source` gives.
        StreamWaker stream(Response head, std::shared_ptr<StreamSource> source);

        struct State;
        explicit Reply(std::shared_ptr<State> state) : state_(std::move(state)) {}

      private:
        std::shared_ptr<State> state_;
    };

    // `reply` is shared with the handler's deferred work (copy it).
    using Handler = std::function<void(const Request& request, Reply& reply)>;
    // Nothing: the request goes on to its route, whose answer also gets
    // `answerHeaders`; a response: answered with it.
    using Filter =
        std::function<std::optional<Response>(const Request& request, Headers& answerHeaders)>;

    HttpServer();
    explicit HttpServer(Limits limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // `path` exact, or a prefix when it ends with '/' ("/web/").
    void route(std::string method, std::string path, Handler handler);
    void setFilter(Filter filter);
    // Added to every answer, refusals included.
    void setCommonHeaders(Headers headers);

    // Binds (port 0: a free one) and starts the server's thread; the port
    // bound. `bound`, when given, learns the port first, before any request.
    Result<int> start(const ListenAddress& address,
                      const std::function<void(int port)>& bound = nullptr);
    // Closes every connection at once, streams and deferred replies
    // included, and joins the thread. Safe to call twice.
    void stop();

  private:
    struct Impl;
    Limits limits_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kesto
