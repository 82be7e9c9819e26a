#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collect/CollectMetrics.h"
#include "collect/CommitQueue.h"
#include "collect/MeasurementStore.h"
#include "collect/UploadLimiter.h"
#include "platform/Result.h"
#include "platform/SerialQueue.h"
#include "web/HttpServer.h"
#include "web/ListenAddress.h"
#include "web/RequestGuard.h"
#include "web/StaticFiles.h"

namespace kesto {

// `kesto collect`'s HTTP side, on the same event-driven server and bounds as
// `kesto serve` (web/HttpServer.h):
//
//   POST /clients/Kesto/addRadioactivityHistory.php
//        the upload form (history/UploadForm.h), open to every client, at
//        most maxUploadBytes, limited per client address (UploadLimiter):
//        200 "stored" once the measurement is committed, 200 "already
//        stored" for the same device, start and tag with the same content,
//        400 with the reason for a malformed form, 409 for the same identity
//        with other content, 429 (Retry-After) past the address's limit,
//        503 (Retry-After) when the queue is full or the database failed.
//   Everything else passes the RequestGuard first (Host and Origin naming
//   this server, and the token when one was given: ?token=, the cookie
//   kesto_token_<port>, or "Authorization: Bearer"):
//   GET  /                    the page (share/kesto/collect/index.html)
//   GET  /collect/<file>      the page's files; /leaflet/<file>, the
//                             Leaflet library of Debian's libjs-leaflet
//   GET  /api/config          {"tileUrl", "tileAttribution"}
//   GET  /api/points, /api/devices, /api/series   (CollectApi, filters of
//                             CollectQuery)
//   GET  /export.csv, /export.geojson   streamed exports (ExportStream)
//   GET  /metrics             Prometheus text (CollectMetrics)
// Reads run on a reader thread of their own, never the server's.
//
// Threads: construction, start(), stop() and destruction on one thread; the
// store must outlive the server.
class CollectServer {
  public:
    static constexpr const char* kUploadPath = "/clients/Kesto/addRadioactivityHistory.php";
    static constexpr std::size_t kMaxReadsWaiting = 64;

    struct Settings {
        ListenAddress listen;
        std::vector<std::string> allowedHosts;
        std::optional<std::string> token;
        std::filesystem::path resourceDirectory;  // share/kesto
        std::filesystem::path leafletDirectory = "/usr/share/javascript/leaflet";
        std::string tileUrl;  // empty: no tiles, a plain background
        std::string tileAttribution;
        double uploadsPerSecond = 2.0;  // per client address; 0: no limit
        double uploadBurst = 120.0;
        std::size_t maxUploadBytes = 4 * 1024 * 1024;
        std::size_t maxQueuedUploads = 1024;
        HttpServer::Limits limits;
    };

    CollectServer(Settings settings, MeasurementStore& store);
    ~CollectServer();
    CollectServer(const CollectServer&) = delete;
    CollectServer& operator=(const CollectServer&) = delete;

    // Binds (port 0: a free one) and serves; the port bound.
    Result<int> start();
    // Refuses new requests, answers the uploads already queued, stops.
    void stop();

    // "http://127.0.0.1:8090/"; the token, when one is needed, is never in it.
    std::string url() const;

  private:
    std::optional<HttpServer::Response> guard(const HttpServer::Request& request,
                                              HttpServer::Headers& answerHeaders) const;
    // The upload, the pages, the exports and /metrics.
    void routePages();
    // The map's JSON: /api/config, /api/points, /api/devices, /api/series.
    void routeApi();
    void upload(const HttpServer::Request& request, HttpServer::Reply& reply);
    void serveFile(const HttpServer::Request& request, HttpServer::Reply& reply) const;
    // Runs `read` on the reader thread and answers what it gives.
    void read(HttpServer::Reply& reply, std::function<HttpServer::Response()> read);
    void exportMeasurements(const HttpServer::Request& request, HttpServer::Reply& reply, bool csv);

    Settings settings_;
    MeasurementStore& store_;
    CollectMetrics metrics_;
    UploadLimiter limiter_;
    RequestGuard guard_;
    StaticFiles files_;
    std::unique_ptr<CommitQueue> commits_;
    std::unique_ptr<SerialQueue> reader_;
    std::shared_ptr<std::atomic<std::size_t>> readsWaiting_;
    std::unique_ptr<HttpServer> server_;
};

}  // namespace kesto
