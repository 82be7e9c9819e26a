#include "web/HttpServer.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <microhttpd.h>
#include <nlohmann/json.hpp>

#include "platform/Clock.h"
#include "platform/UniqueFd.h"

namespace kesto {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

// A suspended connection is not watched by libmicrohttpd: this tells
// whether its client has gone meanwhile.
bool peerClosed(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

double seconds(std::chrono::milliseconds interval) {
    return std::chrono::duration<double>(interval).count();
}

// A chunked body this many times over the bound is not read to its end.
constexpr std::size_t kDiscardFactor = 64;
// So many connections at once, then a quarter of them: a crowd has gone.
constexpr std::size_t kCrowd = 64;
// Each event stream's share of MHD's write buffer.
constexpr std::size_t kStreamBlockBytes = 16 * 1024;

}  // namespace

namespace {

// What crosses threads: answers and wake-ups handed to the server's thread.
struct Inbox {
    std::mutex mutex;
    std::vector<std::shared_ptr<HttpServer::Reply::State>> replies;
    std::vector<std::shared_ptr<HttpServer::StreamWaker::State>> wakes;
    UniqueFd event{eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
    bool stopping = false;

    void ring() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(event.get(), &one, sizeof one);
    }
};

}  // namespace

struct HttpServer::Reply::State {
    enum class Phase { Waiting, Begun, Sent, Expired, Gone };
    std::mutex mutex;
    Phase phase = Phase::Waiting;
    bool inHandler = true;
    std::optional<Response> response;
    std::weak_ptr<Inbox> inbox;
    // Server thread only.
    MHD_Connection* connection = nullptr;
    Date deadline;
    HttpServer::Headers extraHeaders;
    std::shared_ptr<StreamWaker::State> stream;
    Response streamHead;
};

struct HttpServer::StreamWaker::State {
    std::weak_ptr<Inbox> inbox;
    // Server thread only.
    std::shared_ptr<StreamSource> source;
    HttpServer::Impl* owner = nullptr;
    MHD_Connection* connection = nullptr;
    int fd = -1;
    std::string pending;
    std::size_t sent = 0;
    bool suspended = false;
    bool heartbeatDue = false;
    bool closing = false;
    Date suspendedSince;
    std::optional<Date> wantedSince;
};

namespace {

// Server thread only (and the owning thread once the server's thread is gone).
struct Connection {
    int fd = -1;
    std::string peer;
    // Since when a request is awaited and not yet whole.
    std::optional<Date> awaitingSince;
    // The request being read or answered.
    std::optional<HttpServer::Request> request;
    bool bodyTooLarge = false;
    std::size_t discarded = 0;
    std::shared_ptr<HttpServer::Reply::State> reply;
    bool suspended = false;
};

}  // namespace

struct HttpServer::Impl {
    struct Route {
        std::string method;
        std::string path;
        Handler handler;
    };

    explicit Impl(const Limits& serverLimits) : limits(serverLimits) {}

    const Limits& limits;
    std::vector<Route> routes;
    Filter filter;
    Headers commonHeaders;
    MHD_Daemon* daemon = nullptr;
    std::thread thread;
    const std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();

    // Server thread only.
    std::unordered_map<MHD_Connection*, Connection> connections;
    std::unordered_map<StreamWaker::State*, std::shared_ptr<StreamWaker::State>> streams;
    // The most connections at once since memory was last given back.
    std::size_t busiest = 0;

    static MHD_Result onRequest(void* cls, MHD_Connection* c, const char* url, const char* method,
                                const char* version, const char* upload, std::size_t* uploadSize,
                                void** requestContext);
    static void onCompleted(void* cls, MHD_Connection* c, void** requestContext,
                            MHD_RequestTerminationCode why);
    static void onConnection(void* cls, MHD_Connection* c, void** socketContext,
                             MHD_ConnectionNotificationCode what);
    static ssize_t readStream(void* cls, std::uint64_t position, char* buffer, std::size_t max);
    static void endStream(void* cls);

