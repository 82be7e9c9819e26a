#include "web/WebServer.h"

#include <fstream>
#include <sstream>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "camera/SimulatedSensor.h"
#include "web/ActionQueue.h"
#include "web/MetricsExporter.h"
#include "web/SnapshotPublisher.h"

namespace kesto {
namespace {

using nlohmann::json;

constexpr const char* kJson = "application/json";

constexpr const char* kTokenPage = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Kesto: token required</title></head>
<body><h1>Token required</h1>
<p>Open the address that <code>kesto serve</code> printed when it started; it ends with
<code>?token=</code>.</p></body></html>
)";

void answerError(httplib::Response& res, int status, const std::string& why) {
    res.status = status;
    res.set_content(json{{"ok", false}, {"error", why}}.dump(), kJson);
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

}  // namespace

WebServer::WebServer(Settings settings, SnapshotPublisher& publisher, ActionQueue& actions)
    : settings_(std::move(settings)),
      publisher_(publisher),
      actions_(actions),
      files_(settings_.resourceDirectory) {}

WebServer::~WebServer() {
    stop();
}

bool WebServer::start(std::string& error) {
    if (server_) {
        error = "the web server is already running";
        return false;
    }
    server_ = std::make_unique<httplib::Server>();
    // Each event stream holds a pool thread; keep some for the requests.
    const std::size_t threads = settings_.maxSubscribers + 8;
    server_->new_task_queue = [threads] {
        // httplib takes ownership of the queue it is handed.
        return std::make_unique<httplib::ThreadPool>(threads).release();
    };
    server_->set_payload_max_length(RequestGuard::kMaxBodyBytes);
    // An event goes out as several small writes (chunk size, data, end):
    // with Nagle's algorithm each waits for the browser's delayed ack, some 40 ms.
    server_->set_tcp_nodelay(true);
    server_->set_keep_alive_timeout(2);
    // A browser that stops reading is dropped after this, never waited for.
    server_->set_write_timeout(5, 0);
    server_->set_read_timeout(5, 0);

    const auto& listen = settings_.listen;
    if (listen.port() == 0) {
        const int port = server_->bind_to_any_port(listen.host());
        if (port < 0) {
            error = "cannot listen on " + listen.host();
            server_.reset();
            return false;
        }
        settings_.listen.setPort(port);
    } else if (!server_->bind_to_port(listen.host(), listen.port())) {
        error = "cannot listen on " + listen.authority() + " (in use, or not this machine's)";
        server_.reset();
        return false;
    }
    guard_.emplace(settings_.listen, settings_.allowedHosts, settings_.token);
    installRoutes();
    thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
    return true;
}

void WebServer::stop() {
    if (!server_) {
        return;
    }
    publisher_.close();
    actions_.close();
    if (settings_.metrics != nullptr) {
        settings_.metrics->close();
    }
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
    server_.reset();
}

std::string WebServer::url() const {
    std::string url = "http://" + settings_.listen.authority() + "/";
    if (settings_.token) {
        url += "?token=" + *settings_.token;
    }
    return url;
}

void WebServer::installRoutes() {
    using httplib::Request;
    using httplib::Response;
    using Handled = httplib::Server::HandlerResponse;

    server_->set_pre_routing_handler([this](const Request& req, Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("Content-Security-Policy", "frame-ancestors 'none'");
        const std::string host = req.get_header_value("Host");
        const std::string origin = req.get_header_value("Origin");
        const std::string cookie = req.get_header_value("Cookie");
        const std::string authorization = req.get_header_value("Authorization");
        const std::string queryToken = req.get_param_value("token");
        RequestGuard::Request facts;
        facts.host = host;
        if (req.has_header("Origin")) {
            facts.origin = origin;
        }
        facts.cookie = cookie;
        if (req.has_param("token")) {
            facts.queryToken = queryToken;
        }
        facts.authorization = authorization;
        const auto decision = guard_->check(facts);
        if (decision.access == RequestGuard::Access::ForeignHost) {
            res.status = 403;
            res.set_content("Forbidden: this server answers only to its own address.\n",
                            "text/plain; charset=utf-8");
            return Handled::Handled;
        }
        if (decision.access == RequestGuard::Access::TokenRequired) {
            res.status = 401;
            res.set_content(kTokenPage, "text/html; charset=utf-8");
            return Handled::Handled;
        }
        if (decision.setCookie) {
            res.set_header("Set-Cookie", guard_->setCookieHeader());
            if (req.method == "GET" && req.path == "/") {
                // Out of the address bar (and its history) once it is in the cookie.
                res.set_redirect("/", 303);
                return Handled::Handled;
            }
        }
        return Handled::Unhandled;
    });

    server_->Get("/events", [this](const Request&, Response& res) {
        auto subscription = publisher_.subscribe(settings_.maxSubscribers);
        if (!subscription) {
            res.status = 503;
            res.set_content("Too many event streams, or the server is stopping.\n",
                            "text/plain; charset=utf-8");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Accel-Buffering", "no");
        const auto interval = settings_.keepAliveInterval;

        res.set_chunked_content_provider(
            "text/event-stream",
            [subscription, interval, started = std::make_shared<bool>(false)](
                std::size_t, httplib::DataSink& sink) {
                if (!*started) {
                    *started = true;
                    // Reconnect a second after the server went (a restart), not 3.
                    static constexpr std::string_view kRetry = "retry: 1000\n\n";
                    if (!sink.write(kRetry.data(), kRetry.size())) {
                        return false;
                    }
                }
                const auto next = subscription->next(interval);
                switch (next.status) {
                    case SnapshotSubscription::Status::Event:
                        return sink.write(next.event->data(), next.event->size());
                    case SnapshotSubscription::Status::Timeout: {
                        static constexpr std::string_view kComment = ": keep-alive\n\n";
                        return sink.write(kComment.data(), kComment.size());
                    }
                    case SnapshotSubscription::Status::Closed:
                        sink.done();
                        return true;
                }
                return false;
            },
            [this, subscription](bool) { publisher_.unsubscribe(subscription); });
    });

    server_->Post("/action", [this](const Request& req, Response& res) {
        auto parsed = RequestGuard::parseAction(req.body);
        if (!parsed.ok()) {
            answerError(res, parsed.status, parsed.error);
            return;
        }
        const auto answer = actions_.perform(std::move(parsed.value), settings_.actionTimeout);
        if (!answer) {
            answerError(res, 503, "the application did not take the action in time; not applied");
            return;
        }
        res.set_content(answer->dump(), kJson);
    });

    server_->Get("/metrics", [this](const Request&, Response& res) {
        if (settings_.metrics == nullptr) {
            res.status = 404;
            res.set_content("Not found.\n", "text/plain; charset=utf-8");
            return;
        }
        const auto text = settings_.metrics->perform(json::object(), settings_.actionTimeout);
        if (!text || !text->is_string()) {
            res.status = 503;
            res.set_content("The application did not answer in time.\n",
                            "text/plain; charset=utf-8");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(text->get<std::string>(), MetricsExporter::kContentType);
    });

    server_->Post("/sim", [this](const Request& req, Response& res) {
        if (settings_.sensor == nullptr) {
            answerError(res, 404, "the sensor is not simulated");
            return;
        }
        const auto parsed = RequestGuard::parseSim(req.body);
        if (!parsed.ok()) {
            answerError(res, parsed.status, parsed.error);
            return;
        }
        if (parsed.value.contains("rate") &&
            !settings_.sensor->setRate(parsed.value["rate"].get<double>())) {
            answerError(res, 400, "the simulator takes rates from 0 to 100000 μSv/h");
            return;
        }
        if (parsed.value.contains("lens")) {
            settings_.sensor->setLensOpen(parsed.value["lens"] == "open");
        }
        publisher_.setNeedsPublish();
        res.set_content(json{{"ok", true}}.dump(), kJson);
    });

    server_->Get(R"(/.*)", [this](const Request& req, Response& res) {
        const auto file = files_.resolve(req.path);
        const auto bytes = file ? readFile(*file) : std::nullopt;
        if (!bytes) {
            res.status = 404;
            res.set_content("Not found.\n", "text/plain; charset=utf-8");
            return;
        }
        res.set_header("Cache-Control", "no-cache");
        res.set_content(*bytes, StaticFiles::contentType(*file));
    });

    server_->set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content("The server failed on this request.\n", "text/plain; charset=utf-8");
    });
}

}  // namespace kesto
