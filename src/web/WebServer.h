#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "web/HttpServer.h"
#include "web/ListenAddress.h"
#include "web/RequestGuard.h"
#include "web/StaticFiles.h"

namespace kesto {

class ActionQueue;
class SimulatedSensor;
class SnapshotPublisher;

// The Kesto application's routes on the HTTP server core (HttpServer: one
// thread, every client-controlled resource bounded). The protocol the page
// (resources/web) is written against:
//
// Every request first passes the RequestGuard (Host, Origin, where an
// action comes from, the token: see RequestGuard.h). Refusals: 403; 401
// without the token, with a page saying where to find it for GET /, JSON
// otherwise. A token from the query is set in the cookie kesto_token_<PORT>
// (HttpOnly; SameSite=Strict; Path=/) and GET /?token=T answers 303 to "/".
//
// Then:
//   GET  /               the page (web/index.html)
//   GET  /web/<file>     the page's files; /images/<file>, /help/<file>:
//                        the staged images and help folder. <file> is one
//                        plain name (StaticFiles). Anything else: 404.
//   GET  /actions        the actions a person can do, with their arguments
//                        (ActionVocabulary::table()), for the page.
//   GET  /events         server-sent events: "retry: 1000" first, then
//                          event: snapshot
//                          data: {"app": Driver::snapshot() (toolkit/Driver.h),
//                                 "sensor": ..., "counter": ..., "history": ...,
//                                 "version": N}
//                        (WebFrontEnd.h), the latest at once, then after every
//                        run-loop pass that changed it, N one more each time
//                        (from 1 in each server run); ": keep-alive" comments
//                        after 15 s without change. A slow browser gets only
//                        the newest snapshot when it catches up; one that has
//                        not taken its data for 5 s is dropped. 503 when
//                        maxSubscribers browsers are connected.
//   POST /action         one person's action, an ActionVocabulary object.
//                        Applied on the main run loop, one at a time in
//                        arrival order; answers the driver's answer: 200
//                        {"ok": true} or 200 {"ok": false, "error": why the
//                        person could not}. 400 malformed or not a person's
//                        action, 503 when the application did not take it
//                        within 5 s (it is then never applied).
//   GET  /metrics        the monitoring figures in the Prometheus text format
//                        (MetricsExporter), computed on the main run loop;
//                        503 when it did not answer within 5 s, 404 when the
//                        server has none.
//   POST /sim            {"rate": μSv/h} and/or {"lens": "open"|"covered"}
//                        → 200 {"ok": true}; 404 when the sensor is not
//                        simulated; 400 for bad values (rates 0 to 100000).
//
// Bounds (HttpServer::Limits, the defaults): 512 connections in all, 64 from
// one address; request line and headers 16 KiB, 64 header lines (431);
// bodies 16 KiB whatever the transfer coding (413), never compressed (415);
// Range ignored; a whole request within 10 s; 5 s for an action to start;
// 16 event streams. Every refusal is JSON, {"ok": false, "error": text},
// but for headers too large for the connection's memory (431, 414) and
// requests that are not HTTP (400), which libmicrohttpd answers itself. Every answer carries
// nosniff, no-referrer (the token may be in the URL) and frame-ancestors 'none'.
//
// Threads: construction, start(), stop() and destruction on one thread
// (the main thread in the program); the routes run on the server's thread.
// The publisher and the queues must outlive the server.
class WebServer {
  public:
    struct Settings {
        ListenAddress listen;
        std::vector<std::string> allowedHosts;
        std::optional<std::string> token;
        std::filesystem::path resourceDirectory;
        SimulatedSensor* sensor = nullptr;  // null: /sim answers 404
        // Answers the metrics text (a JSON string) on the main loop; null:
        // /metrics answers 404. Closed with the server.
        ActionQueue* metrics = nullptr;
        std::size_t maxSubscribers = 16;
        HttpServer::Limits limits;
    };

    WebServer(Settings settings, SnapshotPublisher& publisher, ActionQueue& actions);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds (port 0: a free one) and starts serving.
    Result<void> start();
    // Closes every connection at once (event streams, actions waiting) and
    // refuses queued actions.
    void stop();

    int port() const { return settings_.listen.port(); }
    // The address to open: "http://127.0.0.1:8080/" (+ "?token=..." when one is needed).
    std::string url() const;

  private:
    void installRoutes();
    std::optional<HttpServer::Response> guard(const HttpServer::Request& request,
                                              HttpServer::Headers& answerHeaders) const;
    void serveFile(const HttpServer::Request& request, HttpServer::Reply& reply) const;
    void serveEvents(HttpServer::Reply& reply);
    void performAction(const HttpServer::Request& request, HttpServer::Reply& reply);
    void serveMetrics(HttpServer::Reply& reply);
    void setSimulator(const HttpServer::Request& request, HttpServer::Reply& reply);

    Settings settings_;
    SnapshotPublisher& publisher_;
    ActionQueue& actions_;
    StaticFiles files_;
    std::optional<RequestGuard> guard_;
    std::unique_ptr<HttpServer> server_;
};

}  // namespace kesto