    MHD_Result headersArrived(MHD_Connection* c, Connection& connection, const char* url,
                              const char* method);
    MHD_Result requestArrived(MHD_Connection* c, Connection& connection);
    void dispatch(const Request& request, Reply& reply, Headers& extraHeaders);
    MHD_Result queue(MHD_Connection* c, const Response& response, const Headers& extra = {});
    void addHeaders(MHD_Response* r, const Headers& extra, const Response& response) const;
    MHD_Result queueStream(MHD_Connection* c, const std::shared_ptr<Reply::State>& reply);

    void run();
    void takeInbox();
    void sweep();
    void closeSoon(int fd);
    void giveMemoryBack();
    void resumeAllForStop();
};

// ---- Response ----------------------------------------------------------------

HttpServer::Response HttpServer::Response::text(int status, std::string body,
                                                std::string contentType) {
    return Response{status, std::move(contentType), std::move(body), {}};
}

HttpServer::Response HttpServer::Response::error(int status, std::string_view why) {
    return json(status, nlohmann::json{{"ok", false}, {"error", why}}.dump());
}

HttpServer::Response HttpServer::Response::json(int status, std::string body) {
    return Response{status, "application/json", std::move(body), {}};
}

// ---- Reply, StreamWaker (any thread) ------------------------------------

bool HttpServer::Reply::begin() {
    std::lock_guard lock(state_->mutex);
    if (state_->phase == State::Phase::Waiting) {
        state_->phase = State::Phase::Begun;
    }
    return state_->phase == State::Phase::Begun;
}

void HttpServer::Reply::send(Response response) {
    std::shared_ptr<Inbox> inbox;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->phase != State::Phase::Waiting && state_->phase != State::Phase::Begun) {
            return;
        }
        state_->phase = State::Phase::Sent;
        state_->response = std::move(response);
        if (!state_->inHandler) {
            inbox = state_->inbox.lock();
        }
    }
    if (inbox) {
        {
            std::lock_guard lock(inbox->mutex);
            inbox->replies.push_back(state_);
        }
        inbox->ring();
    }
}

HttpServer::StreamWaker HttpServer::Reply::stream(Response head,
                                                  std::shared_ptr<StreamSource> source) {
    auto stream = std::make_shared<StreamWaker::State>();
    std::lock_guard lock(state_->mutex);
    stream->inbox = state_->inbox;
    stream->source = std::move(source);
    state_->phase = State::Phase::Sent;
    state_->stream = stream;
    state_->streamHead = std::move(head);
    return StreamWaker(stream);
}

void HttpServer::StreamWaker::wake() const {
    if (!state_) {
        return;
    }
    if (const auto inbox = state_->inbox.lock()) {
        {
            std::lock_guard lock(inbox->mutex);
            inbox->wakes.push_back(state_);
        }
        inbox->ring();
    }
}

// ---- The server ----------------------------------------------------------

HttpServer::HttpServer() : HttpServer(Limits{}) {}

HttpServer::HttpServer(Limits limits)
    : limits_(std::move(limits)), impl_(std::make_unique<Impl>(limits_)) {}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::route(std::string method, std::string path, Handler handler) {
    impl_->routes.push_back({std::move(method), std::move(path), std::move(handler)});
}

void HttpServer::setFilter(Filter filter) {
    impl_->filter = std::move(filter);
}

void HttpServer::setCommonHeaders(Headers headers) {
    impl_->commonHeaders = std::move(headers);
}

