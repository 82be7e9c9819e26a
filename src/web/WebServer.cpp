#include "web/WebServer.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "camera/SimulatedSensor.h"
#include "toolkit/ActionVocabulary.h"
#include "web/ActionQueue.h"
#include "web/GuardAnswer.h"
#include "web/MetricsExporter.h"
#include "web/SnapshotPublisher.h"

namespace kesto {
namespace {

using nlohmann::json;
using Response = HttpServer::Response;

constexpr const char* kTokenPage = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Kesto: token required</title></head>
<body><h1>Token required</h1>
<p>Open the address that <code>kesto serve</code> printed when it started; it ends with
<code>?token=</code>.</p></body></html>
)";

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

// One browser's event stream: the snapshots its subscription is offered,
// pulled as the browser takes them.
class SnapshotStream : public HttpServer::StreamSource {
  public:
    SnapshotStream(SnapshotPublisher& publisher, std::shared_ptr<SnapshotSubscription> subscription)
        : publisher_(publisher), subscription_(std::move(subscription)) {}
    ~SnapshotStream() override { publisher_.unsubscribe(subscription_); }

    Pull pull(std::string& out, bool heartbeat) override {
        if (!started_) {
            started_ = true;
            // Reconnect a second after the server went (a restart), not 3.
            out += "retry: 1000\n\n";
        }
        const auto taken = subscription_->take();
        if (taken.closed) {
            return out.empty() ? Pull::End : Pull::Sent;
        }
        if (taken.event) {
            out += *taken.event;
        } else if (heartbeat) {
            out += ": keep-alive\n\n";
        }
        return out.empty() ? Pull::Wait : Pull::Sent;
    }

  private:
    SnapshotPublisher& publisher_;
    std::shared_ptr<SnapshotSubscription> subscription_;
    bool started_ = false;
};

// Answers `queue`'s answer to `reply` (from the main loop), unless the
// reply's deadline passed first: then the work is not done at all.
void submitDeferred(ActionQueue& queue, json request, HttpServer::Reply& reply,
                    std::function<Response(json)> answer) {
    const bool queued = queue.submit(
        std::move(request), [reply]() mutable { return reply.begin(); },
        [reply, answer = std::move(answer)](json result) mutable {
            reply.send(answer(std::move(result)));
        });
    if (!queued) {
        reply.send(Response::error(503, "the server is stopping"));
    }
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

Result<void> WebServer::start() {
    if (server_) {
        return fail("the web server is already running");
    }
    server_ = std::make_unique<HttpServer>(settings_.limits);
    installRoutes();
    const auto port = server_->start(settings_.listen, [this](int bound) {
        settings_.listen.setPort(bound);
        guard_.emplace(settings_.listen, settings_.allowedHosts, settings_.token);
    });
    if (!port) {
        server_.reset();
        return port.failure();
    }
    return {};
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
    server_->setCommonHeaders({{"X-Content-Type-Options", "nosniff"},
                               {"Referrer-Policy", "no-referrer"},
                               {"Content-Security-Policy", "frame-ancestors 'none'"}});
    server_->setFilter([this](const HttpServer::Request& request, HttpServer::Headers& headers) {
        return guard(request, headers);
    });
    const auto file = [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
        serveFile(request, reply);
    };
    for (const char* path : {"/", "/web/", "/images/", "/help/"}) {
        server_->route("GET", path, file);
    }
    server_->route("GET", "/actions", [](const HttpServer::Request&, HttpServer::Reply& reply) {
        reply.send(Response::json(200, ActionVocabulary::table().dump()));
    });
    server_->route("GET", "/events", [this](const HttpServer::Request&, HttpServer::Reply& reply) {
        serveEvents(reply);
    });
    server_->route("POST", "/action",
                   [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       performAction(request, reply);
                   });
    server_->route("GET", "/metrics", [this](const HttpServer::Request&, HttpServer::Reply& reply) {
        serveMetrics(reply);
    });
    server_->route("POST", "/sim",
                   [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       setSimulator(request, reply);
                   });
}

std::optional<Response> WebServer::guard(const HttpServer::Request& request,
                                         HttpServer::Headers& answerHeaders) const {
    return GuardAnswer::of(*guard_, request, answerHeaders, kTokenPage);
}

void WebServer::serveFile(const HttpServer::Request& request, HttpServer::Reply& reply) const {
    const auto file = files_.resolve(request.path);
    const auto bytes = file ? readFile(*file) : std::nullopt;
    if (!bytes) {
        reply.send(Response::error(404, "nothing here"));
        return;
    }
    Response response = Response::text(200, *bytes, StaticFiles::contentType(*file));
    response.headers = {{"Cache-Control", "no-cache"}};
    reply.send(std::move(response));
}

void WebServer::serveEvents(HttpServer::Reply& reply) {
    auto subscription = publisher_.subscribe(settings_.maxSubscribers);
    if (!subscription) {
        reply.send(Response::error(503, "too many event streams, or the server is stopping"));
        return;
    }
    Response head = Response::text(200, "", "text/event-stream");
    head.headers = {{"Cache-Control", "no-store"}, {"X-Accel-Buffering", "no"}};
    const auto waker =
        reply.stream(std::move(head), std::make_shared<SnapshotStream>(publisher_, subscription));
    subscription->setWake([waker] { waker.wake(); });
}

void WebServer::performAction(const HttpServer::Request& request, HttpServer::Reply& reply) {
    auto action = RequestGuard::parseAction(request.body);
    if (!action) {
        reply.send(Response::error(400, action.error()));
        return;
    }
    json envelope = {{"page", RequestGuard::pageOf(request)}, {"action", std::move(*action)}};
    submitDeferred(actions_, std::move(envelope), reply,
                   [](json answer) { return Response::json(200, answer.dump()); });
}

void WebServer::serveMetrics(HttpServer::Reply& reply) {
    if (settings_.metrics == nullptr) {
        reply.send(Response::error(404, "nothing here"));
        return;
    }
    submitDeferred(*settings_.metrics, json::object(), reply, [](json text) {
        if (!text.is_string()) {
            return Response::error(500, "the metrics could not be computed");
        }
        Response response =
            Response::text(200, text.get<std::string>(), MetricsExporter::kContentType);
        response.headers = {{"Cache-Control", "no-store"}};
        return response;
    });
}

void WebServer::setSimulator(const HttpServer::Request& request, HttpServer::Reply& reply) {
    if (settings_.sensor == nullptr) {
        reply.send(Response::error(404, "the sensor is not simulated"));
        return;
    }
    const auto settings = RequestGuard::parseSim(request.body);
    if (!settings) {
        reply.send(Response::error(400, settings.error()));
        return;
    }
    if (settings->contains("rate") &&
        !settings_.sensor->setRate((*settings)["rate"].get<double>())) {
        reply.send(Response::error(400, "the simulator takes rates from 0 to 100000 μSv/h"));
        return;
    }
    if (settings->contains("lens")) {
        settings_.sensor->setLensOpen((*settings)["lens"] == "open");
    }
    publisher_.setNeedsPublish();
    reply.send(Response::json(200, json{{"ok", true}}.dump()));
}

}  // namespace kesto
