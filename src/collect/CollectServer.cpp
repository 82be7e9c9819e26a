#include "collect/CollectServer.h"

#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "collect/CollectApi.h"
#include "collect/CollectQuery.h"
#include "collect/ExportStream.h"
#include "collect/UploadedMeasurement.h"
#include "platform/Console.h"
#include "web/GuardAnswer.h"

namespace kesto {
namespace {

using Response = HttpServer::Response;

constexpr const char* kTokenPage =
    "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Kesto collection"
    "</title></head><body><h1>Token required</h1><p>Open the address that <code>kesto "
    "collect</code> printed, with its <code>?token=</code>.</p></body></html>\n";

// An export's "limit" may be anything up to this; none means everything.
constexpr std::size_t kMaxExportRows = 1'000'000'000;

Response retryLater(int status, const std::string& why, double seconds) {
    Response response = Response::text(status, why);
    response.headers.emplace_back("Retry-After",
                                  std::to_string(std::max(1L, std::lround(std::ceil(seconds)))));
    return response;
}

// An export pulled page by page: the pages are read on the reader thread,
// the server's thread only hands them on.
class ExportSource : public HttpServer::StreamSource {
  public:
    ExportSource(MeasurementStore& store, MeasurementFilter filter, ExportStream::Format format,
                 SerialQueue& reader)
        : shared_(std::make_shared<Shared>(store, std::move(filter), format)), reader_(reader) {}

    void setWaker(HttpServer::StreamWaker waker) {
        const std::lock_guard lock(shared_->mutex);
        shared_->waker = std::move(waker);
    }

    Pull pull(std::string& out, bool) override {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->ready.empty()) {
            out = std::move(shared_->ready);
            shared_->ready.clear();
            return Pull::Sent;
        }
        if (shared_->failed) {
            return Pull::Fail;
        }
        if (shared_->done) {
            return Pull::End;
        }
        if (!shared_->fetching) {
            shared_->fetching = true;
            reader_.async([shared = shared_] {
                std::string page;
                const Result<bool> more = shared->stream.next(page);
                std::optional<HttpServer::StreamWaker> waker;
                {
                    const std::lock_guard inner(shared->mutex);
                    shared->fetching = false;
                    if (!more) {
                        Console::log("Export cut short: " + more.error());
                    }
                    shared->failed = !more;
                    shared->done = !more || !*more;
                    shared->ready = std::move(page);
                    waker = shared->waker;
                }
                if (waker) {
                    waker->wake();
                }
            });
        }
        return Pull::Wait;
    }

  private:
    struct Shared {
        Shared(MeasurementStore& store, MeasurementFilter filter, ExportStream::Format format)
            : stream(store, std::move(filter), format) {}
        std::mutex mutex;
        ExportStream stream;  // the reader thread's only
        std::string ready;
        bool fetching = false;
        bool done = false;
        bool failed = false;  // the database failed: the client must not take it as whole
        std::optional<HttpServer::StreamWaker> waker;
    };
    std::shared_ptr<Shared> shared_;
    SerialQueue& reader_;
};

HttpServer::Limits limitsFor(const CollectServer::Settings& settings) {
    HttpServer::Limits limits = settings.limits;
    limits.maxBodyBytes = settings.maxUploadBytes;
    // A commit may wait behind others; the client gives up after 30 s.
    limits.replyDeadline = std::max(limits.replyDeadline, std::chrono::milliseconds(25000));
    return limits;
}

// The map's images may come from the tile server's origin, and from nowhere
// else but this server.
std::string contentSecurityPolicy(const std::string& tileUrl) {
    std::string images = "'self' data:";
    const auto scheme = tileUrl.find("://");
    if (scheme != std::string::npos) {
        const auto end = tileUrl.find('/', scheme + 3);
        std::string origin = tileUrl.substr(0, end);
        const auto dot = origin.find('.', scheme + 3);
        if (origin.find_first_of("{}") != std::string::npos && dot != std::string::npos) {
            // A host pattern ("{s}.tile.example"): every subdomain.
            origin = tileUrl.substr(0, scheme + 3) + "*" + origin.substr(dot);
        }
        images += " " + origin;
    }
    return "default-src 'self'; img-src " + images +
           "; style-src 'self' 'unsafe-inline'; frame-ancestors 'none'";
}

}  // namespace