Result<int> HttpServer::start(const ListenAddress& address,
                              const std::function<void(int port)>& bound) {
    if (impl_->daemon != nullptr) {
        return fail("the server is already running");
    }
    sockaddr_storage storage{};
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (address.isIpv6()) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(address.port()));
        if (inet_pton(AF_INET6, address.host().c_str(), &v6.sin6_addr) != 1) {
            return fail("not an IPv6 address: " + address.host());
        }
        flags |= MHD_USE_IPv6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(address.port()));
        if (inet_pton(AF_INET, address.host().c_str(), &v4.sin_addr) != 1) {
            return fail("not an IPv4 address: " + address.host());
        }
    }
    Impl& impl = *impl_;
    impl.daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Impl::onRequest, &impl, MHD_OPTION_SOCK_ADDR, &storage,
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(limits_.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(limits_.maxConnectionsPerAddress),
        // The request line and headers live in this pool; it never grows.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(limits_.maxHeaderBytes),
        MHD_OPTION_CONNECTION_MEMORY_INCREMENT, static_cast<std::size_t>(1024),
        // A backstop: the deadlines above close a slow client long before.
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(60), MHD_OPTION_STRICT_FOR_CLIENT, 1,
        MHD_OPTION_NOTIFY_COMPLETED, &Impl::onCompleted, &impl, MHD_OPTION_NOTIFY_CONNECTION,
        &Impl::onConnection, &impl, MHD_OPTION_END);
    if (impl.daemon == nullptr) {
        return fail("cannot listen on " + address.authority() +
                    " (in use, or not this machine's address)");
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(impl.daemon, MHD_DAEMON_INFO_BIND_PORT);
    const int port = info != nullptr ? info->port : address.port();
    if (bound) {
        bound(port);
    }
    {
        std::lock_guard lock(impl.inbox->mutex);
        impl.inbox->stopping = false;
    }
    impl.thread = std::thread([&impl] { impl.run(); });
    return port;
}

void HttpServer::stop() {
    Impl& impl = *impl_;
    if (impl.daemon == nullptr) {
        return;
    }
    {
        std::lock_guard lock(impl.inbox->mutex);
        impl.inbox->stopping = true;
    }
    impl.inbox->ring();
    impl.thread.join();
    // The server's thread is gone: this thread drives the daemon now. A
    // suspended connection must be resumed before the daemon stops.
    impl.resumeAllForStop();
    MHD_stop_daemon(impl.daemon);
    impl.daemon = nullptr;
    impl.connections.clear();
    impl.streams.clear();
}

void HttpServer::Impl::run() {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD);
    const int epollFd = info != nullptr ? info->epoll_fd : -1;
    for (;;) {
        {
            std::lock_guard lock(inbox->mutex);
            if (inbox->stopping) {
                return;
            }
        }
        auto wait = static_cast<MHD_UNSIGNED_LONG_LONG>(kSweepInterval.count());
        MHD_UNSIGNED_LONG_LONG mhdWait = 0;
        if (MHD_get_timeout(daemon, &mhdWait) == MHD_YES) {
            wait = std::min(wait, mhdWait);
        }
        pollfd fds[2] = {{epollFd, POLLIN, 0}, {inbox->event.get(), POLLIN, 0}};
        poll(fds, 2, static_cast<int>(wait));
        std::uint64_t rings = 0;
        [[maybe_unused]] const auto n = read(inbox->event.get(), &rings, sizeof rings);
        takeInbox();
        MHD_run(daemon);
        sweep();
        giveMemoryBack();
    }
}

void HttpServer::Impl::takeInbox() {
    std::vector<std::shared_ptr<Reply::State>> replies;
    std::vector<std::shared_ptr<StreamWaker::State>> wakes;
    {
        std::lock_guard lock(inbox->mutex);
        replies.swap(inbox->replies);
        wakes.swap(inbox->wakes);
    }
    for (const auto& reply : replies) {
        MHD_Connection* c = reply->connection;
        const auto found = c != nullptr ? connections.find(c) : connections.end();
        if (found == connections.end() || found->second.reply != reply) {
            continue;  // the client went meanwhile
        }
        std::optional<Response> response;
        {
            std::lock_guard lock(reply->mutex);
            response.swap(reply->response);
        }
        if (response) {
            queue(c, *response, reply->extraHeaders);
        }
        if (found->second.suspended) {
            found->second.suspended = false;
            MHD_resume_connection(c);
        }
    }
    const Date now = Clock::now();
    for (const auto& stream : wakes) {
        if (stream->connection == nullptr || stream->closing) {
            continue;
        }
        if (stream->suspended) {
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        }
        if (!stream->wantedSince) {
            stream->wantedSince = now;
        }
    }
}

