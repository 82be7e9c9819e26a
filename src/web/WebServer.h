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

// The HTTP side of the web front end (cpp-httplib, its own threads). Every
// request first passes the RequestGuard (Host/Origin → 403, token → 401);
// then:
//
//   GET  /               the page (web/index.html)
//   GET  /web/<file>     the page's files; /images/<file>, /help/<file>:
//                        the staged images and help folder (StaticFiles).
//                        Anything else: 404.
//   GET  /events         server-sent events: "event: snapshot" with the
//                        application's state (SnapshotPublisher), the latest
//                        at once, then each change; ": keep-alive" comments
//                        when nothing changed for a while. 503 when too many
//                        browsers are connected.
//   POST /action         one person's action (RequestGuard::parseAction) →
//                        the driver's answer as JSON: 200 {"ok": true} or
//                        200 {"ok": false, "error": why the person could not}.
//                        400 malformed / not a person's action, 413 over
//                        16 KiB, 503 when the application did not take it
//                        within the action timeout (it is then never applied).
//   POST /sim            {"rate": μSv/h} and/or {"lens": "open"|"covered"}
//                        → 200 {"ok": true}; 404 when the sensor is not
//                        simulated; 400 for bad values.
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