CollectServer::CollectServer(Settings settings, MeasurementStore& store)
    : settings_(std::move(settings)),
      store_(store),
      limiter_(settings_.uploadsPerSecond, settings_.uploadBurst),
      guard_(settings_.listen, settings_.allowedHosts, settings_.token),
      files_(settings_.resourceDirectory / "collect",
             {{"/collect/", settings_.resourceDirectory / "collect"},
              {"/leaflet/images/", settings_.leafletDirectory / "images"},
              {"/leaflet/", settings_.leafletDirectory}}),
      readsWaiting_(std::make_shared<std::atomic<std::size_t>>(0)) {}

CollectServer::~CollectServer() {
    stop();
}

Result<int> CollectServer::start() {
    commits_ = std::make_unique<CommitQueue>(store_, settings_.maxQueuedUploads);
    reader_ = std::make_unique<SerialQueue>("collect-reads");
    server_ = std::make_unique<HttpServer>(limitsFor(settings_));
    server_->setCommonHeaders(
        {{"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"},
         {"Content-Security-Policy", contentSecurityPolicy(settings_.tileUrl)}});
    server_->setFilter([this](const HttpServer::Request& request, HttpServer::Headers& headers) {
        return guard(request, headers);
    });
    routePages();
    routeApi();
    const Result<int> port = server_->start(settings_.listen);
    if (!port) {
        return port.failure();
    }
    settings_.listen.setPort(*port);
    guard_ = RequestGuard(settings_.listen, settings_.allowedHosts, settings_.token);
    return *port;
}

void CollectServer::routePages() {
    server_->route("POST", kUploadPath,
                   [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       upload(request, reply);
                   });
    for (const char* path : {"/", "/collect/", "/leaflet/"}) {
        server_->route("GET", path,
                       [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
                           serveFile(request, reply);
                       });
    }
    server_->route("GET", "/export.csv",
                   [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       exportMeasurements(request, reply, true);
                   });
    server_->route("GET", "/export.geojson",
                   [this](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       exportMeasurements(request, reply, false);
                   });
    server_->route("GET", "/metrics", [this](const HttpServer::Request&, HttpServer::Reply& reply) {
        read(reply, [this] {
            const auto text = metrics_.render(store_);
            return text ? Response::text(200, *text, CollectMetrics::kContentType)
                        : Response::error(503, text.error());
        });
    });
}

void CollectServer::routeApi() {
    server_->route(
        "GET", "/api/config", [this](const HttpServer::Request&, HttpServer::Reply& reply) {
            reply.send(
                Response::json(200, nlohmann::json{{"tileUrl", settings_.tileUrl},
                                                   {"tileAttribution", settings_.tileAttribution}}
                                        .dump()));
        });
    const auto answer = [](const Result<std::string>& json) {
        return json ? Response::json(200, *json) : Response::error(503, json.error());
    };
    server_->route("GET", "/api/points",
                   [this, answer](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       auto filter = CollectQuery::parse(request.query, CollectApi::kMaxPoints);
                       if (!filter) {
                           return reply.send(Response::error(400, filter.error()));
                       }
                       read(reply, [this, answer, f = *filter] {
                           return answer(CollectApi::points(store_, f));
                       });
                   });
    server_->route("GET", "/api/devices",
                   [this, answer](const HttpServer::Request&, HttpServer::Reply& reply) {
                       read(reply, [this, answer] { return answer(CollectApi::devices(store_)); });
                   });
    server_->route("GET", "/api/series",
                   [this, answer](const HttpServer::Request& request, HttpServer::Reply& reply) {
                       auto filter = CollectQuery::parse(request.query, CollectApi::kMaxSeries);
                       if (!filter) {
                           return reply.send(Response::error(400, filter.error()));
                       }
                       if (!filter->udid) {
                           return reply.send(Response::error(400, "give the device: ?device=..."));
                       }
                       read(reply, [this, answer, f = *filter] {
                           return answer(CollectApi::series(store_, f));
                       });
                   });
}

void CollectServer::stop() {
    if (server_) {
        server_->stop();
    }
    // Uploads already queued are stored; their answers go nowhere.
    commits_.reset();
    reader_.reset();
    server_.reset();
}