// Deadlines: a request not whole in time, a deferred reply not begun, a
// stream not taken, a waiting stream due a heartbeat.
void HttpServer::Impl::sweep() {
    const Date now = Clock::now();
    for (auto& [c, connection] : connections) {
        if (connection.awaitingSince &&
            now.timeIntervalSince(*connection.awaitingSince) > seconds(limits.requestDeadline)) {
            connection.awaitingSince.reset();
            closeSoon(connection.fd);
        }
        const auto& reply = connection.reply;
        if (reply && connection.suspended && !reply->stream && now > reply->deadline) {
            bool expired = false;
            {
                std::lock_guard lock(reply->mutex);
                if (reply->phase == Reply::State::Phase::Waiting) {
                    reply->phase = Reply::State::Phase::Expired;
                    expired = true;
                }
            }
            if (expired) {
                queue(c, Response::error(503, "not answered in time; nothing was done"));
                connection.suspended = false;
                MHD_resume_connection(c);
            }
        }
    }
    for (auto& [key, stream] : streams) {
        if (stream->closing || stream->connection == nullptr) {
            continue;
        }
        if (stream->wantedSince &&
            now.timeIntervalSince(*stream->wantedSince) > seconds(limits.streamStall)) {
            stream->closing = true;
            closeSoon(stream->fd);
        } else if (stream->suspended && peerClosed(stream->fd)) {
            // A closed page gives its place back now, not at its next event.
            stream->closing = true;
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        } else if (stream->suspended && now.timeIntervalSince(stream->suspendedSince) >=
                                            seconds(limits.streamHeartbeat)) {
            stream->suspended = false;
            stream->heartbeatDue = true;
            stream->wantedSince = now;
            MHD_resume_connection(stream->connection);
        }
    }
}

// After a crowd has gone, the memory its connections took goes back to the
// system (the allocator would keep it for the next crowd).
void HttpServer::Impl::giveMemoryBack() {
    if (busiest >= kCrowd && connections.size() <= busiest / 4) {
        malloc_trim(0);
        busiest = connections.size();
    }
}

// libmicrohttpd then finds the socket at its end and closes the connection.
void HttpServer::Impl::closeSoon(int fd) {
    if (fd >= 0) {
        shutdown(fd, SHUT_RDWR);
    }
}

void HttpServer::Impl::resumeAllForStop() {
    bool resumed = false;
    for (auto& [c, connection] : connections) {
        if (connection.reply) {
            std::lock_guard lock(connection.reply->mutex);
            connection.reply->phase = Reply::State::Phase::Gone;
        }
        if (connection.suspended) {
            connection.suspended = false;
            MHD_resume_connection(c);
            resumed = true;
        }
    }
    for (auto& [key, stream] : streams) {
        stream->closing = true;
        if (stream->suspended) {
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
            resumed = true;
        }
    }
    // Each resumed connection is called once more, answers "closed" and goes.
    for (int i = 0; resumed && i < 4; ++i) {
        MHD_run(daemon);
    }
}

// ---- libmicrohttpd's callbacks (server thread) ---------------------------

void HttpServer::Impl::onConnection(void* cls, MHD_Connection* c, void**,
                                    MHD_ConnectionNotificationCode what) {
    Impl& impl = *static_cast<Impl*>(cls);
    if (what == MHD_CONNECTION_NOTIFY_CLOSED) {
        impl.connections.erase(c);
        return;
    }
    Connection connection;
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD)) {
        connection.fd = info->connect_fd;
    }
    if (const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
        char text[INET6_ADDRSTRLEN] = {};
        const sockaddr* address = info->client_addr;
        if (address->sa_family == AF_INET6) {
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                      sizeof text);
        } else {
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                      sizeof text);
        }
        connection.peer = text;
    }
    connection.awaitingSince = Clock::now();
    impl.connections[c] = std::move(connection);
    impl.busiest = std::max(impl.busiest, impl.connections.size());
}

void HttpServer::Impl::onCompleted(void* cls, MHD_Connection* c, void**,
                                   MHD_RequestTerminationCode) {
    Impl& impl = *static_cast<Impl*>(cls);
    const auto found = impl.connections.find(c);
    if (found == impl.connections.end()) {
        return;
    }
    Connection& connection = found->second;
    if (connection.reply) {
        std::lock_guard lock(connection.reply->mutex);
        if (connection.reply->phase != Reply::State::Phase::Sent) {
            connection.reply->phase = Reply::State::Phase::Gone;
        }
        connection.reply->connection = nullptr;
    }
    connection.reply.reset();
    connection.request.reset();
    connection.bodyTooLarge = false;
    connection.discarded = 0;
    connection.suspended = false;
    connection.awaitingSince = Clock::now();
}

