#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Result.h"
#include "web/ListenAddress.h"

namespace kesto {

class ActionQueue;
class BitmapProcessor;
class CaptureBackend;
class MetricsExporter;
class SnapshotPublisher;
class Station;
class WebServer;

// Shows the running application to browsers: the state published after
// every run-loop pass that changed it, the person's actions applied on the
// main loop, the simulator's settings (WebServer describes the protocol).
//
// The state (each "event: snapshot", plus its "version"):
//   {"app": Driver::snapshot(),
//    "sensor": {"description": text, "simulated": bool,
//               "rate": μSv/h, "lensOpen": bool},      // the last two when simulated
//    "counter": {"running": bool, "binSeconds": 10,
//                "bins": [events in each 10 s of the engine's current
//                         acquisition, oldest first; the last one is still filling],
//                "events": total events, "elapsed": seconds,
//                "meanDoseRate": all the events over all the time, μSv/h or null,
//                "doseRateLower95", "doseRateUpper95": μSv/h or null (of the mean),
//                "doseRateInterval": "95%: 0.12–0.89 μSv/h" or ""},
//    "history": {"shown": bool,             // the History tab is selected
//                "simulated": bool,         // the simulated sensor's history
//                "records": [{"tag", "startDate", "upload": "sent" |
//                             "failed" | "never sent"}, ...]},   // newest first
//    "page": {"language": "en", "decimalSeparator": ".",
//             "texts": {key: text, ...}},   // the page's own texts (Web_ keys)
//    "browsers": pages following the state now (event streams),
//    "answered": null | {"alert": number, "button": its title, "page": who},
//                                           // the last question answered
//    "typist": null | {"outlet", "page"},   // who types in the field being edited
//    "station": null, or with an always-on station (Station):
//               {"tag", "simulated", "intervalSeconds",
//                "interval": RATE + {"start", "end", "litSeconds"},  // in progress
//                "light": bool, "framesArriving": bool, "frames": since start,
//                "intervalsSaved": n,
//                "rates": [RATE + {"window": seconds}, ...],   // 1 min, 10 min, 1 h
//                "alarm": null | {"above": μSv/h, "window": seconds,
//                                 "raised": bool, "since": date | null},
//                "chart": [RATE + {"start", "saved": bool}, ...]}}  // closed, oldest first
//      RATE: {"darkSeconds", "events", "doseRate", "doseRateLower95",
//             "doseRateUpper95"}: the events over the dark time; μSv/h or
//             null with no dark time. Dates are ISO 8601 UTC.
//
// GET /metrics answers MetricsExporter's text, computed on the main loop.
//
// A token is required when the listen address is not loopback (127.0.0.0/8,
// ::1) or a token file is given: the file's token, else a random one (in
// url(); tokenMadeUp() tells which).
//
// Threads: main thread only (it runs on the main run loop).
class WebFrontEnd {
  public:
    struct Options {
        ListenAddress listen;
        std::vector<std::string> allowedHosts;
        std::optional<std::filesystem::path> tokenFile;
        // Empty: ResourceLocator's.
        std::filesystem::path resourceDirectory;
        // Null: CaptureBackend::current().
        CaptureBackend* backend = nullptr;
        std::size_t maxSubscribers = 16;
        // The always-on station shown beside the application; null: none.
        // It must outlive the front end.
        Station* station = nullptr;
    };

    WebFrontEnd();
    ~WebFrontEnd();
    WebFrontEnd(const WebFrontEnd&) = delete;
    WebFrontEnd& operator=(const WebFrontEnd&) = delete;

    Result<void> start(const Options& options);
    // Closes every connection at once, refuses waiting actions, joins the
    // server's thread.
    void stop();

    std::string url() const;
    int port() const;
    // The token was made up for this run (not read from a file).
    bool tokenMadeUp() const { return tokenMadeUp_; }
    SnapshotPublisher* publisher() const { return publisher_.get(); }

    // The "counter" member for `engine`.
    static nlohmann::json counter(const BitmapProcessor& engine);
    // The "sensor" member for `backend`.
    static nlohmann::json sensor(CaptureBackend& backend);
    // The "station" member for `station`.
    static nlohmann::json station(const Station& station);
    // The "history" member: the saved measurements with their uploads
    // (`uploads` is re-read only when the log file changed).
    nlohmann::json history() const;

  private:
    nlohmann::json state() const;
    // A person's action from one page (the server's {"page", "action"}):
    // the driver's answer, under the rules of several browsers at once. An
    // answer names its question (a second answer to it is refused) and is
    // remembered with the page that gave it; a text field's keys come only
    // from the page that last took the field (tapped it, or typed in it first
    // while no page had it), until its editing ends.
    nlohmann::json perform(const nlohmann::json& envelope);
    // The text field `outlet` of the top screen is being edited.
    static bool stillTyping(const std::string& outlet);
    // The "page" member: the same for the whole run.
    static nlohmann::json page();

    CaptureBackend* backend_ = nullptr;
    nlohmann::json page_;
    struct Answered {
        std::uint64_t alert = 0;
        std::string button;
        std::string page;
    };
    std::optional<Answered> answered_;  // the last question answered
    struct Typist {
        std::string outlet;
        std::string page;
    };
    std::optional<Typist> typist_;  // the page that last took a text field
    Station* station_ = nullptr;
    bool tokenMadeUp_ = false;
    std::unique_ptr<SnapshotPublisher> publisher_;
    std::unique_ptr<ActionQueue> actions_;
    std::unique_ptr<MetricsExporter> metrics_;
    std::unique_ptr<ActionQueue> metricsQueue_;
    // The upload log as last read, and the file's size and time then.
    struct UploadsSeen;
    mutable std::unique_ptr<UploadsSeen> uploads_;
    std::unique_ptr<WebServer> server_;
};

}  // namespace kesto
