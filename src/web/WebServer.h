#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "web/ListenAddress.h"
#include "web/RequestGuard.h"
#include "web/StaticFiles.h"

namespace httplib {
class Server;
}

namespace kesto {

class ActionQueue;
class SimulatedSensor;
class SnapshotPublisher;

// The HTTP side of the web front end (cpp-httplib, its own threads). The
// protocol the page (resources/web) is written against:
//
// Every request first passes the RequestGuard:
//   - Host, and Origin when present, must name this server: the listen
//     address with its port; "localhost:PORT" on a loopback address; any IP
//     address with the port when listening on every interface; a name given
//     with --allow-host (any port). Origin is http(s)://<such a host>,
//     "null" is refused. Otherwise 403.
//   - When a token is required (listen address not loopback, or a token
//     file), it comes as ?token=T (any request), the cookie
//     kesto_token_<PORT>=T, or "Authorization: Bearer T". A token from the
//     query is set in that cookie (HttpOnly; SameSite=Strict; Path=/) and
//     GET /?token=T answers 303 to "/". Without it: 401 and a small
//     "token required" page, whatever the path.
//
// Then:
//   GET  /               the page (web/index.html)
//   GET  /web/<file>     the page's files; /images/<file>, /help/<file>:
//                        the staged images and help folder. <file> is one
//                        plain name (StaticFiles). Anything else: 404.
//   GET  /events         server-sent events: "retry: 1000" first, then
//                          event: snapshot
//                          data: {"app": Driver::snapshot() (toolkit/Driver.h),
//                                 "sensor": {"description", "simulated",
//                                            "rate"?, "lensOpen"?},
//                                 "counter": {"running", "binSeconds": 10,
//                                             "bins": [...], "events"},
//                                 "version": N}
//                        (WebFrontEnd.h), the latest at once, then after every
//                        run-loop pass that changed it, N one more each time
//                        (from 1 in each server run); ": keep-alive" comments
//                        every 15 s without change. A slow browser gets only
//                        the newest snapshot when it catches up. 503 when too
//                        many (16) browsers are connected.
//   POST /action         a JSON body, one person's action (Driver "Actions"):
//                          {"action": "tap", "name": N}
//                          {"action": "tapTab" | "answerAlert", "index": I}
//                          {"action": "beginEditing" | "deleteBackward" |
//                                     "return", "outlet": O}
//                          {"action": "type", "outlet": O, "text": T}
//                          {"action": "scroll", "outlet": O, "offset": X}
//                        exactly these keys. Applied on the main run loop,
//                        one at a time in arrival order; answers the driver's
//                        answer: 200 {"ok": true} or 200 {"ok": false,
//                        "error": why the person could not}. 400 malformed or
//                        not a person's action, 413 over 16 KiB, 503 when the
//                        application did not take it within 5 s (it is then
//                        never applied).
//   GET  /metrics        the monitoring figures in the Prometheus text format
//                        (MetricsExporter), computed on the main run loop;
//                        503 when it did not answer within the action
//                        timeout, 404 when the server has none.
//   POST /sim            {"rate": μSv/h} and/or {"lens": "open"|"covered"}
//                        → 200 {"ok": true}; 404 when the sensor is not
//                        simulated; 400 for bad values (rates 0 to 100000).
//
// Errors answer {"ok": false, "error": text} for the two POSTs, plain text
// otherwise. Every answer carries nosniff, no-referrer (the token may be
// in the URL) and frame-ancestors 'none'.
//
// Threads: construction, start(), stop() and destruction on one thread
// (the main thread in the program); the handlers run on the server's pool.
// The publisher and the queue must outlive the server.
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
        std::chrono::milliseconds actionTimeout{5000};
        std::size_t maxSubscribers = 16;
        std::chrono::milliseconds keepAliveInterval{15000};
    };

    WebServer(Settings settings, SnapshotPublisher& publisher, ActionQueue& actions);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds (port 0: a free one) and starts serving; false with `error`.
    bool start(std::string& error);
    // Closes the event streams, refuses queued actions and waits for the
    // server's threads.
    void stop();

    int port() const { return settings_.listen.port(); }
    // The address to open: "http://127.0.0.1:8080/" (+ "?token=..." when one is needed).
    std::string url() const;

  private:
    void installRoutes();

    Settings settings_;
    SnapshotPublisher& publisher_;
    ActionQueue& actions_;
    StaticFiles files_;
    std::optional<RequestGuard> guard_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
};

}  // namespace kesto