MHD_Result HttpServer::Impl::onRequest(void* cls, MHD_Connection* c, const char* url,
                                       const char* method, const char*, const char* upload,
                                       std::size_t* uploadSize, void** requestContext) {
    Impl& impl = *static_cast<Impl*>(cls);
    const auto found = impl.connections.find(c);
    if (found == impl.connections.end()) {
        return MHD_NO;
    }
    Connection& connection = found->second;
    if (*requestContext == nullptr) {
        *requestContext = &connection;
        return impl.headersArrived(c, connection, url, method);
    }
    if (*uploadSize != 0) {
        const std::size_t n = *uploadSize;
        *uploadSize = 0;
        if (!connection.bodyTooLarge &&
            connection.request->body.size() + n <= impl.limits.maxBodyBytes) {
            connection.request->body.append(upload, n);
            return MHD_YES;
        }
        connection.bodyTooLarge = true;
        connection.discarded += n;
        return connection.discarded > kDiscardFactor * impl.limits.maxBodyBytes ? MHD_NO : MHD_YES;
    }
    if (connection.reply) {
        // Called again after a resume with nothing to send: the server stops.
        return MHD_NO;
    }
    return impl.requestArrived(c, connection);
}

MHD_Result HttpServer::Impl::headersArrived(MHD_Connection* c, Connection& connection,
                                            const char* url, const char* method) {
    Request request;
    request.method = method;
    request.path = url;
    request.peer = connection.peer;
    MHD_get_connection_values(
        c, MHD_HEADER_KIND,
        [](void* out, MHD_ValueKind, const char* key, const char* value) {
            static_cast<Headers*>(out)->emplace_back(lower(key), value != nullptr ? value : "");
            return MHD_YES;
        },
        &request.headers);
    MHD_get_connection_values(
        c, MHD_GET_ARGUMENT_KIND,
        [](void* out, MHD_ValueKind, const char* key, const char* value) {
            static_cast<Headers*>(out)->emplace_back(key, value != nullptr ? value : "");
            return MHD_YES;
        },
        &request.query);
    if (request.headers.size() > limits.maxHeaderCount) {
        return queue(c, Response::error(431, "too many header lines"));
    }
    const auto encoding = request.header("content-encoding");
    if (!request.headerValues("content-encoding").empty() &&
        !(encoding && lower(*encoding) == "identity")) {
        return queue(c, Response::error(415, "compressed request bodies are not accepted"));
    }
    if (const auto length = request.header("content-length")) {
        std::size_t bytes = 0;
        const auto [end, ec] =
            std::from_chars(length->data(), length->data() + length->size(), bytes);
        if (ec != std::errc() || bytes > limits.maxBodyBytes) {
            return queue(
                c, Response::error(413, "the body is larger than " +
                                            std::to_string(limits.maxBodyBytes / 1024) + " KiB"));
        }
    }
    connection.request = std::move(request);
    return MHD_YES;
}

MHD_Result HttpServer::Impl::requestArrived(MHD_Connection* c, Connection& connection) {
    connection.awaitingSince.reset();
    if (connection.bodyTooLarge) {
        return queue(c,
                     Response::error(413, "the body is larger than " +
                                              std::to_string(limits.maxBodyBytes / 1024) + " KiB"));
    }
    auto state = std::make_shared<Reply::State>();
    state->inbox = inbox;
    state->connection = c;
    state->deadline = Clock::now().addingTimeInterval(seconds(limits.replyDeadline));
    connection.reply = state;
    Reply reply(state);
    try {
        dispatch(*connection.request, reply, state->extraHeaders);
    } catch (const std::exception&) {
        reply.send(Response::error(500, "the server failed on this request"));
    }
    std::optional<Response> response;
    {
        std::lock_guard lock(state->mutex);
        state->inHandler = false;
        response.swap(state->response);
    }
    if (state->stream) {
        return queueStream(c, state);
    }
    if (response) {
        return queue(c, *response, state->extraHeaders);
    }
    // Deferred: the answer comes through the inbox, or the deadline's 503.
    connection.suspended = true;
    MHD_suspend_connection(c);
    return MHD_YES;
}