std::string CollectServer::url() const {
    // The token comes from a file and stays out of the output (and the journal).
    return "http://" + settings_.listen.authority() + "/";
}

std::optional<HttpServer::Response> CollectServer::guard(const HttpServer::Request& request,
                                                         HttpServer::Headers& answerHeaders) const {
    if (request.path == kUploadPath) {
        return std::nullopt;  // open to every device: the form has no credentials
    }
    return GuardAnswer::of(guard_, request, answerHeaders, kTokenPage,
                           "the access token is missing or wrong");
}

void CollectServer::upload(const HttpServer::Request& request, HttpServer::Reply& reply) {
    if (!limiter_.allow(request.peer)) {
        metrics_.count(CollectMetrics::Upload::Limited);
        return reply.send(retryLater(429, "too many uploads from this address: try again later",
                                     limiter_.wait(request.peer)));
    }
    auto measurement =
        UploadedMeasurement::fromForm(request.header("content-type").value_or(""), request.body);
    if (!measurement) {
        metrics_.count(CollectMetrics::Upload::Refused);
        return reply.send(Response::text(400, "refused: " + measurement.error()));
    }
    const bool queued = commits_->submit(
        std::move(*measurement), [this, reply](Result<MeasurementStore::Outcome> outcome) mutable {
            using Outcome = MeasurementStore::Outcome;
            if (!outcome) {
                metrics_.count(CollectMetrics::Upload::Failed);
                Console::log("Upload not stored: " + outcome.error());
            } else {
                metrics_.count(*outcome == Outcome::Stored     ? CollectMetrics::Upload::Stored
                               : *outcome == Outcome::Conflict ? CollectMetrics::Upload::Conflict
                                                               : CollectMetrics::Upload::Duplicate);
            }
            if (!reply.begin()) {
                return;  // answered 503 already; a resend finds it stored
            }
            if (!outcome) {
                reply.send(retryLater(503, "not stored: the database failed; try again later", 30));
            } else if (*outcome == Outcome::Stored) {
                reply.send(Response::text(200, "stored"));
            } else if (*outcome == Outcome::AlreadyStored) {
                reply.send(Response::text(200, "already stored"));
            } else {
                reply.send(Response::text(409,
                                          "refused: another measurement with this device, start "
                                          "date and tag is stored"));
            }
        });
    if (!queued) {
        metrics_.count(CollectMetrics::Upload::Failed);
        reply.send(retryLater(503, "busy: too many uploads waiting; try again later", 5));
    }
}

void CollectServer::serveFile(const HttpServer::Request& request, HttpServer::Reply& reply) const {
    const auto file = files_.resolve(request.path);
    if (!file) {
        return reply.send(Response::error(404, "no such file"));
    }
    std::ifstream in(*file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) {
        return reply.send(Response::error(404, "no such file"));
    }
    Response response = Response::text(200, content.str(), StaticFiles::contentType(*file));
    response.headers.emplace_back("Cache-Control", "no-cache");
    reply.send(std::move(response));
}

void CollectServer::read(HttpServer::Reply& reply, std::function<HttpServer::Response()> work) {
    if (readsWaiting_->fetch_add(1) >= kMaxReadsWaiting) {
        readsWaiting_->fetch_sub(1);
        return reply.send(retryLater(503, "busy: too many reads waiting; try again later", 1));
    }
    reader_->async([reply, work = std::move(work), waiting = readsWaiting_]() mutable {
        waiting->fetch_sub(1);
        if (reply.begin()) {
            reply.send(work());
        }
    });
}

void CollectServer::exportMeasurements(const HttpServer::Request& request, HttpServer::Reply& reply,
                                       bool csv) {
    auto filter = CollectQuery::parse(request.query, kMaxExportRows);
    if (!filter) {
        return reply.send(Response::error(400, filter.error()));
    }
    const auto format = csv ? ExportStream::Format::Csv : ExportStream::Format::GeoJson;
    auto source = std::make_shared<ExportSource>(store_, *filter, format, *reader_);
    Response head = Response::text(200, "", ExportStream::contentType(format));
    head.headers.emplace_back(
        "Content-Disposition",
        csv ? "attachment; filename=\"kesto.csv\"" : "attachment; filename=\"kesto.geojson\"");
    source->setWaker(reply.stream(std::move(head), source));
}

}  // namespace kesto