void HttpServer::Impl::dispatch(const Request& request, Reply& reply, Headers& extraHeaders) {
    if (filter) {
        if (auto answer = filter(request, extraHeaders)) {
            reply.send(std::move(*answer));
            return;
        }
    }
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    bool pathKnown = false;
    for (const auto& route : routes) {
        const bool matches = route.path.ends_with('/') && route.path.size() > 1
                                 ? request.path.starts_with(route.path)
                                 : request.path == route.path;
        if (!matches) {
            continue;
        }
        pathKnown = true;
        if (route.method == method) {
            route.handler(request, reply);
            return;
        }
    }
    reply.send(pathKnown ? Response::error(405, "not a method this path takes")
                         : Response::error(404, "nothing here"));
}

void HttpServer::Impl::addHeaders(MHD_Response* r, const Headers& extra,
                                  const Response& response) const {
    for (const Headers* headers : {&commonHeaders, &extra, &response.headers}) {
        for (const auto& [name, value] : *headers) {
            MHD_add_response_header(r, name.c_str(), value.c_str());
        }
    }
    if (!response.contentType.empty()) {
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    }
}

MHD_Result HttpServer::Impl::queue(MHD_Connection* c, const Response& response,
                                   const Headers& extra) {
    MHD_Response* r = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    if (r == nullptr) {
        return MHD_NO;
    }
    addHeaders(r, extra, response);
    const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(response.status), r);
    MHD_destroy_response(r);
    return queued;
}

MHD_Result HttpServer::Impl::queueStream(MHD_Connection* c,
                                         const std::shared_ptr<Reply::State>& reply) {
    const auto& stream = reply->stream;
    stream->owner = this;
    stream->connection = c;
    stream->fd = connections.at(c).fd;
    // A small kernel buffer: a client that stops reading is seen to stop
    // (and dropped) after a snapshot or two, not after megabytes.
    const int buffer = static_cast<int>(kStreamBlockBytes);
    setsockopt(stream->fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    MHD_Response* r = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, kStreamBlockBytes, &Impl::readStream, stream.get(), &Impl::endStream);
    if (r == nullptr) {
        return MHD_NO;
    }
    streams[stream.get()] = stream;
    addHeaders(r, reply->extraHeaders, reply->streamHead);
    const MHD_Result queued =
        MHD_queue_response(c, static_cast<unsigned>(reply->streamHead.status), r);
    MHD_destroy_response(r);
    return queued;
}

ssize_t HttpServer::Impl::readStream(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    auto& stream = *static_cast<StreamWaker::State*>(cls);
    if (stream.closing || stream.source == nullptr) {
        return MHD_CONTENT_READER_END_WITH_ERROR;
    }
    stream.wantedSince.reset();
    if (stream.sent == stream.pending.size()) {
        stream.pending.clear();
        stream.sent = 0;
        const bool heartbeat = std::exchange(stream.heartbeatDue, false);
        const auto pulled = stream.source->pull(stream.pending, heartbeat);
        if (pulled == StreamSource::Pull::End) {
            return MHD_CONTENT_READER_END_OF_STREAM;
        }
        if (pulled == StreamSource::Pull::Fail) {
            return MHD_CONTENT_READER_END_WITH_ERROR;  // no closing chunk: the client sees the cut
        }
        if (stream.pending.empty()) {
            // Nothing now: asked again after a wake() or the heartbeat.
            stream.suspended = true;
            stream.suspendedSince = Clock::now();
            MHD_suspend_connection(stream.connection);
            return 0;
        }
    }
    const std::size_t n = std::min(max, stream.pending.size() - stream.sent);
    std::memcpy(buffer, stream.pending.data() + stream.sent, n);
    stream.sent += n;
    return static_cast<ssize_t>(n);
}

void HttpServer::Impl::endStream(void* cls) {
    auto* stream = static_cast<StreamWaker::State*>(cls);
    stream->connection = nullptr;
    stream->closing = true;
    stream->source.reset();  // it may hold a waker of its own
    if (Impl* owner = std::exchange(stream->owner, nullptr)) {
        owner->streams.erase(stream);  // may free `stream`: last
    }
}

}  // namespace kesto
